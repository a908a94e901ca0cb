// The named choices and results of a fit: the method run, the outcome it ends
// with and the modes of the result columns. Each keeps the number the reports,
// the window's lists and the stored settings have always used.
#pragma once

#include <array>

namespace quillon {

// The method of a nonlinear fit, in the order of the method list.
enum class FitMethod : int {
    Marquardt = 0,
    Expansion = 1,
    Powell = 2,
    GradientSearch = 3,
    All = 4,  // the four methods above, one after another, each from the estimates
};

// The methods an ALL run takes, in its order.
inline constexpr std::array<FitMethod, 4> kMinimisationMethods{
    FitMethod::Marquardt, FitMethod::Expansion, FitMethod::Powell, FitMethod::GradientSearch};

// How a fit ended; the number is the one the JSON report prints.
enum class FitOutcome : int {
    Converged = 1,
    NotConverged = 0,  // also a linear fit of abnormal data
    Singular = -1,
    OutOfRange = -2,
    IterationLimit = -3,
    LambdaAbnormal = -4,  // Marquardt's damping factor grew without an accepted step
};

// The outcomes that end with parameters, their errors and chi-square.
inline bool HasParameterBlock(FitOutcome outcome) {
    return outcome == FitOutcome::Converged || outcome == FitOutcome::IterationLimit;
}

// What the result columns of a set hold.
enum class ResultContents : int {
    Parameters = 0,
    Curve = 1,
    Both = 2,
};

// Where the fitted curve starts (xminMode) or ends (xmaxMode).
enum class CurveEndMode : int {
    Data = 0,     // the data's own end
    Percent = 1,  // moved outwards by a percentage of the data's X range
    Value = 2,    // a given value
};

// How the curve's step is taken.
enum class CurveStepMode : int {
    Range = 0,    // (Xmax - Xmin) / divisions[0]
    Spacing = 1,  // (X(1) - X(0)) / divisions[1]
};

}  // namespace quillon
