// DVB text fields decoded by their character table. Every expected text was read off the
// character tables by hand (the ISO 8859 parts, GB 2312 / GBK, Big5, KS X 1001 in EUC-KR form,
// UCS-2 and UTF-8).
#include "platform/dvb_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orv {
namespace {

using Bytes = std::vector<uint8_t>;

struct DecodeCase {
    const char* name;
    Bytes field;
    std::string text;
};

TEST(DvbText, EachCharacterTable) {
    const std::vector<DecodeCase> cases = {
        // No selector: GBK. "中文" is D6 D0 CE C4.
        {"unmarked GBK", {0xD6, 0xD0, 0xCE, 0xC4, 'T', 'V'}, "中文TV"},
        {"unmarked ASCII", {'C', 'C', 'T', 'V', '-', '1'}, "CCTV-1"},
        // 0x01..0x0B: ISO 8859-5 .. -15 (0x08 is reserved).
        {"0x01 ISO 8859-5", {0x01, 0xB0, 0xD1}, "Аб"},              // U+0410, U+0431
        {"0x03 ISO 8859-7", {0x03, 0xC1, 0xE1, ' ', 'x'}, "Αα x"},  // U+0391, U+03B1
        {"0x05 ISO 8859-9", {0x05, 0xDD, 0xFD}, "İı"},              // U+0130, U+0131
        {"0x0B ISO 8859-15", {0x0B, 0xA4, '5'}, "€5"},              // 0xA4 is the euro sign
        // 0x10 0x00 NN: ISO 8859 part NN.
        {"0x10 part 1", {0x10, 0x00, 0x01, 'F', 'r', 0xE9, 'd'}, "Fréd"},
        {"0x10 part 2", {0x10, 0x00, 0x02, 0xB1}, "ą"},  // U+0105
        // 0x11: 16-bit units, big-endian.
        {"0x11 UCS-2", {0x11, 0x4E, 0x2D, 0x00, 'A'}, "中A"},
        {"0x11 surrogate pair", {0x11, 0xD8, 0x3D, 0xDE, 0x00}, "\xF0\x9F\x98\x80"},
        // 0x12: KS X 1001, "한국" is C7 D1 B1 B9.
        {"0x12 KS X 1001", {0x12, 0xC7, 0xD1, 0xB1, 0xB9}, "한국"},
        // 0x13: GB 2312 (read through GBK: 81 40 is U+4E02 of GBK).
        {"0x13 GB 2312", {0x13, 0xD6, 0xD0, 0xCE, 0xC4}, "中文"},
        {"0x13 GBK extension", {0x13, 0x81, 0x40}, "丂"},
        // 0x14: the Big5 repertoire in 16-bit units; Big5 bytes ("中文" A4 A4 A4 E5) too.
        {"0x14 as 16-bit units", {0x14, 0x4E, 0x2D, 0x65, 0x87}, "中文"},
        {"0x14 with Big5 bytes", {0x14, 0xA4, 0xA4, 0xA4, 0xE5}, "中文"},
        {"0x14 plain ASCII", {0x14, 'T', 'V', 'B', 'S'}, "TVBS"},
        // 0x15: UTF-8.
        {"0x15 UTF-8", {0x15, 'c', 'a', 'f', 0xC3, 0xA9, 0xE4, 0xB8, 0xAD}, "café中"},
    };
    for (const DecodeCase& c : cases) {
        EXPECT_EQ(dvbTextToUtf8(c.field), c.text) << c.name;
    }
}

TEST(DvbText, NoSelectorByteLeaksAndNothingUndecodableIsHidden) {
    const std::vector<DecodeCase> cases = {
        // Reserved selectors and 0x1F with its encoding_type_id are consumed; bytes of an
        // unknown table beyond ASCII are shown.
        {"reserved 0x08", {0x08, 'a', 'b'}, "ab"},
        {"reserved 0x0C", {0x0C, 0xE9, 'x'}, "\\xE9x"},
        {"0x1F and its id", {0x1F, 0x05, 'a', 'b'}, "ab"},
        {"0x10 with a bad part", {0x10, 0x00, 0x0C, 'a'}, "a"},
        {"0x10 cut short", {0x10, 0x00}, ""},
        // Bytes a table does not hold.
        {"8859-6 gap", {0x02, 0xA1, 'a'}, "\\xA1a"},
        {"GBK lone lead byte", {'A', 0xD6}, "A\\xD6"},
        {"GBK invalid pair", {0xFF, 0x20, 'x'}, "\\xFF x"},
        {"UTF-8 invalid byte", {0x15, 'a', 0xFF, 0xC3}, "a\\xFF\\xC3"},
        {"UCS-2 odd last byte", {0x11, 0x00, 'A', 0x4E}, "A\\x4E"},
        {"UCS-2 lone surrogate", {0x11, 0xDC, 0x00, 0x00, 'B'}, "\\xDC\\x00B"},
        // A zero character ends the text, in every table.
        {"GBK zero", {'A', 'B', 0x00, 'C'}, "AB"},
        {"UCS-2 zero unit", {0x11, 0x00, 'A', 0x00, 0x00, 0x00, 'B'}, "A"},
        {"zero first", {0x00, 'A'}, ""},
        {"empty", {}, ""},
        // C0 controls inside a text are shown, never written raw into a line.
        {"tab and newline bytes", {'a', 0x09, 'b', 0x0A}, "a\\x09b\\x0A"},
    };
    for (const DecodeCase& c : cases) {
        EXPECT_EQ(dvbTextToUtf8(c.field), c.text) << c.name;
    }
}

TEST(DvbText, ControlCodes) {
    const std::vector<DecodeCase> cases = {
        // One-byte tables: emphasis on/off dropped, CR/LF a line break, the rest shown.
        {"8859 emphasis", {0x05, 0x86, 'N', 'e', 'w', 's', 0x87, '!'}, "News!"},
        {"8859 CR/LF", {0x10, 0x00, 0x01, 'a', 0x8A, 'b'}, "a b"},
        {"8859 user-defined", {0x01, 'a', 0x9F, 'b'}, "a\\x9Fb"},
        // Unmarked GBK: the defined codes come before a pair (8A 41 alone would be GBK 0x593E).
        {"GBK CR/LF before ASCII", {'a', 0x8A, 'A'}, "a A"},
        {"GBK emphasis around hanzi", {0x86, 0xD6, 0xD0, 0x87}, "中"},
        // Two-byte tables: the codes are E0 80 .. E0 9F; single bytes 0x8A are no code there.
        {"GB 2312 CR/LF", {0x13, 0xD6, 0xD0, 0xE0, 0x8A, 0xCE, 0xC4}, "中 文"},
        {"GB 2312 one-byte 8A", {0x13, 0x8A, 0x41}, "夾"},
        {"UCS-2 CR/LF and emphasis",
         {0x11, 0xE0, 0x86, 0x00, 'A', 0xE0, 0x87, 0xE0, 0x8A, 0x00, 'B'},
         "A B"},
        {"UCS-2 C1 form", {0x11, 0x00, 0x8A, 0x00, 'B'}, " B"},
        {"UTF-8 both forms", {0x15, 'a', 0xC2, 0x8A, 'b', 0xEE, 0x82, 0x8A, 'c'}, "a b c"},
        {"UTF-8 reserved code", {0x15, 0xC2, 0x80}, "\\xC2\\x80"},
    };
    for (const DecodeCase& c : cases) {
        EXPECT_EQ(dvbTextToUtf8(c.field), c.text) << c.name;
    }
    const Bytes twoLines = {0x15, 'a', 0xC2, 0x8A, 'b'};
    EXPECT_EQ(dvbTextToUtf8(twoLines, DvbLineBreak::Newline), "a\nb");
}

TEST(DvbText, CodesAreAsciiOrEscaped) {
    EXPECT_EQ(asciiOrEscaped(Bytes{'c', 'h', 'i'}), "chi");
    EXPECT_EQ(asciiOrEscaped(Bytes{'e', 0xFF, 0x01, 0x7F}), "e\\xFF\\x01\\x7F");
    EXPECT_EQ(asciiOrEscaped(Bytes{'C', 'H', 0x00, 'N'}), "CH");
}

}  // namespace
}  // namespace orv
