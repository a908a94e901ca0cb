#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <typeinfo>
#include <vector>

#include "model_test_data.h"
#include "models/catalogue.h"
#include "models/estimate_steps.h"
#include "models/kestrel_dune_models.h"
#include "models/model_registry.h"
#include "models/period_sine_models.h"
#include "models/sine_models.h"

namespace quillon {
namespace {

using testing::DataSet;
using testing::kER;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

bool IsFittedByAModel(int id) {
    const ModelEntry* entry = FindModel(id);
    return entry != nullptr && entry->build != nullptr;
}

TEST(RangeScan, KeepsTheFirstIndexOfEachExtreme) {
    const std::vector<double> v{3, 1, 5, 1, 5, 2};
    const Extremes e = RangeScan(v);
    EXPECT_EQ(e.min, 1);
    EXPECT_EQ(e.iMin, 1);
    EXPECT_EQ(e.max, 5);
    EXPECT_EQ(e.iMax, 2);
    EXPECT_FALSE(e.Flat());
    EXPECT_TRUE(RangeScan(std::vector<double>{4, 4, 4}).Flat());
    EXPECT_TRUE(RangeScan({}).Flat());
}

TEST(PeriodGuess, ClampsTwiceTheDistanceToTheDoubleRange) {
    EXPECT_EQ(PeriodFromHalfDistance(2.0), 4.0);
    EXPECT_EQ(PeriodFromHalfDistance(0.0), kDblMin);
    EXPECT_EQ(PeriodFromHalfDistance(1e308), kDblMax);
}

TEST(WrapShift, EndsInTheHalfOpenIntervalAroundZero) {
    EXPECT_DOUBLE_EQ(WrapShift(kHalfPi - 5 * kPi, kTwoPi), -kHalfPi);
    EXPECT_EQ(WrapShift(kPi, kTwoPi), -kPi);
    EXPECT_EQ(WrapShift(-kPi, kTwoPi), -kPi);
    EXPECT_EQ(WrapShift(-9.0, 4.0), -1.0);
    EXPECT_TRUE(std::isnan(WrapShift(kInf, kTwoPi)));
    EXPECT_TRUE(std::isnan(WrapShift(1.0, 0.0)));
    // Far beyond the range of an int the shift still wraps into one period.
    EXPECT_LT(std::fabs(WrapShift(1e15 + 0.5, 1.0)), 0.5 + 1e-6);
}

TEST(HalfRisePoint, InterpolatesTheFirstCrossingOfHalfTheMaximum) {
    const std::vector<double> x{1, 2, 3, 4};
    EXPECT_DOUBLE_EQ(*HalfRisePoint(x, std::vector<double>{1, 2, 6, 8}, 8), 2.5);
    // Never crossing between adjacent points, or crossing at X <= 0: none.
    EXPECT_FALSE(HalfRisePoint(x, std::vector<double>{8, 6, 2, 1}, 8));
    EXPECT_FALSE(HalfRisePoint(std::vector<double>{-2, -1, 0}, std::vector<double>{1, 5, 8}, 8));
}

TEST(ModelFunction, FixStepsRaisesTinyZeroAndNaNStepsButKeepsNegativeOnes) {
    const DataSet d({0, 1, 2, 3}, {0, 1, 0, -1});
    auto model = d.Model(9);
    ASSERT_EQ(model->Init(), 0);
    auto steps = model->Steps();
    steps[0] = -0.5;
    steps[1] = kNaN;
    steps[2] = 0.25;
    model->FixSteps();
    EXPECT_EQ(steps[0], -0.5);
    EXPECT_EQ(steps[1], 2.220446049250313e-16);
    EXPECT_EQ(steps[2], 0.25);
    steps[0] = -1e-17;
    steps[2] = 0.0;
    model->FixSteps();
    EXPECT_EQ(steps[0], 2.220446049250313e-16);
    EXPECT_EQ(steps[2], 2.220446049250313e-16);
}

TEST(ModelFunction, InitSavesAndRestoreBringsBackTheEstimates) {
    const DataSet d({0, 1, 2, 3}, {0, 1, 0, -1});
    auto model = d.Model(9);
    ASSERT_EQ(model->Init(), 0);
    const std::vector<double> estimated(model->Params().begin(), model->Params().end());
    EXPECT_EQ(std::vector<double>(model->SavedParams().begin(), model->SavedParams().end()),
              estimated);
    model->Params()[0] = 99;
    model->Steps()[0] = 7;
    model->Restore();
    EXPECT_EQ(model->Params()[0], estimated[0]);
    EXPECT_EQ(model->Steps()[0], model->SavedSteps()[0]);
    EXPECT_NE(model->Steps()[0], 7);
}

TEST(ModelFunction, SetParamsEstimatesThenOverwritesTheLeadingParameters) {
    const DataSet d({0, 1, 2, 3, 4, 5, 6, 7}, {0, 1, 0, -1, 0, 1, 0, -1});
    auto second = d.SecondStage();
    const double values[4] = {5, 6, 7, 8};
    ASSERT_EQ(second->SetParams(values, 4), 0);
    const auto a = second->Params();
    EXPECT_EQ(std::vector<double>(a.begin(), a.end()), (std::vector<double>{5, 6, 7, 8, 1}));
    EXPECT_EQ(second->Steps()[4], kER);

    const DataSet flat({0, 1, 2}, {1, 1, 1});
    auto failing = flat.Model(9);
    const double three[3] = {1, 2, 3};
    EXPECT_EQ(failing->SetParams(three, 3), -1);
}

TEST(ModelFunction, CountsAndThePointByPointContract) {
    const DataSet d({0, 1, 2, 3, 4}, {0, 1, 0, -1, 0});
    auto model = d.Model(10);
    EXPECT_EQ(model->ParamCount(), 4);
    EXPECT_EQ(model->PointCount(), 5);
    EXPECT_EQ(model->DegreesOfFreedom(), 1);
    std::vector<double> p{1, 1, 0, 0};
    EXPECT_FALSE(model->EvaluateAll(p.data()));
    EXPECT_TRUE(std::isnan(model->PointValue(0)));
    std::string log;
    EXPECT_EQ(model->PreFit(log, nullptr), 0);
}

TEST(ModelFactory, BuildsEveryIdWithItsCatalogueParameterCount) {
    const DataSet d({1, 2, 3, 4, 5, 6}, {1, 3, 2, 5, 4, 2});
    for (int id = 1; id <= 42; ++id) {
        if (!IsFittedByAModel(id)) {
            continue;
        }
        auto model = d.Model(id);
        ASSERT_NE(model, nullptr) << id;
        EXPECT_EQ(model->ParamCount(), ModelParamCount(id)) << id;
        EXPECT_EQ(model->PointCount(), 6) << id;
    }
    EXPECT_EQ(d.SecondStage()->ParamCount(), 5);
}

TEST(ModelFactory, ChoosesTheClassOfTheIdAndFallsBackToTheSine) {
    const DataSet d({1, 2, 3}, {1, 3, 2});
    EXPECT_EQ(typeid(*d.Model(1)), typeid(CSineShiftModel));
    EXPECT_EQ(typeid(*d.Model(17)), typeid(CDampedSineBiasedModel));
    EXPECT_EQ(typeid(*d.Model(35)), typeid(CSinePeriodBiasedModel));
    EXPECT_EQ(typeid(*d.Model(41)), typeid(CSinePeriodLinearModel));
    for (int id : {0, 9, 28, -1, 43, 1000}) {
        auto model = d.Model(id);
        EXPECT_EQ(typeid(*model), typeid(CSineModel)) << id;
        EXPECT_EQ(model->ParamCount(), 3) << id;
    }
}

TEST(ModelFactory, FixedCIsConvertedFromDegreesForTheFixedCModels) {
    EXPECT_EQ(FixedCRadians(20.0), 0.3490658503988659);
    const DataSet d({1, 2, 3}, {1, 3, 2});
    for (int id : {4, 6, 8}) {
        auto model = d.Model(id, FixedCRadians(20.0));
        std::vector<double> p{1, 0, 0};  // KD at step 0 is sin(C)
        EXPECT_DOUBLE_EQ(model->Value(p.data(), 0.0), std::sin(0.3490658503988659)) << id;
    }
}

TEST(ModelEstimates, FailOnFlatYOrASingleDistinctX) {
    const DataSet flatY({1, 2, 3, 4, 5, 6, 7, 8}, {2, 2, 2, 2, 2, 2, 2, 2});
    const DataSet oneX({3, 3, 3, 3, 3, 3, 3, 3}, {1, 5, 2, 8, 3, 4, 9, 2});
    const DataSet none({}, {});
    for (int id = 1; id <= 42; ++id) {
        if (!IsFittedByAModel(id)) {
            continue;
        }
        EXPECT_EQ(flatY.Model(id)->Init(), -1) << id;
        EXPECT_EQ(oneX.Model(id)->Init(), -1) << id;
        EXPECT_EQ(none.Model(id)->Init(), -1) << id;
    }
}

// Every value of every model, and every estimate, on non-finite and
// degenerate input: the sanitizer build turns any undefined behaviour or
// out-of-range access here into a failure; the loops must also end.
TEST(ModelRobustness, NonFiniteParametersAndDataNeitherHangNorCrash) {
    const std::vector<double> specials{0.0,  -0.0,  1.0,   -1.0,   kNaN,
                                       kInf, -kInf, 1e308, -1e308, 5e-324};
    const DataSet d({0, 1, 2, 3, 4, 5, 6}, {0, 1, 3, 1, 0, -2, 0});
    for (int id = 1; id <= 42; ++id) {
        auto model = d.Model(id, kNaN);
        const int m = model->ParamCount();
        for (double a : specials) {
            for (double x : specials) {
                for (int k = 0; k < m; ++k) {
                    std::vector<double> p(static_cast<std::size_t>(m), 1.0);
                    p[static_cast<std::size_t>(k)] = a;
                    (void)model->Value(p.data(), x);
                    if (model->EvaluateAll(p.data())) {
                        (void)model->PointValue(0);
                    }
                }
                std::vector<double> all(static_cast<std::size_t>(m), a);
                (void)model->Value(all.data(), x);
            }
        }
    }
    const std::vector<double> xs{0, 1, 2, 3, 4, kNaN, 6, kInf};
    for (double bad : {kNaN, kInf, -kInf, 0.0}) {
        const DataSet odd(xs, {1, 2, bad, 4, 3, 2, bad, 1});
        for (int id = 1; id <= 42; ++id) {
            (void)odd.Model(id, 0.3)->Init();
        }
    }
    SUCCEED();
}

}  // namespace
}  // namespace quillon
