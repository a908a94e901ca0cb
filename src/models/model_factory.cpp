#include "models/model_factory.h"

#include <new>

#include "models/kestrel_dune_models.h"
#include "models/model_registry.h"

namespace quillon {
namespace {

constexpr int kFallbackModelId = 9;  // the plain sine, built for ids without a model

std::unique_ptr<CModelFunction> BuildGuarded(ModelBuilder build, const ModelData& data) {
    try {
        return build(data);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace

double FixedCRadians(double fixedCDegrees) {
    return fixedCDegrees * kDegreesToRadians;
}

std::unique_ptr<CModelFunction> CreateModel(int modelId, const double* x, const double* y,
                                            const double* w, int n, double er,
                                            double fixedCRadians) {
    const ModelEntry* entry = FindModel(modelId);
    if (entry == nullptr || entry->build == nullptr) {
        entry = FindModel(kFallbackModelId);
    }
    return BuildGuarded(entry->build, {x, y, w, n, er, fixedCRadians});
}

std::unique_ptr<CModelFunction> CreateSecondStage(int modelId, const double* x, const double* y,
                                                  const double* w, int n, double er) {
    const ModelEntry* entry = FindModel(modelId);
    if (entry == nullptr || entry->secondStage == nullptr) {
        return nullptr;
    }
    return BuildGuarded(entry->secondStage, {x, y, w, n, er, 0.0});
}

}  // namespace quillon
