// ScanDouble reads every number exactly as strtod in the C locale reads it:
// the same double, bit for bit, and the same end of the number.
#include <gtest/gtest.h>
#include <locale.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "records/number_scan.h"

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

// Short decimals, the numbers of ordinary data files: every digit count
// and power of ten on both sides of the fast path's limits, with leading and
// trailing zeros and exponents written in every way.
TEST(NumberScan, ReadsShortDecimalsAsStrtod) {
    std::mt19937_64 rnd(8122026);
    std::uniform_int_distribution<std::uint64_t> wide(0, 99999999999999999ULL);
    std::uniform_int_distribution<int> digits(1, 18);
    std::uniform_int_distribution<int> power(-30, 30);
    std::uniform_int_distribution<int> form(0, 5);
    char buffer[96];
    for (int i = 0; i < 40000; ++i) {
        const int count = digits(rnd);
        const std::string all = std::to_string(wide(rnd));
        const std::string mantissa = all.substr(0, static_cast<std::size_t>(count));
        const int p = power(rnd);
        const char* sign = i % 3 == 0 ? "-" : "";
        switch (form(rnd)) {
            case 0:
                std::snprintf(buffer, sizeof buffer, "%s%se%d", sign, mantissa.c_str(), p);
                break;
            case 1:
                std::snprintf(buffer, sizeof buffer, "%s0.%s", sign, mantissa.c_str());
                break;
            case 2:
                std::snprintf(buffer, sizeof buffer, "%s%s.%s000", sign, mantissa.c_str(),
                              mantissa.c_str());
                break;
            case 3:
                std::snprintf(buffer, sizeof buffer, "%s000.000%sE+%02d", sign, mantissa.c_str(),
                              p < 0 ? -p : p);
                break;
            case 4:
                std::snprintf(buffer, sizeof buffer, "%s%.*f", sign, count % 10,
                              std::stod(mantissa) * std::pow(10.0, p % 8));
                break;
            default:
                std::snprintf(buffer, sizeof buffer, "%s.%se%+05d", sign, mantissa.c_str(), p);
                break;
        }
        ExpectAsStrtod(buffer);
        ExpectAsStrtod(std::string(buffer) + "e");
        ExpectAsStrtod(std::string(buffer) + "\t7");
    }
    for (const char* text :
         {"1e22", "1e23", "123456789012345e-22", "1234567890123456e-22", "999999999999999e22",
          "0.000000000000000000000000000", "-0.0", "1e+", "2E-", "3.e1", "1e00022", "1e000022"}) {
        ExpectAsStrtod(text);
    }
}

}  // namespace
}  // namespace quillon
