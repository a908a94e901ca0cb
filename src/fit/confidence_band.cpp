#include "fit/confidence_band.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "fit/parameter_stats.h"
#include "models/formula_model.h"
#include "models/model_function.h"

namespace quillon {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Central differences of a catalogue model. Value may rewrite the vector it
// is given (the sawtooth normalises it), so every call gets a fresh copy.
CurveJacobian DifferenceJacobian(const CModelFunction& model, std::span<const double> params,
                                 std::span<const double> xs, const std::vector<bool>& skip) {
    const std::size_t m = params.size();
    const std::size_t n = xs.size();
    CurveJacobian jacobian{std::vector<double>(n), std::vector<double>(m * n, 0.0), m};
    std::vector<double> trial;
    auto value = [&](double x) { return model.Value(trial.data(), x); };
    for (std::size_t i = 0; i < n; ++i) {
        trial.assign(params.begin(), params.end());
        jacobian.values[i] = value(xs[i]);
        for (std::size_t j = 0; j < m; ++j) {
            if (j < skip.size() && skip[j]) {
                continue;
            }
            const double h = params[j] != 0.0 ? std::fabs(params[j]) * model.ER() : model.ER();
            trial.assign(params.begin(), params.end());
            trial[j] = params[j] + h;
            const double up = value(xs[i]);
            trial.assign(params.begin(), params.end());
            trial[j] = params[j] - h;
            const double down = value(xs[i]);
            jacobian.gradients[j * n + i] = (up - down) / (2.0 * h);
        }
    }
    return jacobian;
}

CurveJacobian FormulaJacobian(const CFormulaModel& model, std::span<const double> params,
                              std::span<const double> xs) {
    const std::size_t m = params.size();
    CurveJacobian jacobian{std::vector<double>(xs.size()), std::vector<double>(m * xs.size()), m};
    FormulaEvaluator evaluator(model.Program());
    evaluator.ValuesAndGradients(params.data(), xs, jacobian.values, jacobian.gradients);
    return jacobian;
}

// The covariance entries a band reads are those of parameters not skipped;
// every one of them must be a number.
bool CovarianceUsable(const std::vector<double>& covariance, std::size_t m,
                      const std::vector<bool>& skip) {
    if (covariance.size() != m * m) {
        return false;
    }
    auto counts = [&](std::size_t j) { return j >= skip.size() || !skip[j]; };
    for (std::size_t i = 0; i < m; ++i) {
        for (std::size_t j = 0; j < m; ++j) {
            if (counts(i) && counts(j) && !std::isfinite(covariance[i * m + j])) {
                return false;
            }
        }
    }
    return true;
}

// gᵀCg at point i, over the parameters not skipped; rounding below 0 is 0.
double CurveVariance(const CurveJacobian& jacobian, std::size_t i, std::size_t n,
                     const std::vector<double>& covariance, const std::vector<bool>& skip) {
    const std::size_t m = jacobian.params;
    double sum = 0.0;
    for (std::size_t a = 0; a < m; ++a) {
        if (a < skip.size() && skip[a]) {
            continue;
        }
        const double ga = jacobian.gradients[a * n + i];
        for (std::size_t b = 0; b < m; ++b) {
            if (b < skip.size() && skip[b]) {
                continue;
            }
            sum += ga * covariance[a * m + b] * jacobian.gradients[b * n + i];
        }
    }
    return std::max(sum, 0.0);
}

}  // namespace

double BandQuantile(double levelPercent, int dof) {
    if (!(levelPercent > 0.0) || !(levelPercent < 100.0) || dof <= 0) {
        return kNaN;
    }
    return StudentTQuantile(0.5 + levelPercent / 200.0, static_cast<double>(dof));
}

CurveJacobian ModelJacobian(const CModelFunction& model, std::span<const double> params,
                            std::span<const double> xs, const std::vector<bool>& skip) {
    if (const auto* formula = dynamic_cast<const CFormulaModel*>(&model)) {
        return FormulaJacobian(*formula, params, xs);
    }
    return DifferenceJacobian(model, params, xs, skip);
}

CurveJacobian LineJacobian(double a, double b, std::span<const double> xs) {
    const std::size_t n = xs.size();
    CurveJacobian jacobian{std::vector<double>(n), std::vector<double>(2 * n), 2};
    for (std::size_t i = 0; i < n; ++i) {
        jacobian.values[i] = a + b * xs[i];
        jacobian.gradients[i] = 1.0;
        jacobian.gradients[n + i] = xs[i];
    }
    return jacobian;
}

CurveJacobian OriginJacobian(double b, std::span<const double> xs) {
    CurveJacobian jacobian{std::vector<double>(xs.size()), {xs.begin(), xs.end()}, 1};
    for (std::size_t i = 0; i < xs.size(); ++i) {
        jacobian.values[i] = b * xs[i];
    }
    return jacobian;
}

std::vector<bool> HeldParameters(const FitRecord& fit) {
    std::vector<bool> held(fit.parameters.size(), false);
    if (fit.constraints) {
        for (std::size_t j = 0; j < held.size(); ++j) {
            held[j] = (j < fit.constraints->fixed.size() && fit.constraints->fixed[j]) ||
                      (j < fit.constraints->atBound.size() && fit.constraints->atBound[j]);
        }
    }
    return held;
}

std::optional<CurveBand> FitBand(const FitRecord& fit, bool weighted, double levelPercent,
                                 std::span<const double> xs, const CurveJacobian& jacobian) {
    const double t = BandQuantile(levelPercent, fit.dof);
    const std::size_t n = xs.size();
    if (!fit.statistics || std::isnan(t) || jacobian.values.size() != n ||
        jacobian.gradients.size() != jacobian.params * n) {
        return std::nullopt;
    }
    // A closed-form slope through the origin has one covariance entry but
    // two parameters in the record; its Jacobian says which it covers.
    const std::vector<bool> skip =
        jacobian.params == fit.parameters.size() ? HeldParameters(fit) : std::vector<bool>{};
    const std::vector<double>& covariance = fit.statistics->covariance;
    if (!CovarianceUsable(covariance, jacobian.params, skip)) {
        return std::nullopt;
    }
    const double scatter = weighted ? kNaN : fit.chisqDof.value_or(kNaN);
    const bool prediction = !weighted && std::isfinite(scatter);
    CurveBand band;
    band.level = levelPercent;
    band.x.assign(xs.begin(), xs.end());
    for (std::size_t i = 0; i < n; ++i) {
        const double f = jacobian.values[i];
        const double variance = CurveVariance(jacobian, i, n, covariance, skip);
        const double half = t * std::sqrt(variance);
        band.lower.push_back(f - half);
        band.upper.push_back(f + half);
        if (prediction) {
            const double wide = t * std::sqrt(variance + scatter);
            band.predictionLower.push_back(f - wide);
            band.predictionUpper.push_back(f + wide);
        }
    }
    return band;
}

}  // namespace quillon
