#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "engine/event_catalogue.h"
#include "presentation/results_page_kinds.h"
#include "presentation/results_page_rows.h"

namespace orv {
namespace {

using K = Tr290ErrorKind;
using Lines = std::vector<std::string>;

TEST(ResultsKinds, CounterShownIsTheTotalOrTheSumOfCauses) {
    KindCounters c;
    c.at(K::Pat, sub::kPatInterval) = 1;
    c.at(K::Pat, sub::kPatScrambled) = 2;
    c.at(K::Tdt, sub::kTdtTableId) = 3;
    c.at(K::Tdt, sub::kTdtTooLong) = 4;
    c.at(K::Tdt, sub::kTdtTooShort) = 5;
    c.at(K::EitActualInterval, sub::kEitF) = 6;
    c.at(K::EitActualInterval, sub::kEitTooShort) = 7;
    // Kinds with a total show it, not the sum of the causes beside it.
    c.at(K::Buffer, sub::kBufTotal) = 3;
    c.at(K::Buffer, sub::kBufTBn) = 2;
    c.at(K::Buffer, sub::kBufBsys) = 1;
    c.at(K::DataDelay, sub::kDelayTotal) = 8;
    c.at(K::DataDelay, sub::kDelayOverOneSecond) = 8;
    c.at(K::Crc, 0) = 2;
    c.crcByTable[static_cast<int>(CrcTable::Sdt)] = 2;

    EXPECT_EQ(counterShown(c, K::Pat), 3);
    EXPECT_EQ(counterShown(c, K::Tdt), 12);
    EXPECT_EQ(counterShown(c, K::EitActualInterval), 13);
    EXPECT_EQ(counterShown(c, K::Buffer), 3);
    EXPECT_EQ(counterShown(c, K::DataDelay), 8);
    EXPECT_EQ(counterShown(c, K::Crc), 2);
    EXPECT_EQ(counterShown(c, K::SyncLoss), 0);

    EXPECT_EQ(counterBoxText(0), "0");
    EXPECT_EQ(counterBoxText(999), "999");
    EXPECT_EQ(counterBoxText(1000), "≥1000");
    EXPECT_EQ(counterBoxText(123456), "≥1000");
}

TEST(ResultsKinds, DetailTextsCarryTheirOwnCounters) {
    KindCounters c;
    c.at(K::Crc, 0) = 9;
    for (int t = 0; t < kCrcTableCount; ++t)
        c.crcByTable[t] = t + 1;
    c.at(K::Buffer, sub::kBufTotal) = 21;
    for (int s = 1; s <= 6; ++s)
        c.at(K::Buffer, s) = s;
    c.at(K::Rst, sub::kRstTableId) = 1200;  // sub-lines have no cap
    c.at(K::Rst, sub::kRstTooShort) = 3;
    c.at(K::DataDelay, sub::kDelayTotal) = 4;
    c.at(K::DataDelay, sub::kDelayOverOneSecond) = 4;
    c.at(K::SyncByte, 0) = 7;

    struct Case {
        K kind;
        bool initDone;
        Lines expected;
    };
    const Case cases[] = {
        {K::SyncByte,
         false,
         {"  监测到传送流同步字节错误共 7个", "  详细项目描述:", "    TS包同步字节不等于0x47 7个"}},
        {K::Crc,
         false,
         {"  监测到传送流CRC错误共 9 个", "  详细项目描述:", "    CAT发生CRC错误 2 个",
          "    NIT发生CRC错误 4 个", "    EIT发生CRC错误 5 个", "    BAT发生CRC错误 6 个",
          "    SDT发生CRC错误 7 个", "    TOT发生CRC错误 8 个"}},
        {K::Crc,
         true,
         {"  监测到传送流CRC错误共 9 个", "  详细项目描述:", "    PAT发生CRC错误 1 个",
          "    PMT发生CRC错误 3 个", "    CAT发生CRC错误 2 个", "    NIT发生CRC错误 4 个",
          "    EIT发生CRC错误 5 个", "    BAT发生CRC错误 6 个", "    SDT发生CRC错误 7 个",
          "    TOT发生CRC错误 8 个"}},
        {K::Buffer,
         true,
         {"  监测到传送流缓冲器错误共 21 个", "  详细项目描述:", "    传送缓冲器(TBn)上溢 1 个",
          "    系统传送缓冲器(TBsys)上溢 2 个",
          "    复用缓冲器(MBn)上溢或下溢(在vbv_delay模式下) 3 个",
          "    ES流缓冲器(EBn)上溢或下溢(在vbv_delay模式下) 4 个", "    主缓冲器上溢(Bn) 5 个",
          "    PSI输入缓冲器(Bsys)上溢 6 个"}},
        {K::Rst,
         true,
         {"  监测到传送流RST错误共 ≥1000 个",
          "  详细项目描述:", "    PID=0x0013的TS包含有的table_id", "    不等于(0x71,0x72) 1200 个",
          "    RST(table_id=0x71)出现间隔小于25ms 3 个"}},
        {K::DataDelay,
         true,
         {"  监测到传送流数据延迟错误共 4 个",
          "  详细项目描述:", "    数据通过TSDT缓冲器超过1s(静止图像视频数据除外) 4 个",
          "    静止图像视频数据通过TSDT缓冲器超过60s 0 个"}},
        {K::PmtInterval,
         true,
         {"  监测到传送流PMT间隔错误共 0 个", "  详细项目描述:", "    PAT指出的table_id=0x02的",
          "    任何PMT出现间隔超过0.5s 0 个"}},
    };
    for (const Case& tc : cases)
        EXPECT_EQ(detailText(tc.kind, c, tc.initDone), tc.expected) << kindIndex(tc.kind);
}

TEST(ResultsKinds, EveryKindReadsCountersItHasAndHeadlinesItsCounter) {
    KindCounters c;
    for (int k = 0; k < kKindCount; ++k) {
        const K kind = static_cast<K>(k);
        for (const DetailLine& l : resultsKind(kind).lines) {
            if (l.source == DetailSource::Slot) {
                EXPECT_LT(l.index, kindInfo(kind).subCounters) << k;
            }
        }
        const Lines lines = detailText(kind, c, true);
        ASSERT_GE(lines.size(), 3u) << k;
        EXPECT_EQ(lines[0], withNumber(resultsKind(kind).headline, 0)) << k;
        EXPECT_EQ(lines[1], "  详细项目描述:");
    }
}

TEST(ResultsKinds, PriorityGroupsMatchTheIconsOfTheEventCodes) {
    int perGroup[4] = {};
    for (int k = 0; k < kKindCount; ++k)
        ++perGroup[resultsKind(static_cast<K>(k)).priority];
    EXPECT_EQ(perGroup[1], 7);
    EXPECT_EQ(perGroup[2], 8);
    EXPECT_EQ(perGroup[3], 17);

    // A row gets its icon from the code, the single-kind list from the kind: the two agree.
    for (const EventDef& def : eventCatalogue()) {
        if (def.eventClass != EventClass::Error) {
            EXPECT_EQ(iconForCode(def.code), def.code == 1005 ? EventIcon::Saved : EventIcon::Run);
            continue;
        }
        EXPECT_EQ(iconForCode(def.code), iconForKind(def.kind)) << def.code;
        EXPECT_EQ(filterName(def.kind), kindInfo(def.kind).name);
    }
}

TEST(ResultsRows, TimesAndNumbersHaveTheirFixedForms) {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    EXPECT_EQ(formatEventTime(1'700'003'661), "23:14:21 Nov,14");
    EXPECT_EQ(formatEventTime(0), "00:00:00 Jan,01");
    EXPECT_EQ(rowNumberText(0), "00");
    EXPECT_EQ(rowNumberText(7), "07");
    EXPECT_EQ(rowNumberText(1999), "1999");
    EXPECT_EQ(withNumber("共 %d个", -3), "共 -3个");
    EXPECT_EQ(withNumber("no number", 5), "no number");
}

}  // namespace
}  // namespace orv
