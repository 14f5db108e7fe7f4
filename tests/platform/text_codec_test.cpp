#include "platform/text_codec.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace orv {
namespace {

struct WidthCase {
    std::string utf8;
    std::size_t width;
};

TEST(TextCodec, Cp936WidthMatchesEncodedLength) {
    const std::vector<WidthCase> cases = {
        {"", 0},
        {"PAT错误", 7},
        {"传送流非指定PID错误", 19},
        {"PCR间隔错误", 11},
        {"≥1000", 6},
        {"PCR(PCR_PID=0x0100)抖动等于12.00ns(不在±500ns范围内) 第1包", 59},
        {"\xE2\x82\xAC", 1},        // euro sign: the single byte 0x80 of code page 936
        {"A\xF0\x9F\x98\x80", 10},  // outside GBK: "\u{1F600}"
        {"A\xC3\xB1", 9},           // U+00F1, not in GBK: "\u{00F1}"
        {"A\xFF\xFE", 9},           // each invalid byte: "\xFF" "\xFE"
    };
    for (const auto& c : cases) {
        EXPECT_EQ(cp936Width(c.utf8), c.width) << c.utf8;
        EXPECT_EQ(utf8ToCp936(c.utf8).text.size(), c.width) << c.utf8;
    }
}

TEST(TextCodec, RoundTripsSystemTexts) {
    const CodecResult pat = utf8ToCp936("PAT错误");
    ASSERT_TRUE(pat.ok());
    EXPECT_EQ(pat.text, "PAT\xB4\xED\xCE\xF3");

    for (const std::string text : {"传送流同步字节不等于0x47 第123包", "保存事件!", "码流分析仪",
                                   "≥1000 ±500ns", "c:\\ERROR.log", "\xE2\x82\xAC"}) {
        const CodecResult gbk = utf8ToCp936(text);
        ASSERT_TRUE(gbk.ok()) << text;
        const CodecResult back = cp936ToUtf8(gbk.text);
        ASSERT_TRUE(back.ok()) << text;
        EXPECT_EQ(back.text, text);
        EXPECT_EQ(back.replaced, 0u);
    }
}

struct BadCase {
    std::string input;
    std::string expected;
    CodecStatus status;
    std::size_t replaced;
};

// Nothing is lost in a CP936 file: what GBK cannot hold is written as an ASCII escape of its
// value, never as '?'.
TEST(TextCodec, EncodingReportsEveryReplacement) {
    const std::vector<BadCase> cases = {
        {"A\xFF"
         "B",
         "A\\xFFB", CodecStatus::InvalidInput, 1},
        {"PAT\xE9\x94", "PAT\\xE9\\x94", CodecStatus::InvalidInput, 2},  // cut inside a character
        {"\xC0\xAF", "\\xC0\\xAF", CodecStatus::InvalidInput, 2},        // overlong '/'
        {"\xED\xA0\x80", "\\xED\\xA0\\x80", CodecStatus::InvalidInput, 3},  // UTF-16 surrogate
        {"A\xF0\x9F\x98\x80"
         "B",
         "A\\u{1F600}B", CodecStatus::Unmappable, 1},
        {"Espa\xC3\xB1"
         "a",
         "Espa\\u{00F1}a", CodecStatus::Unmappable, 1},
        {"\xF0\x9F\x98\x80\xFF错", "\\u{1F600}\\xFF\xB4\xED", CodecStatus::Unmappable,
         2},  // first problem wins
    };
    for (const auto& c : cases) {
        const CodecResult r = utf8ToCp936(c.input);
        EXPECT_EQ(r.text, c.expected) << c.input;
        EXPECT_EQ(r.status, c.status) << c.input;
        EXPECT_EQ(r.replaced, c.replaced) << c.input;
        EXPECT_FALSE(r.ok());
    }
}

TEST(TextCodec, DecodingReportsInvalidGbk) {
    const std::vector<BadCase> cases = {
        {"A\xFF"
         "B",
         "A\xEF\xBF\xBD"
         "B",
         CodecStatus::InvalidInput, 1},
        {"PAT\xB4", "PAT\xEF\xBF\xBD", CodecStatus::InvalidInput, 1},  // lead byte at the end
        {"\xB4\xED\xFF\xCE\xF3", "错\xEF\xBF\xBD误", CodecStatus::InvalidInput, 1},
    };
    for (const auto& c : cases) {
        const CodecResult r = cp936ToUtf8(c.input);
        EXPECT_EQ(r.text, c.expected) << c.input;
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.replaced, c.replaced);
    }
}

TEST(TextCodec, CutsOnCharacterBoundaries) {
    struct Cut {
        std::size_t max;
        std::string cp936Cut;
        std::string utf8Cut;
    };
    const std::string text = "PAT错误";  // CP936: 3 + 2 + 2 bytes; UTF-8: 3 + 3 + 3 bytes
    for (const Cut& c : std::vector<Cut>{{0, "", ""},
                                         {3, "PAT", "PAT"},
                                         {4, "PAT", "PAT"},
                                         {5, "PAT错", "PAT"},
                                         {6, "PAT错", "PAT错"},
                                         {7, "PAT错误", "PAT错"},
                                         {9, "PAT错误", "PAT错误"},
                                         {100, "PAT错误", "PAT错误"}}) {
        EXPECT_EQ(cutToCp936Width(text, c.max), c.cp936Cut) << c.max;
        EXPECT_EQ(cutUtf8(text, c.max), c.utf8Cut) << c.max;
    }
    // An invalid byte is a unit of its own and is never split from or joined to its neighbours.
    EXPECT_EQ(cutUtf8("A\xE9\x94"
                      "B",
                      2),
              "A\xE9");
    // In CP936 each invalid byte takes the four bytes of its escape.
    EXPECT_EQ(cutToCp936Width("A\xE9\x94"
                              "B",
                              8),
              "A\xE9");
    EXPECT_EQ(cutToCp936Width("A\xE9\x94"
                              "B",
                              9),
              "A\xE9\x94");
}

TEST(TextCodec, PadsToCp936Columns) {
    EXPECT_EQ(padToCp936Width("PAT错误", 10), "PAT错误   ");
    EXPECT_EQ(padToCp936Width("PAT错误", 10, Align::Right), "   PAT错误");
    EXPECT_EQ(padToCp936Width("PAT错误", 7), "PAT错误");
    EXPECT_EQ(padToCp936Width("传送流非指定PID错误", 8), "传送流非指定PID错误");
    EXPECT_EQ(cp936Width(padToCp936Width("传送流", 20)), 20u);
}

// Widths are measured the first time a character is met: threads that meet the same new
// characters at once must all get the encoded width. 256 CJK ideographs from U+5000 (two bytes
// each in GBK) and 64 Hangul syllables from U+AC00 (not in GBK: "\u{AC00}", eight bytes each).
TEST(TextCodec, MeasuresNewCharactersConcurrently) {
    std::string text;
    auto append = [&text](char32_t cp) {  // three-byte UTF-8
        text += static_cast<char>(0xE0 | (cp >> 12));
        text += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (cp & 0x3F));
    };
    for (char32_t cp = 0x5000; cp < 0x5100; ++cp)
        append(cp);
    for (char32_t cp = 0xAC00; cp < 0xAC40; ++cp)
        append(cp);
    constexpr std::size_t kWidth = 256 * 2 + 64 * 8;
    std::vector<std::size_t> widths(4, 0);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < widths.size(); ++t)
        threads.emplace_back([&, t] { widths[t] = cp936Width(text); });
    for (auto& th : threads)
        th.join();
    for (std::size_t w : widths)
        EXPECT_EQ(w, kWidth);
    EXPECT_EQ(utf8ToCp936(text).text.size(), kWidth);
}

TEST(TextCodec, ConvertsConcurrently) {
    const std::string text = "传送流非指定PID错误 第4294967296包";
    const std::string gbk = utf8ToCp936(text).text;
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 500; ++i) {
                const CodecResult to = utf8ToCp936(text);
                const CodecResult back = cp936ToUtf8(to.text);
                if (to.text != gbk || back.text != text || cp936Width(text) != gbk.size()) {
                    ++failures[t];
                }
            }
        });
    }
    for (auto& th : threads)
        th.join();
    for (int f : failures)
        EXPECT_EQ(f, 0);
}

}  // namespace
}  // namespace orv
