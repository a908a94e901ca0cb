#include "engine/data_grammar.h"

#include <cctype>
#include <cmath>
#include <limits>

#include "records/number_scan.h"

namespace quillon {
namespace {

bool IsSeparator(char c) {
    return c == ',' || c == '\t' || c == ' ';
}

// "%[,\t ]": a run of one or more commas, tabs or blanks.
bool ScanSeparatorRun(const char*& text) {
    if (!IsSeparator(*text)) {
        return false;
    }
    while (IsSeparator(*text)) {
        ++text;
    }
    return true;
}

std::string AsciiLower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return lower;
}

// Position of a character, -1 when it does not occur.
long FindPosition(std::string_view text, char c) {
    const std::size_t pos = text.find(c);
    return pos == std::string_view::npos ? -1 : static_cast<long>(pos);
}

std::size_t Utf8SequenceLength(unsigned char lead) {
    if (lead < 0x80)
        return 1;
    if ((lead & 0xE0) == 0xC0)
        return 2;
    if ((lead & 0xF0) == 0xE0)
        return 3;
    if ((lead & 0xF8) == 0xF0)
        return 4;
    return 1;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

void SkipBlanks(const char*& p) {
    while (IsBlank(*p)) {
        ++p;
    }
}

// One side of "[lo, hi]": a number, or nothing for an open side (the
// default, infinite bound stays). False when something else stands there.
bool ScanBoundSide(const char*& p, double& bound) {
    SkipBlanks(p);
    if (*p == ',' || *p == ']') {
        return true;
    }
    if (!ScanDouble(p, bound) || std::isnan(bound)) {
        return false;
    }
    SkipBlanks(p);
    return true;
}

// "[lo, hi]" from p, which stands on "["; the error when it is malformed or
// lo > hi.
std::string ScanBounds(const char* p, ParameterBounds& bounds) {
    ++p;  // past "["
    if (!ScanBoundSide(p, bounds.lower) || *p != ',') {
        return "malformed bounds";
    }
    ++p;
    if (!ScanBoundSide(p, bounds.upper) || *p != ']') {
        return "malformed bounds";
    }
    if (bounds.lower > bounds.upper) {
        return "lower bound above upper bound";
    }
    return {};
}

// True when text holds word as a whole word (not inside a longer one).
bool HasWord(std::string_view text, std::string_view word) {
    for (std::size_t at = text.find(word); at != std::string_view::npos;
         at = text.find(word, at + 1)) {
        const bool wordStart = at == 0 || !std::isalnum(static_cast<unsigned char>(text[at - 1]));
        const std::size_t end = at + word.size();
        const bool wordEnd =
            end == text.size() || !std::isalnum(static_cast<unsigned char>(text[end]));
        if (wordStart && wordEnd) {
            return true;
        }
    }
    return false;
}

// "shared" or "local" in what follows a directive's index or value.
DirectiveSharing SharingWord(std::string_view tail) {
    if (HasWord(tail, "shared")) {
        return DirectiveSharing::Shared;
    }
    return HasWord(tail, "local") ? DirectiveSharing::Local : DirectiveSharing::None;
}

// What follows the value up to the directive's closing ">": the words
// "fixed", "shared" or "local" and the bounds "[lo, hi]", in any order; any
// other text is ignored. A bound that does not read is dropped with an error.
void ParseDirectiveTail(std::string_view tail, ParsedDirective& parsed) {
    tail = tail.substr(0, tail.find('>'));
    parsed.directive.fixed = HasWord(tail, "fixed");
    parsed.sharing = SharingWord(tail);
    const std::size_t open = tail.find('[');
    if (open == std::string_view::npos) {
        return;
    }
    const std::string text(tail.substr(open));  // NUL-terminated for the scanner
    ParameterBounds bounds;
    parsed.error = ScanBounds(text.c_str(), bounds);
    // "[ , ]" (or infinite sides only) bounds nothing.
    if (parsed.error.empty() && (std::isfinite(bounds.lower) || std::isfinite(bounds.upper))) {
        parsed.directive.bounds = bounds;
    }
}

}  // namespace

std::size_t CharacterCount(std::string_view text) {
    std::size_t count = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t length = Utf8SequenceLength(static_cast<unsigned char>(text[pos]));
        // A sequence cut short or broken by a non-continuation byte counts
        // its lead byte alone.
        for (std::size_t k = 1; k < length; ++k) {
            if (pos + k >= text.size() ||
                (static_cast<unsigned char>(text[pos + k]) & 0xC0) != 0x80) {
                length = 1;
                break;
            }
        }
        pos += length;
        ++count;
    }
    return count;
}

LineClass ClassifyLine(std::string_view line) {
    if (line.empty()) {
        return LineClass::Blank;
    }
    // A character takes at most four bytes, so a longer line holds more
    // than one and need not be counted.
    if (line.size() <= 4 && CharacterCount(line) == 1) {
        return LineClass::SingleCharacter;
    }
    if (line.starts_with("//")) {
        return LineClass::Memo;
    }
    if (line[0] == '<') {
        return LineClass::Directive;
    }
    if (line[0] == '*') {
        return LineClass::Option;
    }
    return LineClass::Point;
}

PointScan ScanPointLine(const char* text) {
    PointScan scan;
    const char* p = text;
    double* targets[3] = {&scan.x, &scan.y, &scan.sd};
    for (int item = 0; item < 3; ++item) {
        if (item > 0) {
            if (!ScanSeparatorRun(p)) {
                return scan;
            }
            ++scan.converted;
        }
        if (!ScanDouble(p, *targets[item])) {
            return scan;
        }
        ++scan.converted;
    }
    return scan;
}

namespace {

// "<<a[i] shared>>" or "<<a[i] local>>": a sharing line without a value,
// which the separate fits do not see.
std::optional<ParsedDirective> ParseSharingOnlyLine(std::string_view line, const std::string& lower,
                                                    std::size_t open, std::size_t close) {
    const std::string text = lower.substr(open + 2, close - open - 2) + "]";
    const char* p = text.c_str();
    int index = 0;
    if (!ScanInt(p, 3, index) || *p != ']') {
        return std::nullopt;
    }
    ParsedDirective parsed;
    parsed.directive.index = index;
    parsed.directive.hasValue = false;
    parsed.laterSets = line.size() > 1 && line[1] == '<';
    std::string_view tail = std::string_view(lower).substr(close + 1);
    tail = tail.substr(0, tail.find('>'));
    parsed.sharing = SharingWord(tail);
    if (parsed.sharing == DirectiveSharing::None || !parsed.laterSets) {
        return std::nullopt;
    }
    // Bounds belong to a start value; without one they would go unseen.
    if (tail.find('[') != std::string_view::npos) {
        parsed.error = "bounds need a value: <<a[i] = v shared [lo, hi]>>";
    }
    return parsed;
}

}  // namespace

std::optional<ParsedDirective> ParseDirectiveLine(std::string_view line) {
    const std::string lower = AsciiLower(line);
    const std::size_t open = lower.find("a[");
    if (open == std::string::npos) {
        return std::nullopt;
    }
    const std::size_t close = lower.find(']');
    const std::size_t equals = lower.find('=');
    if (close == std::string::npos || close < open) {
        return std::nullopt;
    }
    if (equals == std::string::npos) {
        return ParseSharingOnlyLine(line, lower, open, close);
    }
    // "a[ i]" followed by everything from the first "=": "a[ 2]= 0.5>".
    const std::string text = lower.substr(open, close - open + 1) + lower.substr(equals) + "\n";
    const char* p = text.c_str() + 2;  // past "a["
    int index = 0;
    if (!ScanInt(p, 3, index) || *p != ']' || p[1] != '=') {
        return std::nullopt;
    }
    p += 2;
    double value = 0.0;
    if (!ScanDouble(p, value)) {
        return std::nullopt;
    }
    ParsedDirective parsed;
    parsed.directive.value = value;
    parsed.directive.index = index;
    parsed.laterSets = line.size() > 1 && line[1] == '<';
    ParseDirectiveTail(p, parsed);
    return parsed;
}

std::optional<double> ParseFramingLine(std::string_view line) {
    const std::string lower = AsciiLower(line);
    if (lower.find("framing") == std::string::npos) {
        return std::nullopt;
    }
    std::size_t mark = lower.find(':');
    if (mark == std::string::npos) {
        mark = lower.find('=');
    }
    if (mark == std::string::npos) {
        mark = lower.find('g');
    }
    const std::string rest = lower.substr(mark + 1);
    const char* p = rest.c_str();
    double rate = 0.0;
    if (!ScanDouble(p, rate)) {
        return std::nullopt;
    }
    return rate;
}

SetLabel DeriveSetLabel(std::string_view memo, int setNumber) {
    const long open = FindPosition(memo, '(');
    const long equals = FindPosition(memo, '=');
    const long close = FindPosition(memo, ')');
    if (open < equals - 1 && equals < close) {
        SetLabel label;
        const auto nameStart = static_cast<std::size_t>(open + 1);
        label.name =
            std::string(memo.substr(nameStart, static_cast<std::size_t>(equals) - nameStart));
        const std::string valueText(memo.substr(static_cast<std::size_t>(equals + 1),
                                                static_cast<std::size_t>(close - equals - 1)));
        const char* p = valueText.c_str();
        // No readable number: the label value is not a number rather than an
        // invented one.
        if (!ScanDouble(p, label.value)) {
            label.value = std::numeric_limits<double>::quiet_NaN();
        }
        return label;
    }
    return {"No.", static_cast<double>(setNumber)};
}

}  // namespace quillon
