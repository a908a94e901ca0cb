// The named choices and results of a fit: the method run and the outcome it
// ends with. Each keeps the number the reports, the window's lists and the
// stored settings have always used.
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

}  // namespace quillon
