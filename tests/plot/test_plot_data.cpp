// The numbers a graph is built from: points, sampled curves, residuals and
// legend texts, checked against the model formulas worked out by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include <cmath>

#include "engine/compute.h"
#include "plot/plot_data.h"
#include "support/recording_host.h"

namespace quillon::plot {
namespace {

ComputeRecord Compute(const std::vector<std::string>& lines, int modelId,
                      FitMethod method = FitMethod::Marquardt) {
    ComputeSession session;
    session.settings.modelId = modelId;
    session.settings.method = method;
    testing::RecordingHost host;
    return ComputeParameters(lines, session, host, nullptr, 1);
}

std::vector<std::string> MichaelisMenten(bool withSd) {
    std::vector<std::string> lines{"// Michaelis-Menten A0=10 A1=2"};
    for (int i = 1; i <= 12; ++i) {
        const double x = 0.5 * i;
        const double y = 10.0 / (1.0 + 2.0 / x) + (i % 2 == 0 ? 0.01 : -0.01);
        std::string line = std::to_string(x) + " " + std::to_string(y);
        if (withSd) {
            line += " 0.05";
        }
        lines.push_back(line);
    }
    return lines;
}

TEST(SetTitle, FirstMemoLineWithoutSlashesOrTheSetNumber) {
    SetRecord set;
    set.setNumber = 2;
    set.memo = "//\n//  東京 (T=3)  \n// second\n";
    EXPECT_EQ(SetTitle(set), "東京 (T=3)");
    set.memo.clear();
    EXPECT_EQ(SetTitle(set), "Set 2");
}

TEST(CurveLegend, MethodAndFirstLineOfTheOutcome) {
    FitRecord fit;
    fit.method = "Marquardt";
    fit.outcome = FitOutcome::Converged;
    fit.message = "収束しました。\n";
    EXPECT_EQ(CurveLegend(fit), "Marquardt: 収束しました");
    fit.method = "Gradient";
    fit.outcome = FitOutcome::Singular;
    fit.message = "特異点\n初期値や誤差水準を検討して下さい。\n";
    EXPECT_EQ(CurveLegend(fit), "Gradient: 特異点");
    FitRecord linear;
    linear.method = "linear";
    linear.outcome = FitOutcome::Converged;
    linear.message = "  a +/- a_sig = 1 +/- 0 \n";
    EXPECT_EQ(CurveLegend(linear), "linear: fitted");
}

TEST(BuildSetPlot, LinearSetWithSdsHasErrorBarsAndWeightedResiduals) {
    const ComputeRecord record =
        Compute({"// line", "0 1.1 0.5", "1 2.9 0.25", "2 5.2 0.5", "3 6.8 1"}, 0);
    ASSERT_EQ(record.sets.size(), 1u);
    const SetRecord& set = record.sets[0];
    ASSERT_EQ(set.fits.size(), 1u);
    const SetPlotData data = BuildSetPlot({0, 20.0}, set, 31);
    EXPECT_EQ(data.title, "line");
    ASSERT_EQ(data.points.size(), 4u);
    EXPECT_TRUE(data.errorBars);
    EXPECT_TRUE(data.weightedResiduals);
    ASSERT_EQ(data.curves.size(), 1u);
    const CurveData& curve = data.curves[0];
    EXPECT_EQ(curve.legend, "linear: fitted");
    const double a = set.fits[0].parameters[0];
    const double b = set.fits[0].parameters[1];
    ASSERT_EQ(curve.x.size(), 31u);
    EXPECT_DOUBLE_EQ(curve.x.front(), 0.0);
    EXPECT_DOUBLE_EQ(curve.x.back(), 3.0);
    EXPECT_NEAR(curve.y[10], a + b * 1.0, 1e-12);
    ASSERT_EQ(curve.residuals.size(), 4u);
    EXPECT_NEAR(curve.residuals[1], (2.9 - (a + b)) / 0.25, 1e-12);
    EXPECT_NEAR(curve.residuals[3], (6.8 - (a + 3 * b)) / 1.0, 1e-12);
}

TEST(BuildSetPlot, SetWithoutSdsHasNoErrorBarsAndPlainResiduals) {
    const ComputeRecord record = Compute({"0 1", "1 3.5", "2 5", "3 7 2"}, 0);
    ASSERT_EQ(record.sets.size(), 1u);
    const SetPlotData data = BuildSetPlot({0, 20.0}, record.sets[0]);
    EXPECT_FALSE(data.errorBars);
    EXPECT_FALSE(data.weightedResiduals);
    const double a = record.sets[0].fits[0].parameters[0];
    const double b = record.sets[0].fits[0].parameters[1];
    // The point with an SD of 2 is not scaled: the set as a whole is unweighted.
    EXPECT_NEAR(data.curves[0].residuals[3], 7.0 - (a + 3 * b), 1e-12);
}

TEST(BuildSetPlot, ThroughOriginCurveIsTheSlopeTimesX) {
    const ComputeRecord record = Compute({"1 2.1", "2 3.9", "3 6.2"}, 28);
    ASSERT_EQ(record.sets.size(), 1u);
    const FitRecord& fit = record.sets[0].fits[0];
    ASSERT_FALSE(fit.parameters.empty());
    const auto f = FittedCurve({28, 20.0}, record.sets[0], fit);
    ASSERT_TRUE(f);
    EXPECT_NEAR(f(10.0), 10.0 * fit.parameters.back(), 1e-12);
    EXPECT_NEAR(fit.parameters.back(), 2.0, 0.1);
}

// With a band level, each run's curve carries its band at the curve's own
// X: around the curve, widest where the model is least pinned down, and the
// prediction band outside it for a set without SDs.
TEST(BuildSetPlot, BandsFollowTheCurveAtItsOwnX) {
    for (const bool withSd : {true, false}) {
        const ComputeRecord record = Compute(MichaelisMenten(withSd), 21);
        ASSERT_EQ(record.sets.size(), 1u);
        PlotModel model{21, 20.0};
        EXPECT_TRUE(BuildSetPlot(model, record.sets[0]).bands.empty());
        model.bandLevel = 95;
        const SetPlotData data = BuildSetPlot(model, record.sets[0]);
        ASSERT_EQ(data.bands.size(), 1u);
        const CurveData& curve = data.curves[0];
        const CurveBands& bands = data.bands[0];
        ASSERT_EQ(bands.lower.size(), curve.x.size());
        EXPECT_EQ(bands.predictionLower.size(), withSd ? 0u : curve.x.size());
        for (std::size_t i = 0; i < curve.x.size(); ++i) {
            EXPECT_LT(bands.lower[i], curve.y[i]);
            EXPECT_GT(bands.upper[i], curve.y[i]);
            EXPECT_NEAR(bands.upper[i] - curve.y[i], curve.y[i] - bands.lower[i],
                        1e-9 * std::fabs(curve.y[i]));
            if (!withSd) {
                EXPECT_LT(bands.predictionLower[i], bands.lower[i]);
                EXPECT_GT(bands.predictionUpper[i], bands.upper[i]);
            }
        }
    }
}

// A large cloud is thinned to one point per grid cell: the outliers, the
// edges and the inside all stay; a small one keeps every finite point.
TEST(DisplayIndices, ThinsLargeCloudsKeepingShapeAndOutliers) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(DisplayIndices({0, 1, nan, 3}, {1, nan, 2, 4}, 10), (std::vector<std::size_t>{0, 3}));

    std::vector<double> x, y;
    for (int i = 0; i < 200000; ++i) {
        x.push_back(i * 0.001);
        y.push_back(std::sin(i * 0.0001) + 0.3 * std::sin(i * 7.77));  // a thick band
    }
    std::vector<std::size_t> kept = DisplayIndices(x, y, 4000);
    EXPECT_LE(kept.size(), 240u * 120u);
    EXPECT_GT(kept.size(), 4000u);
    EXPECT_TRUE(std::is_sorted(kept.begin(), kept.end()));
    EXPECT_EQ(kept.front(), 0u);  // the first point of the first cell
    // The band's inside is drawn, not just its edges.
    int inside = 0;
    for (const std::size_t i : kept) {
        inside += std::abs(y[i] - std::sin(static_cast<double>(i) * 0.0001)) < 0.05 ? 1 : 0;
    }
    EXPECT_GT(inside, 200);

    y[123456] = 40.0;  // one far outlier: kept, and the grid follows the new range
    kept = DisplayIndices(x, y, 4000);
    EXPECT_TRUE(std::binary_search(kept.begin(), kept.end(), 123456u));
    EXPECT_LT(kept.size(), 4000u);
}

// Curves are drawn at evenly spaced X and, over a positive range, at X evenly
// spaced in log X too: smooth on either axis, sorted, without repeats.
TEST(CurveSampleX, EvenOnLinearAndLogAxes) {
    const std::vector<double> xs = CurveSampleX(1.0, 1000.0, 4);
    ASSERT_EQ(xs.size(), 6u);  // 1, 10, 100, 334, 667, 1000
    EXPECT_TRUE(std::is_sorted(xs.begin(), xs.end()));
    EXPECT_DOUBLE_EQ(xs[1], 10.0);
    EXPECT_DOUBLE_EQ(xs[2], 100.0);
    EXPECT_DOUBLE_EQ(xs[3], 334.0);
    EXPECT_EQ(xs.front(), 1.0);
    EXPECT_EQ(xs.back(), 1000.0);
    // A range through zero or a single X: the linear samples only.
    EXPECT_EQ(CurveSampleX(-1.0, 1.0, 3), (std::vector<double>{-1.0, 0.0, 1.0}));
    EXPECT_EQ(CurveSampleX(2.0, 2.0, 3), (std::vector<double>{2.0, 2.0, 2.0}));
    EXPECT_EQ(CurveSampleX(0.0, 1.0, 1).size(), 2u);  // at least both ends
}

TEST(BuildSetPlot, NonlinearCurveFollowsTheModelFormulaForEveryMethodRun) {
    const ComputeRecord record = Compute(MichaelisMenten(true), 21, FitMethod::All);
    ASSERT_EQ(record.sets.size(), 1u);
    const SetRecord& set = record.sets[0];
    ASSERT_EQ(set.fits.size(), 4u);
    const SetPlotData data = BuildSetPlot({21, 20.0}, set, 50);
    ASSERT_EQ(data.curves.size(), 4u);
    for (std::size_t m = 0; m < 4; ++m) {
        const FitRecord& fit = set.fits[m];
        const CurveData& curve = data.curves[m];
        EXPECT_EQ(curve.legend, fit.method + ": 収束しました") << fit.message;
        ASSERT_EQ(fit.parameters.size(), 2u);
        const double a0 = fit.parameters[0];
        const double a1 = fit.parameters[1];
        ASSERT_EQ(curve.x, CurveSampleX(set.points.front().X, set.points.back().X, 50));
        for (std::size_t i = 0; i < curve.x.size(); i += 7) {
            EXPECT_NEAR(curve.y[i], a0 / (1.0 + a1 / curve.x[i]), 1e-9);
        }
        ASSERT_EQ(curve.residuals.size(), set.points.size());
        for (std::size_t i = 0; i < set.points.size(); ++i) {
            const DataPoint& p = set.points[i];
            EXPECT_NEAR(curve.residuals[i], (p.Y - a0 / (1.0 + a1 / p.X)) / 0.05, 1e-7);
        }
        EXPECT_NEAR(a0, 10.0, 0.05);
        EXPECT_NEAR(a1, 2.0, 0.05);
    }
}

TEST(BuildSetPlot, RunWithoutParametersKeepsItsLegendButHasNoCurve) {
    SetRecord set;
    set.setNumber = 1;
    set.points = {{1, 2, 1}, {2, 3, 1}};
    FitRecord failed;
    failed.method = "Powell";
    failed.outcome = FitOutcome::Singular;
    failed.message = "特異点\n";
    set.fits = {failed};
    const SetPlotData data = BuildSetPlot({21, 20.0}, set);
    ASSERT_EQ(data.curves.size(), 1u);
    EXPECT_EQ(data.curves[0].legend, "Powell: 特異点");
    EXPECT_TRUE(data.curves[0].x.empty());
    EXPECT_TRUE(data.curves[0].residuals.empty());
}

}  // namespace
}  // namespace quillon::plot
