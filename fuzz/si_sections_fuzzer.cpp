// The PSI/SI section collectors and handlers as the block driver feeds them: the input is a list
// of sections, each routed to a PID (PAT, CAT, a program's PMT, NIT, SDT/BAT, EIT, RST, TDT/TOT)
// and carried on transport packets there. A record may have its section_length and CRC_32 set
// for it, so mutations reach the handlers behind the CRC test. The run is primed with a generated
// two-program stream (or starts empty), the sections may go through the initialisation phase
// too, and what the handlers stored is turned into the table tree as the table page does.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "engine/analysis_context.h"
#include "engine/block_driver.h"
#include "engine/event_log.h"
#include "engine/program_discovery.h"
#include "fuzz/fuzz_inputs.h"
#include "fuzz/section_packets.h"
#include "presentation/table_tree.h"

namespace {

using namespace orv;
namespace fs = orv::fuzz::sections;

const std::vector<uint8_t>& primingStream() {
    static const std::vector<uint8_t> stream = fuzz::generatedStream(188, fuzz::kInitStreamMs);
    return stream;
}

void drain(void* arg) {
    EventLog& log = *static_cast<EventLog*>(arg);
    closeForDrain(log);
    reopenAfterDrain(log);
}

uint16_t routePid(const AnalysisContext& ctx, uint8_t route) {
    const uint16_t pid = fs::kRoutePids[route % 8];
    if (route % 8 != fs::kRoutePmt) return pid;
    if (ctx.programs.empty()) return 0x0100;
    return ctx.programs[(route / 8) % ctx.programs.size()].pmtPid;
}

// 204-byte packets: the 188 bytes and 16 parity bytes.
std::vector<uint8_t> widen(const std::vector<uint8_t>& ts) {
    std::vector<uint8_t> out;
    out.reserve(ts.size() / 188 * 204);
    for (std::size_t i = 0; i + 188 <= ts.size(); i += 188) {
        out.insert(out.end(), ts.begin() + static_cast<std::ptrdiff_t>(i),
                   ts.begin() + static_cast<std::ptrdiff_t>(i + 188));
        out.insert(out.end(), 16, 0x00);
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < fs::kHeaderSize) return 0;
    const uint8_t flags = data[0];
    const bool wide = (flags & fs::k204) != 0;
    const std::size_t packetLength = wide ? 204 : 188;

    auto ctx = std::make_unique<AnalysisContext>();
    resetAll(*ctx);
    enableAllMonitoring(*ctx);
    ctx->runState = RunState::Running;
    ctx->analysisActive = true;
    ctx->analysisMode = AnalysisMode::Offline;
    ctx->packetLength = static_cast<int>(packetLength);
    ctx->log.onFull = drain;
    ctx->log.onFullArg = &ctx->log;
    if (!(flags & fs::kNoPriming)) {
        const std::vector<uint8_t> priming = wide ? widen(primingStream()) : primingStream();
        initBlock(*ctx, priming.data(), priming.size());
    }

    // The records, carried on their PIDs in input order; each PID's first section is sent again
    // at the end, so the last section of every PID is completed by a new start.
    std::map<uint16_t, fuzz::SectionPackets> carriers;
    std::map<uint16_t, std::vector<uint8_t>> firstOfPid;
    std::vector<uint8_t> ts;
    std::size_t at = fs::kHeaderSize;
    while (at + fs::kRecordHeaderSize <= size) {
        const uint8_t route = data[at];
        const uint8_t options = data[at + 1];
        std::size_t length = std::size_t{data[at + 2]} << 8 | data[at + 3];
        at += fs::kRecordHeaderSize;
        uint16_t pid = routePid(*ctx, route);
        if (options & fs::kExplicitPid) {
            if (at + 2 > size) break;
            pid = static_cast<uint16_t>((data[at] << 8 | data[at + 1]) & 0x1FFF);
            at += 2;
        }
        length = std::min(length, size - at);
        std::vector<uint8_t> section(data + at, data + at + length);
        at += length;
        if (section.empty()) continue;
        if (options & fs::kFixLength)
            fuzz::setSectionLength(section, section.size() + ((options & fs::kAppendCrc) ? 4 : 0));
        if (options & fs::kAppendCrc) fuzz::appendSectionCrc(section);
        auto it = carriers.try_emplace(pid, pid).first;
        it->second.add(section, (options & fs::kPack) != 0);
        it->second.take(ts);
        firstOfPid.try_emplace(pid, section);
    }
    for (auto& [pid, carrier] : carriers) {
        carrier.add(firstOfPid[pid], false);
        carrier.take(ts);
    }
    if (wide) ts = widen(ts);

    if (flags & fs::kRunInitPhase) initBlock(*ctx, ts.data(), ts.size());
    finishInit(*ctx);
    ctx->streamBitrate = {4.0, 4.0, 4.0, 4.0};
    beginRun(*ctx, kEventOfflineStart);
    const std::size_t blockBytes = 400 * packetLength;
    for (std::size_t off = 0; off < ts.size() && ctx->runState == RunState::Running;
         off += blockBytes)
        analyseBlock(*ctx, ts.data() + off, std::min(blockBytes, ts.size() - off));

    buildTableTree(storedSections(ctx->siStore));
    teardownRun(*ctx);
    return 0;
}
