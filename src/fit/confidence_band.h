// The confidence and prediction bands of a fitted curve: the gradient of the
// model in its parameters at any X, and the band it gives with the fit's
// covariance, f ± t·√(gᵀCg).
#pragma once

#include <optional>
#include <span>
#include <vector>

#include "records/records.h"

namespace quillon {

class CModelFunction;

// The curve's values at some X and their derivatives by each parameter: row
// j of gradients (xs.size() long) holds ∂f/∂a_j.
struct CurveJacobian {
    std::vector<double> values;
    std::vector<double> gradients;
    std::size_t params = 0;
};

// The two-sided Student quantile of a band: t with P(|T| ≤ t) = level/100
// for dof degrees of freedom; NaN for a level outside (0, 100) or dof ≤ 0.
double BandQuantile(double levelPercent, int dof);

// A model's values and gradients at xs for the parameters: exact for a
// formula, else central differences with the model's own step a_j·ER (ER
// when a_j is 0). Rows of parameters marked in skip stay 0 unevaluated.
CurveJacobian ModelJacobian(const CModelFunction& model, std::span<const double> params,
                            std::span<const double> xs, const std::vector<bool>& skip = {});

// Y = a + b*X: the gradient (1, X).
CurveJacobian LineJacobian(double a, double b, std::span<const double> xs);

// Y = b*X, whose covariance covers the slope alone: the gradient (X).
CurveJacobian OriginJacobian(double b, std::span<const double> xs);

// The parameters whose covariance rows a band leaves out: held ones and
// those that ended at a bound (they have no error of their own).
std::vector<bool> HeldParameters(const FitRecord& fit);

// The band of a fit at the X the Jacobian was taken at. The covariance is
// the statistics' (χ²/ν-scaled for sets without SDs, as the errors are);
// the prediction band, for sets without SDs, adds χ²/ν under the root.
// Nothing when the fit has no covariance (no statistics, no degrees of
// freedom, an undefined entry of a parameter not held), the level is
// outside (0, 100), or the sizes do not match.
std::optional<CurveBand> FitBand(const FitRecord& fit, bool weighted, double levelPercent,
                                 std::span<const double> xs, const CurveJacobian& jacobian);

}  // namespace quillon
