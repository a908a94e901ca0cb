// The grammar of the data text: how each line is classified and read.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "records/records.h"

namespace quillon {

enum class LineClass {
    Blank,            // no characters
    SingleCharacter,  // exactly one character: invalid
    Memo,             // begins with "//"
    Directive,        // begins with "<"
    Option,           // begins with "*"
    Point,            // anything else
};

LineClass ClassifyLine(std::string_view line);

// Number of Unicode characters of UTF-8 text (a stray byte counts as one).
std::size_t CharacterCount(std::string_view text);

// The result of scanning a point line with "%lg%[,\t ]%lg%[,\t ]%lg": the
// number of items converted (0 to 5) and the numbers read.
struct PointScan {
    int converted = 0;
    double x = 0.0;
    double y = 0.0;
    double sd = 0.0;
};

// Scans text, which must be NUL-terminated (the line followed by "\n").
PointScan ScanPointLine(const char* text);

// What a "<<...>>" line says about sharing its parameter across the sets
// of a global fit: "shared" starts it, "local" (or a plain value) ends it.
enum class DirectiveSharing { None, Shared, Local };

// A directive and the list it belongs to.
struct ParsedDirective {
    InitialValueDirective directive;  // hasValue false for "<<a[i] shared>>"
    bool laterSets = false;           // "<<" lines apply to this and every later set
    DirectiveSharing sharing = DirectiveSharing::None;
    // Why the line's bounds were dropped (malformed, or lo > hi); empty when
    // they were read or there were none.
    std::string error;
};

// Reads "<a[i] = v>" or "<<a[i] = v>>", with "fixed", "[lo, hi]", "shared"
// or "local" after the value; "<<a[i] shared>>" and "<<a[i] local>>" without
// a value. Nothing when the index, or the value of any other line, is missing.
std::optional<ParsedDirective> ParseDirectiveLine(std::string_view line);

// Reads the framing rate of a "*... framing ..." line; nothing when the line
// is no framing line or gives no number.
std::optional<double> ParseFramingLine(std::string_view line);

// The label of a set from its memo: "(name=value)", or "No." and the set number.
SetLabel DeriveSetLabel(std::string_view memo, int setNumber);

}  // namespace quillon
