#include "models/estimate_steps.h"

#include <cmath>

#include "models/model_function.h"

namespace quillon {

Extremes RangeScan(std::span<const double> values) {
    Extremes e;
    if (values.empty()) {
        return e;
    }
    e.min = e.max = values[0];
    for (std::size_t i = 1; i < values.size(); ++i) {
        if (values[i] < e.min) {
            e.min = values[i];
            e.iMin = static_cast<int>(i);
        }
        if (values[i] > e.max) {
            e.max = values[i];
            e.iMax = static_cast<int>(i);
        }
    }
    return e;
}

double PeriodFromHalfDistance(double d) {
    if (d < kDblMin) {
        return kDblMin;
    }
    if (d > kDblMax / 2) {
        return kDblMax;
    }
    return 2 * d;
}

double WrapShift(double v, double period) {
    // The whole number of periods stays a double: the same value as an integer
    // count for every count an int can hold, and no conversion of NaN or inf.
    const double k = std::floor(v / period + 0.5);
    return v - k * period;
}

void EstimateShiftForm(const CModelFunction& model, std::span<double> a, std::span<double> s) {
    const double er = model.ER();
    const double period = model.PeriodGuess();
    a[0] = (model.YMax() - model.YMin()) / 2;
    a[1] = kTwoPi / period;
    a[2] = WrapShift(period / 4 - model.XData()[model.YMaxIndex()], period);
    s[0] = a[0] * er;
    s[1] = a[1] * er;
    s[2] = period * er;
}

std::optional<double> HalfRisePoint(std::span<const double> x, std::span<const double> y,
                                    double yMax) {
    const double h = yMax / 2;
    for (std::size_t i = 0; i + 1 < y.size(); ++i) {
        if (y[i] < h && h <= y[i + 1]) {
            const double xHalf = x[i] + (h - y[i]) * (x[i + 1] - x[i]) / (y[i + 1] - y[i]);
            if (xHalf > 0) {
                return xHalf;
            }
            return std::nullopt;
        }
    }
    return std::nullopt;
}

}  // namespace quillon
