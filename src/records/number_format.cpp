#include "records/number_format.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace quillon {
namespace {

// A parsed "%[flags][width][.precision][length]conversion".
struct ConversionSpec {
    std::string flags;
    int width = 0;
    int precision = -1;
    char conversion = 0;

    bool HasFlag(char flag) const { return flags.find(flag) != std::string::npos; }
};

// Parses the conversion that starts after a '%'; returns the position after it or
// npos when the format ends inside the conversion.
std::size_t ParseSpec(std::string_view format, std::size_t pos, ConversionSpec& spec) {
    while (pos < format.size() &&
           std::string_view("-+ #0").find(format[pos]) != std::string_view::npos) {
        spec.flags += format[pos++];
    }
    while (pos < format.size() && format[pos] >= '0' && format[pos] <= '9') {
        spec.width = spec.width * 10 + (format[pos++] - '0');
    }
    if (pos < format.size() && format[pos] == '.') {
        ++pos;
        spec.precision = 0;
        while (pos < format.size() && format[pos] >= '0' && format[pos] <= '9') {
            spec.precision = spec.precision * 10 + (format[pos++] - '0');
        }
    }
    while (pos < format.size() &&
           std::string_view("hlLqjzt").find(format[pos]) != std::string_view::npos) {
        ++pos;
    }
    if (pos >= format.size()) {
        return std::string_view::npos;
    }
    spec.conversion = format[pos];
    return pos + 1;
}

void Pad(std::string& text, const ConversionSpec& spec, bool zeroPadAllowed) {
    const auto width = static_cast<std::size_t>(spec.width);
    if (text.size() >= width) {
        return;
    }
    const std::size_t fill = width - text.size();
    if (spec.HasFlag('-')) {
        text.append(fill, ' ');
    } else if (spec.HasFlag('0') && zeroPadAllowed) {
        std::size_t at = 0;
        if (!text.empty() && (text[0] == '-' || text[0] == '+' || text[0] == ' ')) {
            at = 1;
        }
        if (text.size() > at + 1 && text[at] == '0' &&
            (text[at + 1] == 'x' || text[at + 1] == 'X')) {
            at += 2;
        }
        text.insert(at, fill, '0');
    } else {
        text.insert(0, fill, ' ');
    }
}

std::string FormatNonFinite(double value, const ConversionSpec& spec) {
    const bool upper = spec.conversion >= 'A' && spec.conversion <= 'Z';
    const bool nan = std::isnan(value);
    std::string text;
    if (!nan && value < 0) {
        text += '-';
    } else if (spec.HasFlag('+')) {
        text += '+';
    } else if (spec.HasFlag(' ')) {
        text += ' ';
    }
    if (nan) {
        text += upper ? "NAN" : "nan";
    } else {
        text += upper ? "INF" : "inf";
    }
    return text;
}

std::string FormatDouble(double value, const ConversionSpec& spec) {
    std::string text;
    if (!std::isfinite(value)) {
        text = FormatNonFinite(value, spec);
        Pad(text, spec, false);
        return text;
    }
    std::string cformat = "%";
    for (char flag : spec.flags) {
        if (flag != '-' && flag != '0') {
            cformat += flag;
        }
    }
    if (spec.precision >= 0) {
        cformat += '.' + std::to_string(spec.precision);
    }
    cformat += spec.conversion;
    char small[64];
    const int length = std::snprintf(small, sizeof small, cformat.c_str(), value);
    if (length < 0) {
        return text;
    }
    if (static_cast<std::size_t>(length) < sizeof small) {
        text.assign(small, static_cast<std::size_t>(length));
    } else {
        text.resize(static_cast<std::size_t>(length) + 1);
        std::snprintf(text.data(), text.size(), cformat.c_str(), value);
        text.resize(static_cast<std::size_t>(length));
    }
    if (spec.conversion != 'a' && spec.conversion != 'A') {
        WidenExponent(text);
    }
    Pad(text, spec, true);
    return text;
}

long long AsInteger(const FormatArg& arg) {
    const auto& v = arg.Value();
    if (const auto* i = std::get_if<long long>(&v)) {
        return *i;
    }
    if (const auto* d = std::get_if<double>(&v)) {
        // Out-of-range values have no integer; print them as the extreme.
        if (std::isnan(*d)) {
            return 0;
        }
        if (*d >= 9.2e18) {
            return INT64_MAX;
        }
        if (*d <= -9.2e18) {
            return INT64_MIN;
        }
        return static_cast<long long>(*d);
    }
    return 0;
}

double AsDouble(const FormatArg& arg) {
    const auto& v = arg.Value();
    if (const auto* d = std::get_if<double>(&v)) {
        return *d;
    }
    if (const auto* i = std::get_if<long long>(&v)) {
        return static_cast<double>(*i);
    }
    return 0.0;
}

std::string FormatInteger(long long value, const ConversionSpec& spec) {
    std::string cformat = "%" + spec.flags;
    if (spec.width > 0) {
        cformat += std::to_string(spec.width);
    }
    if (spec.precision >= 0) {
        cformat += '.' + std::to_string(spec.precision);
    }
    char buffer[128];
    int length = 0;
    if (spec.conversion == 'c') {
        cformat += 'c';
        length = std::snprintf(buffer, sizeof buffer, cformat.c_str(), static_cast<int>(value));
    } else {
        cformat += "ll";
        cformat += spec.conversion;
        length = std::snprintf(buffer, sizeof buffer, cformat.c_str(), value);
    }
    if (length < 0) {
        return {};
    }
    return std::string(buffer,
                       std::min<std::size_t>(static_cast<std::size_t>(length), sizeof buffer - 1));
}

std::string FormatString(const FormatArg& arg, const ConversionSpec& spec) {
    std::string text;
    const auto& v = arg.Value();
    if (const auto* s = std::get_if<std::string_view>(&v)) {
        text = std::string(*s);
    } else if (const auto* d = std::get_if<double>(&v)) {
        text = FormatNumber(*d);
    } else {
        text = std::to_string(std::get<long long>(v));
    }
    if (spec.precision >= 0 && text.size() > static_cast<std::size_t>(spec.precision)) {
        text.resize(static_cast<std::size_t>(spec.precision));
    }
    Pad(text, spec, false);
    return text;
}

}  // namespace

void WidenExponent(std::string& text) {
    const std::size_t e = text.find_last_of("eE");
    if (e == std::string::npos || e + 1 >= text.size()) {
        return;
    }
    std::size_t digits = e + 1;
    if (text[digits] == '+' || text[digits] == '-') {
        ++digits;
    }
    std::size_t end = digits;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9') {
        ++end;
    }
    const std::size_t count = end - digits;
    if (count > 0 && count < 3) {
        text.insert(digits, 3 - count, '0');
    }
}

std::string FormatText(std::string_view format, std::span<const FormatArg> args) {
    std::string out;
    out.reserve(format.size() + 16 * args.size());
    AppendFormat(out, format, args);
    return out;
}

void AppendFormat(std::string& out, std::string_view format, std::span<const FormatArg> args) {
    std::size_t next = 0;
    std::size_t pos = 0;
    while (pos < format.size()) {
        const std::size_t percent = format.find('%', pos);
        if (percent == std::string_view::npos) {
            out.append(format.substr(pos));
            break;
        }
        out.append(format.substr(pos, percent - pos));
        if (percent + 1 < format.size() && format[percent + 1] == '%') {
            out += '%';
            pos = percent + 2;
            continue;
        }
        ConversionSpec spec;
        const std::size_t after = ParseSpec(format, percent + 1, spec);
        if (after == std::string_view::npos) {
            out.append(format.substr(percent));
            break;
        }
        pos = after;
        if (next >= args.size()) {
            continue;
        }
        const FormatArg& arg = args[next++];
        switch (spec.conversion) {
            case 'f':
            case 'F':
            case 'e':
            case 'E':
            case 'g':
            case 'G':
            case 'a':
            case 'A':
                out += FormatDouble(AsDouble(arg), spec);
                break;
            case 'd':
            case 'i':
            case 'u':
            case 'x':
            case 'X':
            case 'o':
            case 'c':
                out += FormatInteger(AsInteger(arg), spec);
                break;
            case 's':
                out += FormatString(arg, spec);
                break;
            default:
                // Unknown conversions are copied as they stand.
                out.append(format.substr(percent, after - percent));
                break;
        }
    }
}

void AppendNumber(std::string& out, double value) {
    if (!std::isfinite(value)) {
        out += std::isnan(value) ? "nan" : (value < 0 ? "-inf" : "inf");
        return;
    }
    char buffer[32];
    const int length = std::snprintf(buffer, sizeof buffer, "%g", value);
    std::string text(buffer, static_cast<std::size_t>(length));
    WidenExponent(text);
    out += text;
}

std::string FormatNumber(double value) {
    std::string out;
    AppendNumber(out, value);
    return out;
}

}  // namespace quillon
