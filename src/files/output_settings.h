// The checks of the output settings dialog, as a function the dialog and the
// command line share.
#pragma once

#include <optional>
#include <string>

#include "records/records.h"

namespace quillon {

inline constexpr int kDivisionsMin = 1;
inline constexpr int kRangeDivisionsMax = 100000;   // divisions of Xmax - Xmin
inline constexpr int kSpacingDivisionsMax = 10000;  // divisions of X(1) - X(0)

// A field the dialog refuses, and why.
struct SettingsProblem {
    std::string field;  // the record's field name, e.g. "divisions[0]"
    std::string message;
};

// Nothing when every field is in range; otherwise the first field that is not.
std::optional<SettingsProblem> ValidateOutputSettings(const OutputSettings& settings);

// The settings the dialog stores on OK: with the method "ALL" the parameter
// table is off.
OutputSettings AcceptedOutputSettings(OutputSettings edited, FitMethod method);

}  // namespace quillon
