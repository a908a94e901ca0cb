// The abscissae of a fitted curve for the result file, from the output
// settings and the data's X range.
#pragma once

#include <optional>
#include <vector>

#include "records/records.h"

namespace quillon {

// Curves longer than this are not written: a spacing step far below the
// data's range would otherwise ask for billions of points.
inline constexpr double kMaxCurvePoints = 10'000'000.0;

// Where the data's X lie: the smallest and largest X, and the two X whose
// difference is the spacing of step mode 1.
struct CurveXRange {
    double xmin = 0.0;
    double xmax = 0.0;
    double spacingFrom = 0.0;  // X(0) of the spacing
    double spacingTo = 0.0;    // X(1) of the spacing
};

// The abscissae: start, then start plus step added once per point (a running
// sum). Nothing when the step is zero or not finite, or the count is below 1
// or above kMaxCurvePoints.
std::optional<std::vector<double>> SampleCurveX(const OutputSettings& settings,
                                                const CurveXRange& range);

}  // namespace quillon
