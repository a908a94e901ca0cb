#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "engine/data_grammar.h"

namespace quillon {
namespace {

PointScan Scan(const std::string& line) {
    return ScanPointLine((line + "\n").c_str());
}

TEST(LineClass, FirstCharactersDecide) {
    EXPECT_EQ(ClassifyLine(""), LineClass::Blank);
    EXPECT_EQ(ClassifyLine(" "), LineClass::SingleCharacter);
    EXPECT_EQ(ClassifyLine("<"), LineClass::SingleCharacter);
    EXPECT_EQ(ClassifyLine("あ"), LineClass::SingleCharacter);  // one character, three bytes
    EXPECT_EQ(ClassifyLine("//"), LineClass::Memo);
    EXPECT_EQ(ClassifyLine("// memo"), LineClass::Memo);
    EXPECT_EQ(ClassifyLine("/ x"), LineClass::Point);
    EXPECT_EQ(ClassifyLine("<a[1]=2>"), LineClass::Directive);
    EXPECT_EQ(ClassifyLine("* framing 5"), LineClass::Option);
    EXPECT_EQ(ClassifyLine("1 2"), LineClass::Point);
    EXPECT_EQ(ClassifyLine("ああ"), LineClass::Point);
    // The longest single character (four bytes) against short lines of two.
    EXPECT_EQ(ClassifyLine("\xF0\x9F\x98\x80"), LineClass::SingleCharacter);
    EXPECT_EQ(ClassifyLine("\xC3\xA9\xC3\xA9"), LineClass::Point);
    EXPECT_EQ(ClassifyLine("\xF0\x9F\x98\x80x"), LineClass::Point);
    EXPECT_EQ(ClassifyLine("\xF0\x9F\x98"), LineClass::Point);  // cut short: three stray bytes
}

TEST(LineClass, CharacterCountTreatsStrayBytesAsCharacters) {
    EXPECT_EQ(CharacterCount("abc"), 3u);
    EXPECT_EQ(CharacterCount("日本"), 2u);
    EXPECT_EQ(CharacterCount("\xE6"), 1u);
    EXPECT_EQ(CharacterCount("\xE6\x97"), 2u);
    EXPECT_EQ(CharacterCount("\xFF\xFE"), 2u);
}

TEST(PointScan, CountsConvertedItems) {
    EXPECT_EQ(Scan("1.0 2.0 0.1 comment").converted, 5);
    EXPECT_DOUBLE_EQ(Scan("1.0 2.0 0.1 comment").sd, 0.1);
    EXPECT_EQ(Scan("1,2,abc").converted, 4);
    EXPECT_EQ(Scan("1,2").converted, 3);
    EXPECT_EQ(Scan("1").converted, 1);
    EXPECT_EQ(Scan("abc def").converted, 0);
    EXPECT_EQ(Scan("1 ,\t, 2").converted, 3);
    EXPECT_EQ(Scan("  -1.5e2\t+3").converted, 3);
    EXPECT_DOUBLE_EQ(Scan("  -1.5e2\t+3").x, -150.0);
    EXPECT_EQ(Scan("1;2").converted, 1);  // ";" is no separator
    EXPECT_EQ(Scan("3, 4, 0").converted, 5);
    EXPECT_EQ(Scan("3, 4, 0").sd, 0.0);
}

TEST(PointScan, ReadsSpecialNumbersAsTheScanConversionDoes) {
    const PointScan scan = Scan("inf nan 0x10");
    EXPECT_EQ(scan.converted, 5);
    EXPECT_TRUE(std::isinf(scan.x));
    EXPECT_TRUE(std::isnan(scan.y));
    EXPECT_DOUBLE_EQ(scan.sd, 16.0);
    EXPECT_TRUE(std::isinf(Scan("1e999 1").x));
}

TEST(Directive, ThisSetAndLaterSetsLists) {
    const auto thisSet = ParseDirectiveLine("<a[1]=2>");
    ASSERT_TRUE(thisSet);
    EXPECT_EQ(thisSet->directive.index, 1);
    EXPECT_DOUBLE_EQ(thisSet->directive.value, 2.0);
    EXPECT_FALSE(thisSet->laterSets);

    const auto later = ParseDirectiveLine("<<a[ 2] = 0.5>>");
    ASSERT_TRUE(later);
    EXPECT_EQ(later->directive.index, 2);
    EXPECT_DOUBLE_EQ(later->directive.value, 0.5);
    EXPECT_TRUE(later->laterSets);
}

TEST(Directive, UpperCaseAndTextAroundAreAccepted) {
    const auto parsed = ParseDirectiveLine("<A[ 7] = 1>");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->directive.index, 7);
    const auto noted = ParseDirectiveLine("<start a[3] is = -4e-2 please>");
    ASSERT_TRUE(noted);
    EXPECT_EQ(noted->directive.index, 3);
    EXPECT_DOUBLE_EQ(noted->directive.value, -0.04);
}

TEST(Directive, UnreadableLinesAreIgnored) {
    EXPECT_FALSE(ParseDirectiveLine("<a[1] 2>"));     // no "="
    EXPECT_FALSE(ParseDirectiveLine("<a[1=2>"));      // no "]"
    EXPECT_FALSE(ParseDirectiveLine("<b[1]=2>"));     // no "a["
    EXPECT_FALSE(ParseDirectiveLine("<a[1234]=2>"));  // at most three digits
    EXPECT_FALSE(ParseDirectiveLine("<a[x]=2>"));     // no index
    EXPECT_FALSE(ParseDirectiveLine("<a[1]=>"));      // no value
    EXPECT_FALSE(ParseDirectiveLine("<]a[1]=2>"));    // "]" before "a["
    EXPECT_FALSE(ParseDirectiveLine("<a[ 1 ]=2>"));   // blank before "]"
}

// What follows the value: "fixed" and "[lo, hi]" in either order, blanks
// optional, any case; other text is ignored as it always was; a bound that
// does not read is dropped with an error while the value still counts.
TEST(Directive, FixedAndBoundsAfterTheValue) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    struct Case {
        const char* line;
        bool fixed;
        bool bounded;
        double lower;
        double upper;
        bool error;
    };
    const Case cases[] = {
        {"<a[2] = 1.5 fixed>", true, false, 0, 0, false},
        {"<<a[2] = 1.5 FIXED>>", true, false, 0, 0, false},
        {"<a[2] = 1.5fixed>", true, false, 0, 0, false},
        {"<a[2] = 1.5 unfixed>", false, false, 0, 0, false},  // not the word
        {"<a[2] = 1.5 fixedly>", false, false, 0, 0, false},  // not the word
        {"<a[2] = 1.5> fixed", false, false, 0, 0, false},    // after the ">"
        {"<a[1] = 3 [0, 10]>", false, true, 0, 10, false},
        {"<a[1] = 3 [0,10]>", false, true, 0, 10, false},
        {"<a[1] = 3 [ -1e-3 , 2e2 ]>", false, true, -1e-3, 200, false},
        {"<a[1] = 3 [0, ]>", false, true, 0, inf, false},
        {"<a[1] = 3 [ , 10]>", false, true, -inf, 10, false},
        {"<a[1] = 3 [,]>", false, false, 0, 0, false},  // both sides open: no bound
        {"<a[1] = 3 [0, 10] fixed>", true, true, 0, 10, false},
        {"<a[1] = 3 fixed [0, 10]>", true, true, 0, 10, false},
        {"<a[1] = 3 [5, 5]>", false, true, 5, 5, false},
        {"<a[1] = 3 [10, 0]>", false, false, 0, 0, true},  // lo > hi
        {"<a[1] = 3 [x, 10]>", false, false, 0, 0, true},
        {"<a[1] = 3 [0 10]>", false, false, 0, 0, true},
        {"<a[1] = 3 [0, 10>", false, false, 0, 0, true},
        {"<a[1] = 3 [0, 10, 20]>", false, false, 0, 0, true},
        {"<a[1] = 3 [nan, 1]>", false, false, 0, 0, true},
        {"<a[1] = 3 [>", false, false, 0, 0, true},
        {"<a[1] = 3 fixed [10, 0]>", true, false, 0, 0, true},
    };
    for (const Case& c : cases) {
        const auto parsed = ParseDirectiveLine(c.line);
        ASSERT_TRUE(parsed) << c.line;
        const InitialValueDirective& d = parsed->directive;
        EXPECT_DOUBLE_EQ(d.value, c.line[1] == '<' ? 1.5 : (d.index == 2 ? 1.5 : 3.0)) << c.line;
        EXPECT_EQ(d.fixed, c.fixed) << c.line;
        EXPECT_EQ(d.bounds.has_value(), c.bounded) << c.line;
        if (c.bounded && d.bounds) {
            EXPECT_EQ(d.bounds->lower, c.lower) << c.line;
            EXPECT_EQ(d.bounds->upper, c.upper) << c.line;
        }
        EXPECT_EQ(!parsed->error.empty(), c.error) << c.line;
    }
}

// The sharing words of the global fit: on a "<<" line with or without a
// value; a "<" line, or other text, shares nothing.
TEST(Directive, SharedAndLocalWords) {
    using S = DirectiveSharing;
    struct Case {
        const char* line;
        bool parsed;
        S sharing;
        bool hasValue;
        bool fixed;
    };
    const Case cases[] = {
        {"<<a[1] = 2.5 shared>>", true, S::Shared, true, false},
        {"<<A[1] = 2.5 SHARED fixed>>", true, S::Shared, true, true},
        {"<<a[1] shared>>", true, S::Shared, false, false},
        {"<<a[ 1] local>>", true, S::Local, false, false},
        {"<<a[1] = 2.5 local>>", true, S::Local, true, false},
        {"<<a[1] = 2.5>>", true, S::None, true, false},
        {"<<a[1] = 2.5 unshared>>", true, S::None, true, false},  // not the word
        {"<a[1] shared>", false, S::None, false, false},          // this set only: no sharing
        {"<<a[1] sharedly>>", false, S::None, false, false},
        {"<<a[1]>>", false, S::None, false, false},
        {"<<a[x] shared>>", false, S::None, false, false},
    };
    for (const Case& c : cases) {
        const auto parsed = ParseDirectiveLine(c.line);
        ASSERT_EQ(parsed.has_value(), c.parsed) << c.line;
        if (!parsed) {
            continue;
        }
        EXPECT_EQ(parsed->sharing, c.sharing) << c.line;
        EXPECT_EQ(parsed->directive.index, 1) << c.line;
        EXPECT_EQ(parsed->directive.hasValue, c.hasValue) << c.line;
        EXPECT_EQ(parsed->directive.fixed, c.fixed) << c.line;
        EXPECT_TRUE(parsed->laterSets) << c.line;
        EXPECT_TRUE(parsed->error.empty()) << c.line;
    }
    // Bounds on a sharing line without a value cannot apply: the line still
    // shares, and the bounds are reported rather than silently dropped.
    for (const char* line : {"<<a[1] shared [0, 10]>>", "<<a[1] local [0, ]>>"}) {
        const auto parsed = ParseDirectiveLine(line);
        ASSERT_TRUE(parsed.has_value()) << line;
        EXPECT_NE(parsed->sharing, S::None) << line;
        EXPECT_FALSE(parsed->directive.bounds.has_value()) << line;
        EXPECT_NE(parsed->error.find("bounds need a value"), std::string::npos) << line;
    }
}

TEST(FramingOption, ColonThenEqualsThenTheGOfFraming) {
    EXPECT_DOUBLE_EQ(*ParseFramingLine("* Framing rate: 500"), 500.0);
    EXPECT_DOUBLE_EQ(*ParseFramingLine("*framing=250"), 250.0);
    EXPECT_DOUBLE_EQ(*ParseFramingLine("*framing 120"), 120.0);
    EXPECT_FALSE(ParseFramingLine("*frames: 500"));
    EXPECT_FALSE(ParseFramingLine("*framing: fast"));
}

TEST(SetLabel, NameAndValueFromParentheses) {
    const SetLabel label = DeriveSetLabel("// sample (pH=7.4)\n", 3);
    EXPECT_EQ(label.name, "pH");
    EXPECT_DOUBLE_EQ(label.value, 7.4);
    const SetLabel run = DeriveSetLabel("// run 3 (T=25.5)\n", 1);
    EXPECT_EQ(run.name, "T");
    EXPECT_DOUBLE_EQ(run.value, 25.5);
}

TEST(SetLabel, OtherShapesGiveNoAndTheSetNumber) {
    for (const char* memo : {"// plain memo\n", "", "// (=5)\n", "// (T5)\n", "// T=5 (x)\n",
                             "// (T)=5\n", "// x) (T=5\n"}) {
        const SetLabel label = DeriveSetLabel(memo, 4);
        EXPECT_EQ(label.name, "No.") << memo;
        EXPECT_DOUBLE_EQ(label.value, 4.0) << memo;
    }
}

TEST(SetLabel, NoParenthesisTakesTheNameFromTheMemoStart) {
    const SetLabel label = DeriveSetLabel("// T=5)\n", 2);
    EXPECT_EQ(label.name, "// T");
    EXPECT_DOUBLE_EQ(label.value, 5.0);
}

TEST(SetLabel, UnreadableValueIsNotANumber) {
    const SetLabel label = DeriveSetLabel("// (T=warm)\n", 2);
    EXPECT_EQ(label.name, "T");
    EXPECT_TRUE(std::isnan(label.value));
}

}  // namespace
}  // namespace quillon
