#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "model_test_data.h"
#include "models/peak_models.h"
#include "models/sawtooth_models.h"

namespace quillon {
namespace {

using testing::DataSet;
using testing::kER;

void ExpectNear(std::span<const double> actual, const std::vector<double>& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_NEAR(actual[i], expected[i], 1e-12 * (1 + std::fabs(expected[i]))) << i;
    }
}

double ValueOf(const DataSet& d, int id, std::vector<double> a, double x) {
    return d.Model(id)->Value(a.data(), x);
}

const DataSet kAny({1, 2, 3, 4}, {1, 2, 6, 8});

TEST(Sawtooth, ValuesOnTheRisingAndFallingFlanks) {
    // Height 2, period 4, start 0, top at 1 (rising quarter), base 1.
    const std::vector<double> a{2, 4, 0, 1, 1};
    EXPECT_EQ(ValueOf(kAny, 19, a, 0.0), 1.0);
    EXPECT_EQ(ValueOf(kAny, 19, a, 1.0), 3.0);
    EXPECT_EQ(ValueOf(kAny, 19, a, 0.5), 2.0);
    EXPECT_EQ(ValueOf(kAny, 19, a, 2.5), 2.0);  // half-way down the fall
    EXPECT_EQ(ValueOf(kAny, 19, a, 8.5), 2.0);  // two periods on
    EXPECT_DOUBLE_EQ(ValueOf(kAny, 20, a, 0.5), 2.0);
    EXPECT_DOUBLE_EQ(ValueOf(kAny, 20, a, 0.25), 2.0 - std::sqrt(0.5));
}

TEST(Sawtooth, NormalisationShiftsTheTopByWholePeriodsAndAlwaysEnds) {
    std::vector<double> a{2, -4, 0, -7, 1};
    auto model = kAny.Model(19);
    (void)model->Value(a.data(), 0.5);
    EXPECT_EQ(a[1], 4.0);
    EXPECT_EQ(a[3], 1.0);  // -7 + 4 + 4: what the methods see afterwards

    std::vector<double> zeroPeriod{2, 0, 1, 0, 1};
    NormaliseSawtooth(zeroPeriod.data());
    EXPECT_EQ(zeroPeriod[3], 0.0);
    EXPECT_TRUE(std::isnan(model->Value(zeroPeriod.data(), 0.5)));

    std::vector<double> farBehind{2, 1e-3, 1e6, 0, 1};  // 1e9 periods
    NormaliseSawtooth(farBehind.data());
    EXPECT_GE(farBehind[3], 1e6);
    EXPECT_LT(farBehind[3], 1e6 + 1e-3 * 1.001);

    std::vector<double> stalled{2, 1, 1.0000000000001e20, 1e20, 1};  // A3 + 1 == A3
    NormaliseSawtooth(stalled.data());
    EXPECT_GE(stalled[3], stalled[2]);

    std::vector<double> infinite{2, 1, INFINITY, -INFINITY, 1};
    NormaliseSawtooth(infinite.data());
    EXPECT_FALSE(infinite[3] < infinite[2]);
}

TEST(Sawtooth, EstimateStartsTheToothAtTheLowestPoint) {
    const DataSet d({0, 1, 2, 3, 4, 5}, {0, 1, 2, 3, 0, 1});  // P = 2*3
    auto model = d.Model(20);
    ASSERT_EQ(model->Estimate(), 0);
    ExpectNear(model->Params(), {3, 6, 0, 3, 0});
    ExpectNear(model->Steps(), {3 * kER, 6 * kER, 6 * kER, 6 * kER, 3 * kER});
}

TEST(Saturation, ValuesIncludingXZero) {
    const std::vector<double> a{2, 3, 1, 0.5};
    EXPECT_EQ(ValueOf(kAny, 21, a, 1.0), 0.5);
    EXPECT_DOUBLE_EQ(ValueOf(kAny, 23, a, 2.0), 8.0 / 7);
    EXPECT_DOUBLE_EQ(ValueOf(kAny, 24, a, 2.0), 16.0 / 11);
    EXPECT_DOUBLE_EQ(ValueOf(kAny, 25, a, 2.0), 32.0 / 19);
    EXPECT_DOUBLE_EQ(ValueOf(kAny, 26, a, 2.0), 64.0 / 35);
    EXPECT_DOUBLE_EQ(ValueOf(kAny, 27, a, 1.0), 0.5);
    EXPECT_DOUBLE_EQ(ValueOf(kAny, 40, a, 3.0), 8.0 / 7 + 0.5);
    for (int id : {21, 23, 24, 25, 26, 27}) {
        EXPECT_EQ(ValueOf(kAny, id, a, 0.0), 0.0) << id;  // A1/0 = inf
    }
}

TEST(Saturation, EstimatesFromTheTopAndHalfTheXRange) {
    const DataSet d({1, 2, 3, 5}, {0.5, 1, 1.5, 1.8});
    for (int id : {21, 23, 24, 25, 26, 27}) {
        auto model = d.Model(id);
        ASSERT_EQ(model->Estimate(), 0) << id;
        ExpectNear(model->Params(), {1.8, 2});
        ExpectNear(model->Steps(), {1.8 * kER, 2 * kER});
    }
    auto biased = d.Model(40);
    ASSERT_EQ(biased->Init(), 0);
    ExpectNear(biased->Params(), {1.8, 2, 0, 0.5});
    // The Y-range step serves A0, A2 and the offset A3.
    ExpectNear(biased->Steps(), {1.3 * kER, 2 * kER, 1.3 * kER, 1.3 * kER});
}

TEST(Logistic, ValuesAtHandComputedPoints) {
    EXPECT_DOUBLE_EQ(ValueOf(kAny, 22, {4, 3, std::log(3.0)}, 1.0), 2.0);
    EXPECT_DOUBLE_EQ(ValueOf(kAny, 36, {4, std::log(3.0)}, 1.0), 2.0);  // Y0 = 1
    EXPECT_DOUBLE_EQ(ValueOf(kAny, 37, {4, 1, std::log(3.0)}, 1.0), 2.0);
    EXPECT_DOUBLE_EQ(ValueOf(kAny, 38, {2, 1, 0, 0.5}, 0.0), 1.5);
    EXPECT_DOUBLE_EQ(ValueOf(kAny, 39, {2, 1, 0, 0.5, 2}, 2.0), 2 / (std::exp(-1.0) + 1) + 0.5);
}

TEST(Logistic, EstimatesFromTheHalfRisePoint) {
    // Half of 8 is crossed between (2, 2) and (3, 6): x_half = 2.5.
    auto logistic = kAny.Model(22);
    ASSERT_EQ(logistic->Estimate(), 0);
    ExpectNear(logistic->Params(), {8, 7, std::log(7.0) / 2.5});
    ExpectNear(logistic->Steps(), {8 * kER, 7 * kER, std::log(7.0) / 2.5 * kER});

    auto y0 = kAny.Model(36);
    ASSERT_EQ(y0->Estimate(), 0);
    ExpectNear(y0->Params(), {8, std::log(7.0) / 2.5});

    auto growth = kAny.Model(37);
    ASSERT_EQ(growth->Estimate(), 0);
    ExpectNear(growth->Params(), {8, 1, std::log(7.0) / 2.5});
    EXPECT_EQ(growth->Steps()[1], growth->Steps()[0]);

    const DataSet zeroFloor({1, 2, 3, 4}, {0, 2, 6, 8});
    auto tenfold = zeroFloor.Model(22);
    ASSERT_EQ(tenfold->Estimate(), 0);
    ExpectNear(tenfold->Params(), {8, 10, std::log(10.0) / 2.5});
    for (int id : {36, 37, 38, 39}) {
        EXPECT_EQ(zeroFloor.Model(id)->Estimate(), -1) << id;
    }

    const DataSet falling({1, 2, 3, 4}, {8, 6, 2, 1});  // never rises through 4
    auto noCrossing = falling.Model(22);
    ASSERT_EQ(noCrossing->Estimate(), 0);
    ExpectNear(noCrossing->Params(), {8, 7, 2.0 / 3});
}

TEST(Sigmoid, EstimatesCentredOnTheXRange) {
    auto sigmoid = kAny.Model(38);
    ASSERT_EQ(sigmoid->Estimate(), 0);
    ExpectNear(sigmoid->Params(), {14, 1, 2.5, 1});
    ExpectNear(sigmoid->Steps(), {14 * kER, 14 * kER, 2.5 * kER, kER});
    auto scaled = kAny.Model(39);
    ASSERT_EQ(scaled->Estimate(), 0);
    ExpectNear(scaled->Params(), {14, 1, 2.5, 1, 1});
    EXPECT_EQ(scaled->Steps()[4], kER);
}

TEST(GaussianWidthSearch, StopsBelowTheLevelOrAtTheEnds) {
    const std::vector<double> y{1, 2, 5, 10, 8, 7, 1};
    const WidthSearch w = GaussianWidthSearch(y, 3, 6.065);
    EXPECT_EQ(w.left, 2);
    EXPECT_EQ(w.right, 6);
    // A peak at the first or second point keeps the left index 0.
    EXPECT_EQ(GaussianWidthSearch(std::vector<double>{3, 10, 9, 8, 1}, 1, 6.065).left, 0);
    EXPECT_EQ(GaussianWidthSearch(std::vector<double>{10, 9, 8, 1}, 0, 6.065).left, 0);
    // Never below the level on the right: the last point.
    EXPECT_EQ(GaussianWidthSearch(std::vector<double>{1, 2, 10, 9, 8, 7}, 2, 6.065).right, 5);
    // Within two points of the end the right index stays the last point.
    EXPECT_EQ(GaussianWidthSearch(std::vector<double>{1, 2, 10, 1}, 2, 6.065).right, 3);
}

TEST(Gaussian, ValuesOfTheSymmetricAndAsymmetricForms) {
    EXPECT_DOUBLE_EQ(ValueOf(kAny, 29, {2, 1, 2}, 3.0), 2 * std::exp(-0.5));
    EXPECT_DOUBLE_EQ(ValueOf(kAny, 30, {2, 1, 2}, -1.0), 2 * std::exp(-0.5));
    for (int id : {31, 32}) {
        EXPECT_DOUBLE_EQ(ValueOf(kAny, id, {2, 1, 2, 4}, -1.0), 2 * std::exp(-0.5)) << id;
        EXPECT_DOUBLE_EQ(ValueOf(kAny, id, {2, 1, 2, 4}, 5.0), 2 * std::exp(-0.5)) << id;
        EXPECT_EQ(ValueOf(kAny, id, {2, 1, 2, 4}, 1.0), 2.0) << id;
    }
}

TEST(Gaussian, EstimatesWidthsFromTheSearch) {
    const DataSet d({0, 1, 2, 3, 4, 5, 6}, {1, 2, 5, 10, 8, 7, 1});
    auto symmetric = d.Model(29);
    ASSERT_EQ(symmetric->Estimate(), 0);
    ExpectNear(symmetric->Params(), {10, 3, 2});
    ExpectNear(symmetric->Steps(), {10 * kER, 2 * kER, 2 * kER});
    auto asym = d.Model(31);
    ASSERT_EQ(asym->Estimate(), 0);
    ExpectNear(asym->Params(), {10, 3, 1, 3});
    ExpectNear(asym->Steps(), {10 * kER, 2 * kER, kER, 3 * kER});
}

TEST(GaussianPeak, TrimsToTheValleysAroundThePeakForTheWholeFit) {
    const DataSet d({0, 1, 2, 3, 4, 5, 6, 7}, {5, 3, 2, 4, 9, 4, 2, 3});
    for (int id : {30, 32}) {
        auto model = d.Model(id);
        ASSERT_EQ(model->Init(), 0) << id;
        EXPECT_EQ(model->PointCount(), 5) << id;
        EXPECT_EQ(model->DegreesOfFreedom(), 5 - model->ParamCount()) << id;
        EXPECT_EQ(model->XData()[0], 2.0) << id;
        EXPECT_EQ(model->YData()[4], 2.0) << id;
        // Level 0.6065*9: points at X 3 and 5 lie below it.
        EXPECT_EQ(model->Params()[0], 9.0) << id;
        EXPECT_EQ(model->Params()[1], 4.0) << id;
        EXPECT_EQ(model->Params()[2], 1.0) << id;
        ASSERT_EQ(model->Estimate(), 0) << id;
        EXPECT_EQ(model->PointCount(), 5) << id;  // a second trim changes nothing
    }
    const DataSet rising({0, 1, 2}, {1, 2, 3});
    auto untrimmed = rising.Model(30);
    ASSERT_EQ(untrimmed->Estimate(), 0);
    EXPECT_EQ(untrimmed->PointCount(), 3);
    const PeakRange r = FindPeakRange(std::vector<double>{5, 3, 2, 4, 9, 4, 2, 3});
    EXPECT_EQ(r.first, 2);
    EXPECT_EQ(r.last, 6);
}

TEST(WilliamsBeens, ValuesAndEstimate) {
    EXPECT_DOUBLE_EQ(ValueOf(kAny, 33, {2, 2, 2, -1}, 1.0), 0.5);
    EXPECT_DOUBLE_EQ(ValueOf(kAny, 33, {2, 2, 2, -1}, 4.0), 1.0);
    const DataSet d({1, 2, 3, 4}, {1, 4, 3, 2});
    auto model = d.Model(33);
    ASSERT_EQ(model->Estimate(), 0);
    ExpectNear(model->Params(), {4, 2, 2, -1});
    ExpectNear(model->Steps(), {4 * kER, 2 * kER, 2 * kER, 2 * kER});
}

TEST(BiasedPower, StartsFromTheStraightLine) {
    EXPECT_EQ(ValueOf(kAny, 34, {1, 2, 3}, 2.0), 17.0);
    const DataSet line({0, 1, 2, 3}, {1, 3, 5, 7});
    auto model = line.Model(34);
    ASSERT_EQ(model->Estimate(), 0);
    ExpectNear(model->Params(), {1, 2, 1});
    ExpectNear(model->Steps(), {kER, 2 * kER, kER});
    const DataSet throughZero({0, 1, 2, 3}, {0, 2, 4, 6});
    auto zero = throughZero.Model(34);
    ASSERT_EQ(zero->Estimate(), 0);
    EXPECT_EQ(zero->Params()[0], 0.0);
    EXPECT_EQ(zero->Steps()[0], kER * kFltMin);
}

TEST(Exponential, ADecayGetsANegativeLength) {
    EXPECT_DOUBLE_EQ(ValueOf(kAny, 42, {2, -1}, 1.0), 2 * std::exp(-1.0));
    const DataSet rising({0, 1, 2}, {1, 2, 4});
    auto up = rising.Model(42);
    ASSERT_EQ(up->Estimate(), 0);
    ExpectNear(up->Params(), {1, 2});
    ExpectNear(up->Steps(), {3 * kER, 2 * kER});
    const DataSet falling({0, 1, 2}, {4, 2, 1});
    auto down = falling.Model(42);
    ASSERT_EQ(down->Estimate(), 0);
    ExpectNear(down->Params(), {4, -2});
}

}  // namespace
}  // namespace quillon
