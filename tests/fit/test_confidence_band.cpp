// Confidence and prediction bands of fitted curves, checked against bands
// worked out here from the data alone: the closed-form covariance of a
// straight line, and gᵀCg with a gradient differenced here for a nonlinear
// model.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <string>
#include <vector>

#include "engine/compute.h"
#include "fit/confidence_band.h"
#include "fit/parameter_stats.h"
#include "records/number_format.h"
#include "support/recording_host.h"

namespace quillon {
namespace {

using testing::RecordingHost;

struct Point {
    double x, y, sd;
};

const std::vector<Point> kLinePoints = {
    {0.5, 1.9, 0.2}, {1.0, 3.2, 0.1}, {2.0, 4.8, 0.3}, {3.5, 8.1, 0.2}, {4.0, 9.4, 0.4}};

std::vector<std::string> Lines(const std::vector<Point>& points, bool withSd,
                               const std::string& head = "// data") {
    std::vector<std::string> lines{head};
    for (const Point& p : points) {
        lines.push_back(withSd ? Sprintf("%.17g %.17g %.17g", p.x, p.y, p.sd)
                               : Sprintf("%.17g %.17g", p.x, p.y));
    }
    return lines;
}

// One compute with a band at the level; the first set's fits.
struct BandRun {
    ComputeSession session;
    RecordingHost host;
    ComputeRecord record;

    BandRun(int modelId, double level, const std::string& formula = {}) {
        session.settings.modelId = modelId;
        session.settings.formula = formula;
        session.settings.bandLevel = level;
        session.settings.convergence.f_ER = 1.0;
        session.settings.convergence.chi_cut = 1e-12;
    }
    const FitRecord& Go(const std::vector<std::string>& lines) {
        alarm(120);
        record = ComputeParameters(lines, session, host);
        alarm(0);
        return record.sets.at(0).fits.at(0);
    }
};

// The straight line by hand: weights 1/SD² or 1, C = s·(XᵀWX)⁻¹ with s = 1
// for known SDs and RSS/(n − 2) otherwise.
struct HandLine {
    double a = 0, b = 0, c00 = 0, c01 = 0, c11 = 0, s2 = 0;

    HandLine(const std::vector<Point>& points, bool weighted) {
        double s = 0, sx = 0, sxx = 0, sy = 0, sxy = 0;
        for (const Point& p : points) {
            const double w = weighted ? 1 / (p.sd * p.sd) : 1;
            s += w, sx += w * p.x, sxx += w * p.x * p.x, sy += w * p.y, sxy += w * p.x * p.y;
        }
        const double det = s * sxx - sx * sx;
        a = (sxx * sy - sx * sxy) / det;
        b = (s * sxy - sx * sy) / det;
        double rss = 0;
        for (const Point& p : points) {
            rss += (p.y - a - b * p.x) * (p.y - a - b * p.x);
        }
        s2 = rss / static_cast<double>(points.size() - 2);
        const double scale = weighted ? 1.0 : s2;
        c00 = scale * sxx / det, c01 = -scale * sx / det, c11 = scale * s / det;
    }
    double Variance(double x) const { return c00 + 2 * x * c01 + x * x * c11; }
};

void ExpectRelative(double actual, double expected, double tolerance, const std::string& what) {
    EXPECT_NEAR(actual, expected, tolerance * std::max(1.0, std::fabs(expected))) << what;
}

TEST(BandQuantile, TwoSidedStudentQuantiles) {
    const struct {
        double level;
        int dof;
        double t;
    } table[] = {{95, 2, 4.302653}, {95, 3, 3.182446}, {90, 10, 1.812461},
                 {99, 5, 4.032143}, {50, 1, 1.0},      {68.27, 100000, 1.0}};
    for (const auto& row : table) {
        EXPECT_NEAR(BandQuantile(row.level, row.dof), row.t, 2e-4 * row.t) << row.level;
    }
    for (const double level : {0.0, 100.0, -5.0, 150.0, std::nan("")}) {
        EXPECT_TRUE(std::isnan(BandQuantile(level, 5))) << level;
    }
    EXPECT_TRUE(std::isnan(BandQuantile(95, 0)));
}

// The straight line's band is exact: f ± t√(C00 + 2x C01 + x² C11), for the
// closed-form line and the same line typed as a formula, with and without
// SDs (the prediction band only without).
TEST(CurveBands, StraightLineMatchesTheClosedFormCovariance) {
    for (const bool weighted : {false, true}) {
        for (const std::string formula : {"", "A0 + A1*X"}) {
            for (const double level : {95.0, 80.0}) {
                const std::string what =
                    Sprintf("weighted %d formula '%s' level %g", weighted, formula.c_str(), level);
                BandRun run(0, level, formula);
                const FitRecord& fit = run.Go(Lines(kLinePoints, weighted));
                ASSERT_TRUE(fit.band) << what;
                const HandLine line(kLinePoints, weighted);
                const double t = StudentTQuantile(0.5 + level / 200, 3);
                const CurveBand& band = *fit.band;
                EXPECT_EQ(band.level, level);
                // The result file's X: from the smallest X in 100 steps.
                ASSERT_GE(band.x.size(), 100u) << what;
                EXPECT_EQ(band.x.front(), 0.5) << what;
                ASSERT_EQ(band.upper.size(), band.x.size()) << what;
                EXPECT_EQ(band.predictionLower.empty(), weighted) << what;
                // The formula is fitted iteratively: its parameters end a
                // little short of the closed form's.
                const double tolerance = formula.empty() ? 1e-9 : 1e-7;
                for (const std::size_t i : {std::size_t{0}, std::size_t{17}, band.x.size() - 1}) {
                    const double x = band.x[i];
                    const double f = line.a + line.b * x;
                    const double half = t * std::sqrt(line.Variance(x));
                    ExpectRelative(band.lower[i], f - half, tolerance, what);
                    ExpectRelative(band.upper[i], f + half, tolerance, what);
                    if (!weighted) {
                        const double wide = t * std::sqrt(line.Variance(x) + line.s2);
                        ExpectRelative(band.predictionLower[i], f - wide, tolerance, what);
                        ExpectRelative(band.predictionUpper[i], f + wide, tolerance, what);
                    }
                }
            }
        }
    }
    // Y = b*X: the covariance is the slope's alone, the band t·|X|·σ_b wide.
    BandRun origin(28, 95);
    const FitRecord& fit = origin.Go(Lines(kLinePoints, false));
    ASSERT_TRUE(fit.band);
    const double x = fit.band->x.back();
    EXPECT_NEAR(fit.band->upper.back() - fit.band->lower.back(),
                2 * StudentTQuantile(0.975, 4) * x * fit.errors[1], 1e-12);
}

// Y = A0 / (1 + A1 exp(−A2 X)), as model 22 computes it.
double Logistic(const std::vector<double>& a, double x) {
    return a[0] / (1 + a[1] * std::exp(-a[2] * x));
}

std::vector<Point> NoisyLogistic() {
    std::vector<Point> points;
    for (int i = 0; i < 12; ++i) {
        const double y = 10 / (1 + 3 * std::exp(-0.8 * i)) + ((i * 7) % 5 - 2) * 0.05;
        points.push_back({static_cast<double>(i), y, 0.05 + 0.01 * (i % 4)});
    }
    return points;
}

// gᵀCg with g differenced here (central, a step of 1e-6 relative) over the
// parameters not skipped.
double HandVariance(const FitRecord& fit, double x, const std::vector<bool>& skip) {
    const std::vector<double>& a = fit.parameters;
    const std::vector<double>& c = fit.statistics->covariance;
    const std::size_t m = a.size();
    std::vector<double> g(m, 0.0);
    for (std::size_t j = 0; j < m; ++j) {
        if (skip[j]) {
            continue;
        }
        std::vector<double> up = a, down = a;
        const double h = 1e-6 * std::fabs(a[j]);
        up[j] += h;
        down[j] -= h;
        g[j] = (Logistic(up, x) - Logistic(down, x)) / (2 * h);
    }
    double v = 0;
    for (std::size_t i = 0; i < m; ++i) {
        for (std::size_t j = 0; j < m; ++j) {
            v += g[i] * c[i * m + j] * g[j];
        }
    }
    return v;
}

TEST(CurveBands, NonlinearBandIsTheGradientFormWithHeldParametersLeftOut) {
    const struct {
        const char* directive;
        std::vector<bool> skip;
    } cases[] = {{"// free", {false, false, false}},
                 {"<<a[2] = 0.8 fixed>>", {false, false, true}}};
    for (const bool weighted : {true, false}) {
        for (const auto& c : cases) {
            BandRun run(22, 95);
            std::vector<std::string> lines = Lines(NoisyLogistic(), weighted);
            lines.insert(lines.begin(), c.directive);
            const FitRecord& fit = run.Go(lines);
            ASSERT_TRUE(fit.band) << c.directive;
            const double t = StudentTQuantile(0.975, fit.dof);
            for (std::size_t i = 0; i < fit.band->x.size(); i += 20) {
                const double x = fit.band->x[i];
                const double half = t * std::sqrt(HandVariance(fit, x, c.skip));
                const double f = Logistic(fit.parameters, x);
                ExpectRelative(fit.band->upper[i] - f, half, 1e-5, c.directive);
                ExpectRelative(f - fit.band->lower[i], half, 1e-5, c.directive);
            }
        }
    }
}

// A record built here, so that the covariance can be what a fit may leave.
FitRecord GivenLine(std::vector<double> covariance, int dof) {
    FitRecord fit;
    fit.parameters = {1.0, 2.0};
    fit.dof = dof;
    fit.chisqDof = 0.5;
    fit.statistics = FitStatistics{};
    fit.statistics->covariance = std::move(covariance);
    return fit;
}

TEST(CurveBands, NoCovarianceMeansNoBand) {
    const std::vector<double> xs{0, 1, 2};
    const double nan = std::nan("");
    FitRecord noStatistics = GivenLine({}, 3);
    noStatistics.statistics.reset();
    const FitRecord cases[] = {noStatistics, GivenLine({1, 0, 0, 1}, 0),
                               GivenLine({nan, nan, nan, nan}, 3), GivenLine({1, 0, 0}, 3)};
    for (const FitRecord& fit : cases) {
        EXPECT_FALSE(FitBand(fit, false, 95, xs, LineJacobian(1, 2, xs)));
    }
    // A parameter at a bound has no variance of its own; the band leaves it out.
    FitRecord atBound = GivenLine({0.25, nan, nan, nan}, 3);
    atBound.constraints =
        FitConstraintMarks{{false, false}, {std::nullopt, std::nullopt}, {false, true}};
    const auto band = FitBand(atBound, true, 95, xs, LineJacobian(1, 2, xs));
    ASSERT_TRUE(band);
    EXPECT_NEAR(band->upper[2] - band->lower[2], 2 * BandQuantile(95, 3) * 0.5, 1e-12);
    EXPECT_TRUE(band->predictionLower.empty());
}

TEST(CurveBands, FitsWithoutCovarianceGetNoBandAndTheComputeGoesOn) {
    // Two points leave no degrees of freedom; A1 missing from the formula
    // leaves the curvature singular.
    BandRun line(0, 95);
    EXPECT_FALSE(line.Go({"// two", "0 1", "1 3", ""}).band);
    BandRun singular(0, 95, "A0 + A2*X");
    const FitRecord& fit = singular.Go(Lines(kLinePoints, false));
    EXPECT_FALSE(fit.band);
}

}  // namespace
}  // namespace quillon
