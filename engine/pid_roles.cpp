#include "engine/pid_roles.h"

#include "engine/analysis_context.h"

namespace orv {

void PidRoles::clear() {
    if (tooManyToNote_) {
        roles_.fill(0);
    } else {
        for (int i = 0; i < markedCount_; ++i)
            roles_[marked_[i]] = 0;
    }
    markedCount_ = 0;
    tooManyToNote_ = false;
}

void PidRoles::rebuild(const AnalysisContext& ctx) {
    clear();
    auto mark = [this](unsigned pid, uint8_t role) {
        uint8_t& r = roles_[pid & 0x1FFF];
        if (r == 0) {
            if (markedCount_ < kNotedPids)
                marked_[markedCount_++] = static_cast<uint16_t>(pid & 0x1FFF);
            else
                tooManyToNote_ = true;
        }
        r |= role;
    };
    const int programs = static_cast<int>(ctx.programs.size());
    for (int i = 0; i < programs; ++i) {
        const ProgramEntry& p = ctx.programs[static_cast<std::size_t>(i)];
        mark(p.pmtPid, kRolePmt);
        if (p.video.present) {
            const unsigned pid = p.video.pid & 0x1FFFu;
            const bool first = !(roles_[pid] & kRoleVideo);
            mark(pid, kRoleVideo);
            videoProgram_[pid] =
                first && i < kSeveralPrograms ? static_cast<uint8_t>(i) : kSeveralPrograms;
        }
        if (p.pcrPid != 0) {
            const unsigned pid = p.pcrPid & 0x1FFFu;
            const bool first = !(roles_[pid] & kRolePcr);
            mark(pid, kRolePcr);
            pcrProgram_[pid] =
                first && i < kSeveralPrograms ? static_cast<uint8_t>(i) : kSeveralPrograms;
        }
        bool pcrCarried = p.video.present && p.video.pid == p.pcrPid;
        for (int a = 0; a < p.audioCount; ++a) {
            mark(p.audio[a].pid, kRoleAudio);
            pcrCarried = pcrCarried || p.audio[a].pid == p.pcrPid;
        }
        if (p.pcrPid != 0 && !pcrCarried) mark(p.pcrPid, kRolePcrOnly);
        for (int list = 0; list < kOtherListCount; ++list) {
            const ComponentList& l = p.other[static_cast<std::size_t>(list)];
            for (int k = 0; k < l.count; ++k) {
                const unsigned pid = l.pids[static_cast<std::size_t>(k)].pid & 0x1FFFu;
                const bool first = !(roles_[pid] & kRoleOther);
                mark(pid, kRoleOther);
                OtherSlot& slot = otherSlot_[pid];
                slot = OtherSlot{};
                if (first && i < kSeveralPrograms)
                    slot = {static_cast<uint8_t>(i), static_cast<uint8_t>(list),
                            static_cast<uint8_t>(k)};
            }
        }
        for (int c = 0; c < p.caCount; ++c)
            mark(p.ca[c].caPid.pid, kRoleCa);
    }
    for (int e = 0; e < ctx.cat.emmCount; ++e)
        mark(ctx.cat.emm[e].caPid.pid, kRoleEmm);
}

}  // namespace orv
