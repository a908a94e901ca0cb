#include <gtest/gtest.h>

#include "models/catalogue.h"

namespace quillon {
namespace {

TEST(Catalogue, ComboEntriesRightAlignTheIdInTwoCharacters) {
    EXPECT_EQ(ModelComboEntry(0), " 0)  a + b*X; linear");
    EXPECT_EQ(ModelComboEntry(9), " 9)  A0*sin(A1*X + A2); sine");
    EXPECT_EQ(ModelComboEntry(10), "10)  A0*sin(A1*X + A2) + A3; sine biased");
    EXPECT_EQ(ModelComboEntry(42), "42)  A0*exp(X/ A1); exponential with length constant A1");
}

TEST(Catalogue, EveryDisplayStringBeginsWithItsBlanksAndNamesAFormula) {
    for (int id = 0; id < kModelCount; ++id) {
        const std::string_view display = ModelDisplayString(id);
        ASSERT_FALSE(display.empty()) << id;
        const bool twoBlanks = id >= 37 && id <= 39;
        EXPECT_EQ(display.substr(0, twoBlanks ? 2 : 1), twoBlanks ? "  " : " ") << id;
        EXPECT_NE(display[twoBlanks ? 2 : 1], ' ') << id;
    }
    EXPECT_TRUE(ModelDisplayString(37).starts_with(
        "  A0*A1*exp( A2 * X ) / (A0 + A1 * (exp(A2 * X) - 1) ); Logistic "));
}

TEST(Catalogue, ParameterCountsFollowTheFormulas) {
    const int expected[kModelCount] = {2, 3, 4, 4, 3, 4, 3, 4, 3, 3, 4, 3, 4, 5, 6,
                                       7, 4, 5, 6, 5, 5, 2, 3, 2, 2, 2, 2, 2, 1, 3,
                                       3, 4, 4, 4, 3, 4, 2, 3, 4, 5, 4, 5, 2};
    for (int id = 0; id < kModelCount; ++id) {
        EXPECT_EQ(ModelParamCount(id), expected[id]) << id;
    }
}

TEST(Catalogue, OutOfRangeIdsHaveNoEntry) {
    EXPECT_EQ(ModelDisplayString(-1), "");
    EXPECT_EQ(ModelDisplayString(kModelCount), "");
    EXPECT_EQ(ModelParamCount(43), 0);
    EXPECT_EQ(MethodName(static_cast<FitMethod>(5)), "");
    EXPECT_FALSE(IsValidModelId(43));
}

TEST(Catalogue, OnlyIdsZeroAndTwentyEightAreLinear) {
    for (int id = 0; id < kModelCount; ++id) {
        EXPECT_EQ(IsLinearModel(id), id == 0 || id == 28) << id;
    }
}

TEST(Catalogue, MethodsInComboOrder) {
    EXPECT_EQ(MethodName(FitMethod::Marquardt), "Marquardt");
    EXPECT_EQ(MethodName(FitMethod::Expansion), "Expansion");
    EXPECT_EQ(MethodName(FitMethod::Powell), "Powell");
    EXPECT_EQ(MethodName(FitMethod::GradientSearch), "Gradient-search");
    EXPECT_EQ(MethodName(FitMethod::All), "ALL");
}

}  // namespace
}  // namespace quillon
