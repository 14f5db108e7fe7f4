// Real broadcast captures through program discovery and the spine. Skipped when the captures are
// not next to the project.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string_view>
#include <vector>

#include "engine/analysis_context.h"
#include "engine/block_driver.h"
#include "engine/program_discovery.h"

namespace orv {
namespace {

struct CaptureCase {
    const char* file;
    int programs;   // listed in the PAT
    int pmtsFound;  // programs whose PMT the first 40000 packets complete
    int unreferencedPids;
};

std::vector<uint8_t> readCapture(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(RealCaptures, DiscoveryAndSpine) {
    const std::filesystem::path dir = ORV_STREAMS_DIR;
    if (!std::filesystem::is_directory(dir)) GTEST_SKIP() << "no captures at " << dir;
    const CaptureCase cases[] = {
        {"cap-mpeg2-mp2-sdt.ts", 1, 1, 0},
        {"cap-h264-mp2-sdt.ts", 1, 1, 0},
        // The SIT on PID 0x001F lies in the DVB SI range: tracked for continuity, never
        // unreferenced.
        {"cap-mpeg2-dts-mp2.ts", 1, 1, 0},
        {"cap-h264-teletext-short.ts", 1, 1, 0},
        // A single PAT packet (packet 0: "00 b0 0d 00 01 c1 00 00 00 01 e0 63 ...", 16 bytes) and
        // a single PMT packet (packet 1: "02 b0 17 00 01 ...", 26 bytes): each section is whole
        // in its packet and complete there, so the one program and its PMT are found.
        {"cap-h264-aac.ts", 1, 1, 0},
        // The PAT lists five programs whose PMTs the capture did not keep.
        {"cap-si-only-nit-sdt-eit-tdt.ts", 5, 0, 0},
    };
    for (const CaptureCase& c : cases) {
        SCOPED_TRACE(c.file);
        const std::vector<uint8_t> ts = readCapture(dir / c.file);
        ASSERT_FALSE(ts.empty());
        auto ctx = std::make_unique<AnalysisContext>();
        resetAll(*ctx);
        enableAllMonitoring(*ctx);
        initBlock(*ctx, ts.data(), std::min<std::size_t>(ts.size(), 40000 * 188));
        EXPECT_EQ(ctx->programCount(), c.programs);
        EXPECT_EQ(ctx->pmtFoundCount, c.pmtsFound);
        finishInit(*ctx);
        beginRun(*ctx, kEventOfflineStart);
        for (std::size_t off = 0; off < ts.size(); off += 400 * 188)
            analyseBlock(*ctx, ts.data() + off, std::min<std::size_t>(400 * 188, ts.size() - off));
        EXPECT_EQ(ctx->packetCounter, ts.size() / 188);
        EXPECT_EQ(ctx->unreferencedCount, c.unreferencedPids);
        EXPECT_EQ(ctx->log.kindCount.total(Tr290ErrorKind::UnreferencedPid) > 0,
                  c.unreferencedPids > 0);
        if (std::string_view(c.file) == "cap-mpeg2-dts-mp2.ts") {
            EXPECT_GT(ctx->reservedPids[0x1F].packetCount, 0u);
        }
        if (c.pmtsFound == 1 && c.unreferencedPids == 0) {
            // These broadcasts are clean at the packet level.
            const KindCounters& k = ctx->log.kindCount;
            for (Tr290ErrorKind kind :
                 {Tr290ErrorKind::SyncLoss, Tr290ErrorKind::SyncByte, Tr290ErrorKind::Continuity,
                  Tr290ErrorKind::TransportError, Tr290ErrorKind::TsScrambled, Tr290ErrorKind::Crc})
                EXPECT_EQ(k.total(kind), 0) << kindInfo(kind).name;
        }
    }
}

}  // namespace
}  // namespace orv
