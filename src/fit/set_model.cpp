#include "fit/set_model.h"

#include <algorithm>
#include <span>

#include "models/formula_model.h"
#include "models/model_factory.h"
#include "models/model_registry.h"

namespace quillon {

std::unique_ptr<CModelFunction> BuildModel(const FitSettings& settings, const double* x,
                                           const double* y, const double* w, int n, double er) {
    if (!settings.formula.empty()) {
        return CreateFormulaModel(settings.formula, x, y, w, n, er);
    }
    return CreateModel(settings.modelId, x, y, w, n, er, FixedCRadians(settings.fixedCDegrees));
}

std::unique_ptr<CModelFunction> BuildSecondStage(int modelId, CModelFunction& first,
                                                 const double* x, const double* y, const double* w,
                                                 int n, double er) {
    std::unique_ptr<CModelFunction> second = CreateSecondStage(modelId, x, y, w, n, er);
    if (!second) {
        return nullptr;
    }
    const std::span<double> firstParams = first.Params();
    second->SetParams(firstParams.data(), static_cast<int>(firstParams.size()));
    std::copy(second->Params().begin(), second->Params().end(), second->SavedParams().begin());
    std::copy(second->Steps().begin(), second->Steps().end(), second->SavedSteps().begin());
    return second;
}

std::unique_ptr<CModelFunction> BuildEstimatedModel(const FitSettings& settings, const double* x,
                                                    const double* y, const double* w, int n) {
    const double er = settings.convergence.ER();
    std::unique_ptr<CModelFunction> model = BuildModel(settings, x, y, w, n, er);
    if (!model || model->Init() == -1) {
        return nullptr;
    }
    const ModelEntry* entry = settings.formula.empty() ? FindModel(settings.modelId) : nullptr;
    if (entry != nullptr && entry->secondStage != nullptr) {
        return BuildSecondStage(settings.modelId, *model, x, y, w, n, er);
    }
    return model;
}

}  // namespace quillon
