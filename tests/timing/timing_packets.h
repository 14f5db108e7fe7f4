// Hand-built packets and a small context for the timing tests: PCR packets, PES header packets
// with PTS/DTS, and a program table made by hand.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/analysis_context.h"
#include "engine/pcr_analysis.h"

namespace orv::timing_test {

using Packet = std::array<uint8_t, 188>;

inline Packet pcrPacket(unsigned pid, int64_t pcr, unsigned cc = 0, bool discontinuity = false) {
    Packet p;
    p.fill(0xFF);
    p[0] = 0x47;
    p[1] = static_cast<uint8_t>((pid >> 8) & 0x1F);
    p[2] = static_cast<uint8_t>(pid);
    p[3] = static_cast<uint8_t>(0x30 | (cc & 0xF));  // adaptation field and payload
    p[4] = 7;
    p[5] = static_cast<uint8_t>(0x10 | (discontinuity ? 0x80 : 0));
    const int64_t base = pcr / 300, ext = pcr % 300;
    p[6] = static_cast<uint8_t>(base >> 25);
    p[7] = static_cast<uint8_t>(base >> 17);
    p[8] = static_cast<uint8_t>(base >> 9);
    p[9] = static_cast<uint8_t>(base >> 1);
    p[10] = static_cast<uint8_t>((base & 1) << 7 | 0x7E | ((ext >> 8) & 1));
    p[11] = static_cast<uint8_t>(ext);
    return p;
}

inline void putStamp(uint8_t* f, unsigned prefix, int64_t v) {
    f[0] = static_cast<uint8_t>(prefix << 4 | ((v >> 30) & 7) << 1 | 1);
    f[1] = static_cast<uint8_t>(v >> 22);
    f[2] = static_cast<uint8_t>(((v >> 15) & 0x7F) << 1 | 1);
    f[3] = static_cast<uint8_t>(v >> 7);
    f[4] = static_cast<uint8_t>((v & 0x7F) << 1 | 1);
}

// A packet that starts a PES packet with `pts` (and `dts` when given); the payload after the PES
// header is `es` followed by 0x11 filler.
inline Packet pesPacket(unsigned pid, uint8_t streamId, int64_t pts,
                        std::optional<int64_t> dts = std::nullopt,
                        const std::vector<uint8_t>& es = {}) {
    Packet p;
    p.fill(0x11);
    p[0] = 0x47;
    p[1] = static_cast<uint8_t>(0x40 | ((pid >> 8) & 0x1F));
    p[2] = static_cast<uint8_t>(pid);
    p[3] = 0x10;
    uint8_t* h = p.data() + 4;
    h[0] = 0;
    h[1] = 0;
    h[2] = 1;
    h[3] = streamId;
    h[4] = h[5] = 0;
    h[6] = 0x84;  // '10', data_alignment_indicator
    h[7] = dts ? 0xC0 : 0x80;
    h[8] = dts ? 10 : 5;
    putStamp(h + 9, dts ? 3 : 2, pts);
    if (dts) putStamp(h + 14, 1, *dts);
    std::size_t at = 4 + 9 + h[8];
    for (uint8_t b : es)
        if (at < p.size()) p[at++] = b;
    return p;
}

// A payload-only continuation packet of `pid` filled with `fill`.
inline Packet payloadPacket(unsigned pid, uint8_t fill = 0x11) {
    Packet p;
    p.fill(fill);
    p[0] = 0x47;
    p[1] = static_cast<uint8_t>((pid >> 8) & 0x1F);
    p[2] = static_cast<uint8_t>(pid);
    p[3] = 0x10;
    return p;
}

struct ProgramSpec {
    uint16_t programNumber = 1;
    uint16_t pcrPid = 0x100;
    uint16_t videoPid = 0x100;  // 0: none
    std::vector<uint16_t> audioPids = {0x101};
};

// A context with an open log, every switch on, offline at `mbps`, and the given programs.
inline std::unique_ptr<AnalysisContext> makeContext(const std::vector<ProgramSpec>& specs,
                                                    double mbps = 8.0) {
    auto ctx = std::make_unique<AnalysisContext>();
    resetAll(*ctx);
    enableAllMonitoring(*ctx);
    ctx->analysisMode = AnalysisMode::Offline;
    ctx->initDone = true;
    ctx->streamBitrate.current = mbps;
    ctx->programs.resize(specs.size());
    for (std::size_t i = 0; i < specs.size(); ++i) {
        ProgramEntry& e = ctx->programs[i];
        e.pmtReceived = true;
        e.programNumber = specs[i].programNumber;
        e.pcrPid = specs[i].pcrPid;
        if (specs[i].videoPid != 0) {
            e.video.present = true;
            e.video.streamType = 2;
            e.video.pid = specs[i].videoPid;
            ++e.componentCount;
        }
        for (uint16_t a : specs[i].audioPids) {
            e.audio[static_cast<std::size_t>(e.audioCount)].pid = a;
            e.audio[static_cast<std::size_t>(e.audioCount)].streamType = 3;
            ++e.audioCount;
            ++e.componentCount;
        }
    }
    createPcrTracks(*ctx);
    beginRun(*ctx, kEventOfflineStart);
    return ctx;
}

struct LoggedEvent {
    int code;
    std::string detail;
};

// Error events in the batch (run events left out).
inline std::vector<LoggedEvent> errorEvents(const AnalysisContext& ctx) {
    std::vector<LoggedEvent> out;
    const int n = ctx.log.pendingCount.load();
    for (int i = 0; i < n && i < kMaxEvents; ++i) {
        const EventRecord& r = ctx.log.records[static_cast<std::size_t>(i)];
        if (r.code >= 1010) out.push_back({r.code, std::string(r.detail())});
    }
    return out;
}

inline int countCode(const AnalysisContext& ctx, int code) {
    int n = 0;
    for (const LoggedEvent& e : errorEvents(ctx))
        n += e.code == code;
    return n;
}

}  // namespace orv::timing_test
