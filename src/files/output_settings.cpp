#include "files/output_settings.h"

#include "records/number_format.h"

namespace quillon {
namespace {

constexpr int kContentsMax = 2;   // parameters, curve, both
constexpr int kRangeModeMax = 2;  // data, percent, value
constexpr int kStepModeMax = 1;   // range, spacing

std::optional<SettingsProblem> OutOfRange(const char* field, int value, int low, int high) {
    if (value >= low && value <= high) {
        return std::nullopt;
    }
    return SettingsProblem{
        field, Sprintf("%s must be an integer from %d to %d (got %d)", field, low, high, value)};
}

}  // namespace

std::optional<SettingsProblem> ValidateOutputSettings(const OutputSettings& settings) {
    if (auto problem = OutOfRange("contents", settings.contents, 0, kContentsMax)) {
        return problem;
    }
    if (auto problem = OutOfRange("xminMode", settings.xminMode, 0, kRangeModeMax)) {
        return problem;
    }
    if (auto problem = OutOfRange("xmaxMode", settings.xmaxMode, 0, kRangeModeMax)) {
        return problem;
    }
    if (auto problem = OutOfRange("stepMode", settings.stepMode, 0, kStepModeMax)) {
        return problem;
    }
    if (auto problem =
            OutOfRange("divisions[0]", settings.divisions[0], kDivisionsMin, kRangeDivisionsMax)) {
        return problem;
    }
    return OutOfRange("divisions[1]", settings.divisions[1], kDivisionsMin, kSpacingDivisionsMax);
}

OutputSettings AcceptedOutputSettings(OutputSettings edited, FitMethod method) {
    if (method == FitMethod::All) {
        edited.paramTable = false;
    }
    return edited;
}

}  // namespace quillon
