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

double ModelChiSquare(CModelFunction& model, double* p, std::vector<double>& r) {
    const std::span<const double> x = model.XData();
    const std::span<const double> y = model.YData();
    const std::span<const double> w = model.WData();
    r.resize(y.size());
    const bool all = model.EvaluateAll(p);
    const std::span<const double> values = model.PointValues();
    double sum = 0.0;
    for (std::size_t i = 0; i < y.size(); ++i) {
        const double f = all ? values[i] : model.Value(p, x[i]);
        r[i] = (f - y[i]) * (w.empty() ? 1.0 : w[i]);
        sum += r[i] * r[i];
    }
    return sum;
}

}  // namespace quillon
