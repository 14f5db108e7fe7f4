// `orv01 analyze --json` carries the page models as numbers: the basic information, the multiplex
// structure, every program's page and the decoder buffers, beside the keys it always had.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/shell/cli_test_fixture.h"
#include "tools/tsgen/generator.h"
#include "tools/tsgen/presets.h"

namespace orv::cli {
namespace {

using nlohmann::json;

class AnalyzePagesJsonTest : public CliTest {};

// The sample: the clean preset (12 s) with its five faults; see the README's table.
TEST_F(AnalyzePagesJsonTest, SampleStreamPages) {
    const tsgen::Preset sample = tsgen::samplePreset();
    const std::string out =
        run(options(write(tsgen::generateStream(sample.config, sample.faults)), true));
    ASSERT_EQ(exitCode_, 0) << out;
    const json d = json::parse(out);
    for (const char* key : {"file", "kinds", "events", "programs", "tables", "guide", "pcr"})
        EXPECT_TRUE(d.contains(key)) << key;

    const json& b = d["basicInfo"];
    const uint64_t packets = d["packets"].get<uint64_t>();
    EXPECT_EQ(b["packets"].get<uint64_t>(), packets);
    uint64_t sum = 0;
    for (const char* c : {"video", "audio", "psiSi", "null", "other"})
        sum += b["classes"][c]["packets"].get<uint64_t>();
    EXPECT_EQ(sum, packets);
    EXPECT_EQ(b["transportStreamId"], 1);
    EXPECT_EQ(b["pcrPidCount"], 2);
    EXPECT_EQ(b["transportErrors"], 1);  // the TEI on 0x0201
    EXPECT_EQ(b["nit"]["networkName"], "ORV01 Test Network");
    EXPECT_EQ(b["programs"][1]["serviceName"], "ORV Sports");
    EXPECT_EQ(b["programs"][1]["components"][0],
              (json{{"pid", 0x201}, {"streamType", 2}, {"type", "MPEG-2视频"}}));
    ASSERT_GE(b["intervals"].size(), 3u);
    EXPECT_EQ(b["intervals"][1]["program"], 1);
    EXPECT_NEAR(b["intervals"][0]["max"].get<double>(), 0.1, 0.001);

    const json& m = d["multiplex"];
    ASSERT_FALSE(m.empty());
    EXPECT_EQ(m[0]["group"], "summary");
    EXPECT_EQ(m[0]["packets"].get<uint64_t>(), packets);
    bool nullRow = false;
    for (const json& r : m)
        if (r["type"] == "空包") {
            nullRow = true;
            EXPECT_EQ(r["pid"], 0x1FFF);
            EXPECT_TRUE(r["packets"].is_number_unsigned());
        }
    EXPECT_TRUE(nullRow);

    const json& p = d["programInfo"];
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(p[0]["program"], 1);
    EXPECT_EQ(p[0]["serviceTypeText"], "数字电视节目");
    EXPECT_EQ(p[0]["video"]["width"], 720);
    EXPECT_EQ(p[0]["video"]["bitRate"], 3000000);
    EXPECT_DOUBLE_EQ(p[0]["video"]["frameRate"].get<double>(), 25.0);
    EXPECT_EQ(p[0]["video"]["pes"]["streamId"], 0xE0);
    ASSERT_EQ(p[0]["audio"].size(), 1u);
    EXPECT_EQ(p[0]["audio"][0]["pid"], 0x102);
    EXPECT_EQ(p[0]["audio"][0]["bitRate"], "192 kbps");
    // The lost packet on 0x0101 and the third copy on 0x0102.
    EXPECT_EQ(p[0]["components"][0]["ccErrors"], 1);
    EXPECT_EQ(p[0]["components"][1]["ccErrors"], 1);

    const json& buf = d["buffers"];
    EXPECT_EQ(buf["system"]["tbOverflows"], 0);
    EXPECT_EQ(buf["programs"].size(), 2u);
    EXPECT_EQ(buf["programs"][0]["video"]["pid"], 0x101);
    EXPECT_TRUE(buf["programs"][0]["video"]["tb"]["fill"].is_number_integer());
}

}  // namespace
}  // namespace orv::cli
