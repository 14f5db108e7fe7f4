// Random descriptor loops and mutated real sections through the decoder, every section writer
// and the table tree: nothing may read outside the bytes it is given (the sanitizer build runs
// this too) and every line must be valid UTF-8.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <set>

#include "platform/text_codec.h"
#include "presentation/section_text.h"
#include "presentation/table_tree.h"
#include "tests/presentation/texts_test_support.h"
#include "tools/tsgen/dvb_time.h"
#include "tools/tsgen/sections.h"

namespace {

using namespace texts_test;
using orv::SectionText;
using orv::TextLines;

bool allUtf8(const TextLines& lines) {
    for (const std::string& l : lines) {
        if (!orv::utf8ToCp936(l).ok() &&
            orv::utf8ToCp936(l).status == orv::CodecStatus::InvalidInput) {
            return false;
        }
    }
    return true;
}

TEST(TextsRobustness, RandomDescriptorLoops) {
    std::mt19937 rng(20240607);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> size(0, 96);
    std::size_t lines = 0;
    for (int n = 0; n < 100000; ++n) {
        Bytes loop(static_cast<std::size_t>(size(rng)));
        for (auto& b : loop)
            b = static_cast<uint8_t>(byte(rng));
        // Mostly known tags with short lengths, so that the fields are reached.
        for (std::size_t at = 0; at + 1 < loop.size(); at += loop[at + 1] + 2u) {
            if (byte(rng) < 200) loop[at] = static_cast<uint8_t>(0x02 + byte(rng) % 0x65);
            if (byte(rng) < 160) loop[at + 1] = static_cast<uint8_t>(byte(rng) % 24);
        }
        const Bytes exact(loop);  // exactly sized, so a read past it is caught
        TextLines out;
        orv::DescriptorText::appendLines(exact, "   ", out);
        lines += out.size();
        if (n % 1000 == 0) {
            ASSERT_TRUE(allUtf8(out));
        }
    }
    EXPECT_GT(lines, 100000u);
}

std::vector<Bytes> seedSections() {
    std::vector<Bytes> seeds;
    const std::pair<const char*, std::vector<unsigned>> captures[] = {
        {"cap-mpeg2-mp2-sdt.ts", {0x0000, 0x0810, 0x0011}},
        {"cap-si-only-nit-sdt-eit-tdt.ts", {0x0010, 0x0011, 0x0012, 0x0014}},
        {"cap-eit-cat-short.ts", {0x0001}},
    };
    for (const auto& [name, pids] : captures) {
        if (!std::filesystem::exists(streamPath(name))) continue;
        const Bytes ts = readFile(streamPath(name));
        for (unsigned pid : pids) {
            std::set<uint8_t> seen;
            for (const Bytes& s : sectionsOnPid(ts, pid)) {
                if (seen.insert(s[0]).second) seeds.push_back(s);
            }
        }
    }
    tsgen::PmtParams pmt;
    pmt.programInfo = {tsgen::caDescriptor(1, 2)};
    pmt.streams = {{0x02, 0x100, {{0x02, {0x10, 0x48, 0x5F}}}}};
    seeds.push_back(tsgen::buildPmt(pmt));
    seeds.push_back(tsgen::buildTdt(0));
    tsgen::BatParams bat;
    bat.transportStreams = {{1, 2, {tsgen::serviceListDescriptor({{1, 1}})}}};
    seeds.push_back(tsgen::buildBat(bat));
    return seeds;
}

TEST(TextsRobustness, MutatedSectionsThroughEveryWriter) {
    const std::vector<Bytes> seeds = seedSections();
    ASSERT_FALSE(seeds.empty());
    using Writer = void (*)(std::span<const uint8_t>, TextLines&);
    const Writer writers[] = {static_cast<Writer>(&SectionText::writePat),
                              &SectionText::writeCat,
                              &SectionText::writePmt,
                              &SectionText::writeNit,
                              &SectionText::writeSdt,
                              &SectionText::writeBat,
                              &SectionText::writeEit,
                              &SectionText::writeTdt,
                              &SectionText::writeTot};
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> byte(0, 255);
    const int rounds = 12000 / static_cast<int>(seeds.size()) + 1;
    for (const Bytes& seed : seeds) {
        for (int r = 0; r < rounds; ++r) {
            Bytes s = seed;
            const int flips = 1 + byte(rng) % 6;
            for (int f = 0; f < flips && !s.empty(); ++f) {
                // Length fields (section, loops, descriptors) are the interesting targets.
                const std::size_t at =
                    static_cast<std::size_t>(byte(rng) << 8 | byte(rng)) % s.size();
                s[at] = static_cast<uint8_t>(byte(rng));
            }
            if (byte(rng) < 64)
                s.resize(static_cast<std::size_t>(byte(rng) << 4 | byte(rng) % 16) %
                         (s.size() + 1));
            const Bytes exact(s);
            for (Writer w : writers) {
                TextLines out;
                w(exact, out);
                if (r % 500 == 0) {
                    ASSERT_TRUE(allUtf8(out));
                }
            }
            orv::sectionNodes(exact);
        }
    }
}

}  // namespace
