#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model_test_data.h"
#include "models/model_registry.h"

namespace quillon {
namespace {

using testing::DataSet;

// A small wave every model can be built on.
const DataSet kData({1, 2, 3, 4, 5, 6, 7, 8}, {1, 3, 2, 5, 4, 2, 3, 1});

TEST(ModelRegistry, HoldsEveryIdInOrderWithADisplayString) {
    ASSERT_EQ(ModelRegistry().size(), static_cast<std::size_t>(kModelCount));
    for (int id = 0; id < kModelCount; ++id) {
        ASSERT_NE(FindModel(id), nullptr) << id;
        EXPECT_EQ(FindModel(id), &ModelRegistry()[static_cast<std::size_t>(id)]) << id;
        EXPECT_TRUE(FindModel(id)->display.starts_with(" ")) << id;
    }
    for (int id : {-1, kModelCount, 1000}) {
        EXPECT_EQ(FindModel(id), nullptr) << id;
    }
}

TEST(ModelRegistry, ClosedFormModelsHaveNoBuilderAndTheRestBuildTheirCount) {
    for (int id = 0; id < kModelCount; ++id) {
        const ModelEntry& entry = *FindModel(id);
        if (entry.closedForm != ClosedForm::None) {
            EXPECT_EQ(entry.build, nullptr) << id;
            continue;
        }
        ASSERT_NE(entry.build, nullptr) << id;
        const auto model = entry.build({kData.x.data(), kData.y.data(), kData.w.data(),
                                        static_cast<int>(kData.x.size()), testing::kER, 0.3});
        ASSERT_NE(model, nullptr) << id;
        EXPECT_EQ(model->ParamCount(), entry.paramCount) << id;
    }
    EXPECT_EQ(FindModel(0)->closedForm, ClosedForm::Line);
    EXPECT_EQ(FindModel(28)->closedForm, ClosedForm::ThroughOrigin);
}

// The traits are read by the driver, the compute and the window; each must
// agree with what the model built for the id really does.
TEST(ModelRegistry, PreFitTraitMatchesTheModelsThatRunAPreFit) {
    std::vector<int> preFitting;
    for (int id = 0; id < kModelCount; ++id) {
        const ModelEntry& entry = *FindModel(id);
        if (entry.build == nullptr) {
            EXPECT_FALSE(entry.preFit) << id;
            continue;
        }
        auto model = kData.Model(id, 0.3);
        ASSERT_EQ(model->Init(), 0) << id;
        bool ran = false;
        std::string log;
        model->PreFit(log, [&ran](CModelFunction&, std::string&) {
            ran = true;
            return FitOutcome::NotConverged;
        });
        EXPECT_EQ(entry.preFit, ran) << id;
        if (ran) {
            preFitting.push_back(id);
        }
    }
    EXPECT_EQ(preFitting, (std::vector<int>{12, 35, 41}));
}

TEST(ModelRegistry, FixedCTraitMatchesTheModelsThatReadTheirPhase) {
    std::vector<int> fixedC;
    for (int id = 0; id < kModelCount; ++id) {
        const ModelEntry& entry = *FindModel(id);
        if (entry.build == nullptr) {
            continue;
        }
        auto a = kData.Model(id, 0.3);
        auto b = kData.Model(id, 1.1);
        ASSERT_EQ(a->Init(), b->Init()) << id;
        std::vector<double> p(a->Params().begin(), a->Params().end());
        std::vector<double> q = p;
        const bool readsPhase = a->Value(p.data(), 2.5) != b->Value(q.data(), 2.5);
        EXPECT_EQ(entry.fixedC, readsPhase) << id;
        if (entry.fixedC) {
            fixedC.push_back(id);
        }
    }
    EXPECT_EQ(fixedC, (std::vector<int>{4, 6, 8}));
}

TEST(ModelRegistry, OnlyTheStagedSineHasASecondStageAndOnlyTwelveAWaveReport) {
    for (int id = 0; id < kModelCount; ++id) {
        const ModelEntry& entry = *FindModel(id);
        const bool staged = id == testing::kStagedSineId;
        EXPECT_EQ(entry.secondStage != nullptr, staged) << id;
        EXPECT_EQ(kData.SecondStage(id) != nullptr, staged) << id;
        EXPECT_EQ(entry.waveReport, id == 12) << id;
    }
    const ModelEntry& staged = *FindModel(testing::kStagedSineId);
    EXPECT_EQ(kData.SecondStage()->ParamCount(), staged.secondStageParamCount);
    EXPECT_GT(staged.secondStageParamCount, staged.paramCount);
}

}  // namespace
}  // namespace quillon
