#include "core/records/number_scan.h"

#include <locale.h>

#include <charconv>
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

// Reads a plain decimal number with std::from_chars, which needs neither the
// locale nor the multi-precision path of strtod; false leaves the rest
// (overflow, underflow to zero) to strtod.
bool ScanPlainDecimal(const char* start, const char*& end, double& value) {
    if (!IsPlainDecimal(start)) {
        return false;
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
