// The catalogue as the lists show it: the 43 model functions, read from the
// model registry, and the five method choices.
#pragma once

#include <string>
#include <string_view>

#include "models/model_registry.h"
#include "records/fit_codes.h"

namespace quillon {

inline constexpr int kMethodCount = 5;

// Display string of a model id ("" outside 0..42). Each begins with a blank.
std::string_view ModelDisplayString(int modelId);

// Number of fitted parameters m of a model id (0 outside 0..42).
int ModelParamCount(int modelId);

// True for the two models solved in closed form.
bool IsLinearModel(int modelId);

constexpr bool IsValidModelId(int modelId) {
    return modelId >= 0 && modelId < kModelCount;
}

// The entry of the model combo box: "%2d) %s" from the id and display string.
std::string ModelComboEntry(int modelId);

// "Marquardt", "Expansion", "Powell", "Gradient-search", "ALL" ("" for
// any other value).
std::string_view MethodName(FitMethod method);

constexpr bool IsValidMethodId(int methodId) {
    return methodId >= 0 && methodId < kMethodCount;
}

}  // namespace quillon
