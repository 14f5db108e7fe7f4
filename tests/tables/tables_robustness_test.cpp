// Every table handler fed random mutations of real and synthesized sections (fixed seed). Half
// of the mutants get a fresh CRC_32, so that damaged lengths and loops get past the CRC check
// and reach the readers. Nothing may be read or written outside the buffers (run under the
// sanitizers in CI); the models must stay within their limits.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <vector>

#include "engine/packet_header.h"
#include "engine/program_table.h"
#include "engine/programme_guide.h"
#include "engine/psi_handlers.h"
#include "engine/repetition_check.h"
#include "engine/si_handlers.h"
#include "tools/tsgen/crc32.h"
#include "tools/tsgen/descriptors.h"
#include "tools/tsgen/sections.h"

namespace orv {
namespace {

using Bytes = std::vector<uint8_t>;

// The sections that start at a pointer_field on the table PIDs of a capture, reassembled up to
// their section_length (at most `limit` of them).
std::vector<Bytes> captureSections(const char* name, std::size_t limit) {
    const auto path = std::filesystem::path(ORV_STREAMS_DIR) / name;
    std::ifstream in(path, std::ios::binary);
    const Bytes ts{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::vector<Bytes> out;
    std::map<unsigned, Bytes> open;
    for (std::size_t off = 0; off + 188 <= ts.size() && out.size() < limit; off += 188) {
        const uint8_t* p = ts.data() + off;
        const unsigned pid = packetPid(p), payload = payloadOffset(p);
        if (p[0] != 0x47 || payload >= 188 || (pid > 0x14 && pid != 0x810)) continue;
        Bytes& cur = open[pid];
        if (payloadUnitStart(p)) {
            if (cur.size() >= 3) out.push_back(cur);
            cur.clear();
            const unsigned start = payload + 1u + p[payload];
            if (start < 188) cur.assign(p + start, p + 188);
        } else if (!cur.empty()) {
            cur.insert(cur.end(), p + payload, p + 188);
        }
        if (cur.size() >= 3)
            cur.resize(std::min<std::size_t>(cur.size(), 3u + (((cur[1] & 0x0F) << 8) | cur[2])));
    }
    return out;
}

std::vector<Bytes> synthesizedSections() {
    using namespace tsgen;
    std::vector<Bytes> out;
    out.push_back(buildPat({1, {}, {{0, 0x10}, {1, 0x100}, {2, 0x200}}}));
    out.push_back(buildCat({{}, {caDescriptor(0x4AE0, 0x600), caDescriptor(0x100, 0x601)}}));
    PmtParams pmt;
    pmt.pcrPid = 0x101;
    pmt.programInfo = {caDescriptor(1, 0x700)};
    pmt.streams = {{2, 0x101, {caDescriptor(2, 0x701)}},
                   {4, 0x102, {iso639LanguageDescriptor("eng")}},
                   {0x11, 0x103, {{0x11, {0x01, 0, 0}}}},
                   {0x86, 0x104, {}}};
    out.push_back(buildPmt(pmt));
    NitParams nit;
    nit.networkDescriptors = {networkNameDescriptor("net")};
    nit.transportStreams = {{1, 2, {serviceListDescriptor({{1, 1}})}}};
    out.push_back(buildNit(nit));
    SdtParams sdt;
    sdt.services = {{1, true, true, 4, false, {serviceDescriptor(1, "prov", "name")}},
                    {2, false, false, 1, true, {}}};
    out.push_back(buildSdt(sdt));
    out.push_back(buildBat({}));
    for (uint8_t table : {0x4E, 0x50, 0x60}) {
        EitParams eit;
        eit.tableId = table;
        eit.lastTableId = table;
        eit.events = {{1, 1700000000, 60, 4, false, {shortEventDescriptor("eng", "a", "b")}},
                      {2, 1700000060, 60, 1, false, {}}};
        out.push_back(buildEit(eit));
    }
    out.push_back(buildTdt(1700000000));
    out.push_back(buildTot({1700000000, {localTimeOffsetDescriptor({{}})}}));
    out.push_back(buildRst({{}, {}}));
    return out;
}

class Mutator {
  public:
    explicit Mutator(uint32_t seed) : rng_(seed) {}

    Bytes mutate(const Bytes& original) {
        Bytes s = original;
        const int edits = 1 + static_cast<int>(rng_() % 6);
        for (int i = 0; i < edits; ++i) {
            switch (rng_() % 6) {
                case 0:  // a byte anywhere
                    if (!s.empty()) s[rng_() % s.size()] = static_cast<uint8_t>(rng_());
                    break;
                case 1:  // a bit anywhere
                    if (!s.empty())
                        s[rng_() % s.size()] ^= static_cast<uint8_t>(1u << (rng_() % 8));
                    break;
                case 2:  // section_length
                    if (s.size() >= 3) {
                        s[1] = static_cast<uint8_t>((s[1] & 0xF0) | (rng_() & 0x0F));
                        s[2] = static_cast<uint8_t>(rng_());
                    }
                    break;
                case 3:  // cut short
                    s.resize(rng_() % (s.size() + 1));
                    break;
                case 4:  // trailing bytes
                    for (unsigned n = rng_() % 64; n > 0; --n)
                        s.push_back(static_cast<uint8_t>(rng_()));
                    break;
                case 5:  // a length byte of a loop or descriptor near the start
                    if (s.size() > 12) s[8 + rng_() % (s.size() - 8)] = 0xFF;
                    break;
            }
        }
        if (s.size() > 4096) s.resize(4096);
        if (rng_() % 2 == 0 && s.size() >= 7) {
            // A fresh CRC over the section as its (possibly damaged) section_length states it.
            const std::size_t stated = 3u + (((s[1] & 0x0F) << 8) | s[2]);
            const std::size_t end = std::min(stated, s.size());
            if (end >= 7) {
                const uint32_t crc = tsgen::crc32Mpeg2(s.data(), end - 4);
                for (int b = 0; b < 4; ++b)
                    s[end - 4 + b] = static_cast<uint8_t>(crc >> (24 - 8 * b));
            }
        }
        return s;
    }
    unsigned next() { return rng_(); }

  private:
    std::mt19937 rng_;
};

std::unique_ptr<AnalysisContext> freshContext() {
    auto ctx = std::make_unique<AnalysisContext>();
    resetAll(*ctx);
    enableAllMonitoring(*ctx);
    ctx->streamBitrate.current = 1.504;
    beginRun(*ctx, kEventOfflineStart);
    return ctx;
}

// Puts the bytes into a collector as if they had been assembled from packets.
void load(SectionCollector& c, const Bytes& s) {
    const std::size_t n = std::min(s.size(), c.bytes.size());
    std::copy_n(s.begin(), n, c.bytes.begin());
    c.length = static_cast<int>(n);
    c.complete = true;
}

TEST(TablesRobustness, RandomMutationsOfEveryHandler) {
    std::vector<Bytes> corpus = synthesizedSections();
    if (std::filesystem::is_directory(ORV_STREAMS_DIR)) {
        for (const char* f :
             {"cap-si-only-nit-sdt-eit-tdt.ts", "cap-mpeg2-mp2-sdt.ts", "cap-eit-cat-short.ts"}) {
            const auto real = captureSections(f, 400);
            corpus.insert(corpus.end(), real.begin(), real.end());
        }
    }
    ASSERT_GT(corpus.size(), 10u);

    using Handler = std::function<void(AnalysisContext&, const Bytes&, unsigned next)>;
    const std::pair<const char*, Handler> handlers[] = {
        {"NIT",
         [](AnalysisContext& c, const Bytes& s, unsigned n) {
             OnNitSection(c, s);
             measureSectionStart(c, n, 0);
         }},
        {"SDT/BAT",
         [](AnalysisContext& c, const Bytes& s, unsigned n) {
             OnSdtBatSection(c, s);
             measureSectionStart(c, n, 0);
         }},
        {"EIT",
         [](AnalysisContext& c, const Bytes& s, unsigned n) {
             OnEitSection(c, s);
             measureSectionStart(c, n, s.size() > 6 ? s[6] : 0);
         }},
        {"RST",
         [](AnalysisContext& c, const Bytes& s, unsigned n) {
             OnRstSection(c, s);
             measureSectionStart(c, n, 0);
         }},
        {"TDT/TOT",
         [](AnalysisContext& c, const Bytes& s, unsigned n) {
             OnTdtTotSection(c, s);
             measureSectionStart(c, n, 0);
         }},
        {"guide services",
         [](AnalysisContext& c, const Bytes& s, unsigned) { CollectGuideServices(c, s); }},
        {"guide events",
         [](AnalysisContext& c, const Bytes& s, unsigned) {
             if (!c.guide.actual.created) CollectGuideServices(c, synthesizedSections()[4]);
             CollectGuideEvents(c, s);
         }},
        {"PAT",
         [](AnalysisContext& c, const Bytes& s, unsigned n) {
             SectionCollector& col = c.pat.patFound ? c.pat.later : c.pat.first;
             load(col, s);
             analysePat(c, col);
             if (n % 7 == 0) c.runState = RunState::Running;
         }},
        {"CAT",
         [](AnalysisContext& c, const Bytes& s, unsigned) {
             load(c.cat.collector, s);
             analyseCat(c, c.cat.collector);
         }},
        {"PMT",
         [](AnalysisContext& c, const Bytes& s, unsigned n) {
             if (c.programs.empty()) {
                 c.pat.programCount = 3;
                 c.pat.programs[0] = {1, 0x100};
                 c.pat.programs[1] = {2, 0x100};
                 c.pat.programs[2] = {0x810, 0x810};
                 createProgramTable(c);
             }
             const int index = static_cast<int>(n % 3);
             ProgramEntry& p = c.programs[static_cast<std::size_t>(index)];
             SectionCollector& col = p.pmtReceived ? p.laterPmt : p.firstPmt;
             load(col, s);
             analysePmt(c, index, col);
         }},
    };
    constexpr int kMutations = 100000;
    Mutator m(20240301);
    for (const auto& [name, handler] : handlers) {
        SCOPED_TRACE(name);
        auto ctx = freshContext();
        for (int i = 0; i < kMutations; ++i) {
            if (i % 5000 == 4999) ctx = freshContext();  // keeps the stores of one round small
            ctx->packetCounter += 1 + m.next() % 50;
            const Bytes& original = corpus[m.next() % corpus.size()];
            handler(*ctx, m.mutate(original), 0x40 + m.next() % 0x40);
            ASSERT_LE(ctx->programCount(), kMaxPrograms);
            ASSERT_LE(ctx->guide.actual.count(), kGuideServiceSlots);
        }
        for (const SiSectionList& l : ctx->siStore.tables)
            EXPECT_LE(l.count(), kSiListCapacity);
        for (const EitSectionList& l : ctx->siStore.eit)
            EXPECT_LE(l.count(), kEitScheduleCapacity);
        for (const GuideService& s : ctx->guide.actual.services)
            EXPECT_LE(s.eventCount(), kGuideMaxEvents);
    }
}

}  // namespace
}  // namespace orv
