// Statistics of a finished fit: the covariance and correlation of the
// parameters, their 95 % confidence intervals (Student t), R², AIC and BIC,
// and the opt-in text block that shows them after a parameter block.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "records/records.h"

namespace quillon {

// I_x(a, b), the regularised incomplete beta function, for a, b > 0 and
// 0 <= x <= 1; NaN outside that domain.
double RegularizedIncompleteBeta(double a, double b, double x);

// P(T <= t) for Student's t with nu > 0 degrees of freedom; NaN for nu <= 0.
double StudentTCdf(double t, double nu);

// The t with P(T <= t) = p, for 0 < p < 1 and nu > 0; NaN otherwise.
double StudentTQuantile(double p, double nu);

// Σ w_i² (y_i − ȳ_w)² with ȳ_w = Σ w_i² y_i / Σ w_i²: the total sum of
// squares that R² compares the fit's chi-square with. w multiplies the
// residual (1/SD, or 1 for a plain fit).
double WeightedTotalSumOfSquares(std::span<const double> y, std::span<const double> w);

// What a fit hands over to have its statistics worked out.
struct StatisticsInput {
    std::span<const double> parameters;
    std::span<const double> errors;  // as reported
    // The inverse curvature (m x m, row by row) from which the errors were
    // taken; empty when the curvature could not be inverted.
    std::span<const double> inverseCurvature;
    // Factor from the inverse curvature to the covariance: 1 when the SDs are
    // taken as known, chi-square per degree of freedom otherwise.
    double covarianceScale = 1.0;
    double chiSquare = 0.0;     // the minimised sum of squared weighted residuals
    double totalSquares = 0.0;  // WeightedTotalSumOfSquares of the same data
    int points = 0;
    int dof = 0;
    bool knownSd = false;  // the SDs were given: chi-square forms of AIC and BIC
    // The parameters the fit varied (AIC and BIC count them); -1: all.
    int freeParameters = -1;
};

FitStatistics ComputeFitStatistics(const StatisticsInput& input);

// A statistics record whose every figure is not a number, for m parameters.
FitStatistics UndefinedFitStatistics(int m);

// The text block shown after a parameter block when statistics are switched
// on; names are the parameters' labels in the report.
std::string StatisticsBlock(const FitStatistics& stats, const std::vector<std::string>& names);

}  // namespace quillon
