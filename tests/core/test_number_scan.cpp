// ScanDouble reads every number exactly as strtod in the C locale reads it:
// the same double, bit for bit, and the same end of the number.
#include <gtest/gtest.h>
#include <locale.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/records/number_scan.h"

namespace quillon {
namespace {

struct StrtodScan {
    bool ok = false;
    double value = 0.0;
    std::size_t used = 0;
};

StrtodScan ScanWithStrtod(const std::string& text) {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    const char* start = text.c_str();
    while (*start == ' ' || *start == '\t') {
        ++start;
    }
    char* end = nullptr;
    const double v = strtod_l(start, &end, c);
    if (end == start) {
        return {};
    }
    return {true, v, static_cast<std::size_t>(end - text.c_str())};
}

void ExpectAsStrtod(const std::string& text) {
    const StrtodScan expected = ScanWithStrtod(text);
    const char* p = text.c_str();
    double value = -1234.5;
    const bool ok = ScanDouble(p, value);
    ASSERT_EQ(ok, expected.ok) << text;
    if (!ok) {
        EXPECT_EQ(p, text.c_str()) << text;
        return;
    }
    EXPECT_EQ(static_cast<std::size_t>(p - text.c_str()), expected.used) << text;
    EXPECT_EQ(std::memcmp(&value, &expected.value, sizeof value), 0) << text;
}

TEST(NumberScan, ReadsEdgeCasesAsStrtod) {
    const std::vector<std::string> cases{
        "0",
        "-0",
        "1",
        "+1",
        "-1.5",
        ".5",
        "-.5",
        "5.",
        "1e5",
        "1E-5",
        "1e+5",
        "1e",
        "1e+",
        "1e-",
        "1.5.2",
        "1--2",
        "12abc",
        "  \t3.25\t4",
        "0x1p3",
        "0X1A",
        "-0x.8p1",
        "inf",
        "-INF",
        "nan",
        "NaN(1)",
        "infinity",
        "1e400",
        "-1e400",
        "1e-400",
        "4.9e-324",
        "2.2250738585072011e-308",
        "2.2250738585072014e-308",
        "1.7976931348623157e308",
        "9007199254740993",
        "0.1000000000000000055511151231257827021181583404541015625",
        "123456789012345678901234567890",
        ".",
        "-",
        "e5",
        "",
        "-.e1",
        "0.0e0",
        "00012",
        "1,5",
        "3.14159265358979323846"};
    for (const std::string& text : cases) {
        ExpectAsStrtod(text);
    }
}

TEST(NumberScan, ReadsRandomNumbersAsStrtod) {
    std::mt19937_64 rnd(20261208);
    std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
    std::uniform_int_distribution<int> exponent(-320, 310);
    std::uniform_int_distribution<int> digits(1, 20);
    char buffer[64];
    for (int i = 0; i < 20000; ++i) {
        const double v = mantissa(rnd) * std::pow(10.0, exponent(rnd) / 10);
        std::snprintf(buffer, sizeof buffer, i % 2 == 0 ? "%.*g" : "%.*e", digits(rnd), v);
        ExpectAsStrtod(buffer);
        ExpectAsStrtod(std::string(buffer) + "\t0.5");
    }
}

}  // namespace
}  // namespace quillon
