#include "shell/cli/analyze_command.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <vector>

#include "engine/analysis_context.h"
#include "engine/block_driver.h"
#include "engine/program_discovery.h"
#include "platform/text_codec.h"

namespace orv::cli {
namespace {

constexpr std::size_t kInitBlockPackets = 40000;
constexpr std::size_t kMainBlockPackets = 400;

struct DrainedEvent {
    int code;
    std::string type;
    std::string detail;
};

// The first packet length (188, then 204) at which sync bytes repeat for ten packets.
int findPacketLength(const std::vector<uint8_t>& head) {
    for (std::size_t len : {kTsPacketSize, kRsPacketSize}) {
        for (std::size_t start = 0; start < len && start < head.size(); ++start) {
            int run = 0;
            for (std::size_t p = start; p < head.size() && head[p] == kSyncByte && run < 10;
                 p += len)
                ++run;
            if (run == 10) return static_cast<int>(len);
        }
    }
    return 0;
}

// Takes the pending batch with the reader's side of the hand-over: close, copy, reopen.
void drainEvents(AnalysisContext& ctx, std::vector<DrainedEvent>& out) {
    const int count = closeForDrain(ctx.log);
    for (int i = 0; i < count; ++i) {
        const EventRecord& r = ctx.log.records[i];
        out.push_back({r.code, std::string(r.type()), std::string(r.detail())});
    }
    reopenAfterDrain(ctx.log);
}

std::string hex4(unsigned v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%04x", v & 0xFFFFu);
    return buf;
}

nlohmann::json programsJson(const AnalysisContext& ctx) {
    nlohmann::json programs = nlohmann::json::array();
    for (const ProgramEntry& p : ctx.programs) {
        nlohmann::json comps = nlohmann::json::array();
        if (p.video.present)
            comps.push_back({{"pid", p.video.pid}, {"streamType", p.video.streamType}});
        for (int a = 0; a < p.audioCount; ++a)
            comps.push_back({{"pid", p.audio[a].pid}, {"streamType", p.audio[a].streamType}});
        programs.push_back({{"programNumber", p.programNumber},
                            {"pmtPid", p.pmtPid},
                            {"pcrPid", p.pcrPid},
                            {"pmtReceived", p.pmtReceived},
                            {"components", comps}});
    }
    return programs;
}

void printText(const AnalyzeOptions& o, const AnalysisContext& ctx,
               const std::vector<DrainedEvent>& events) {
    std::cout << "File: " << o.file << "\n"
              << "Packet length: " << ctx.packetLength << " bytes\n"
              << "Packets analysed: " << ctx.packetCounter << "\n"
              << "Programs: " << ctx.programCount() << "\n";
    for (const ProgramEntry& p : ctx.programs) {
        std::cout << "  program " << hex4(p.programNumber) << "  PMT PID " << hex4(p.pmtPid)
                  << "  PCR PID " << hex4(p.pcrPid);
        if (p.video.present) std::cout << "  video " << hex4(p.video.pid);
        for (int a = 0; a < p.audioCount; ++a)
            std::cout << "  audio " << hex4(p.audio[a].pid);
        std::cout << "\n";
    }
    std::cout << "\nTR 101 290 kinds:\n";
    for (int k = 0; k < kKindCount; ++k) {
        const auto kind = static_cast<Tr290ErrorKind>(k);
        const int count = ctx.log.kindCount.total(kind);
        std::cout << "  " << (k < 10 ? " " : "") << k << "  "
                  << padToCp936Width(kindInfo(kind).name, 22) << "  "
                  << (count >= kEventCap ? std::string("≥1000") : std::to_string(count)) << "\n";
    }
    std::cout << "\nEvents (" << events.size() << "):\n";
    for (const DrainedEvent& e : events)
        std::cout << "  " << e.code << "  " << padToCp936Width(e.type, 22) << "  " << e.detail
                  << "\n";
}

void printJson(const AnalyzeOptions& o, const AnalysisContext& ctx,
               const std::vector<DrainedEvent>& events) {
    nlohmann::json kinds = nlohmann::json::array();
    for (int k = 0; k < kKindCount; ++k) {
        const auto kind = static_cast<Tr290ErrorKind>(k);
        const Tr290KindInfo& info = kindInfo(kind);
        nlohmann::json subs = nlohmann::json::array();
        for (int s = 0; s < info.subCounters; ++s)
            subs.push_back(ctx.log.kindCount.at(kind, s));
        kinds.push_back({{"index", k},
                         {"name", std::string(info.name)},
                         {"count", ctx.log.kindCount.total(kind)},
                         {"subCounters", subs}});
    }
    nlohmann::json ev = nlohmann::json::array();
    for (const DrainedEvent& e : events)
        ev.push_back({{"code", e.code}, {"type", e.type}, {"detail", e.detail}});
    nlohmann::json doc = {{"file", o.file},
                          {"packetLength", ctx.packetLength},
                          {"packets", ctx.packetCounter},
                          {"kinds", kinds},
                          {"events", ev},
                          {"programs", programsJson(ctx)}};
    std::cout << doc.dump(2) << "\n";
}

}  // namespace

int runAnalyze(const AnalyzeOptions& o) {
    std::ifstream in(o.file, std::ios::binary);
    if (!in) {
        std::cerr << "orv01: cannot open " << o.file << "\n";
        return 2;
    }
    auto ctx = std::make_unique<AnalysisContext>();
    resetAll(*ctx);
    enableAllMonitoring(*ctx);

    std::vector<uint8_t> head(kInitBlockPackets * kRsPacketSize);
    in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
    const int packetLength = findPacketLength(head);
    if (packetLength == 0) {
        std::cerr << "orv01: " << o.file << ": no transport stream sync found\n";
        return 2;
    }
    ctx->packetLength = packetLength;
    ctx->analysisMode = AnalysisMode::Offline;
    ctx->analysisActive = true;
    const std::size_t initBytes =
        std::min(head.size(), kInitBlockPackets * static_cast<std::size_t>(packetLength));
    discoverPrograms(*ctx, head.data(), initBytes);
    if (ctx->pmtFoundCount == 0) {
        std::cerr << "orv01: " << o.file << ": no PAT and PMT found in the first "
                  << kInitBlockPackets << " packets\n";
        return 2;
    }
    ctx->initDone = true;
    beginRun(*ctx, kEventOfflineStart);

    std::vector<DrainedEvent> events;
    in.clear();
    in.seekg(0);
    std::vector<uint8_t> block(kMainBlockPackets * static_cast<std::size_t>(packetLength));
    while (ctx->runState == RunState::Running) {
        in.read(reinterpret_cast<char*>(block.data()), static_cast<std::streamsize>(block.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        if (got == 0) break;
        {
            std::lock_guard<std::mutex> lock(ctx->mutex);
            analyseBlock(*ctx, block.data(), got);
            if (ctx->log.pendingCount.load() >= kMaxEvents / 2) drainEvents(*ctx, events);
        }
        if (got < block.size()) break;
    }
    drainEvents(*ctx, events);

    if (o.json)
        printJson(o, *ctx, events);
    else
        printText(o, *ctx, events);
    return 0;
}

}  // namespace orv::cli
