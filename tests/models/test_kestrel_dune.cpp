#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "model_test_data.h"
#include "models/kestrel_dune_models.h"

namespace quillon {
namespace {

using testing::DataSet;
using testing::kER;

constexpr double k40Degrees = 0.6981317007977318;

double Step(int k, double c = 0.0) {
    return std::sin(k * k40Degrees + c);
}

TEST(KestrelDune, HoldsNineStepsPerCycle) {
    const double c = 0.3;
    EXPECT_EQ(KD(1.0, kTwoPi * 0.999, c), Step(8, c));
    EXPECT_EQ(KD(1.0, kTwoPi, c), std::sin(c));
    EXPECT_EQ(KD(1.0, -kTwoPi * 0.05, c), Step(8, c));    // taken from below
    EXPECT_EQ(KD(2.0, kTwoPi * 0.25 / 2, 0.0), Step(2));  // a quarter cycle: step 2
    EXPECT_TRUE(std::isnan(KD(std::nan(""), 1.0, 0.0)));
    EXPECT_TRUE(std::isnan(KD(1.0, INFINITY, 0.0)));
}

// The six models: ids 3 to 8 are every smoothing with a free and a fixed C.
struct KDCase {
    int id;
    KDSmoothing smoothing;
    bool fixedC;
};

constexpr KDCase kSixModels[] = {
    {3, KDSmoothing::None, false},        {4, KDSmoothing::None, true},
    {5, KDSmoothing::FivePoints, false},  {6, KDSmoothing::FivePoints, true},
    {7, KDSmoothing::SevenPoints, false}, {8, KDSmoothing::SevenPoints, true},
};

constexpr double kFixedC = 0.5;

class KestrelDuneModels : public ::testing::TestWithParam<KDCase> {
  protected:
    std::unique_ptr<CModelFunction> Model(const DataSet& d) const {
        return d.Model(GetParam().id, kFixedC);
    }
};

TEST_P(KestrelDuneModels, TheIdChoosesTheSmoothingAndTheFixedC) {
    const KDCase& c = GetParam();
    const DataSet d({0, 1, 2}, {0, 1, 0});
    const auto model = Model(d);
    const auto* kd = dynamic_cast<const CKestrelDuneModel*>(model.get());
    ASSERT_NE(kd, nullptr);
    EXPECT_EQ(kd->Smoothing(), c.smoothing);
    EXPECT_EQ(kd->FixedC().has_value(), c.fixedC);
    if (c.fixedC) {
        EXPECT_EQ(*kd->FixedC(), kFixedC);
    }
    EXPECT_EQ(model->ParamCount(), c.fixedC ? 3 : 4);
}

TEST_P(KestrelDuneModels, ValueGivesTheUnsmoothedStepWithTheFixedOrFittedC) {
    const KDCase& c = GetParam();
    const DataSet d({0, 1, 2}, {0, 1, 0});
    std::vector<double> a{2.0, 1.0, kTwoPi * 0.5, 0.25};  // half a cycle: step 4
    EXPECT_EQ(Model(d)->Value(a.data(), 0.0), 2 * Step(4, c.fixedC ? kFixedC : 0.25));
}

TEST_P(KestrelDuneModels, EstimateTakesHundredfoldStepsForFrequencyAndShift) {
    const KDCase& c = GetParam();
    const DataSet d({9, 10, 11, 12, 13}, {1, 3, 1, -1, 1});  // P = 4
    const auto model = Model(d);
    ASSERT_EQ(model->Estimate(), 0);
    const auto a = model->Params();
    const auto s = model->Steps();
    ASSERT_EQ(a.size(), c.fixedC ? 3u : 4u);
    EXPECT_EQ(a[0], 2.0);
    EXPECT_DOUBLE_EQ(a[1], kHalfPi);
    EXPECT_EQ(a[2], -1.0);  // 4/4 - 10 wrapped by 4
    EXPECT_DOUBLE_EQ(s[0], 2 * kER);
    EXPECT_DOUBLE_EQ(s[1], kHalfPi * kER * 100);
    EXPECT_DOUBLE_EQ(s[2], 4 * kER * 100);
    if (!c.fixedC) {
        EXPECT_EQ(a[3], 0.0);
        EXPECT_DOUBLE_EQ(s[3], kTwoPi * kER);
    }
    EXPECT_EQ(DataSet({1, 2}, {3, 3}).Model(c.id, kFixedC)->Estimate(), -1);  // flat Y
}

TEST_P(KestrelDuneModels, OnlyTheSmoothedModelsEvaluateAllPoints) {
    const KDCase& c = GetParam();
    const DataSet d({0, 1, 2, 3, 4, 5}, {0, 1, 0, 1, 0, 1});
    const auto model = d.Model(c.id, 0.7);
    std::vector<double> flat{3.0, 0.0, 0.0, 0.7};  // A1 = 0: always step 0
    if (c.smoothing == KDSmoothing::None) {
        EXPECT_FALSE(model->EvaluateAll(flat.data()));
        EXPECT_TRUE(std::isnan(model->PointValue(0)));
        return;
    }
    // A constant curve stays constant, and nothing carries over to the next call.
    ASSERT_TRUE(model->EvaluateAll(flat.data()));
    for (int i = 0; i < 6; ++i) {
        EXPECT_NEAR(model->PointValue(i), 3 * std::sin(0.7), 1e-15) << i;
    }
    std::vector<double> other{-1.0, 0.0, 0.0, 0.7};
    ASSERT_TRUE(model->EvaluateAll(other.data()));
    EXPECT_NEAR(model->PointValue(5), -std::sin(0.7), 1e-15);
}

std::string IdName(const ::testing::TestParamInfo<KDCase>& info) {
    return "Id" + std::to_string(info.param.id);
}

INSTANTIATE_TEST_SUITE_P(SixModels, KestrelDuneModels, ::testing::ValuesIn(kSixModels), IdName);

// One KD step per unit of X, each X in the middle of its step: at x the step
// is floor(x + 0.5) modulo 9.
std::vector<double> OneStepPerUnit() {
    return {1.0, kTwoPi / 9, 0.5, 0.0};
}

double StepAt(double x) {
    const double k = std::floor(x + 0.5);
    return Step(static_cast<int>(k - 9 * std::floor(k / 9)));
}

TEST(Smoothing, FivePointsExtrapolateWithTheFirstSpacing) {
    // Unequal spacing: the smoothing still takes X[1] - X[0] = 1 throughout.
    const DataSet d({0, 1, 5, 7}, {0, 1, 0, 1});
    auto model = d.Model(5);
    std::vector<double> a = OneStepPerUnit();
    ASSERT_TRUE(model->EvaluateAll(a.data()));
    const double first =
        (17 * StepAt(0) + 12 * (StepAt(-1) + StepAt(1)) - 3 * (StepAt(-2) + StepAt(5))) / 35;
    EXPECT_NEAR(model->PointValue(0), first, 1e-15);
    const double last =
        (17 * StepAt(7) + 12 * (StepAt(5) + StepAt(8)) - 3 * (StepAt(1) + StepAt(9))) / 35;
    EXPECT_NEAR(model->PointValue(3), last, 1e-15);
    EXPECT_TRUE(std::isnan(model->PointValue(4)));
}

TEST(Smoothing, SevenPointsExtrapolateThreePositionsEachSide) {
    const DataSet d({0, 1, 5, 7}, {0, 1, 0, 1});
    auto model = d.Model(8, 0.0);
    std::vector<double> a = OneStepPerUnit();
    ASSERT_TRUE(model->EvaluateAll(a.data()));
    const double first = (7 * StepAt(0) + 6 * (StepAt(-1) + StepAt(1)) +
                          3 * (StepAt(-2) + StepAt(5)) - 2 * (StepAt(-3) + StepAt(7))) /
                         21;
    EXPECT_NEAR(model->PointValue(0), first, 1e-15);
    const double last = (7 * StepAt(7) + 6 * (StepAt(5) + StepAt(8)) + 3 * (StepAt(1) + StepAt(9)) -
                         2 * (StepAt(0) + StepAt(10))) /
                        21;
    EXPECT_NEAR(model->PointValue(3), last, 1e-15);
}

TEST(Smoothing, ASinglePointHasNoSpacingButStaysInItsBuffers) {
    const DataSet d({2}, {1});
    auto model = d.Model(7);
    std::vector<double> a = OneStepPerUnit();
    ASSERT_TRUE(model->EvaluateAll(a.data()));
    EXPECT_NEAR(model->PointValue(0), StepAt(2), 1e-15);  // every position at X = 2
}

}  // namespace
}  // namespace quillon
