#include "fit/curve_sampling.h"

#include <cmath>

namespace quillon {

std::optional<std::vector<double>> SampleCurveX(const OutputSettings& settings,
                                                const CurveXRange& range) {
    const double span = range.xmax - range.xmin;
    double start = range.xmin;
    if (settings.xminMode == CurveEndMode::Percent) {
        start = range.xmin - span * settings.xminPercent * 0.01;
    } else if (settings.xminMode == CurveEndMode::Value) {
        start = settings.xminValue;
    }
    double end = range.xmax;
    if (settings.xmaxMode == CurveEndMode::Percent) {
        end = range.xmax + span * settings.xmaxPercent * 0.01;
    } else if (settings.xmaxMode == CurveEndMode::Value) {
        end = settings.xmaxValue;
    }
    const double step = settings.stepMode == CurveStepMode::Range
                            ? (end - start) / settings.divisions[0]
                            : (range.spacingTo - range.spacingFrom) / settings.divisions[1];
    if (step == 0.0 || !std::isfinite(step)) {
        return std::nullopt;
    }
    const double intervals = std::trunc((end - start) / step);
    if (!(intervals >= 0.0) || intervals + 1.0 > kMaxCurvePoints) {
        return std::nullopt;
    }
    const auto count = static_cast<std::size_t>(intervals) + 1;
    std::vector<double> xs(count);
    double x = start;
    for (double& value : xs) {
        value = x;
        x += step;
    }
    return xs;
}

}  // namespace quillon
