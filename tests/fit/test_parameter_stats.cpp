// Parameter statistics checked against computations made here from the
// data alone: analytic Jacobians and closed-form inverses for the
// covariance, sums for R², AIC and BIC, and t table values.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "engine/compute.h"
#include "fit/parameter_stats.h"
#include "records/number_format.h"
#include "support/recording_host.h"

namespace quillon {
namespace {

using testing::RecordingHost;

constexpr int kLinear = 0;
constexpr int kLogistic = 22;  // Y = A0 / (1 + A1 exp(-A2 X))
constexpr int kThroughOrigin = 28;

// ---------------------------------------------------------------------------
// Student t and the incomplete beta function

TEST(StudentT, QuantilesMatchTheTables) {
    const struct {
        double nu;
        double t;
    } table[] = {{1, 12.7062}, {2, 4.3027}, {10, 2.2281}, {30, 2.0423}, {1e5, 1.95996}};
    for (const auto& row : table) {
        EXPECT_NEAR(StudentTQuantile(0.975, row.nu), row.t, 5e-5) << row.nu;
        EXPECT_NEAR(StudentTQuantile(0.025, row.nu), -row.t, 5e-5) << row.nu;
    }
    // Closed forms: nu = 1 is Cauchy, nu = 2 has t = (2p - 1) / sqrt(2p(1 - p)).
    EXPECT_NEAR(StudentTQuantile(0.9, 1), std::tan(std::numbers::pi * 0.4), 1e-10);
    EXPECT_NEAR(StudentTQuantile(0.99, 2), 0.98 / std::sqrt(2 * 0.99 * 0.01), 1e-10);
    EXPECT_EQ(StudentTQuantile(0.5, 7), 0.0);
}

TEST(StudentT, CdfAndQuantileAreInverse) {
    for (double nu : {1.0, 3.0, 9.0, 250.0, 40000.0}) {
        for (double p : {0.001, 0.2, 0.6, 0.975, 0.9999}) {
            // lgamma of large arguments limits the distribution to about 1e-11.
            EXPECT_NEAR(StudentTCdf(StudentTQuantile(p, nu), nu), p, 1e-10) << nu << " " << p;
        }
    }
}

TEST(StudentT, OutsideTheDomainIsNotANumber) {
    EXPECT_TRUE(std::isnan(StudentTQuantile(0.975, 0)));
    EXPECT_TRUE(std::isnan(StudentTQuantile(0.975, -3)));
    EXPECT_TRUE(std::isnan(StudentTQuantile(0.0, 5)));
    EXPECT_TRUE(std::isnan(StudentTQuantile(1.0, 5)));
    EXPECT_TRUE(std::isnan(StudentTQuantile(std::nan(""), 5)));
    EXPECT_TRUE(std::isnan(StudentTCdf(1.0, 0)));
    EXPECT_EQ(StudentTCdf(INFINITY, 4), 1.0);
    EXPECT_EQ(StudentTCdf(-INFINITY, 4), 0.0);
}

TEST(IncompleteBeta, ClosedFormsOnBothSidesOfTheSwitch) {
    for (double x : {0.05, 0.3, 0.5, 0.7, 0.95}) {
        EXPECT_NEAR(RegularizedIncompleteBeta(1, 1, x), x, 1e-14);
        EXPECT_NEAR(RegularizedIncompleteBeta(3, 1, x), x * x * x, 1e-14);
        EXPECT_NEAR(RegularizedIncompleteBeta(1, 4, x), 1 - std::pow(1 - x, 4), 1e-14);
    }
    EXPECT_NEAR(RegularizedIncompleteBeta(6.5, 6.5, 0.5), 0.5, 1e-14);
    // Large arguments, as many degrees of freedom bring: I_x(a, 1) = x^a.
    EXPECT_NEAR(RegularizedIncompleteBeta(2e4, 1, 0.9999), std::pow(0.9999, 2e4), 1e-11);
    EXPECT_NEAR(RegularizedIncompleteBeta(1, 2e4, 1e-4), 1 - std::pow(1 - 1e-4, 2e4), 1e-11);
    EXPECT_EQ(RegularizedIncompleteBeta(2, 3, 0), 0.0);
    EXPECT_EQ(RegularizedIncompleteBeta(2, 3, 1), 1.0);
    EXPECT_TRUE(std::isnan(RegularizedIncompleteBeta(0, 3, 0.5)));
    EXPECT_TRUE(std::isnan(RegularizedIncompleteBeta(2, 3, 1.5)));
}

// ---------------------------------------------------------------------------
// Figures from given sums

// The input of one fit's figures; the vectors must outlive it.
StatisticsInput Given(const std::vector<double>& parameters, const std::vector<double>& errors,
                      const std::vector<double>& inverse, double chiSquare, double totalSquares,
                      int points, int dof) {
    StatisticsInput input;
    input.parameters = parameters;
    input.errors = errors;
    input.inverseCurvature = inverse;
    input.chiSquare = chiSquare;
    input.totalSquares = totalSquares;
    input.points = points;
    input.dof = dof;
    return input;
}

TEST(FitStatisticsFigures, NoDegreesOfFreedomLeavesEveryFigureUndefined) {
    const std::vector<double> p{1, 2}, e{0.1, 0.2}, inverse{1, 0, 0, 1};
    const FitStatistics stats = ComputeFitStatistics(Given(p, e, inverse, 0.5, 10, 2, 0));
    ASSERT_EQ(stats.covariance.size(), 4u);
    for (double v : stats.covariance) {
        EXPECT_TRUE(std::isnan(v));
    }
    EXPECT_TRUE(std::isnan(stats.lower95[1]));
    EXPECT_TRUE(std::isnan(stats.rSquared));
    EXPECT_TRUE(std::isnan(stats.aic));
    const std::string block = StatisticsBlock(stats, {"a[0]", "a[1]"});
    EXPECT_NE(block.find("      n/a       n/a\n"), std::string::npos) << block;
    EXPECT_NE(block.find("  AIC: n/a  BIC: n/a\n\n"), std::string::npos) << block;
}

TEST(FitStatisticsFigures, SingularCurvatureKeepsGoodnessButNoCovariance) {
    const std::vector<double> p{1, 2}, e{NAN, NAN}, noInverse;
    const FitStatistics stats = ComputeFitStatistics(Given(p, e, noInverse, 2, 8, 5, 3));
    EXPECT_TRUE(std::isnan(stats.covariance[1]));
    EXPECT_TRUE(std::isnan(stats.correlation[0]));
    EXPECT_TRUE(std::isnan(stats.upper95[0]));
    EXPECT_DOUBLE_EQ(stats.rSquared, 0.75);
    EXPECT_DOUBLE_EQ(stats.aic, 5 * std::log(2.0 / 5) + 4);
    EXPECT_DOUBLE_EQ(stats.bic, 5 * std::log(2.0 / 5) + 2 * std::log(5.0));
}

// Sets of different degrees of freedom in turn: each interval uses its own t.
TEST(FitStatisticsFigures, EachSetGetsTheQuantileOfItsOwnDegreesOfFreedom) {
    const std::vector<double> p{3}, e{0.5}, inverse{0.25};
    const struct {
        int dof;
        double t;
    } rows[] = {{7, 2.364624}, {2, 4.302653}, {2, 4.302653}, {7, 2.364624}, {30, 2.042272}};
    for (const auto& row : rows) {
        const FitStatistics stats =
            ComputeFitStatistics(Given(p, e, inverse, 1, 4, row.dof + 1, row.dof));
        EXPECT_NEAR(stats.tQuantile, row.t, 1e-6) << row.dof;
        EXPECT_NEAR(stats.upper95[0], 3 + row.t * 0.5, 1e-6) << row.dof;
    }
}

TEST(FitStatisticsFigures, KnownSdUseTheChiSquareForms) {
    const std::vector<double> p{3}, e{0.5}, inverse{0.25};
    // Flat data (no total squares): R² is undefined.
    StatisticsInput input = Given(p, e, inverse, 7, 0, 8, 7);
    input.knownSd = true;
    const FitStatistics stats = ComputeFitStatistics(input);
    EXPECT_DOUBLE_EQ(stats.aic, 7 + 2);
    EXPECT_DOUBLE_EQ(stats.bic, 7 + std::log(8.0));
    EXPECT_TRUE(std::isnan(stats.rSquared));
    EXPECT_DOUBLE_EQ(stats.covariance[0], 0.25);
    EXPECT_NEAR(stats.upper95[0], 3 + 2.364624 * 0.5, 1e-6);  // t_0.975 for nu = 7
}

// ---------------------------------------------------------------------------
// Fits through the compute command

struct StatsRun {
    ComputeSession session;
    RecordingHost host;
    ComputeRecord record;

    StatsRun(int modelId, bool statistics, FitMethod method = FitMethod::Marquardt) {
        session.settings.modelId = modelId;
        session.settings.method = method;
        session.settings.statistics = statistics;
        session.settings.convergence.f_ER = 1.0;  // fine differences: a close Jacobian
        session.settings.convergence.chi_cut = 1e-12;
    }
    const FitRecord& Go(const std::vector<std::string>& lines) {
        alarm(120);
        record = ComputeParameters(lines, session, host);
        alarm(0);
        return record.sets.at(0).fits.at(0);
    }
};

struct Point {
    double x, y, sd;
};

std::vector<Point> NoisyLogistic(bool withSd) {
    std::vector<Point> points;
    for (int i = 0; i < 12; ++i) {
        const double x = i;
        const double y = 10 / (1 + 3 * std::exp(-0.8 * x)) + ((i * 7) % 5 - 2) * 0.05;
        points.push_back({x, y, withSd ? 0.05 + 0.01 * (i % 4) : 1.0});
    }
    return points;
}

std::vector<std::string> Lines(const std::vector<Point>& points, bool withSd) {
    std::vector<std::string> lines{"// data"};
    for (const Point& p : points) {
        lines.push_back(withSd ? Sprintf("%.17g %.17g %.17g", p.x, p.y, p.sd)
                               : Sprintf("%.17g %.17g", p.x, p.y));
    }
    return lines;
}

// The inverse of a symmetric positive definite matrix by Cholesky, written
// independently of the fit's Gauss-Jordan.
std::vector<double> InverseSpd(std::vector<double> a, int m) {
    std::vector<double> l(a.size(), 0.0);
    for (int j = 0; j < m; ++j) {
        double d = a[j * m + j];
        for (int k = 0; k < j; ++k) {
            d -= l[j * m + k] * l[j * m + k];
        }
        l[j * m + j] = std::sqrt(d);
        for (int i = j + 1; i < m; ++i) {
            double s = a[i * m + j];
            for (int k = 0; k < j; ++k) {
                s -= l[i * m + k] * l[j * m + k];
            }
            l[i * m + j] = s / l[j * m + j];
        }
    }
    std::vector<double> inverse(a.size(), 0.0);
    for (int c = 0; c < m; ++c) {
        std::vector<double> z(m, 0.0);  // L z = e_c, then Lᵀ x = z
        for (int i = 0; i < m; ++i) {
            double s = i == c ? 1.0 : 0.0;
            for (int k = 0; k < i; ++k) {
                s -= l[i * m + k] * z[k];
            }
            z[i] = s / l[i * m + i];
        }
        for (int i = m - 1; i >= 0; --i) {
            double s = z[i];
            for (int k = i + 1; k < m; ++k) {
                s -= l[k * m + i] * inverse[k * m + c];
            }
            inverse[i * m + c] = s / l[i * m + i];
        }
    }
    return inverse;
}

// (JᵀWJ)⁻¹ of the logistic model at a, with the analytic Jacobian.
std::vector<double> LogisticInverseCurvature(const std::vector<double>& a,
                                             const std::vector<Point>& points) {
    std::vector<double> jtj(9, 0.0);
    for (const Point& p : points) {
        const double e = std::exp(-a[2] * p.x);
        const double d = 1 + a[1] * e;
        const double g[3] = {1 / d, -a[0] * e / (d * d), a[0] * a[1] * p.x * e / (d * d)};
        for (int i = 0; i < 3; ++i) {
            for (int k = 0; k < 3; ++k) {
                jtj[i * 3 + k] += g[i] * g[k] / (p.sd * p.sd);
            }
        }
    }
    return InverseSpd(jtj, 3);
}

struct Sums {
    double chiSquare = 0;
    double total = 0;
};

// Chi-square and the total sum of squares about the weighted mean.
template <class Model>
Sums SumsOf(const std::vector<Point>& points, Model model) {
    Sums sums;
    double sw = 0, swy = 0;
    for (const Point& p : points) {
        const double r = (p.y - model(p.x)) / p.sd;
        sums.chiSquare += r * r;
        sw += 1 / (p.sd * p.sd);
        swy += p.y / (p.sd * p.sd);
    }
    for (const Point& p : points) {
        sums.total += std::pow((p.y - swy / sw) / p.sd, 2);
    }
    return sums;
}

void ExpectCorrelationShape(const FitStatistics& stats, std::size_t m) {
    ASSERT_EQ(stats.correlation.size(), m * m);
    for (std::size_t i = 0; i < m; ++i) {
        EXPECT_EQ(stats.correlation[i * m + i], 1.0);
        for (std::size_t k = 0; k < m; ++k) {
            EXPECT_EQ(stats.correlation[i * m + k], stats.correlation[k * m + i]);
            EXPECT_LE(std::fabs(stats.correlation[i * m + k]), 1.0);
            EXPECT_NEAR(stats.correlation[i * m + k],
                        stats.covariance[i * m + k] /
                            std::sqrt(stats.covariance[i * m + i] * stats.covariance[k * m + k]),
                        1e-12);
        }
    }
}

void ExpectIntervals(const FitRecord& fit, double t) {
    const FitStatistics& stats = *fit.statistics;
    EXPECT_NEAR(stats.tQuantile, t, 5e-7);
    for (std::size_t j = 0; j < fit.parameters.size(); ++j) {
        EXPECT_NEAR(stats.lower95[j], fit.parameters[j] - stats.tQuantile * fit.errors[j], 1e-12);
        EXPECT_NEAR(stats.upper95[j], fit.parameters[j] + stats.tQuantile * fit.errors[j], 1e-12);
    }
}

TEST(NonlinearStatistics, CovarianceIsTheAnalyticInverseScaledByChiSquarePerDof) {
    for (bool withSd : {false, true}) {
        SCOPED_TRACE(withSd ? "with SDs" : "without SDs");
        const std::vector<Point> points = NoisyLogistic(withSd);
        StatsRun run(kLogistic, false);
        const FitRecord& fit = run.Go(Lines(points, withSd));
        ASSERT_EQ(fit.outcome, FitOutcome::Converged);
        ASSERT_TRUE(fit.statistics);
        const FitStatistics& stats = *fit.statistics;
        const std::vector<double> inverse = LogisticInverseCurvature(fit.parameters, points);
        const auto model = [&](double x) {
            return fit.parameters[0] / (1 + fit.parameters[1] * std::exp(-fit.parameters[2] * x));
        };
        const Sums sums = SumsOf(points, model);
        const double scale = withSd ? 1.0 : sums.chiSquare / 9;
        for (int i = 0; i < 9; ++i) {
            EXPECT_NEAR(stats.covariance[i], inverse[i] * scale,
                        1e-4 * std::sqrt(inverse[i / 3 * 4] * inverse[i % 3 * 4]) * scale)
                << i;
        }
        // The diagonal gives back the printed errors.
        for (int j = 0; j < 3; ++j) {
            EXPECT_NEAR(std::sqrt(stats.covariance[j * 4]), fit.errors[j], 1e-12 * fit.errors[j]);
        }
        ExpectCorrelationShape(stats, 3);
        ExpectIntervals(fit, 2.262157);  // t_0.975 for nu = 9
        EXPECT_NEAR(stats.rSquared, 1 - sums.chiSquare / sums.total, 1e-10);
        const double k = 3, n = 12;
        const double fitTerm = withSd ? sums.chiSquare : n * std::log(sums.chiSquare / n);
        EXPECT_NEAR(stats.aic, fitTerm + 2 * k, 1e-8);
        EXPECT_NEAR(stats.bic, fitTerm + k * std::log(n), 1e-8);
    }
}

std::vector<Point> ScatteredLine(bool withSd) {
    std::vector<Point> points;
    const double noise[] = {0.3, -0.2, 0.1, -0.4, 0.25, 0.05, -0.15};
    for (int i = 0; i < 7; ++i) {
        const double x = 0.5 * i + 1;
        points.push_back({x, 2 - 1.5 * x + noise[i], withSd ? 0.1 * (1 + i % 3) : 1.0});
    }
    return points;
}

TEST(LinearStatistics, CovarianceIsTheClosedFormInverse) {
    for (bool withSd : {false, true}) {
        SCOPED_TRACE(withSd ? "with SDs" : "without SDs");
        const std::vector<Point> points = ScatteredLine(withSd);
        StatsRun run(kLinear, false);
        const FitRecord& fit = run.Go(Lines(points, withSd));
        ASSERT_EQ(fit.outcome, FitOutcome::Converged);
        ASSERT_TRUE(fit.statistics);
        // XᵀWX of the design rows (1, x) and its inverse by the adjugate.
        double m00 = 0, m01 = 0, m11 = 0;
        for (const Point& p : points) {
            const double w = 1 / (p.sd * p.sd);
            m00 += w;
            m01 += w * p.x;
            m11 += w * p.x * p.x;
        }
        const double det = m00 * m11 - m01 * m01;
        const auto model = [&](double x) { return fit.parameters[0] + fit.parameters[1] * x; };
        const Sums sums = SumsOf(points, model);
        const double scale = withSd ? 1.0 : sums.chiSquare / 5;
        const double expected[] = {m11 / det * scale, -m01 / det * scale, -m01 / det * scale,
                                   m00 / det * scale};
        for (int i = 0; i < 4; ++i) {
            EXPECT_NEAR(fit.statistics->covariance[i], expected[i], 1e-12 * std::fabs(expected[i]))
                << i;
        }
        ExpectCorrelationShape(*fit.statistics, 2);
        ExpectIntervals(fit, 2.570582);  // nu = 5
        EXPECT_NEAR(fit.statistics->rSquared, 1 - sums.chiSquare / sums.total, 1e-12);
        const double fitTerm = withSd ? sums.chiSquare : 7 * std::log(sums.chiSquare / 7);
        EXPECT_NEAR(fit.statistics->aic, fitTerm + 4, 1e-10);
        EXPECT_NEAR(fit.statistics->bic, fitTerm + 2 * std::log(7.0), 1e-10);
    }
}

TEST(LinearStatistics, ThroughTheOriginCoversTheSlopeAlone) {
    const std::vector<Point> points = ScatteredLine(false);
    StatsRun run(kThroughOrigin, false);
    const FitRecord& fit = run.Go(Lines(points, false));
    ASSERT_EQ(fit.outcome, FitOutcome::Converged);
    double sxx = 0, rss = 0;
    for (const Point& p : points) {
        sxx += p.x * p.x;
    }
    for (const Point& p : points) {
        rss += std::pow(p.y - fit.parameters[1] * p.x, 2);
    }
    const FitStatistics& stats = *fit.statistics;
    ASSERT_EQ(stats.covariance.size(), 1u);
    EXPECT_NEAR(stats.covariance[0], rss / 6 / sxx, 1e-12 * rss / sxx);
    EXPECT_NEAR(stats.upper95[0], fit.parameters[1] + 2.446912 * fit.errors[1], 1e-6);
}

// ---------------------------------------------------------------------------
// The text block

TEST(StatisticsBlockText, FollowsEachParameterBlockOnlyWhenSwitchedOn) {
    const std::vector<std::string> lines = Lines(NoisyLogistic(false), false);
    StatsRun off(kLogistic, false, FitMethod::All);
    off.Go(lines);
    StatsRun on(kLogistic, true, FitMethod::All);
    on.Go(lines);
    // The records carry the statistics either way; only the text differs.
    ASSERT_EQ(on.record.sets[0].fits.size(), 4u);
    ASSERT_EQ(on.host.answers.size(), off.host.answers.size());
    int blocks = 0;
    for (std::size_t i = 0; i < on.host.answers.size(); ++i) {
        const auto& [hint, text] = on.host.answers[i];
        const std::string& plain = off.host.answers[i].second;
        EXPECT_EQ(hint, off.host.answers[i].first);
        EXPECT_EQ(plain.find("Statistics:"), std::string::npos);
        const std::size_t at = text.find("Statistics:\n");
        if (at == std::string::npos) {
            EXPECT_EQ(text, plain);
            continue;
        }
        // The block comes right after the unchanged parameter block.
        EXPECT_EQ(text.substr(0, at), plain);
        EXPECT_TRUE(plain.ends_with("Number of points: 12\n\n"));
        const FitRecord& fit = on.record.sets[0].fits.at(static_cast<std::size_t>(blocks++));
        const FitStatistics& stats = *fit.statistics;
        EXPECT_NE(text.find("  Correlation matrix:\n              a[0]      a[1]      a[2]\n"),
                  std::string::npos)
            << text;
        EXPECT_NE(text.find(Sprintf("    a[0]   1.00000 %9.5f %9.5f\n", stats.correlation[1],
                                    stats.correlation[2])),
                  std::string::npos)
            << text;
        EXPECT_NE(text.find(Sprintf("    a[2]: %lf .. %lf\n", stats.lower95[2], stats.upper95[2])),
                  std::string::npos);
        EXPECT_NE(text.find(Sprintf("  R-squared: %lf\n  AIC: %lf  BIC: %lf\n\n", stats.rSquared,
                                    stats.aic, stats.bic)),
                  std::string::npos);
        EXPECT_TRUE(text.ends_with("\n\n"));
    }
    EXPECT_EQ(blocks, 4);
}

TEST(StatisticsBlockText, UndefinedFiguresReadNotAvailableAndFailuresHaveNoBlock) {
    // Two points for three parameters converge without degrees of freedom:
    // every figure is "n/a". A line fit of a flat X fails: no block at all.
    StatsRun run(kLogistic, true);
    run.Go({"// two", "0 1", "1 2"});
    const FitRecord& fit = run.record.sets.at(0).fits.at(0);
    ASSERT_EQ(fit.dof, -1);
    ASSERT_TRUE(fit.statistics) << "a converged run has its parameter block";
    EXPECT_TRUE(std::isnan(fit.statistics->tQuantile));
    EXPECT_TRUE(std::isnan(fit.statistics->covariance[4]));
    EXPECT_TRUE(std::isnan(fit.statistics->rSquared));
    EXPECT_NE(run.host.pane.find("    a[2]: n/a .. n/a\n  R-squared: n/a\n  AIC: n/a  BIC: n/a\n"),
              std::string::npos);
    StatsRun linear(kLinear, true);
    linear.Go({"// flat x", "1 1", "1 2", "1 3"});
    EXPECT_FALSE(linear.record.sets.at(0).fits.at(0).statistics);
    EXPECT_EQ(linear.host.pane.find("Statistics:"), std::string::npos);
}

}  // namespace
}  // namespace quillon
