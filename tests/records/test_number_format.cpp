#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "records/number_format.h"

namespace quillon {
namespace {

TEST(NumberFormat, GeneralFormHasSixDigitsAndAThreeDigitExponent) {
    EXPECT_EQ(FormatNumber(0.5), "0.5");
    EXPECT_EQ(FormatNumber(2.0), "2");
    EXPECT_EQ(FormatNumber(1234567.0), "1.23457e+006");
    EXPECT_EQ(FormatNumber(1e-5), "1e-005");
    EXPECT_EQ(FormatNumber(-2.5e300), "-2.5e+300");
    EXPECT_EQ(FormatNumber(123456.0), "123456");
    EXPECT_EQ(FormatNumber(0.0001), "0.0001");
    EXPECT_EQ(FormatNumber(-0.0), "-0");
}

TEST(NumberFormat, NonFiniteValuesReadInfAndNan) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(FormatNumber(inf), "inf");
    EXPECT_EQ(FormatNumber(-inf), "-inf");
    EXPECT_EQ(FormatNumber(nan), "nan");
    EXPECT_EQ(FormatNumber(-nan), "nan");
    EXPECT_EQ(Sprintf("%lf|%lg|%8.3f|", nan, -inf, inf), "nan|-inf|     inf|");
}

TEST(NumberFormat, PrintfFormatsWithMixedArguments) {
    EXPECT_EQ(Sprintf("  a[%d]: %lf +/- %lf\n", 2, 1.5, 0.25), "  a[2]: 1.500000 +/- 0.250000\n");
    EXPECT_EQ(Sprintf("%sa_%d%s", "*", 3, "_Pow"), "*a_3_Pow");
    EXPECT_EQ(Sprintf("%2d) %s", 7, " x"), " 7)  x");
    EXPECT_EQ(Sprintf("<a[%3d] = %lg>\n", 1, 1e10), "<a[  1] = 1e+010>\n");
    EXPECT_EQ(Sprintf("100%% %d", 5), "100% 5");
}

TEST(NumberFormat, AppendingKeepsWhatIsThereAndWritesWhatSprintfWrites) {
    std::string log = "   0:";
    AppendSprintf(log, "%12.5lf", 2893.258931);
    AppendSprintf(log, "%10lg  ", 1e-7);
    AppendSprintf(log, "%d %", 4);  // a lone percent at the end is copied
    AppendSprintf(log, "");
    EXPECT_EQ(log, std::string("   0:") + Sprintf("%12.5lf", 2893.258931) +
                       Sprintf("%10lg  ", 1e-7) + Sprintf("%d %", 4));
    EXPECT_EQ(log, "   0:  2893.25893    1e-007  4 %");
}

TEST(NumberFormat, WidthsCountTheWidenedExponent) {
    EXPECT_EQ(Sprintf("[%14lg]", 1234567.0), "[  1.23457e+006]");
    EXPECT_EQ(Sprintf("[%-14lg]", 1234567.0), "[1.23457e+006  ]");
    EXPECT_EQ(Sprintf("[%012.3e]", -1.5), "[-01.500e+000]");
    EXPECT_EQ(Sprintf("[%5s]", "ab"), "[   ab]");
}

TEST(NumberFormat, MissingArgumentsAndBadFormatsDoNotBreak) {
    EXPECT_EQ(Sprintf("a %d b %s c"), "a  b  c");
    EXPECT_EQ(Sprintf("tail %"), "tail %");
    EXPECT_EQ(Sprintf("%d", 2.9), "2");
    EXPECT_EQ(Sprintf("%d", std::numeric_limits<double>::quiet_NaN()), "0");
    EXPECT_EQ(Sprintf("%lg", 3), "3");
}

TEST(NumberFormat, ExponentWideningLeavesOtherTextAlone) {
    std::string text = "1e+06";
    WidenExponent(text);
    EXPECT_EQ(text, "1e+006");
    text = "1.5e-123";
    WidenExponent(text);
    EXPECT_EQ(text, "1.5e-123");
    text = "12.5";
    WidenExponent(text);
    EXPECT_EQ(text, "12.5");
}

}  // namespace
}  // namespace quillon
