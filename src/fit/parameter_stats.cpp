#include "fit/parameter_stats.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "records/number_format.h"

namespace quillon {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kTiny = 1e-300;
constexpr int kMaxFractionTerms = 100000;
constexpr int kMaxBisections = 400;

// The continued fraction of I_x(a, b) (modified Lentz), good for
// x < (a + 1) / (a + b + 2); NaN when it does not settle.
double BetaContinuedFraction(double a, double b, double x) {
    const double eps = std::numeric_limits<double>::epsilon();
    const double qab = a + b;
    const double qap = a + 1.0;
    const double qam = a - 1.0;
    double c = 1.0;
    double d = 1.0 - qab * x / qap;
    d = 1.0 / (std::fabs(d) < kTiny ? kTiny : d);
    double h = d;
    for (int m = 1; m <= kMaxFractionTerms; ++m) {
        const double m2 = 2.0 * m;
        double aa = m * (b - m) * x / ((qam + m2) * (a + m2));
        d = 1.0 + aa * d;
        d = std::fabs(d) < kTiny ? kTiny : d;
        c = 1.0 + aa / c;
        c = std::fabs(c) < kTiny ? kTiny : c;
        d = 1.0 / d;
        h *= d * c;
        aa = -(a + m) * (qab + m) * x / ((a + m2) * (qap + m2));
        d = 1.0 + aa * d;
        d = std::fabs(d) < kTiny ? kTiny : d;
        c = 1.0 + aa / c;
        c = std::fabs(c) < kTiny ? kTiny : c;
        d = 1.0 / d;
        const double delta = d * c;
        h *= delta;
        if (std::fabs(delta - 1.0) < eps) {
            return h;
        }
    }
    return kNaN;
}

// ln Γ(x) for x > 0 by the Lanczos approximation (g = 7, nine terms), good
// to about 1e-15. std::lgamma writes the global signgam and so is not safe
// while several sets are fitted at once.
double LogGamma(double x) {
    static constexpr double kCoefficients[] = {
        0.99999999999980993,  676.5203681218851,     -1259.1392167224028,
        771.32342877765313,   -176.61502916214059,   12.507343278686905,
        -0.13857109526572012, 9.9843695780195716e-6, 1.5056327351493116e-7};
    if (x < 0.5) {
        return LogGamma(x + 1.0) - std::log(x);  // Γ(x) = Γ(x + 1) / x
    }
    const double z = x - 1.0;
    double sum = kCoefficients[0];
    for (int i = 1; i < 9; ++i) {
        sum += kCoefficients[i] / (z + i);
    }
    const double t = z + 7.5;
    return 0.5 * std::log(2.0 * std::numbers::pi) + (z + 0.5) * std::log(t) - t + std::log(sum);
}

double LogBeta(double a, double b) {
    return LogGamma(a) + LogGamma(b) - LogGamma(a + b);
}

// The printed form of a figure, with "n/a" in the same width when it is not
// a number.
std::string Figure(const char* format, int width, double value) {
    if (std::isfinite(value)) {
        return Sprintf(format, value);
    }
    const std::string undefined = "n/a";
    const auto pad = static_cast<std::size_t>(std::max(width, 3)) - undefined.size();
    return std::string(pad, ' ') + undefined;
}

std::vector<double> Undefined(std::size_t count) {
    return std::vector<double>(count, kNaN);
}

void FillCovariance(const StatisticsInput& input, std::size_t m, FitStatistics& stats) {
    if (input.inverseCurvature.size() != m * m) {
        return;
    }
    for (std::size_t i = 0; i < m; ++i) {
        const double dii = input.inverseCurvature[i * m + i];
        for (std::size_t j = 0; j < m; ++j) {
            // Gauss-Jordan without pivoting leaves the two halves a few
            // rounding steps apart; their mean makes the matrix symmetric
            // and leaves the diagonal (the errors) as it was.
            const double dij =
                0.5 * (input.inverseCurvature[i * m + j] + input.inverseCurvature[j * m + i]);
            const double djj = input.inverseCurvature[j * m + j];
            // Adding 0 turns a negative zero into a plain one.
            stats.covariance[i * m + j] = dij * input.covarianceScale + 0.0;
            // The correlation does not depend on the scale, so it is taken
            // from the inverse itself: it stays defined for an exact fit.
            if (dii > 0.0 && djj > 0.0) {
                stats.correlation[i * m + j] = i == j ? 1.0 : dij / std::sqrt(dii * djj);
            }
        }
    }
}

// The sets of a compute mostly share their degrees of freedom, and the
// quantile is a bisection over the incomplete beta: each thread keeps the
// last one it found.
double UpperQuantile975(double nu) {
    thread_local double lastNu = kNaN;
    thread_local double lastQuantile = kNaN;
    if (!(nu == lastNu)) {
        lastQuantile = StudentTQuantile(0.975, nu);
        lastNu = nu;
    }
    return lastQuantile;
}

void FillConfidence(const StatisticsInput& input, FitStatistics& stats) {
    stats.tQuantile = UpperQuantile975(static_cast<double>(input.dof));
    for (std::size_t i = 0; i < input.parameters.size(); ++i) {
        const double half = i < input.errors.size() ? stats.tQuantile * input.errors[i] : kNaN;
        stats.lower95[i] = input.parameters[i] - half;
        stats.upper95[i] = input.parameters[i] + half;
    }
}

void FillGoodness(const StatisticsInput& input, FitStatistics& stats) {
    const double n = static_cast<double>(input.points);
    const double k = static_cast<double>(input.freeParameters >= 0
                                             ? static_cast<std::size_t>(input.freeParameters)
                                             : input.parameters.size());
    if (input.totalSquares > 0.0) {
        stats.rSquared = 1.0 - input.chiSquare / input.totalSquares;
    }
    if (input.knownSd) {
        stats.aic = input.chiSquare + 2.0 * k;
        stats.bic = input.chiSquare + k * std::log(n);
    } else if (input.chiSquare > 0.0) {
        const double fitTerm = n * std::log(input.chiSquare / n);
        stats.aic = fitTerm + 2.0 * k;
        stats.bic = fitTerm + k * std::log(n);
    }
}

}  // namespace

double RegularizedIncompleteBeta(double a, double b, double x) {
    if (!(a > 0.0) || !(b > 0.0) || !(x >= 0.0) || !(x <= 1.0)) {
        return kNaN;
    }
    if (x == 0.0 || x == 1.0) {
        return x;
    }
    const double front = std::exp(a * std::log(x) + b * std::log1p(-x) - LogBeta(a, b));
    if (x < (a + 1.0) / (a + b + 2.0)) {
        return front * BetaContinuedFraction(a, b, x) / a;
    }
    return 1.0 - front * BetaContinuedFraction(b, a, 1.0 - x) / b;
}

double StudentTCdf(double t, double nu) {
    if (!(nu > 0.0) || std::isnan(t)) {
        return kNaN;
    }
    if (std::isinf(t)) {
        return t > 0.0 ? 1.0 : 0.0;
    }
    const double tail = 0.5 * RegularizedIncompleteBeta(0.5 * nu, 0.5, nu / (nu + t * t));
    return t >= 0.0 ? 1.0 - tail : tail;
}

double StudentTQuantile(double p, double nu) {
    if (!(nu > 0.0) || !(p > 0.0) || !(p < 1.0)) {
        return kNaN;
    }
    if (p == 0.5) {
        return 0.0;
    }
    // The distribution is symmetric: find the upper quantile and mirror it.
    const double upper = std::max(p, 1.0 - p);
    double lo = 0.0;
    double hi = 1.0;
    while (StudentTCdf(hi, nu) < upper) {
        lo = hi;
        hi *= 2.0;
        if (!std::isfinite(hi)) {
            return kNaN;
        }
    }
    for (int i = 0;
         i < kMaxBisections && hi - lo > 4.0 * std::numeric_limits<double>::epsilon() * hi; ++i) {
        const double mid = 0.5 * (lo + hi);
        const double cdf = StudentTCdf(mid, nu);
        if (std::isnan(cdf)) {
            return kNaN;
        }
        (cdf < upper ? lo : hi) = mid;
    }
    const double t = 0.5 * (lo + hi);
    return p > 0.5 ? t : -t;
}

double WeightedTotalSumOfSquares(std::span<const double> y, std::span<const double> w) {
    const std::size_t n = std::min(y.size(), w.size());
    double sumW = 0.0;
    double sumWY = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double w2 = w[i] * w[i];
        sumW += w2;
        sumWY += w2 * y[i];
    }
    if (!(sumW > 0.0)) {
        return kNaN;
    }
    const double mean = sumWY / sumW;
    double total = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double d = (y[i] - mean) * w[i];
        total += d * d;
    }
    return total;
}

FitStatistics UndefinedFitStatistics(int m) {
    const std::size_t count = m > 0 ? static_cast<std::size_t>(m) : 0;
    FitStatistics stats;
    stats.covariance = Undefined(count * count);
    stats.correlation = Undefined(count * count);
    stats.lower95 = Undefined(count);
    stats.upper95 = Undefined(count);
    return stats;
}

FitStatistics ComputeFitStatistics(const StatisticsInput& input) {
    const std::size_t m = input.parameters.size();
    FitStatistics stats = UndefinedFitStatistics(static_cast<int>(m));
    // Without degrees of freedom there is no estimate of the scatter and no
    // t distribution: every figure stays undefined.
    if (input.dof <= 0) {
        return stats;
    }
    FillCovariance(input, m, stats);
    FillConfidence(input, stats);
    FillGoodness(input, stats);
    return stats;
}

std::string StatisticsBlock(const FitStatistics& stats, const std::vector<std::string>& names) {
    const std::size_t m = names.size();
    std::string text = "Statistics:\n  Correlation matrix:\n        ";
    for (const std::string& name : names) {
        text += Sprintf(" %9s", name.c_str());
    }
    text += "\n";
    for (std::size_t i = 0; i < m; ++i) {
        text += Sprintf("  %6s", names[i].c_str());
        for (std::size_t j = 0; j < m; ++j) {
            const std::size_t at = i * m + j;
            const double r = at < stats.correlation.size() ? stats.correlation[at] : kNaN;
            text += ' ';
            text += Figure("%9.5f", 9, r);
        }
        text += "\n";
    }
    text += "  95% confidence intervals (t = " + Figure("%lf", 0, stats.tQuantile) + "):\n";
    for (std::size_t i = 0; i < m; ++i) {
        const double lo = i < stats.lower95.size() ? stats.lower95[i] : kNaN;
        const double hi = i < stats.upper95.size() ? stats.upper95[i] : kNaN;
        text += Sprintf("    %s: ", names[i].c_str()) + Figure("%lf", 0, lo) + " .. " +
                Figure("%lf", 0, hi) + "\n";
    }
    text += "  R-squared: " + Figure("%lf", 0, stats.rSquared) + "\n";
    text +=
        "  AIC: " + Figure("%lf", 0, stats.aic) + "  BIC: " + Figure("%lf", 0, stats.bic) + "\n\n";
    return text;
}

}  // namespace quillon
