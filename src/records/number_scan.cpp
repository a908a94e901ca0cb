#include "records/number_scan.h"

#include <locale.h>

#include <charconv>
#include <cstdint>
#include <cstdlib>

namespace quillon {
namespace {

bool IsScanSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The C locale, made once, so reading does not follow the process locale
// (a window toolkit may set it from the environment).
locale_t CLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return locale;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// A plain decimal number ("-12.5e-3", ".5"): no "+" sign, no hex, inf or nan.
// Both readers round it correctly, so they give the same double.
bool IsPlainDecimal(const char* p) {
    if (*p == '-') {
        ++p;
    }
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        return false;
    }
    return IsDigit(*p) || (*p == '.' && IsDigit(p[1]));
}

// The end of the run of characters a decimal number can be made of.
const char* DecimalRunEnd(const char* p) {
    while (IsDigit(*p) || *p == '.' || *p == 'e' || *p == 'E' || *p == '-' || *p == '+') {
        ++p;
    }
    return p;
}

// Every power of ten up to 1e22 is a double without rounding.
constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                        1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr int kMaxExactPower = 22;
constexpr int kMaxShortDigits = 15;  // any 15-digit integer is below 2^53

// Reads the digits of a plain decimal into an integer mantissa; false once
// it would hold more than kMaxShortDigits significant digits.
bool TakeDigits(const char*& p, std::uint64_t& mantissa, int& digits, int& scale, bool fraction,
                bool& any) {
    for (; IsDigit(*p); ++p) {
        any = true;
        if (fraction) {
            --scale;
        }
        if (mantissa == 0 && *p == '0') {
            continue;  // a leading zero adds no significant digit
        }
        if (++digits > kMaxShortDigits) {
            return false;
        }
        mantissa = mantissa * 10 + static_cast<std::uint64_t>(*p - '0');
    }
    return true;
}

// The fast path for short decimals ("12.5", "-3.25e-4"): with at most 15
// significant digits and a power of ten of at most 22 either way, the number
// is an exact integer times or divided by an exact power, one correctly
// rounded operation, so the double is the one strtod gives. False leaves
// every other number to the general readers. The end is where strtod ends:
// an "e" without exponent digits is not part of the number.
bool ScanShortDecimal(const char* p, const char*& end, double& value) {
    const bool negative = *p == '-';
    if (negative) {
        ++p;
    }
    std::uint64_t mantissa = 0;
    int digits = 0;
    int scale = 0;
    bool any = false;
    if (!TakeDigits(p, mantissa, digits, scale, false, any)) {
        return false;
    }
    if (*p == '.') {
        ++p;
        if (!TakeDigits(p, mantissa, digits, scale, true, any)) {
            return false;
        }
    }
    if (!any) {
        return false;
    }
    if (*p == 'e' || *p == 'E') {
        const char* e = p + 1;
        const bool negativeExponent = *e == '-';
        if (*e == '-' || *e == '+') {
            ++e;
        }
        if (IsDigit(*e)) {
            int exponent = 0;
            for (int count = 0; IsDigit(*e); ++e) {
                if (++count > 4) {
                    return false;
                }
                exponent = exponent * 10 + (*e - '0');
            }
            scale += negativeExponent ? -exponent : exponent;
            p = e;
        }
    }
    if (scale < -kMaxExactPower || scale > kMaxExactPower) {
        return false;
    }
    const auto exact = static_cast<double>(mantissa);
    const double v =
        scale < 0 ? exact / kExactPowersOfTen[-scale] : exact * kExactPowersOfTen[scale];
    value = negative ? -v : v;
    end = p;
    return true;
}

// Reads a plain decimal number with std::from_chars, which needs neither the
// locale nor the multi-precision path of strtod; false leaves the rest
// (overflow, underflow to zero) to strtod.
bool ScanPlainDecimal(const char* start, const char*& end, double& value) {
    if (!IsPlainDecimal(start)) {
        return false;
    }
    if (ScanShortDecimal(start, end, value)) {
        return true;
    }
    const std::from_chars_result result = std::from_chars(start, DecimalRunEnd(start), value);
    if (result.ec != std::errc{}) {
        return false;
    }
    end = result.ptr;
    return true;
}

}  // namespace

void SkipSpace(const char*& text) {
    while (IsScanSpace(*text)) {
        ++text;
    }
}

bool ScanDouble(const char*& text, double& value) {
    const char* start = text;
    SkipSpace(start);
    if (const char* plainEnd = nullptr; ScanPlainDecimal(start, plainEnd, value)) {
        text = plainEnd;
        return true;
    }
    char* end = nullptr;
    const double v = strtod_l(start, &end, CLocale());
    if (end == start) {
        return false;
    }
    value = v;
    text = end;
    return true;
}

bool ScanInt(const char*& text, int maxWidth, int& value) {
    const char* p = text;
    SkipSpace(p);
    int used = 0;
    bool negative = false;
    if ((*p == '-' || *p == '+') && used < maxWidth) {
        negative = *p == '-';
        ++p;
        ++used;
    }
    long long v = 0;
    int digits = 0;
    while (used < maxWidth && *p >= '0' && *p <= '9') {
        v = v * 10 + (*p - '0');
        ++p;
        ++used;
        ++digits;
    }
    if (digits == 0) {
        return false;
    }
    value = static_cast<int>(negative ? -v : v);
    text = p;
    return true;
}

}  // namespace quillon
