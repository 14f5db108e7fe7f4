#include "engine/block_driver.h"

#include <limits>

#include "engine/block_walk.h"
#include "engine/buffer_model.h"
#include "engine/packet_checks.h"
#include "engine/packet_header.h"
#include "engine/pcr_analysis.h"
#include "engine/pcr_pid_packet.h"
#include "engine/pes_packet.h"
#include "engine/pes_timing.h"
#include "engine/pid_roles.h"
#include "engine/psi_handlers.h"
#include "engine/si_handlers.h"

namespace orv {
namespace {

class PacketSequence {
  public:
    PacketSequence(AnalysisContext& ctx, const uint8_t* block, std::size_t length,
                   std::span<const uint32_t> cardTimes, PidRoles& roles)
        : ctx_(ctx), block_(block), length_(length), cardTimes_(cardTimes), roles_(roles) {
        roles_.rebuild(ctx_);
        noteTableSizes();
    }

    void syncByteError(std::size_t pos) { onSyncByteError(ctx_, block_, length_, pos); }
    void syncLoss(std::size_t pos, bool) { onSyncLoss(ctx_, block_, length_, pos); }

    WalkStep packet(const uint8_t* pkt, std::size_t pos) {
        pos_ = pos;
        const unsigned pid = packetPid(pkt);
        if (ctx_.capture.pidTrigger == kCapturePidPacket && ctx_.capture.pid == pid)
            copyPacket(kCapturePidPacket, pkt);
        checkPacketHeader(ctx_, pkt, block_, length_, pos);

        known_ = false;
        d_ = kNoContinuityTest;
        if (dispatchTables(pkt, pid) == WalkStep::Stop) return WalkStep::Stop;
        programComponents(pkt, pid);
        conditionalAccess(pkt, pid);
        if (!known_) d_ = unreferencedPidStep(ctx_, pkt, pid);
        if (!continuityInOrder(d_)) continuityVerdict(ctx_, pkt, pid, d_, block_, length_, pos);
        return WalkStep::Continue;
    }

  private:
    // What decides whether a table just analysed may have changed the program table: a table
    // met for the first time (a PAT, a program's PMT, the CAT) may have, and so may every change
    // applied to the table in use, each of which is counted. A repetition of the table in use, or
    // a section the handler turned away, changes nothing, and the roles stay as they are.
    struct TableState {
        bool found;
        int changes;
    };
    TableState tableState(bool found) const { return {found, ctx_.programChanges.count}; }
    void rebuildIfChanged(TableState before) {
        noteTableSizes();
        const int changes = ctx_.programChanges.count;
        // The change count stops at its largest value: from there on every table rebuilds.
        if (!before.found || changes != before.changes ||
            changes == std::numeric_limits<int>::max())
            roles_.rebuild(ctx_);
    }

    // The sizes of the program table and of the PCR tracks, which only the table handlers change:
    // taken after each of them, as a vector's size costs a division by its element size.
    void noteTableSizes() {
        programs_ = ctx_.programCount();
        pcrTracks_ = ctx_.timing.pcrTracks.size();
    }

    void copyPacket(int trigger, const uint8_t* pkt) {
        if (ctx_.captureSink == nullptr || !ctx_.capture.wants(trigger)) return;
        ctx_.captureSink->copyBytes(trigger, pkt, kTsPacketSize);
        ++ctx_.capture.made;
    }

    void track(CcRecord& rec, const uint8_t* pkt, bool baselineOnly = false) {
        known_ = true;
        d_ = continuityStep(rec, pkt, baselineOnly);
    }

    WalkStep dispatchTables(const uint8_t* pkt, unsigned pid) {
        switch (pid) {
            case kPidPat:
                return patPacket(pkt);
            case kPidCat:
                catPacket(pkt);
                return WalkStep::Continue;
            case kPidNit:
            case kPidSdtBat:
            case kPidEit:
            case kPidRst:
            case kPidTdtTot: {
                track(ctx_.si[pid - kPidNit].cc, pkt, siBaselineOnly(ctx_, pid));
                if (!repeatsPayload(d_)) feedSiPacket(ctx_, pkt, pid);
                return WalkStep::Continue;
            }
            case kPidNull:
                known_ = true;
                ++ctx_.nullPacketCount;
                return WalkStep::Continue;
            default:
                pmtPackets(pkt, pid);
                return WalkStep::Continue;
        }
    }

    WalkStep patPacket(const uint8_t* pkt) {
        bool patError = false;
        if (scramblingControl(pkt) != 0) {
            patError = true;
            if (mayLog(ctx_, Tr290ErrorKind::Pat, sub::kPatScrambled)) logEvent(ctx_, 1032);
        }
        track(ctx_.pat.cc, pkt);
        countPsiPacket(ctx_);
        SectionCollector& col = collectorOfPair(ctx_.pat.first, ctx_.pat.later, ctx_.pat.patFound);
        FeedResult r = FeedResult::Ignored;
        if (!repeatsPayload(d_))
            r = feedPacket(
                col, pkt, SectionAccept{0x00}, CompletionVariant::BlockDriver,
                [&](SectionCollector& c) {
                    const TableState before = tableState(ctx_.pat.patFound);
                    analysePat(ctx_, c);
                    rebuildIfChanged(before);
                },
                ctx_.packetCounter);
        if (r == FeedResult::Rejected) {
            patError = true;
            if (mayLog(ctx_, Tr290ErrorKind::Pat, sub::kPatTableId)) logEvent(ctx_, 1031);
        }
        if (ctx_.runState != RunState::Running) return WalkStep::Stop;
        if (patError) captureBlockIfRequested(ctx_, kCapturePatError, block_, length_, pos_);
        return WalkStep::Continue;
    }

    void catPacket(const uint8_t* pkt) {
        track(ctx_.cat.cc, pkt);
        countPsiPacket(ctx_);
        if (repeatsPayload(d_)) return;
        const FeedResult r = feedPacket(
            ctx_.cat.collector, pkt, SectionAccept{0x01}, CompletionVariant::BlockDriver,
            [&](SectionCollector& c) {
                const TableState before = tableState(ctx_.cat.catPresent);
                analyseCat(ctx_, c);
                rebuildIfChanged(before);
            },
            ctx_.packetCounter);
        if (r == FeedResult::Rejected && mayLog(ctx_, Tr290ErrorKind::Cat)) logEvent(ctx_, 1111);
    }

    void pmtPackets(const uint8_t* pkt, unsigned pid) {
        if (!(roles_[pid] & kRolePmt)) return;
        for (int i = 0; i < ctx_.programCount(); ++i) {
            ProgramEntry& prog = ctx_.programs[i];
            if (prog.pmtPid != pid) continue;
            if (scramblingControl(pkt) != 0) {
                captureBlockIfRequested(ctx_, kCapturePmtScrambled, block_, length_, pos_);
                if (mayLog(ctx_, Tr290ErrorKind::PmtScrambled)) logEvent(ctx_, 1051, pid, i);
            }
            track(prog.pmtCc, pkt);
            countPsiPacket(ctx_);
            if (repeatsPayload(d_)) continue;
            SectionCollector& col = collectorOfPair(prog.firstPmt, prog.laterPmt, prog.pmtReceived);
            feedPacket(
                col, pkt, SectionAccept{0x02, prog.programNumber}, CompletionVariant::BlockDriver,
                [&](SectionCollector& c) {
                    const TableState before = tableState(prog.pmtReceived);
                    analysePmt(ctx_, i, c);
                    rebuildIfChanged(before);
                },
                ctx_.packetCounter);
        }
    }

    // Video PIDs of all programs first, then PCR PIDs, then audio, then the other lists. The
    // time stamp, data delay and buffer steps of a component follow its continuity step; a
    // packet that repeats the one before is not fed to them (nor to a section collector) again.
    void programComponents(const uint8_t* pkt, unsigned pid) {
        const uint8_t roles = roles_[pid];
        if (!(roles & (kRoleVideo | kRolePcr | kRoleAudio | kRoleOther))) return;
        const int programs = programs_;
        if (roles & kRoleVideo) {
            // Nearly always the video of one program, whose index the roles hold.
            const int only = roles_.videoProgram(pid);
            if (only >= programs || !videoPacket(only, pkt, pid)) {
                for (int i = 0; i < programs; ++i)
                    videoPacket(i, pkt, pid);
            }
        }
        if (roles & kRolePcr) {
            const uint8_t only = roles_.pcrProgram(pid);
            if (!plainPcrPidPacket(only, programs, pkt, pid))
                AnalysePcrPacket(ctx_, pkt, pid, pos_, cardTimes_,
                                 only == PidRoles::kSeveralPrograms ? -1 : only);
            if (roles & kRolePcrOnly) {
                for (ProgramEntry& prog : ctx_.programs) {
                    if (prog.pcrPid == 0 || prog.pcrPid != pid || carriesComponent(prog, pid))
                        continue;
                    track(prog.pcrCc, pkt);
                }
            }
        }
        for (int i = 0; (roles & kRoleAudio) && i < programs; ++i) {
            ProgramEntry& prog = ctx_.programs[i];
            for (int a = 0; a < prog.audioCount; ++a) {
                if (prog.audio[a].pid != pid) continue;
                track(prog.audio[a].cc, pkt);
                if (!repeatsPayload(d_)) pesComponentPacket(ctx_, prog, i, PesClass::Audio, a, pkt);
            }
        }
        if (roles & kRoleOther) otherComponents(pkt, pid, programs);
    }

    // The lists of the other stream types, list by list over all programs. Nearly always the
    // PID has one entry in them, which the roles locate.
    void otherComponents(const uint8_t* pkt, unsigned pid, int programs) {
        const PidRoles::OtherSlot slot = roles_.otherSlot(pid);
        if (slot.program < programs && slot.list < kOtherListCount) {
            ComponentList& l = ctx_.programs[slot.program].other[slot.list];
            if (slot.index < l.count && l.pids[slot.index].pid == pid) {
                track(l.pids[slot.index].cc, pkt);
                return;
            }
        }
        for (int list = 0; list < kOtherListCount; ++list) {
            for (ProgramEntry& prog : ctx_.programs) {
                ComponentList& l = prog.other[list];
                for (int k = 0; k < l.count; ++k)
                    if (l.pids[k].pid == pid) track(l.pids[k].cc, pkt);
            }
        }
    }

    // The PCR step of a packet on the PCR PID of program `only` alone that carries neither a PCR
    // nor a discontinuity_indicator (most of them): counted for that program, if it is measured.
    // False for any other packet, which AnalysePcrPacket takes.
    bool plainPcrPidPacket(unsigned only, int programs, const uint8_t* pkt, unsigned pid) {
        if (only >= static_cast<unsigned>(programs) || mayCarryPcr(pkt) || only >= pcrTracks_)
            return false;
        const ProgramEntry& prog = ctx_.programs[only];
        if (prog.pcrPid != pid || !measuresPcr(prog)) return false;
        countPcrPidPacket(ctx_.timing.pcrTracks[only], pkt, pid);
        return true;
    }

    // The video step of program i; false when the PID is not that program's video.
    bool videoPacket(int i, const uint8_t* pkt, unsigned pid) {
        VideoComponent& v = ctx_.programs[i].video;
        if (!v.present || v.pid != pid) return false;
        track(v.cc, pkt);
        if (!continuityInOrder(d_)) ++v.ccErrors;
        if (repeatsPayload(d_)) return true;
        updateVideoPacketStats(v, pkt);
        pesComponentPacket(ctx_, ctx_.programs[i], i, PesClass::Video, 0, pkt);
        return true;
    }

    static bool carriesComponent(const ProgramEntry& prog, unsigned pid) {
        if (prog.video.present && prog.video.pid == pid) return true;
        for (int a = 0; a < prog.audioCount; ++a)
            if (prog.audio[a].pid == pid) return true;
        return false;
    }

    void conditionalAccess(const uint8_t* pkt, unsigned pid) {
        const uint8_t roles = roles_[pid];
        if (roles & kRoleCa) {
            for (ProgramEntry& prog : ctx_.programs) {
                for (int c = 0; c < prog.caCount; ++c)
                    if (prog.ca[c].caPid.pid == pid) track(prog.ca[c].caPid.cc, pkt);
            }
        }
        if (known_ || !(roles & kRoleEmm)) return;
        for (int e = 0; e < ctx_.cat.emmCount; ++e)
            if (ctx_.cat.emm[e].caPid.pid == pid) track(ctx_.cat.emm[e].caPid.cc, pkt);
    }

    AnalysisContext& ctx_;
    const uint8_t* block_;
    std::size_t length_;
    std::span<const uint32_t> cardTimes_;
    PidRoles& roles_;  // rebuilt whenever a table handler changed the program table
    int programs_ = 0;
    std::size_t pcrTracks_ = 0;
    std::size_t pos_ = 0;
    bool known_ = false;
    int d_ = kNoContinuityTest;
};

}  // namespace

std::size_t analyseBlock(AnalysisContext& ctx, const uint8_t* block, std::size_t length,
                         std::span<const uint32_t> cardTimes) {
    if (block == nullptr || length == 0) return 0;
    // Rebuilt from the context at every block, so one instance per thread serves any context.
    static thread_local PidRoles roles;
    PacketSequence seq(ctx, block, length, cardTimes, roles);
    return walkBlock(block, length, static_cast<std::size_t>(ctx.packetLength), true, seq);
}

}  // namespace orv
