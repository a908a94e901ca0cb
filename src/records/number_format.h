// One number formatter for the report and the result files: printf formats
// whose floating conversions write a three-digit exponent (1.23457e+006) and
// whose non-finite values read inf, -inf and nan.
#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace quillon {

// One argument of a format; integers, doubles and texts.
class FormatArg {
  public:
    FormatArg(int v) : m_value(static_cast<long long>(v)) {}
    FormatArg(long v) : m_value(static_cast<long long>(v)) {}
    FormatArg(long long v) : m_value(v) {}
    FormatArg(unsigned v) : m_value(static_cast<long long>(v)) {}
    FormatArg(unsigned long v) : m_value(static_cast<long long>(v)) {}
    FormatArg(double v) : m_value(v) {}
    FormatArg(const char* v) : m_value(std::string_view(v)) {}
    FormatArg(const std::string& v) : m_value(std::string_view(v)) {}
    FormatArg(std::string_view v) : m_value(v) {}

    const std::variant<long long, double, std::string_view>& Value() const { return m_value; }

  private:
    std::variant<long long, double, std::string_view> m_value;
};

// Formats like printf. A conversion without an argument writes nothing; an
// argument of the wrong type is converted to the conversion's type.
std::string FormatText(std::string_view format, std::span<const FormatArg> args);
// The same, appended to out (a log or report that grows line by line).
void AppendFormat(std::string& out, std::string_view format, std::span<const FormatArg> args);

template <class... Args>
std::string Sprintf(std::string_view format, const Args&... args) {
    const std::array<FormatArg, sizeof...(Args)> packed{FormatArg(args)...};
    return FormatText(format, packed);
}

template <class... Args>
void AppendSprintf(std::string& out, std::string_view format, const Args&... args) {
    const std::array<FormatArg, sizeof...(Args)> packed{FormatArg(args)...};
    AppendFormat(out, format, packed);
}

// "%lg" of one value: six significant digits, three-digit exponent.
std::string FormatNumber(double value);
void AppendNumber(std::string& out, double value);

// Widens the exponent of a printf result in place to three digits
// ("1e+06" -> "1e+006"); text without an exponent is left alone.
void WidenExponent(std::string& text);

}  // namespace quillon
