#include <gtest/gtest.h>

#include <random>

#include "files/text_codec.h"
#include "records/point_team.h"

namespace quillon {
namespace {

TEST(TextDecoding, Utf8IsKeptAndItsBomDropped) {
    const DecodedText plain = DecodeText("// 試料\n1 2\n");
    EXPECT_EQ(plain.encoding, TextEncoding::Utf8);
    EXPECT_EQ(plain.text, "// 試料\n1 2\n");
    const DecodedText bom = DecodeText("\xEF\xBB\xBF// x\n");
    EXPECT_TRUE(bom.hadBom);
    EXPECT_EQ(bom.text, "// x\n");
}

TEST(TextDecoding, OtherBytesAreShiftJis) {
    // "// 試料 ｱ" with a half-width katakana, in CP932.
    const DecodedText decoded = DecodeText("// \x8e\x8e\x97\xbf \xb1");
    EXPECT_EQ(decoded.encoding, TextEncoding::ShiftJis);
    EXPECT_EQ(decoded.text, "// 試料 ｱ");
    // CP932's own characters: the circled digit one and the NEC tilde forms.
    EXPECT_EQ(ShiftJisToUtf8("\x87\x40"), "①");
}

TEST(TextDecoding, UndecodableBytesBecomeReplacementCharacters) {
    const DecodedText decoded = DecodeText("1 2\xFF\x80 3");
    EXPECT_EQ(decoded.encoding, TextEncoding::ShiftJis);
    EXPECT_NE(decoded.text.find("1 2"), std::string::npos);
    EXPECT_NE(decoded.text.find("\xEF\xBF\xBD"), std::string::npos);
    EXPECT_EQ(ShiftJisToUtf8("\x81"), "\xEF\xBF\xBD");  // a lead byte cut short
}

TEST(TextDecoding, CtrlZIsRemovedAndNulMeansBinary) {
    EXPECT_EQ(DecodeText("1 2\n\x1a").text, "1 2\n");
    const DecodedText binary = DecodeText(std::string("ab\0cd", 5));
    EXPECT_TRUE(binary.binary);
    EXPECT_EQ(binary.text, "");
}

// The text as UTF-16 in one byte order, behind its mark.
std::string Utf16Bytes(std::u16string_view text, bool littleEndian) {
    std::string bytes = littleEndian ? "\xFF\xFE" : "\xFE\xFF";
    for (const char16_t unit : text) {
        const char lo = static_cast<char>(unit & 0xFF);
        const char hi = static_cast<char>(unit >> 8);
        bytes += littleEndian ? lo : hi;
        bytes += littleEndian ? hi : lo;
    }
    return bytes;
}

// A spreadsheet's "Unicode text": UTF-16 behind its byte-order mark, in
// either order, read like UTF-8 text.
TEST(TextDecoding, Utf16WithItsMarkInEitherOrder) {
    struct Case {
        std::u16string text;
        std::string utf8;
    };
    // A high surrogate with no low one after it, between two letters.
    const std::u16string kLoneSurrogate{u'a', char16_t{0xD800}, u'b'};
    const Case cases[] = {
        {u"// 試料 (T=25)\r\n0\t1.5\r\n", "// 試料 (T=25)\r\n0\t1.5\r\n"},
        {u"1 2 \U0001F600\n", "1 2 \xF0\x9F\x98\x80\n"},  // a surrogate pair
        {kLoneSurrogate,
         "a\xEF\xBF\xBD"
         "b"},              // a lone surrogate
        {u"x\x1Ay", "xy"},  // Ctrl-Z dropped
        {u"", ""},
    };
    for (const bool little : {true, false}) {
        for (const Case& c : cases) {
            const DecodedText decoded = DecodeText(Utf16Bytes(c.text, little));
            EXPECT_EQ(decoded.encoding, little ? TextEncoding::Utf16Le : TextEncoding::Utf16Be);
            EXPECT_TRUE(decoded.hadBom);
            EXPECT_FALSE(decoded.binary);
            EXPECT_EQ(decoded.text, c.utf8) << little;
            EXPECT_EQ(DecodeOwnedText(Utf16Bytes(c.text, little)).text, c.utf8);
        }
    }
    // An odd last byte is marked; a NUL character is binary, as in UTF-8.
    EXPECT_EQ(DecodeText(Utf16Bytes(u"12", true) + "3").text, "12\xEF\xBF\xBD");
    EXPECT_TRUE(DecodeText(Utf16Bytes(std::u16string(u"a\0b", 3), true)).binary);
}

TEST(TextEncoding, Utf16OfUtf8TextInBothOrders) {
    const std::u16string text = u"// 試料 \U0001F600\r\n";
    const std::string utf8 = "// 試料 \xF0\x9F\x98\x80\r\n";
    EXPECT_EQ(std::string(ByteOrderMark(TextEncoding::Utf16Le)) +
                  EncodeText(utf8, TextEncoding::Utf16Le).bytes,
              Utf16Bytes(text, true));
    EXPECT_EQ(std::string(ByteOrderMark(TextEncoding::Utf16Be)) +
                  EncodeText(utf8, TextEncoding::Utf16Be).bytes,
              Utf16Bytes(text, false));
    EXPECT_EQ(EncodeText(utf8, TextEncoding::Utf16Le).unencodable, 0);
    EXPECT_EQ(ByteOrderMark(TextEncoding::ShiftJis), "");
}

TEST(TextDecoding, Utf8ValidityRejectsOverlongsAndSurrogates) {
    EXPECT_TRUE(IsValidUtf8("abc \xE2\x82\xAC \xF0\x9F\x98\x80"));
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));          // overlong "/"
    EXPECT_FALSE(IsValidUtf8("\xE0\x80\xAF"));      // overlong, three bytes
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // surrogate
    EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // past U+10FFFF
    EXPECT_FALSE(IsValidUtf8("\xE2\x82"));          // cut short
    // A bad or good sequence at every place around the eight-byte ASCII runs.
    for (std::size_t before = 0; before < 20; ++before) {
        const std::string ascii(before, 'a');
        EXPECT_FALSE(IsValidUtf8(ascii + "\xC0\xAF" + ascii)) << before;
        EXPECT_FALSE(IsValidUtf8(ascii + "\xE2\x82")) << before;
        EXPECT_TRUE(IsValidUtf8(ascii + "\xE2\x82\xAC" + ascii)) << before;
    }
}

TEST(TextDecoding, RandomBytesAlwaysGiveValidUtf8) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> byte(1, 255);
    for (int round = 0; round < 300; ++round) {
        std::string bytes;
        for (int i = 0; i < 200; ++i) {
            bytes += static_cast<char>(byte(random));
        }
        EXPECT_TRUE(IsValidUtf8(DecodeText(bytes).text));
    }
}

// Taking over the bytes must decode exactly as reading them does.
TEST(TextDecoding, OwnedBytesDecodeAsBorrowedOnes) {
    std::vector<std::string> inputs{"",
                                    "\xEF\xBB\xBF",
                                    "// 試料\n1 2\n",
                                    "\xEF\xBB\xBF// x\r\n\x1a"
                                    "1 2\x1a",
                                    "// \x8e\x8e\x97\xbf \xb1\x1a",
                                    "\xEF\xBB\xBF\x8e\x8e",
                                    std::string("ab\0cd", 5),
                                    std::string("\xEF\xBB\xBF\0", 4)};
    std::mt19937 random(11);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 50; ++round) {
        std::string bytes = round % 2 == 0 ? "\xEF\xBB\xBF" : "";
        for (int i = 0; i < 40; ++i) {
            bytes += static_cast<char>(round < 25 ? byte(random) % 128 : byte(random));
        }
        inputs.push_back(bytes);
    }
    for (const std::string& input : inputs) {
        const DecodedText borrowed = DecodeText(input);
        const DecodedText owned = DecodeOwnedText(input);
        EXPECT_EQ(owned.text, borrowed.text);
        EXPECT_EQ(owned.encoding, borrowed.encoding);
        EXPECT_EQ(owned.hadBom, borrowed.hadBom);
        EXPECT_EQ(owned.binary, borrowed.binary);
    }
}

TEST(LineSplitting, AllThreeLineEndsAsAnEditControlShowsThem) {
    EXPECT_EQ(SplitLines("a\nb\r\nc\rd"), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitLines("a\n"), (std::vector<std::string>{"a", ""}));
    EXPECT_EQ(SplitLines(""), (std::vector<std::string>{""}));
    EXPECT_EQ(SplitLines("\r\n\r\n"), (std::vector<std::string>{"", "", ""}));
    EXPECT_EQ(SplitLines("a\n\rb"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(SplitLines("\n"), (std::vector<std::string>{"", ""}));
    EXPECT_EQ(SplitLines("ab\n\ncd"), (std::vector<std::string>{"ab", "", "cd"}));
    // The views point into the text itself.
    const std::string text = "12 3\n\n// x";
    const std::vector<std::string_view> views = SplitLineViews(text);
    ASSERT_EQ(views.size(), 3u);
    EXPECT_EQ(views[2].data(), text.data() + 6);
}

// A large text split on the point team gives the lines of one pass from
// the start: lines across the 1 MiB pieces, line feeds right at their
// borders, runs of empty lines, a line over whole pieces, no line feed
// at all, a last empty line.
TEST(LineSplitting, LargeTextOnThePointTeamAsInOnePass) {
    constexpr std::size_t kMiB = std::size_t{1} << 20;
    std::mt19937 random(5);
    std::string mixed;
    while (mixed.size() < 5 * kMiB) {
        const std::size_t length = random() % 7 == 0 ? 0 : random() % 300;
        mixed.append(length, 'x');
        mixed += '\n';
    }
    std::string onBorders(5 * kMiB, 'y');
    for (std::size_t at = kMiB - 1; at < onBorders.size(); at += kMiB) {
        onBorders[at] = '\n';
        onBorders[at + 1 < onBorders.size() ? at + 1 : at] = '\n';
    }
    std::string oneLine(4 * kMiB + 3, 'z');
    std::string spanning = "head\n" + std::string(3 * kMiB, 'w') + "\ntail\n" + oneLine;
    std::string endsEmpty = mixed + "last\n";
    for (const std::string* text : {&mixed, &onBorders, &oneLine, &spanning, &endsEmpty}) {
        const std::vector<std::string_view> alone = SplitLineViews(*text);
        const PointTeamScope team(3);
        const std::vector<std::string_view> shared = SplitLineViews(*text);
        ASSERT_EQ(shared.size(), alone.size());
        for (std::size_t i = 0; i < alone.size(); ++i) {
            ASSERT_EQ(shared[i].data(), alone[i].data()) << "line " << i;
            ASSERT_EQ(shared[i].size(), alone[i].size()) << "line " << i;
        }
    }
}

}  // namespace
}  // namespace quillon
