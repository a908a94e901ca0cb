// Reads a user's model formula in X and A0..A31 and compiles it to a
// FormulaProgram, or says what is wrong and at which column.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "models/formula_program.h"

namespace quillon {

struct FormulaError {
    std::string what;  // "unknown function 'foo'"
    int column = 0;    // 1-based, in characters
};

struct FormulaCompileResult {
    std::optional<FormulaProgram> program;  // empty when the formula is refused
    FormulaError error;
};

// The language: numbers as the data reader reads them, X (or x), A0..A31
// (or a0..a31), PI, + - * / and ^ (or **, right-associative and binding
// tighter than a unary minus: -X^2 is -(X^2), 2^-X is 2^(-X)), parentheses,
// and the functions exp, log (natural), log10, sqrt, abs, sin, cos, tan,
// asin, acos, atan, atan2(y, x), sinh, cosh, tanh, min(a, b), max(a, b).
// Names take any case. A formula without any parameter is refused.
FormulaCompileResult CompileFormula(std::string_view text);

// "<what> at column N".
std::string FormulaErrorText(const FormulaError& error);

// A line that puts a caret under the column of the formula (tabs before it
// kept, so it lines up under the formula printed above it).
std::string FormulaCaretLine(std::string_view text, int column);

}  // namespace quillon
