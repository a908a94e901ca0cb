#include "models/catalogue.h"

#include <array>

#include "records/number_format.h"

namespace quillon {
namespace {

constexpr std::array<std::string_view, kMethodCount> kMethods{"Marquardt", "Expansion", "Powell",
                                                              "Gradient-search", "ALL"};

}  // namespace

std::string_view ModelDisplayString(int modelId) {
    const ModelEntry* entry = FindModel(modelId);
    return entry != nullptr ? entry->display : std::string_view{};
}

int ModelParamCount(int modelId) {
    const ModelEntry* entry = FindModel(modelId);
    return entry != nullptr ? entry->paramCount : 0;
}

bool IsLinearModel(int modelId) {
    const ModelEntry* entry = FindModel(modelId);
    return entry != nullptr && entry->closedForm != ClosedForm::None;
}

std::string ModelComboEntry(int modelId) {
    return Sprintf("%2d) %s", modelId, ModelDisplayString(modelId));
}

std::string_view MethodName(FitMethod method) {
    const int methodId = static_cast<int>(method);
    return IsValidMethodId(methodId) ? kMethods[static_cast<std::size_t>(methodId)]
                                     : std::string_view{};
}

}  // namespace quillon
