// The tsgen multiplexer and presets: constant bitrate, continuity, PCR exactness, PES time
// stamps, elementary stream headers, table repetition, determinism and the bundled sample.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>

#include "engine/section_crc.h"
#include "tests/tools/ts_test_util.h"
#include "tools/tsgen/generator.h"
#include "tools/tsgen/presets.h"
#include "tools/tsgen/video_profiles.h"

namespace {

using namespace tsgen;
using tsgen_test::Bytes;
using tsgen_test::packetAt;
using tsgen_test::packetCount;

StreamConfig shortClean(uint64_t ms = 3000, unsigned size = 188, uint64_t bitrate = 8'000'000) {
    PresetOptions o;
    o.durationMs = ms;
    o.packetSize = size;
    o.bitrate = bitrate;
    return cleanPreset(o).config;
}

uint64_t slotTicks(uint64_t i, unsigned size, uint64_t bitrate) {
    return static_cast<uint64_t>(static_cast<unsigned __int128>(i) * size * 8 * 27'000'000 /
                                 bitrate);
}

TEST(TsgenStream, PacketCountFollowsDurationAndBitrate) {
    struct Case {
        uint64_t ms, bitrate;
        unsigned size;
        uint64_t packets;
    };
    const Case cases[] = {
        {1000, 8'000'000, 188, 5319},
        {1000, 8'000'000, 204, 4901},
        {2500, 38'000'000, 188, 63164},
        {10, 1'504'000, 188, 10},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(packetsForMs(c.ms, c.bitrate, c.size), c.packets);
        if (c.bitrate < 8'000'000) continue;  // too low for the preset's programs
        const StreamConfig cfg = shortClean(c.ms, c.size, c.bitrate);
        EXPECT_EQ(cfg.packetCount, c.packets);
        const Bytes ts = generateStream(cfg);
        EXPECT_EQ(ts.size(), cfg.packetCount * c.size);
        for (std::size_t i = 0; i < packetCount(ts, c.size); ++i)
            ASSERT_EQ(packetAt(ts, i, c.size)[0], 0x47) << i;
    }
}

TEST(TsgenStream, ContinuityCountersRunPerPid) {
    for (unsigned size : {188u, 204u}) {
        const Bytes ts = generateStream(shortClean(3000, size));
        std::map<unsigned, unsigned> last;
        std::map<unsigned, int> payloadPackets;
        for (std::size_t i = 0; i < packetCount(ts, size); ++i) {
            const uint8_t* p = packetAt(ts, i, size);
            if (size == 204) {
                for (std::size_t k = 188; k < 204; ++k)
                    ASSERT_EQ(p[k], 0) << i;
            }
            const unsigned pid = orv::packetPid(p), cc = orv::continuityCounter(p);
            EXPECT_FALSE(orv::transportErrorIndicator(p));
            EXPECT_EQ(orv::scramblingControl(p), 0u);
            if (pid == 0x1FFF) continue;
            auto it = last.find(pid);
            if (orv::hasPayload(p)) {
                if (it != last.end()) {
                    ASSERT_EQ(cc, (it->second + 1) % 16) << "pid " << pid << " at " << i;
                }
                last[pid] = cc;
                ++payloadPackets[pid];
            } else if (it != last.end()) {
                ASSERT_EQ(cc, it->second) << "adaptation-only packet keeps the counter";
            }
        }
        for (unsigned pid :
             {0x0u, 0x10u, 0x11u, 0x12u, 0x14u, 0x100u, 0x101u, 0x102u, 0x200u, 0x201u, 0x202u})
            EXPECT_GT(payloadPackets[pid], 0) << pid;
    }
}

TEST(TsgenStream, PcrIsExactFromPacketPosition) {
    struct Case {
        unsigned size;
        uint64_t bitrate, pcrInitial;
    };
    const uint64_t nearWrap = (uint64_t{1} << 33) * 300 - 27'000'000;  // wraps after 1 s
    const Case cases[] = {{188, 8'000'000, 0}, {204, 8'000'000, 0}, {188, 9'876'543, nearWrap}};
    for (const Case& c : cases) {
        StreamConfig cfg = shortClean(3000, c.size, c.bitrate);
        cfg.pcrInitial = c.pcrInitial;
        const Bytes ts = generateStream(cfg);
        std::map<unsigned, std::vector<std::size_t>> pcrPackets;
        for (std::size_t i = 0; i < packetCount(ts, c.size); ++i) {
            const uint8_t* p = packetAt(ts, i, c.size);
            const auto pcr = tsgen_test::pcrOf(p);
            if (!pcr) continue;
            const uint64_t expected =
                (c.pcrInitial + slotTicks(i, c.size, c.bitrate)) % ((uint64_t{1} << 33) * 300);
            ASSERT_EQ(*pcr, expected) << "packet " << i;
            pcrPackets[orv::packetPid(p)].push_back(i);
        }
        ASSERT_EQ(pcrPackets.size(), 2u);  // video PID of program 1, own PID of program 2
        EXPECT_TRUE(pcrPackets.count(0x101) && pcrPackets.count(0x210));
        for (const auto& [pid, at] : pcrPackets) {
            ASSERT_GT(at.size(), 90u);
            for (std::size_t k = 1; k < at.size(); ++k) {
                const uint64_t gap =
                    slotTicks(at[k], c.size, c.bitrate) - slotTicks(at[k - 1], c.size, c.bitrate);
                EXPECT_LE(gap, 30 * 27'000 + 2 * slotTicks(1, c.size, c.bitrate)) << pid;
            }
        }
    }
}

TEST(TsgenStream, SeededPcrJitterStaysWithinItsBoundAndRepeats) {
    StreamConfig cfg = shortClean(2000);
    cfg.pcrJitterNs = 2000;
    cfg.seed = 42;
    const Bytes a = generateStream(cfg), b = generateStream(cfg);
    EXPECT_EQ(a, b);
    int moved = 0;
    for (std::size_t i = 0; i < packetCount(a); ++i) {
        const auto pcr = tsgen_test::pcrOf(packetAt(a, i));
        if (!pcr) continue;
        const int64_t d =
            static_cast<int64_t>(*pcr) - static_cast<int64_t>(slotTicks(i, 188, cfg.bitrate));
        EXPECT_LE(std::abs(d), 54) << i;  // 2000 ns = 54 ticks
        moved += d != 0;
    }
    EXPECT_GT(moved, 100);
    cfg.seed = 43;
    EXPECT_NE(generateStream(cfg), a);
}

TEST(TsgenStream, PesTimeStampsFollowTheFrameClock) {
    const StreamConfig cfg = shortClean(4000);
    const Bytes ts = generateStream(cfg);
    struct Case {
        unsigned pid;
        bool video;
        uint64_t frame90k;
        uint64_t delay90k;
    };
    for (const Case& c : {Case{0x101, true, 3600, 45000}, Case{0x201, true, 3600, 45000},
                          Case{0x102, false, 2160, 18000}, Case{0x202, false, 2160, 18000}}) {
        SCOPED_TRACE(c.pid);
        const auto st = tsgen_test::pesStamps(ts, c.pid);
        ASSERT_GT(st.size(), c.video ? 90u : 160u);
        int anchors = 0;
        for (std::size_t k = 0; k < st.size(); ++k) {
            const uint64_t dts = st[k].dts.value_or(st[k].pts);
            if (k > 0) {
                EXPECT_EQ(dts - st[k - 1].dts.value_or(st[k - 1].pts), c.frame90k) << k;
            }
            // Decoding time lies ahead of the packet's own clock by at most the configured delay.
            const uint64_t arrival = slotTicks(st[k].packet, 188, cfg.bitrate) / 300;
            EXPECT_LE(dts, arrival + c.delay90k);
            EXPECT_GT(dts, arrival + c.delay90k / 2);
            if (!c.video) {
                EXPECT_FALSE(st[k].dts);
                continue;
            }
            // Anchors are shown 3 frames after decoding (2 B pictures between), B at once.
            if (st[k].dts) {
                EXPECT_EQ(st[k].pts - *st[k].dts, k == 0 ? 3600u : 3 * 3600u) << k;
                ++anchors;
            }
        }
        if (c.video) {
            EXPECT_NEAR(anchors, static_cast<int>(st.size()) / 3, 1);
        }
    }
}

// Bytes of the elementary stream carried on a PID, split at PES starts.
std::vector<Bytes> pesPayloads(const Bytes& ts, unsigned pid) {
    std::vector<Bytes> out;
    for (std::size_t i = 0; i < packetCount(ts); ++i) {
        const uint8_t* p = packetAt(ts, i);
        if (orv::packetPid(p) != pid || !orv::hasPayload(p)) continue;
        if (orv::payloadUnitStart(p)) out.emplace_back();
        if (out.empty()) continue;
        const unsigned off = orv::payloadOffset(p);
        out.back().insert(out.back().end(), p + off, p + 188);
    }
    if (!out.empty()) out.pop_back();  // may be incomplete
    return out;
}

TEST(TsgenStream, VideoCarriesMpeg2HeadersAndNoStrayStartCodes) {
    const Bytes ts = generateStream(shortClean(2000));
    const auto pes = pesPayloads(ts, 0x101);
    ASSERT_GE(pes.size(), 24u);
    std::map<int, int> types;
    for (std::size_t k = 0; k < pes.size(); ++k) {
        const Bytes& b = pes[k];
        ASSERT_EQ(b[3], 0xE0);
        const std::size_t length = (b[4] << 8) | b[5];
        EXPECT_EQ(length, b.size() - 6) << "PES_packet_length";
        std::vector<uint8_t> codes;
        std::size_t picture = 0;
        for (std::size_t i = 9 + b[8]; i + 3 < b.size(); ++i)
            if (b[i] == 0 && b[i + 1] == 0 && b[i + 2] == 1) {
                codes.push_back(b[i + 3]);
                if (b[i + 3] == 0x00) picture = i;
            }
        const bool intra = codes.size() == 6;
        if (intra) {
            EXPECT_EQ(codes, (std::vector<uint8_t>{0xB3, 0xB5, 0xB5, 0xB8, 0x00, 0xB5}));
            const std::size_t sh = 9 + b[8] + 4;
            EXPECT_EQ((b[sh] << 4) | (b[sh + 1] >> 4), 720);
            EXPECT_EQ(((b[sh + 1] & 0x0F) << 8) | b[sh + 2], 576);
            EXPECT_EQ(b[sh + 3] & 0x0F, 3) << "25 frames/s";
            const uint32_t rate = (b[sh + 4] << 10) | (b[sh + 5] << 2) | (b[sh + 6] >> 6);
            EXPECT_EQ(rate, 3'000'000u / 400);
            EXPECT_EQ(b[sh + 8 + 4] >> 4, 1) << "sequence extension";
            EXPECT_EQ(((b[sh + 12] & 0x0F) << 4) | (b[sh + 13] >> 4), 0x48);
        } else {
            EXPECT_EQ(codes, (std::vector<uint8_t>{0x00, 0xB5}));
        }
        ASSERT_NE(picture, 0u);
        const int type = (b[picture + 5] >> 3) & 7;
        EXPECT_EQ(type == 1, intra);
        ++types[type];
    }
    // One GOP of 12 in coded order per 480 ms: 1 I, 3 P, 8 B.
    EXPECT_NEAR(types[1] * 12.0 / pes.size(), 1.0, 0.5);
    EXPECT_NEAR(types[2] * 12.0 / pes.size(), 3.0, 0.6);
    EXPECT_NEAR(types[3] * 12.0 / pes.size(), 8.0, 0.6);
}

TEST(TsgenStream, VideoDeclaresTheChosenProfileAndLevel) {
    struct Case {
        const char* name;
        uint8_t profileAndLevel;  // escape bit, 3 bits profile, 4 bits level
    };
    for (const Case c : {Case{"high@high", 0x14}, Case{"high@main", 0x18}, Case{"main@low", 0x4A},
                         Case{"422@high", 0x82}, Case{"422@main", 0x85}}) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(videoProfileByName(c.name), c.profileAndLevel);
        StreamConfig cfg = shortClean(2000);
        setVideoProfile(cfg, c.profileAndLevel);
        const Bytes ts = generateStream(cfg);
        for (const unsigned pid : {0x101u, 0x201u}) {
            int extensions = 0;
            for (const Bytes& b : pesPayloads(ts, pid))
                for (std::size_t i = 9 + b[8]; i + 5 < b.size(); ++i)
                    if (b[i] == 0 && b[i + 1] == 0 && b[i + 2] == 1 && b[i + 3] == 0xB5 &&
                        b[i + 4] >> 4 == 1) {
                        EXPECT_EQ(((b[i + 4] & 0x0F) << 4) | (b[i + 5] >> 4), c.profileAndLevel);
                        ++extensions;
                    }
            EXPECT_GT(extensions, 0) << pid;
        }
    }
    EXPECT_FALSE(videoProfileByName("high@low"));  // not a combination the standard defines
}

TEST(TsgenStream, AudioCarriesLayer2FramesAt48kHz) {
    const Bytes ts = generateStream(shortClean(1000));
    const auto pes = pesPayloads(ts, 0x202);
    ASSERT_GE(pes.size(), 30u);
    for (const Bytes& b : pes) {
        ASSERT_EQ(b[3], 0xC0);
        const std::size_t es = 9 + b[8];
        ASSERT_EQ(b.size() - es, 576u) << "one 192 kbit/s frame per PES";
        EXPECT_EQ(Bytes(b.begin() + es, b.begin() + es + 4), (Bytes{0xFF, 0xFD, 0xA4, 0x04}));
        for (std::size_t i = es + 4; i < b.size(); ++i)
            ASSERT_NE(b[i], 0xFF) << "false sync";
    }
}

TEST(TsgenStream, TablesRepeatAtTheirIntervalsWithGoodSections) {
    const StreamConfig cfg = shortClean(6000);
    const Bytes ts = generateStream(cfg);
    struct Case {
        unsigned pid;
        uint8_t tableId;
        double intervalMs;
    };
    const Case cases[] = {{0x000, 0x00, 100},  {0x100, 0x02, 100},  {0x200, 0x02, 100},
                          {0x010, 0x40, 2000}, {0x011, 0x42, 1000}, {0x012, 0x4E, 400},
                          {0x014, 0x70, 2000}, {0x014, 0x73, 4000}};
    const double slotMs = 188.0 * 8 * 1000 / cfg.bitrate;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pid);
        std::vector<std::size_t> starts;
        for (const auto& s : tsgen_test::sectionsOn(ts, c.pid)) {
            if (s.bytes[0] != c.tableId) continue;
            if (c.tableId != 0x70) {
                EXPECT_EQ(orv::sectionCrc32(s.bytes.data(), s.bytes.data() + s.bytes.size()), 0u);
            }
            starts.push_back(s.packet);
        }
        ASSERT_GE(starts.size(), 2u);
        for (std::size_t k = 1; k < starts.size(); ++k)
            EXPECT_NEAR((starts[k] - starts[k - 1]) * slotMs, c.intervalMs, 4 * slotMs);
    }
}

TEST(TsgenStream, SameInputsGiveTheSameBytesWhateverTheChunking) {
    const Preset p = samplePreset(PresetOptions{8'000'000, 188, 3000});
    GenerateResult r1;
    const Bytes whole = generateStream(p.config, p.faults, &r1);
    Bytes chunked;
    std::size_t calls = 0;
    const GenerateResult r2 = generateStream(
        p.config, p.faults,
        [&](const uint8_t* d, std::size_t n) {
            EXPECT_LE(n, 7u * 188);
            chunked.insert(chunked.end(), d, d + n);
            ++calls;
        },
        7);
    EXPECT_EQ(whole, chunked);
    EXPECT_EQ(calls, (p.config.packetCount + 6) / 7);
    EXPECT_EQ(whole, generateStream(p.config, p.faults));
    ASSERT_EQ(r1.applied.size(), r2.applied.size());
}

TEST(TsgenStream, OverloadedOrInvalidConfigurationsAreRefused) {
    StreamConfig cfg = shortClean(100);
    cfg.bitrate = 5'000'000;  // two 3 Mbit/s videos do not fit
    EXPECT_THROW(Multiplexer{cfg}, std::invalid_argument);
    cfg = shortClean(100);
    cfg.packetSize = 192;
    EXPECT_THROW(Multiplexer{cfg}, std::invalid_argument);
    cfg = shortClean(100);
    cfg.programs[1].audios[0].pid = cfg.programs[0].video->pid;
    EXPECT_THROW(Multiplexer{cfg}, std::invalid_argument);
    cfg = shortClean(100);
    cfg.programs[0].audios[0].bitrate = 200'000;  // not a Layer II rate
    EXPECT_THROW(Multiplexer{cfg}, std::invalid_argument);
}

// --packed-psi and --pmt-streams: PMTs of six packets whose repetitions start in the packet that
// ends the one before, unless that tail leaves no room for a section header.
TEST(TsgenStream, PackedPsiOption) {
    PresetOptions opt;
    opt.durationMs = 2000;
    opt.packedPsi = true;
    opt.pmtDataStreams = kMaxPmtDataStreams;
    const Preset p = cleanPreset(opt);
    const Section& pmt = p.config.tables[1].sections[0];
    EXPECT_EQ(pmt.size(), 1022u);  // video 5 bytes, audio 11, 90 data components 11 each
    EXPECT_EQ(pmt, pmtSectionFor(p.config.programs[0]));
    const Bytes ts = generateStream(p.config);
    const auto found = tsgen_test::sectionsOn(ts, 0x100);
    ASSERT_GE(found.size(), 19u);
    std::size_t packed = 0;
    for (std::size_t i = 0; i < found.size(); ++i) {
        EXPECT_EQ(found[i].bytes, pmt) << i;
        const uint8_t* start = packetAt(ts, found[i].packet);
        if (start[4] > 0) ++packed;  // pointer_field
    }
    EXPECT_EQ(packetAt(ts, found[0].packet)[4], 0);
    EXPECT_GE(packed * 4, found.size() * 3);
    opt.pmtDataStreams = kMaxPmtDataStreams + 1;
    EXPECT_THROW(cleanPreset(opt), std::invalid_argument);
}

TEST(TsgenSample, FaultsLandWhereTheReadmeSaysAndTheBuiltFileMatches) {
    const Preset p = samplePreset();
    GenerateResult r;
    const Bytes ts = generateStream(p.config, p.faults, &r);
    EXPECT_EQ(r.packets, 63829u);
    EXPECT_TRUE(r.missed.empty());
    struct Landing {
        FaultKind kind;
        uint64_t packet;
        uint16_t pid;
    };
    const Landing expected[] = {
        {FaultKind::CcSkip, 11227, 0x101},         {FaultKind::CcRepeat, 21348, 0x102},
        {FaultKind::TransportError, 31918, 0x201}, {FaultKind::StrayPid, 37576, 0x777},
        {FaultKind::StrayPid, 37578, 0x777},       {FaultKind::StrayPid, 37583, 0x777},
        {FaultKind::Scrambling, 47965, 0x202},
    };
    ASSERT_EQ(r.applied.size(), std::size(expected));
    for (std::size_t i = 0; i < r.applied.size(); ++i) {
        EXPECT_EQ(r.applied[i].kind, expected[i].kind) << i;
        EXPECT_EQ(r.applied[i].packet, expected[i].packet) << i;
        EXPECT_EQ(r.applied[i].pid, expected[i].pid) << i;
        // Kept simple to explain: no fault sits on a PES header or a PCR.
        const uint8_t* pkt = packetAt(ts, r.applied[i].packet);
        EXPECT_FALSE(orv::payloadUnitStart(pkt)) << i;
        EXPECT_FALSE(tsgen_test::pcrOf(pkt)) << i;
    }
    // The repeated audio packet is sent three times in a row.
    EXPECT_EQ(r.applied[1].other, 21350u);
    for (uint64_t copy : {21349u, 21350u})
        EXPECT_TRUE(std::equal(packetAt(ts, copy), packetAt(ts, copy) + 188, packetAt(ts, 21348)));
    // The sample has an EPG schedule on 0x50 and 0x51 and no CAT.
    std::map<uint8_t, int> eit;
    for (const auto& s : tsgen_test::sectionsOn(ts, 0x12))
        ++eit[s.bytes[0]];
    EXPECT_GT(eit[0x50], 60);
    EXPECT_GT(eit[0x51], 60);
    for (std::size_t i = 0; i < packetCount(ts); ++i)
        ASSERT_NE(orv::packetPid(packetAt(ts, i)), 1u);

    std::ifstream file(ORV_SAMPLE_STREAM, std::ios::binary);
    if (!file) GTEST_SKIP() << "sample stream not built: " << ORV_SAMPLE_STREAM;
    const Bytes built((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(built == ts) << "the CLI must write exactly the library's sample";
}

}  // namespace
