#include "files/output_settings.h"

#include "records/number_format.h"

namespace quillon {
namespace {

constexpr int kContentsMax = static_cast<int>(ResultContents::Both);
constexpr int kRangeModeMax = static_cast<int>(CurveEndMode::Value);
constexpr int kStepModeMax = static_cast<int>(CurveStepMode::Spacing);

std::optional<SettingsProblem> OutOfRange(const char* field, int value, int low, int high) {
    if (value >= low && value <= high) {
        return std::nullopt;
    }
    return SettingsProblem{
        field, Sprintf("%s must be an integer from %d to %d (got %d)", field, low, high, value)};
}

}  // namespace

std::optional<SettingsProblem> ValidateOutputSettings(const OutputSettings& settings) {
    if (auto problem =
            OutOfRange("contents", static_cast<int>(settings.contents), 0, kContentsMax)) {
        return problem;
    }
    if (auto problem =
            OutOfRange("xminMode", static_cast<int>(settings.xminMode), 0, kRangeModeMax)) {
        return problem;
    }
    if (auto problem =
            OutOfRange("xmaxMode", static_cast<int>(settings.xmaxMode), 0, kRangeModeMax)) {
        return problem;
    }
    if (auto problem =
            OutOfRange("stepMode", static_cast<int>(settings.stepMode), 0, kStepModeMax)) {
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
