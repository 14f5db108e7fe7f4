// The HTML report is read as XML (it is written as well-formed markup, so a strict parser checks
// every tag and attribute of the page and of its inline charts) and queried like a browser's DOM.
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>

#include "presentation/series_reducer.h"
#include "presentation/svg_chart.h"
#include "tests/shell/cli_test_fixture.h"
#include "tools/tsgen/generator.h"
#include "tools/tsgen/presets.h"

namespace orv::cli {
namespace {

struct XmlDoc {
    std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)> doc{nullptr, xmlFreeDoc};

    explicit XmlDoc(const std::string& text) {
        doc.reset(xmlReadMemory(text.data(), static_cast<int>(text.size()), "report.html", "UTF-8",
                                XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
    }
    // The text of every node the expression selects.
    std::vector<std::string> texts(const char* xpath) const {
        std::vector<std::string> out;
        std::unique_ptr<xmlXPathContext, decltype(&xmlXPathFreeContext)> ctx(
            xmlXPathNewContext(doc.get()), xmlXPathFreeContext);
        xmlXPathRegisterNs(ctx.get(), BAD_CAST "s", BAD_CAST "http://www.w3.org/2000/svg");
        std::unique_ptr<xmlXPathObject, decltype(&xmlXPathFreeObject)> result(
            xmlXPathEvalExpression(BAD_CAST xpath, ctx.get()), xmlXPathFreeObject);
        if (!result || !result->nodesetval) return out;
        for (int i = 0; i < result->nodesetval->nodeNr; ++i) {
            xmlChar* content = xmlNodeGetContent(result->nodesetval->nodeTab[i]);
            out.emplace_back(content ? reinterpret_cast<const char*>(content) : "");
            xmlFree(content);
        }
        return out;
    }
};

std::string readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class HtmlReportTest : public CliTest {};

TEST_F(HtmlReportTest, SampleShowsItsFaultsLampsAndOnePcrCurvePerProgram) {
    const tsgen::Preset sample = tsgen::samplePreset();
    AnalyzeOptions o = options(write(tsgen::generateStream(sample.config, sample.faults)), false);
    o.htmlPath = (dir_ / "report.html").string();
    run(o);
    ASSERT_EQ(exitCode_, kExitAnalysed);
    const XmlDoc page(readFile(*o.htmlPath));
    ASSERT_NE(page.doc, nullptr) << "the page is not well-formed";

    // The five injected faults: their codes in the event list, red lamps on exactly their kinds.
    const std::vector<std::string> codes =
        page.texts("//section[@id='events']//tr/td[5][normalize-space()!='']");
    std::multiset<std::string> found(codes.begin(), codes.end());
    for (const char* code : {"1042", "1041", "1070", "1110"})
        EXPECT_EQ(found.count(code), 1u) << code;
    EXPECT_EQ(found.count("1160"), 3u);
    EXPECT_EQ(page.texts("//div[@class='kind red']/span[@class='name']"),
              (std::vector<std::string>{"连续计数错", "传送错误", "TS包加扰错", "非指定PID错"}));
    EXPECT_EQ(page.texts("//div[@class='kind green']").size(), 28u);
    EXPECT_EQ(page.texts("//div[@class='verdict bad']"),
              std::vector<std::string>{
                  "4 kinds in error: 连续计数错, 传送错误, TS包加扰错, 非指定PID错"});

    // One PCR interval and one jitter curve per program, each with its 40 ms / 500 ns limits.
    EXPECT_EQ(page.texts("//s:svg[@class='chart pcr-interval']//s:polyline").size(), 2u);
    EXPECT_EQ(page.texts("//s:svg[@class='chart pcr-jitter']//s:polyline").size(), 2u);
    EXPECT_EQ(page.texts("//s:svg[@class='chart pcr-jitter']//s:line[@class='limit']").size(), 4u);
    EXPECT_EQ(page.texts("//section[@id='pcr']/h3"),
              (std::vector<std::string>{"Program 0x0001, PCR PID 0x0101",
                                        "Program 0x0002, PCR PID 0x0210"}));

    // The structure lists the PMTs and the components; the buffers hold both programs' video
    // buffers (TB, MB, EB each).
    for (const char* pid : {"0x0100", "0x0101", "0x0102", "0x0200", "0x0201", "0x0202"})
        EXPECT_FALSE(
            page.texts((std::string("//section[@id='multiplex']//td[.='") + pid + "']").c_str())
                .empty())
            << pid;
    EXPECT_EQ(page.texts("//section[@id='buffers']//tr[td[2]='video']/td[3]").size(), 6u);
    // Self-contained: nothing is fetched and nothing runs.
    EXPECT_TRUE(page.texts("//script | //link | //*[@src]").empty());
}

TEST_F(HtmlReportTest, UnwritablePathIsReportedAfterTheResults) {
    const tsgen::Preset sample = tsgen::cleanPreset();
    AnalyzeOptions o = options(write(tsgen::generateStream(sample.config, {})), false);
    o.htmlPath = (dir_ / "missing-folder" / "report.html").string();
    const std::string out = run(o);
    EXPECT_EQ(exitCode_, kExitLogNotWritten);
    EXPECT_FALSE(out.empty());
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].rfind("orv01: cannot write the HTML report " + *o.htmlPath + ": ", 0),
              0u);
}

TEST(SvgChart, DecimationKeepsEverySpikeAndTheOrder) {
    ChartSeries s{"interval", {}, {}};
    for (int i = 0; i < 100000; ++i) {
        s.x.push_back(i * 0.01);
        s.y.push_back(i == 31918 ? 95.0 : i == 70001 ? -3.0 : 30.0 + (i % 7) * 0.1);
    }
    const ChartSeries d = decimated(s, 500);
    ASSERT_LE(d.x.size(), 1000u);
    ASSERT_EQ(d.x.size(), d.y.size());
    EXPECT_TRUE(std::is_sorted(d.x.begin(), d.x.end()));
    EXPECT_EQ(*std::max_element(d.y.begin(), d.y.end()), 95.0);
    EXPECT_EQ(*std::min_element(d.y.begin(), d.y.end()), -3.0);
    // A short series is kept as it is.
    ChartSeries shortOne{"x", {1, 2, 3}, {4, 5, 6}};
    EXPECT_EQ(decimated(shortOne, 500).y, shortOne.y);
}

TEST(SeriesReducer, HoursOfMeasurementsFitTheBucketsAndKeepTheirExtremes) {
    for (const int n : {1, 63, 64, 65, 5000, 1'000'003}) {
        SCOPED_TRACE(n);
        SeriesReducer reducer(64);
        for (int i = 0; i < n; ++i)
            reducer.add(i, i == n / 3 ? 1e6 : i == n - 1 && n > 1 ? -1e6 : double(i % 11));
        const ChartSeries s = reducer.series("s");
        EXPECT_LE(s.x.size(), 128u);
        EXPECT_TRUE(std::is_sorted(s.x.begin(), s.x.end()));
        EXPECT_EQ(*std::max_element(s.y.begin(), s.y.end()), 1e6);
        if (n > 1) {
            EXPECT_EQ(*std::min_element(s.y.begin(), s.y.end()), -1e6);
        }
        EXPECT_EQ(s.x.front(), 0.0);
    }
}

TEST(SvgChart, ChartsAreWellFormedWhateverTheirData) {
    struct Case {
        const char* what;
        LineChart chart;
    };
    const double nan = std::nan("");
    const Case cases[] = {
        {"empty", {"k", "t", "x", "y", {}, {{40, "40 ms"}}}},
        {"one point", {"k", "t", "x", "y", {{"s", {5}, {5}}}, {}}},
        {"flat zero", {"k", "t", "x", "y", {{"s", {0, 1, 2}, {0, 0, 0}}}, {}}},
        {"not a number", {"k", "t", "x", "y", {{"s", {0, 1, nan}, {nan, 2, 3}}}, {}}},
        {"markup in names", {"k\"<", "a<b & c", "x", "y", {{"<s>", {0, 1}, {1, 2}}}, {{1, "<&>"}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const XmlDoc svg(lineChartSvg(c.chart));
        ASSERT_NE(svg.doc, nullptr);
        // Every plotted point lies inside the plot area.
        for (const std::string& points : svg.texts("//s:polyline/@points")) {
            std::istringstream in(points);
            double x = 0, y = 0;
            char comma = 0;
            while (in >> x >> comma >> y) {
                EXPECT_GE(x, 0);
                EXPECT_LE(x, c.chart.width);
                EXPECT_GE(y, 0);
                EXPECT_LE(y, c.chart.height);
            }
        }
    }
    const XmlDoc histogram(histogramSvg({"h", "t", "ms", {"<1", "1-2"}, {0, 7}}));
    ASSERT_NE(histogram.doc, nullptr);
    EXPECT_EQ(histogram.texts("//s:rect[@class='bin']/s:title"),
              (std::vector<std::string>{"<1: 0", "1-2: 7"}));
}

}  // namespace
}  // namespace orv::cli
