#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "model_test_data.h"

namespace quillon {
namespace {

using testing::DataSet;
using testing::kER;

// Highest point at X = 10, lowest at X = 12: P = 4.
const DataSet kPeakAt10({9, 10, 11, 12, 13}, {1, 3, 1, -1, 1});

void ExpectValues(CModelFunction& model, const std::vector<double>& expected,
                  std::span<const double> actual) {
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_NEAR(actual[i], expected[i], 1e-12 * (1 + std::fabs(expected[i])))
            << "index " << i << " of model with " << model.ParamCount() << " parameters";
    }
}

TEST(SinePhaseForm, ValuesAtHandComputedPoints) {
    auto sine = kPeakAt10.Model(9);
    std::vector<double> a{2, kHalfPi, 0};
    EXPECT_DOUBLE_EQ(sine->Value(a.data(), 1.0), 2.0);
    EXPECT_NEAR(sine->Value(a.data(), 3.0), -2.0, 1e-15);
    auto biased = kPeakAt10.Model(10);
    std::vector<double> b{2, kHalfPi, kHalfPi, 0.5};
    EXPECT_NEAR(biased->Value(b.data(), 0.0), 2.5, 1e-15);
}

TEST(SinePhaseForm, EstimatePeaksAtTheHighestPointWithTheWrappedPhase) {
    auto sine = kPeakAt10.Model(10);
    ASSERT_EQ(sine->Estimate(), 0);
    // A0 = half the range, A1 = 2*pi/4, A2 = pi/2 - 5*pi wrapped to -pi/2, A3 = mid level.
    ExpectValues(*sine, {2, kHalfPi, -kHalfPi, 1}, sine->Params());
    ExpectValues(*sine, {2 * kER, kHalfPi * kER, kTwoPi * kER, 2 * kER}, sine->Steps());
}

TEST(SineShiftForm, ValuesIncludingTheDampedForms) {
    std::vector<double> a{2, kHalfPi, 0.5, 2, 0.25, 0.1};
    auto shift = kPeakAt10.Model(1);
    EXPECT_DOUBLE_EQ(shift->Value(a.data(), 0.5), 2.0);
    auto biased = kPeakAt10.Model(2);
    EXPECT_DOUBLE_EQ(biased->Value(a.data(), 0.5), 4.0);
    auto damped = kPeakAt10.Model(16);
    EXPECT_DOUBLE_EQ(damped->Value(a.data(), 0.5), 2.0 * std::exp(-0.25));
    auto dampedBiased = kPeakAt10.Model(17);
    EXPECT_DOUBLE_EQ(dampedBiased->Value(a.data(), 0.5), 2.0 * std::exp(-0.25) + 0.25);
    auto dampedSlope = kPeakAt10.Model(18);
    EXPECT_DOUBLE_EQ(dampedSlope->Value(a.data(), 0.5), 2.0 * std::exp(-0.25) + 0.25 + 0.05);
}

TEST(SineShiftForm, EstimatePutsTheHighestPointAQuarterPeriodIn) {
    // A2 = P/4 - 10 = -9, wrapped by P = 4 to -1.
    auto shift = kPeakAt10.Model(2);
    ASSERT_EQ(shift->Estimate(), 0);
    ExpectValues(*shift, {2, kHalfPi, -1, 1}, shift->Params());
    ExpectValues(*shift, {2 * kER, kHalfPi * kER, 4 * kER, 2 * kER}, shift->Steps());

    // The damped forms start their decay length at A1, then the level and a zero slope.
    auto slope = kPeakAt10.Model(18);
    ASSERT_EQ(slope->Estimate(), 0);
    ExpectValues(*slope, {2, kHalfPi, -1, kHalfPi, 1, 0}, slope->Params());
    ExpectValues(*slope, {2 * kER, kHalfPi * kER, 4 * kER, kHalfPi * kER, 2 * kER, kER},
                 slope->Steps());
    auto damped = kPeakAt10.Model(17);
    ASSERT_EQ(damped->Estimate(), 0);
    ExpectValues(*damped, {2, kHalfPi, -1, kHalfPi, 1}, damped->Params());
}

}  // namespace
}  // namespace quillon
