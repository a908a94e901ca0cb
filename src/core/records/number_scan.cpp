#include "core/records/number_scan.h"

#include <locale.h>

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

}  // namespace

void SkipSpace(const char*& text) {
    while (IsScanSpace(*text)) {
        ++text;
    }
}

bool ScanDouble(const char*& text, double& value) {
    const char* start = text;
    SkipSpace(start);
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
