// Validation of the convergence values as the settings dialog and the
// command line accept them.
#pragma once

#include <optional>
#include <string>

#include "records/records.h"

namespace quillon {

inline constexpr ConvergenceSettings kDefaultConvergence{};

// Accepted ranges, inclusive.
inline constexpr int kNCutMin = 10;
inline constexpr int kNCutMax = 1000000000;
inline constexpr double kChiCutMin = 1e-10;
inline constexpr double kChiCutMax = 1000.0;
inline constexpr double kChisqDofLimMin = 1e-10;
inline constexpr double kChisqDofLimMax = 1000.0;
inline constexpr double kFErMin = 1e-7;
inline constexpr double kFErMax = 1000000.0;

enum class ConvergenceField { ChiCut, ChisqDofLim, NCut, FEr };

struct ConvergenceError {
    ConvergenceField field;
    std::string message;
};

// Checks the fields in the dialog's order (chi_cut, ChisqDof_Lim, n_cut,
// f_ER) and reports the first one out of range.
std::optional<ConvergenceError> ValidateConvergence(const ConvergenceSettings& settings);

}  // namespace quillon
