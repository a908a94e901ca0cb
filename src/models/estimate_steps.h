// Steps shared by the starting-value estimates of several model families.
#pragma once

#include <optional>
#include <span>

namespace quillon {

class CModelFunction;

// Smallest and largest value of an array and the index where each first occurs.
struct Extremes {
    double min = 0.0;
    double max = 0.0;
    int iMin = 0;
    int iMax = 0;
    // With at least one value, equal indices mean every value is the same.
    bool Flat() const { return iMin == iMax; }
};

// Scans values in order from the first one; only a strictly smaller or larger
// value moves an extreme. An empty array gives the zero Extremes (flat).
Extremes RangeScan(std::span<const double> values);

// The period from the X distance d between the highest and the lowest point
// (half a period): 2d, clamped to [DBL_MIN, DBL_MAX].
double PeriodFromHalfDistance(double d);

// Wraps a shift v into [-period/2, period/2) by whole periods.
double WrapShift(double v, double period);

// After the range scan: A0, A1, A2 and their steps for A0*sin(A1*(x + A2)),
// the shift form of a sine. The highest point falls a quarter period into a
// cycle, the shift wrapped by one period.
void EstimateShiftForm(const CModelFunction& model, std::span<double> a, std::span<double> s);

// X at which Y first rises through yMax/2 between two adjacent points, by
// linear interpolation; empty when Y never does or the crossing is not above 0.
std::optional<double> HalfRisePoint(std::span<const double> x, std::span<const double> y,
                                    double yMax);

}  // namespace quillon
