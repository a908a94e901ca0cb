#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "model_test_data.h"
#include "models/period_sine_models.h"

namespace quillon {
namespace {

using testing::DataSet;
using testing::kER;

// Ten points (fewer than 16: the window is all of them), peak 4 at X = 3,
// trough -3 at X = 7. Level L = 0.5; the peak centroid is 3 and the trough
// centroid 50/7 (Y[5] lies above L and weighs 0), so A1 = 2*(50/7 - 3) = 58/7
// and A2 = A1/4 - 3 = -6.5/7.
const DataSet kWave({0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, {0, 1, 3, 4, 3, 1, -1, -3, -1, 0});
constexpr double kPeriod = 58.0 / 7;
constexpr double kShift = -6.5 / 7;

void ExpectNear(std::span<const double> actual, const std::vector<double>& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_NEAR(actual[i], expected[i], 1e-12 * (1 + std::fabs(expected[i]))) << i;
    }
}

TEST(PeriodSine, ValuesAtHandComputedPoints) {
    std::vector<double> a{3, 4, 1, 0.5, 0.25};
    EXPECT_DOUBLE_EQ(kWave.Model(11)->Value(a.data(), 0.0), 3.0);
    EXPECT_DOUBLE_EQ(kWave.Model(12)->Value(a.data(), 0.0), 3.5);
    EXPECT_DOUBLE_EQ(kWave.Model(41)->Value(a.data(), 2.0), 3 * std::sin(1.5 * kPi) + 0.5 + 0.5);
}

// The batch evaluation of the period sines must give every point exactly the
// value Value gives, whatever sequence of parameter vectors a fit asks for:
// the steps of each parameter in turn, rejected and accepted trials, and
// keys that equality alone would confuse (-0 and +0) or never match (NaN).
TEST(PeriodSine, BatchValuesEqualPointValuesBitForBitOverAFitsSequence) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const int id : {11, 12, 41}) {
        auto model = kWave.Model(id);
        const std::vector<double> base{3, 7.5, -0.75, 0.5, 0.125};
        std::vector<std::vector<double>> sequence{base};
        for (std::size_t i = 0; i < base.size(); ++i) {
            std::vector<double> row = base;
            row[i] += 1e-3 * (i + 1);
            sequence.push_back(row);
        }
        sequence.push_back({2.5, 7.25, -0.5, 0.25, 0.0625});  // a trial
        sequence.push_back({2.5, 7.25, -0.5, 0.75, 0.0625});  // the trial's level step
        sequence.push_back(base);                             // back to the base
        sequence.push_back({3, 7.5, 0.0, 0.5, 0.125});
        sequence.push_back({3, 7.5, -0.0, 0.5, 0.125});
        sequence.push_back({3, nan, -0.75, 0.5, 0.125});
        sequence.push_back({3, nan, -0.75, 0.5, 0.125});
        sequence.push_back({-1e308, 1e-300, 1e308, 1e308, -1e308});
        for (std::size_t s = 0; s < sequence.size(); ++s) {
            std::vector<double> a = sequence[s];
            ASSERT_TRUE(model->EvaluateAll(a.data())) << id;
            const std::span<const double> values = model->PointValues();
            ASSERT_EQ(values.size(), kWave.x.size());
            for (std::size_t i = 0; i < kWave.x.size(); ++i) {
                const double expected = model->Value(a.data(), kWave.x[i]);
                EXPECT_EQ(std::bit_cast<std::uint64_t>(values[i]),
                          std::bit_cast<std::uint64_t>(expected))
                    << "id " << id << " vector " << s << " point " << i;
            }
        }
    }
}

TEST(PeriodSine, DampedSinesKeepPointByPointEvaluation) {
    std::vector<double> a{1, 4, 1, 2, 5, 0.5, 0.25};
    for (const int id : {13, 14, 15}) {
        EXPECT_FALSE(kWave.Model(id)->EvaluateAll(a.data())) << id;
    }
}

TEST(DampedAfter, DampsOnlyAfterTheOnsetA4WithDecayLengthA3) {
    std::vector<double> a{1, 4, 1, 2, 5, 0.5, 0.25};
    auto damped = kWave.Model(13);
    EXPECT_DOUBLE_EQ(damped->Value(a.data(), 4.0), 1.0);  // before the onset
    EXPECT_DOUBLE_EQ(damped->Value(a.data(), 5.0), std::sin(kPi * 3));
    EXPECT_NEAR(damped->Value(a.data(), 8.0), std::exp(-1.5), 1e-15);
    EXPECT_NEAR(kWave.Model(14)->Value(a.data(), 8.0), std::exp(-1.5) + 0.5, 1e-15);
    EXPECT_NEAR(kWave.Model(15)->Value(a.data(), 8.0), std::exp(-1.5) + 0.5 + 2.0, 1e-15);
}

TEST(AsymmetricSine, RisesInTheFractionOneOverA4PlusOne) {
    auto asym = kWave.SecondStage();
    // A4 = 1: the plain sine of period 4.
    std::vector<double> plain{1, 4, 0, 0, 1};
    EXPECT_DOUBLE_EQ(asym->Value(plain.data(), 1.0), 1.0);
    EXPECT_DOUBLE_EQ(asym->Value(plain.data(), 3.0), -1.0);
    EXPECT_NEAR(asym->Value(plain.data(), 0.5), std::sin(kPi / 4), 1e-15);
    // A4 = 3: the rise takes a quarter of the time of the fall, so the top is
    // reached at t = v = 1/4 (x = 0.5) and the middle of the fall at t = 1 (x = 2).
    std::vector<double> skewed{2, 4, 0, 0.5, 3};
    EXPECT_DOUBLE_EQ(skewed[0] * 1 + skewed[3], asym->Value(skewed.data(), 0.5));
    EXPECT_NEAR(asym->Value(skewed.data(), 2.0), 0.5, 1e-15);
    EXPECT_NEAR(asym->Value(skewed.data(), 3.0), 2 * std::sin(kPi + kHalfPi / 1.5) + 0.5, 1e-15);
}

TEST(WaveEstimate, WindowEstimateFromPeakAndTroughCentroids) {
    auto biased = kWave.Model(12);
    ASSERT_EQ(biased->Estimate(), 0);
    ExpectNear(biased->Params(), {3.5, kPeriod, kShift, 0.5});
    ExpectNear(biased->Steps(), {3.5 * kER, kPeriod * kER, kPeriod * kER, 3.5 * kER});
    const auto& wave = dynamic_cast<const CSinePeriodBiasedModel&>(*biased).Wave();
    EXPECT_EQ(wave.m_dLevel, 0.5);

    auto plain = kWave.Model(11);
    ASSERT_EQ(plain->Estimate(), 0);
    ExpectNear(plain->Params(), {3.5, kPeriod, kShift});
    ExpectNear(plain->Steps(), {3.5 * kER, kPeriod * kER, kPeriod * kER});

    auto linear = kWave.Model(41);
    ASSERT_EQ(linear->Estimate(), 0);
    ExpectNear(linear->Params(), {3.5, kPeriod, kShift, 0.5, 0});
    EXPECT_EQ(linear->Steps()[4], linear->Steps()[0]);

    auto slope = kWave.Model(15);
    ASSERT_EQ(slope->Estimate(), 0);
    ExpectNear(slope->Params(), {3.5, kPeriod, kShift, kPeriod, kPeriod, 0.5, 0});
    ExpectNear(slope->Steps(), {3.5 * kER, kPeriod * kER, kPeriod * kER, kPeriod * kER,
                                kPeriod * kER, 3.5 * kER, kER});
    auto biasedDamped = kWave.Model(14);
    ASSERT_EQ(biasedDamped->Estimate(), 0);
    ExpectNear(biasedDamped->Params(), {3.5, kPeriod, kShift, kPeriod, kPeriod, 0.5});

    auto asym = kWave.SecondStage();
    ASSERT_EQ(asym->Estimate(), 0);
    ExpectNear(asym->Params(), {3.5, kPeriod, kShift, 0.5, 1});
}

TEST(WaveEstimate, FifteenPointsUseAllPointsAsTheWindow) {
    // Five cycles of period 3, but the single highest point is the second one:
    // with the cycle count of 1.0 the window is all points.
    std::vector<double> x;
    std::vector<double> y;
    for (int i = 0; i < 15; ++i) {
        x.push_back(i);
        y.push_back(i % 3 == 0 ? -1.0 : (i % 3 == 1 ? 1.0 : 0.0));
    }
    y[1] = 2.0;
    const DataSet d(x, y);
    auto model = d.Model(12);
    ASSERT_EQ(model->Estimate(), 0);
    EXPECT_EQ(model->YMaxIndex(), 1);
    EXPECT_EQ(model->YMax(), 2.0);
    EXPECT_EQ(model->Params()[0], 1.5);
}

}  // namespace
}  // namespace quillon
