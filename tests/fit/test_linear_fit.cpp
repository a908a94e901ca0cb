#include <gtest/gtest.h>

#include <cmath>

#include "fit/curve_sampling.h"
#include "fit/linear_fit.h"
#include "support/recording_host.h"

namespace quillon {
namespace {

using testing::RecordingHost;

struct LinearFixture {
    FitSettings settings;
    RecordingHost host;
    ResultColumnList fileColumns;
    ResultColumnList tableColumns;

    LinearFitContext Context() { return {settings, host, fileColumns, tableColumns}; }
    FitRecord AB(const std::vector<DataPoint>& points, bool weighted, int set = 1) {
        return LinearFitAB(points, weighted, set, Context());
    }
    FitRecord Origin(const std::vector<DataPoint>& points, bool weighted, int set = 1) {
        return LinearFitThroughOrigin(points, weighted, set, Context());
    }
};

const std::vector<DataPoint> kExactLine{{0, 1, 1}, {1, 3, 1}, {2, 5, 1}};

TEST(LinearFitAB, ExactLineUnweightedHasNoErrors) {
    LinearFixture f;
    const FitRecord r = f.AB(kExactLine, false);
    EXPECT_EQ(r.outcome, FitOutcome::Converged);
    EXPECT_EQ(r.parameters, (std::vector<double>{1, 2}));
    EXPECT_EQ(r.errors, (std::vector<double>{0, 0}));
    EXPECT_EQ(*r.chisqDof, 0.0);
    EXPECT_EQ(r.dof, 1);
    EXPECT_EQ(f.host.answers.at(0).second,
              "  a +/- a_sig = 1 +/- 0 \n  b +/- b_sig = 2 +/- 0 \n  Chi-square per degree of "
              "freedom: 0\n  Sigma for y  = 0\n  Degree of freedom: 1\n  Number of points: 3\n\n");
}

TEST(LinearFitAB, WeightedErrorsComeFromTheWeightsAlone) {
    LinearFixture f;
    const FitRecord r = f.AB(kExactLine, true);
    EXPECT_DOUBLE_EQ(r.parameters[0], 1.0);
    EXPECT_DOUBLE_EQ(r.parameters[1], 2.0);
    // S = 3, Sx = 3, Sxx = 5, D = 6.
    EXPECT_DOUBLE_EQ(r.errors[0], std::sqrt(5.0 / 6.0));
    EXPECT_DOUBLE_EQ(r.errors[1], std::sqrt(3.0 / 6.0));
}

TEST(LinearFitAB, WeightedChiSquareIsThePlainMeanSquaredResidual) {
    LinearFixture f;
    const std::vector<DataPoint> scattered{{0, 1, 0.1}, {1, 2.5, 2}, {2, 5.5, 0.5}, {3, 6, 1}};
    const FitRecord r = f.AB(scattered, true);
    double rss = 0;
    for (const DataPoint& p : scattered) {
        const double d = p.Y - r.parameters[0] - r.parameters[1] * p.X;
        rss += d * d;
    }
    EXPECT_NEAR(*r.chisqDof, rss / 2, 1e-15);
    EXPECT_NEAR(*r.sigmaY, std::sqrt(rss / 2), 1e-15);
    // The weights pull the line towards the precise points.
    EXPECT_NEAR(r.parameters[0], 1.0, 0.05);
}

TEST(LinearFitAB, UnweightedErrorsScaleWithSigmaForY) {
    LinearFixture f;
    const FitRecord r = f.AB({{0, 0, 1}, {1, 1, 1}, {2, 1, 1}, {3, 3, 1}}, false);
    // Hand-computed: S=4, Sx=6, Sxx=14, Sy=5, Sxy=12, D=20; a=-0.1, b=0.9;
    // residuals 0.1, 0.2, -0.7, 0.4 -> R = 0.7, chi = 0.35.
    EXPECT_NEAR(r.parameters[0], -0.1, 1e-15);
    EXPECT_NEAR(r.parameters[1], 0.9, 1e-15);
    EXPECT_NEAR(*r.chisqDof, 0.35, 1e-15);
    EXPECT_NEAR(r.errors[0], std::sqrt(14.0 / 20.0) * std::sqrt(0.35), 1e-15);
    EXPECT_NEAR(r.errors[1], std::sqrt(4.0 / 20.0) * std::sqrt(0.35), 1e-15);
}

TEST(LinearFitAB, TooFewPointsOrEqualXAreAbnormal) {
    for (const auto& points : {std::vector<DataPoint>{{1, 2, 1}, {2, 4, 1}},
                               std::vector<DataPoint>{{1, 2, 1}, {1, 4, 1}, {1, 5, 1}},
                               std::vector<DataPoint>{{NAN, 2, 1}, {1, 4, 1}, {2, 5, 1}}}) {
        LinearFixture f;
        f.settings.output.enabled = true;
        const FitRecord r = f.AB(points, false);
        EXPECT_EQ(r.outcome, FitOutcome::NotConverged);
        ASSERT_EQ(f.host.answers.size(), 1u);
        EXPECT_EQ(f.host.answers[0],
                  std::make_pair(AnswerHint::Error, std::string("Abnormal data!!\n")));
        EXPECT_TRUE(f.fileColumns.empty());
        EXPECT_TRUE(f.tableColumns.empty());
    }
}

TEST(LinearFitThroughOrigin, TwoPointsUnweighted) {
    LinearFixture f;
    const FitRecord r = f.Origin({{1, 2, 1}, {2, 4, 1}}, false);
    EXPECT_EQ(r.outcome, FitOutcome::Converged);
    EXPECT_EQ(r.parameters, (std::vector<double>{0, 2}));
    EXPECT_EQ(r.dof, 1);
    EXPECT_EQ(f.host.answers.at(0).second,
              "a +/- a_sig = 2 +/- 0 \n  Chi-square per degree of freedom: 0\n  Sigma for y  = "
              "0\n  Degree of freedom: 1\n  Number of points: 2\n\n");
}

TEST(LinearFitThroughOrigin, WeightedAndUnweightedErrors) {
    LinearFixture f;
    const std::vector<DataPoint> points{{1, 1, 0.5}, {2, 3, 0.5}, {3, 3, 0.5}};
    // Sxx = 14, Sxy = 16: b = 8/7, R = (1/7)^2 + (5/7)^2 + (3/7)^2 = 35/49.
    const FitRecord u = f.Origin(points, false);
    EXPECT_NEAR(u.parameters[1], 16.0 / 14.0, 1e-15);
    EXPECT_NEAR(*u.chisqDof, 35.0 / 49.0 / 2.0, 1e-15);
    EXPECT_NEAR(u.errors[1], std::sqrt(1.0 / 14.0) * std::sqrt(35.0 / 98.0), 1e-15);
    const FitRecord w = f.Origin(points, true);
    EXPECT_NEAR(w.parameters[1], 16.0 / 14.0, 1e-15);
    EXPECT_NEAR(w.errors[1], std::sqrt(1.0 / (4 * 14.0)), 1e-15);
    EXPECT_EQ(w.errors[0], 0.0);
}

TEST(LinearFitThroughOrigin, AllXZeroIsAbnormal) {
    LinearFixture f;
    EXPECT_EQ(f.Origin({{0, 1, 1}, {0, 2, 1}, {0, 3, 1}}, false).outcome, FitOutcome::NotConverged);
    EXPECT_EQ(f.Origin({{0, 1, 1}, {0, 2, 1}}, true).outcome, FitOutcome::NotConverged);
    EXPECT_EQ(f.Origin({{1, 1, 1}}, false).outcome, FitOutcome::NotConverged);
}

TEST(LinearColumns, ParametersCurveAndTableColumn) {
    LinearFixture f;
    f.settings.output.enabled = true;
    f.AB({{2, 5, 1}, {0, 1, 1}, {1, 3, 1}}, false, 4);
    ASSERT_EQ(f.tableColumns.size(), 1u);
    EXPECT_EQ(f.tableColumns[0].name, "Linear_4");
    EXPECT_EQ(f.tableColumns[0].values, (std::vector<double>{1, 2}));
    ASSERT_EQ(f.fileColumns.size(), 3u);
    EXPECT_EQ(f.fileColumns[0].name, "Param_4");
    EXPECT_EQ(f.fileColumns[0].values, (std::vector<double>{1, 2, 0, 2, 3}));
    const auto& x = f.fileColumns[1];
    const auto& y = f.fileColumns[2];
    EXPECT_EQ(x.name, "x_4");
    EXPECT_EQ(y.name, "y_4");
    // Sorted X: the curve runs from 0 in steps of 0.02, a running sum.
    ASSERT_EQ(x.values.size(), y.values.size());
    EXPECT_EQ(x.values[0], 0.0);
    EXPECT_EQ(x.values[1], 0.02);
    double running = 0.0;
    for (std::size_t i = 0; i < x.values.size(); ++i) {
        EXPECT_EQ(x.values[i], running);
        EXPECT_EQ(y.values[i], 1.0 + 2.0 * running);
        running += 0.02;
    }
    EXPECT_GE(x.values.size(), 100u);
    EXPECT_LE(x.values.size(), 101u);
}

TEST(LinearColumns, ThroughOriginTableHasZeroIntercept) {
    LinearFixture f;
    f.settings.output.enabled = true;
    f.settings.method = FitMethod::All;  // no table column with ALL
    f.Origin({{1, 2, 1}, {2, 4, 1}}, false);
    EXPECT_TRUE(f.tableColumns.empty());
    EXPECT_EQ(f.fileColumns.at(0).values, (std::vector<double>{0, 2, 0, 1, 2}));
}

TEST(CurveSampling, ModesOfStartEndAndStep) {
    OutputSettings s;
    const CurveXRange range{10, 20, 10, 12};
    s.xminMode = CurveEndMode::Percent;
    s.xminPercent = 10;  // 10 - 1
    s.xmaxMode = CurveEndMode::Value;
    s.xmaxValue = 25;
    s.stepMode = CurveStepMode::Spacing;
    s.divisions = {100, 4};  // (12 - 10) / 4
    const auto xs = SampleCurveX(s, range);
    ASSERT_TRUE(xs);
    EXPECT_EQ(xs->front(), 9.0);
    EXPECT_EQ(xs->size(), 33u);  // (25 - 9) / 0.5 + 1
    s.xmaxMode = CurveEndMode::Percent;
    s.xmaxPercent = 50;  // 20 + 5
    s.stepMode = CurveStepMode::Range;
    s.divisions = {16, 4};
    EXPECT_EQ(SampleCurveX(s, range)->size(), 17u);
}

TEST(CurveSampling, DegenerateStepsWriteNoCurve) {
    OutputSettings s;
    EXPECT_FALSE(SampleCurveX(s, {5, 5, 5, 5}));  // zero range
    s.stepMode = CurveStepMode::Spacing;
    EXPECT_FALSE(SampleCurveX(s, {0, 10, 3, 3}));  // equal X(0), X(1)
    s.xmaxMode = CurveEndMode::Value;
    s.xmaxValue = -10;  // end before start with a positive step
    EXPECT_FALSE(SampleCurveX(s, {0, 10, 0, 1}));
    s.xmaxValue = 1e300;  // far too many points
    EXPECT_FALSE(SampleCurveX(s, {0, 10, 0, 1}));
    s.xmaxMode = CurveEndMode::Data;
    EXPECT_FALSE(SampleCurveX(s, {0, NAN, 0, 1}));
}

TEST(CurveSampling, EndBeforeStartWithRangeStepRunsBackwards) {
    OutputSettings s;
    s.xmaxMode = CurveEndMode::Value;
    s.xmaxValue = -10;
    s.divisions = {10, 10};
    const auto xs = SampleCurveX(s, {0, 10, 0, 1});
    ASSERT_TRUE(xs);
    EXPECT_EQ(xs->front(), 0.0);
    EXPECT_NEAR(xs->back(), -10.0, 1e-12);
}

}  // namespace
}  // namespace quillon
