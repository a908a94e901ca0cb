// Held and bounded parameters below the fit: the maps between a bounded
// parameter and the unbounded variable the methods vary, the reading of the
// directive lists, and the model the methods see.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "fit/constrained_model.h"
#include "fit/parameter_constraints.h"

namespace quillon {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

struct MapCase {
    const char* name;
    ParameterBounds bounds;
    double start;
};

const MapCase kMaps[] = {
    {"both", {-2.0, 10.0}, 3.0},  {"both, narrow and far from 0", {1e6, 1e6 + 1e-3}, 1e6 + 4e-4},
    {"lower", {0.0, kInf}, 5e-7}, {"lower, negative", {-4.0, kInf}, 100.0},
    {"upper", {-kInf, 0.4}, 0.3}, {"upper, start on it", {-kInf, 2.0}, 2.0},
};

TEST(BoundTransform, EveryInternalValueMapsInsideTheBounds) {
    for (const MapCase& c : kMaps) {
        const BoundTransform t(c.bounds, c.start);
        for (double u = -50.0; u <= 50.0; u += 0.37) {
            const double p = t.ToParameter(u);
            EXPECT_GE(p, c.bounds.lower) << c.name << " u=" << u;
            EXPECT_LE(p, c.bounds.upper) << c.name << " u=" << u;
        }
        for (double u : {1e300, -1e300}) {
            const double p = t.ToParameter(u);
            EXPECT_FALSE(p < c.bounds.lower || p > c.bounds.upper) << c.name;
        }
    }
}

TEST(BoundTransform, RoundTripAndDerivative) {
    for (const MapCase& c : kMaps) {
        const BoundTransform t(c.bounds, c.start);
        const double scale = std::isfinite(c.bounds.upper - c.bounds.lower)
                                 ? c.bounds.upper - c.bounds.lower
                                 : std::fabs(c.start) + 1.0;
        for (double f : {0.0, 0.1, 0.5, 0.9, 1.0}) {
            const double p = std::isfinite(c.bounds.upper - c.bounds.lower)
                                 ? c.bounds.lower + f * (c.bounds.upper - c.bounds.lower)
                                 : c.start + (std::isfinite(c.bounds.lower) ? f : -f) * scale;
            EXPECT_NEAR(t.ToParameter(t.ToInternal(p)), p, 1e-9 * scale) << c.name << " " << f;
        }
        // dp/du against a central difference away from the bounds.
        const double u = t.ToInternal(c.start) + 0.1;
        const double h = 1e-3;
        const double numeric = (t.ToParameter(u + h) - t.ToParameter(u - h)) / (2 * h);
        const double rounding = 4 * std::numeric_limits<double>::epsilon() * std::fabs(c.start) / h;
        EXPECT_NEAR(t.Derivative(u), numeric, 1e-6 * (std::fabs(numeric) + scale) + rounding)
            << c.name;
    }
}

TEST(BoundTransform, ASmallParameterAboveABoundKeepsItsDigits) {
    // lo - s + sqrt(u^2 + s^2) would cancel; the map must not.
    const BoundTransform t({0.0, kInf}, 1e-12);
    EXPECT_NEAR(t.ToParameter(t.ToInternal(3e-13)), 3e-13, 1e-25);
}

TEST(BoundTransform, ReachedAndPressedBounds) {
    const BoundTransform both({0.0, 10.0}, 5.0);
    EXPECT_EQ(both.BoundReached(10.0), 10.0);
    EXPECT_EQ(both.BoundReached(1e-7), 0.0);
    EXPECT_FALSE(both.BoundReached(9.99));
    EXPECT_FALSE(both.BoundReached(std::nan("")));
    EXPECT_FALSE(both.BoundPressed(9.9, std::nan("")));
    EXPECT_EQ(both.BoundPressed(9.9, 0.2), 10.0);  // within its error of the bound
    EXPECT_EQ(both.BoundPressed(9.995, std::nan("")), 10.0);
    EXPECT_FALSE(both.BoundPressed(9.7, std::nan("")));
    EXPECT_EQ(both.BoundPressed(9.7, std::nan(""), false), 10.0);  // a run that did not converge
    EXPECT_FALSE(BoundTransform().BoundReached(0.0));              // unbounded
    // An error wider than the range: the nearer bound, not the first one.
    EXPECT_EQ(both.BoundPressed(9.999, 30.0), 10.0);
    EXPECT_EQ(both.BoundPressed(0.001, 30.0), 0.0);
}

TEST(BoundTransform, ClampMovesOnlyWhatLiesOutside) {
    const ParameterBounds b{0.0, 1.0};
    EXPECT_EQ(ClampIntoBounds(-3.0, b), 0.0);
    EXPECT_EQ(ClampIntoBounds(3.0, b), 1.0);
    EXPECT_EQ(ClampIntoBounds(0.5, b), 0.5);
    EXPECT_TRUE(std::isnan(ClampIntoBounds(std::nan(""), b)));
}

InitialValueDirective Line(int index, double value, bool fixed = false,
                           std::optional<ParameterBounds> bounds = std::nullopt,
                           bool hasValue = true) {
    InitialValueDirective d;
    d.index = index;
    d.value = value;
    d.fixed = fixed;
    d.bounds = bounds;
    d.hasValue = hasValue;
    return d;
}

TEST(ConstraintsFromDirectives, TheLastLineForAnIndexDecides) {
    DirectiveLists lists;
    EXPECT_FALSE(ConstraintsFromDirectives(lists).Any());
    lists.laterSets = {Line(2, 1.5, true), Line(1, 3, false, ParameterBounds{0, 10})};
    FitConstraints c = ConstraintsFromDirectives(lists);
    EXPECT_TRUE(c.Any());
    EXPECT_TRUE(c.At(2).fixed);
    EXPECT_EQ(c.At(2).value, 1.5);
    EXPECT_TRUE(c.At(1).bounds);
    EXPECT_FALSE(c.At(0).fixed || c.At(0).bounds);
    EXPECT_FALSE(c.At(99).fixed || c.At(-1).fixed);

    // A plain this-set line for A2 replaces the held later-set line.
    lists.thisSet = {Line(2, 4.0)};
    c = ConstraintsFromDirectives(lists);
    EXPECT_FALSE(c.At(2).fixed);
    EXPECT_TRUE(c.At(1).bounds);

    // A bound without a value only adds its bounds; equal bounds hold.
    lists.thisSet = {Line(2, 0, false, ParameterBounds{0, 9}, false),
                     Line(0, 1, false, ParameterBounds{7, 7})};
    c = ConstraintsFromDirectives(lists);
    EXPECT_TRUE(c.At(2).fixed);
    EXPECT_EQ(c.At(2).bounds->upper, 9.0);
    EXPECT_TRUE(c.At(0).fixed);
    EXPECT_EQ(c.At(0).value, 7.0);
}

// y = a0 + a1 x + a2 x^2, counting its evaluations.
class CQuadratic final : public CModelFunction {
  public:
    CQuadratic(const std::vector<double>& x, const std::vector<double>& y)
        : CModelFunction(x.data(), y.data(), nullptr, static_cast<int>(x.size()), 1e-4, 3) {}
    double Value(double* a, double x) const override {
        seen.assign(a, a + 3);
        return a[0] + a[1] * x + a[2] * x * x;
    }
    mutable std::vector<double> seen;
};

TEST(ConstrainedModel, TheMethodsSeeOnlyTheFreeParameters) {
    const std::vector<double> x{0, 1, 2, 3, 4};
    const std::vector<double> y{1, 2, 5, 10, 17};
    CQuadratic inner(x, y);
    inner.Params()[0] = 0.5;
    inner.Params()[1] = 7.0;  // outside [ , 2]: moved to 2
    inner.Params()[2] = 9.0;
    inner.Steps()[0] = inner.Steps()[1] = inner.Steps()[2] = 1e-3;
    FitConstraints c;
    c.params.resize(3);
    c.params[2] = {.fixed = true, .value = 1.0, .atBound = false, .bounds = std::nullopt};
    c.params[1].bounds = ParameterBounds{-kInf, 2.0};
    CConstrainedModel free(inner, c);
    ASSERT_EQ(free.ParamCount(), 2);
    EXPECT_EQ(free.DegreesOfFreedom(), 3);
    EXPECT_EQ(free.Params()[0], 0.5);  // an unbounded free parameter is itself
    EXPECT_EQ(free.Steps()[0], 1e-3);
    EXPECT_GT(free.Steps()[1], 0.0);  // from the bound inwards

    std::vector<double> u{2.0, free.Params()[1]};
    EXPECT_DOUBLE_EQ(free.Value(u.data(), 3.0), 2.0 + 2.0 * 3 + 9.0);
    EXPECT_EQ(inner.seen, (std::vector<double>{2.0, 2.0, 1.0}));

    std::string log;
    free.AppendInitialValues(log, free.Params().data());
    EXPECT_NE(log.find("<a[  1] = 2 [ , 2]>\n"), std::string::npos) << log;
    EXPECT_NE(log.find("<a[  2] = 1 fixed>\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Start of a[1] moved into its bounds: 7 -> 2"), std::string::npos);
    log.clear();
    free.AppendColumnTitles(log);
    EXPECT_EQ(log, "   a[  0]      a[  1]   ");

    free.Params()[0] = 1.25;
    free.Steps()[0] = 0.5;  // standard errors as a method leaves them
    free.Steps()[1] = 0.25;
    free.WriteBack();
    EXPECT_EQ(inner.Params()[0], 1.25);
    EXPECT_EQ(inner.Params()[1], 2.0);
    EXPECT_EQ(inner.Params()[2], 1.0);
    EXPECT_EQ(inner.Steps()[0], 0.5);
    EXPECT_EQ(inner.Steps()[2], 0.0);           // held: no error
    EXPECT_TRUE(std::isnan(inner.Steps()[1]));  // at its bound: none of its own
    const FitConstraintMarks marks = free.Marks();
    EXPECT_EQ(marks.fixed, (std::vector<bool>{false, false, true}));
    EXPECT_EQ(marks.atBound, (std::vector<bool>{false, true, false}));

    const std::vector<double> inverse{4.0, 1.0, 1.0, 9.0};
    const std::vector<double> full = free.FullInverseCurvature(inverse.data());
    ASSERT_EQ(full.size(), 9u);
    EXPECT_EQ(full[0], 4.0);
    EXPECT_EQ(full[8], 0.0);
    EXPECT_EQ(full[2], 0.0);
    EXPECT_TRUE(std::isnan(full[4]) && std::isnan(full[1]));
}

}  // namespace
}  // namespace quillon
