// The real captures long enough for offline analysis, end to end: legal streams from other
// muxers give no PCR discontinuity, no PCR jitter and no video TBn/MBn overflow.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "acquisition/offline_source.h"
#include "engine/analysis_context.h"

namespace orv {
namespace {

namespace fs = std::filesystem;

TEST(RealCaptureTiming, NoFalsePcrOrVideoBufferEvents) {
    const fs::path dir(ORV_STREAMS_DIR);
    if (!fs::is_directory(dir)) GTEST_SKIP() << "no captures at " << dir;
    std::vector<fs::path> files;
    for (const fs::directory_entry& e : fs::directory_iterator(dir))
        if (e.path().extension() == ".ts" && e.file_size() >= kMinimumFileSize)
            files.push_back(e.path());
    std::sort(files.begin(), files.end());
    int analysed = 0;
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.filename().string());
        AnalysisContext ctx;
        ctx.monitorEnabled.fill(1);
        std::map<int, int> counts;
        OfflineProgress progress;
        progress.drainEvents = [&] {
            const int n = closeForDrain(ctx.log);
            for (int i = 0; i < n; ++i)
                ++counts[ctx.log.records[static_cast<std::size_t>(i)].code];
            reopenAfterDrain(ctx.log);
        };
        const OfflineResult r = analyseFile(ctx, file.string(), progress);
        if (r.status != OfflineStatus::Completed) continue;  // refused: not a timing matter
        ++analysed;
        for (const int code : {1091, 1092, 1140, 1143})
            EXPECT_EQ(counts[code], 0) << code;
    }
    EXPECT_GE(analysed, 3) << "cap-mpeg2-mp2-sdt, cap-mpeg2-dts-mp2 and cap-h264-mp2-sdt at least";
}

}  // namespace
}  // namespace orv
