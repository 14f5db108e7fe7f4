#include "engine/program_discovery.h"

#include "engine/block_walk.h"
#include "engine/packet_header.h"
#include "engine/program_table.h"

namespace orv {

namespace {

constexpr uint8_t kPatTableId = 0x00;
constexpr uint8_t kPmtTableId = 0x02;

// The whole section if it passes its CRC, else an empty span; the collector is emptied either
// way and its buffer keeps the bytes, so the first buffers keep the first sections.
SectionBytes takeIntactSection(SectionCollector& c) {
    const SectionBytes section = takeSection(c);
    return sectionIntact(section) ? section : SectionBytes{};
}

void takeFirstPat(AnalysisContext& ctx, SectionCollector& c) {
    const SectionBytes section = takeIntactSection(c);
    if (!section.empty() && !ctx.pat.patFound) acceptFirstPat(ctx, section);
}

void takeFirstPmt(AnalysisContext& ctx, std::size_t index, SectionCollector& c) {
    const auto collected = static_cast<std::size_t>(c.length);
    const SectionBytes section = takeIntactSection(c);
    if (section.empty()) return;
    acceptFirstPmt(ctx, static_cast<int>(index), section);
    // Sections of other programs packed behind this one never start their own collectors.
    acceptFollowingPmts(ctx, SectionBytes(c.bytes.data(), collected), section.size());
}

constexpr auto discard = [](SectionCollector& c) { c.clear(); };

struct DiscoveryWalk {
    AnalysisContext& ctx;

    WalkStep packet(const uint8_t* p, std::size_t) {
        const unsigned pid = packetPid(p);
        if (pid == kPidPat) {
            PatModel& pat = ctx.pat;
            if (!pat.patFound) {
                feedPacket(pat.first, p, {kPatTableId, -1}, CompletionVariant::InitPhase,
                           [this](SectionCollector& c) { takeFirstPat(ctx, c); });
            } else {
                // Later PATs belong to the PAT analysis; here they only keep the collector going.
                feedPacket(pat.later, p, {kPatTableId, -1}, CompletionVariant::InitPhase, discard);
            }
        }
        if (!ctx.pat.patFound) return WalkStep::Continue;
        for (std::size_t i = 0; i < ctx.programs.size(); ++i) {
            ProgramEntry& program = ctx.programs[i];
            if (program.pmtPid != pid) continue;
            const SectionAccept accept{kPmtTableId, program.programNumber};
            if (!program.pmtReceived) {
                feedPacket(program.firstPmt, p, accept, CompletionVariant::InitPhase,
                           [this, i](SectionCollector& c) { takeFirstPmt(ctx, i, c); });
            } else {
                feedPacket(program.laterPmt, p, accept, CompletionVariant::InitPhase, discard);
            }
        }
        return WalkStep::Continue;
    }
    void syncByteError(std::size_t) {}
    void syncLoss(std::size_t, bool) {}
};

}  // namespace

std::size_t discoverPrograms(AnalysisContext& ctx, const uint8_t* block, std::size_t length) {
    const std::size_t packetLength =
        ctx.packetLength == static_cast<int>(kRsPacketSize) ? kRsPacketSize : kTsPacketSize;
    return walkBlock(block, length, packetLength, false, DiscoveryWalk{ctx});
}

}  // namespace orv
