#include "models/model_factory.h"

#include <new>

#include "models/kestrel_dune_models.h"
#include "models/logistic_models.h"
#include "models/peak_models.h"
#include "models/period_sine_models.h"
#include "models/power_models.h"
#include "models/saturation_models.h"
#include "models/sawtooth_models.h"
#include "models/sine_models.h"

namespace quillon {

namespace {

std::unique_ptr<CModelFunction> BuildModel(int modelId, const double* x, const double* y,
                                           const double* w, int n, double er, double fixedC) {
    switch (modelId) {
        case 1:
            return std::make_unique<CSineShiftModel>(x, y, w, n, er);
        case 2:
            return std::make_unique<CSineShiftBiasedModel>(x, y, w, n, er);
        case 3:
            return std::make_unique<CKestrelDuneModel>(x, y, w, n, er, KDSmoothing::None,
                                                       std::nullopt);
        case 4:
            return std::make_unique<CKestrelDuneModel>(x, y, w, n, er, KDSmoothing::None, fixedC);
        case 5:
            return std::make_unique<CKestrelDuneModel>(x, y, w, n, er, KDSmoothing::FivePoints,
                                                       std::nullopt);
        case 6:
            return std::make_unique<CKestrelDuneModel>(x, y, w, n, er, KDSmoothing::FivePoints,
                                                       fixedC);
        case 7:
            return std::make_unique<CKestrelDuneModel>(x, y, w, n, er, KDSmoothing::SevenPoints,
                                                       std::nullopt);
        case 8:
            return std::make_unique<CKestrelDuneModel>(x, y, w, n, er, KDSmoothing::SevenPoints,
                                                       fixedC);
        case 10:
            return std::make_unique<CSineBiasedModel>(x, y, w, n, er);
        case 11:
            return std::make_unique<CSinePeriodModel>(x, y, w, n, er);
        case 12:
            return std::make_unique<CSinePeriodBiasedModel>(x, y, w, n, er);
        case 13:
            return std::make_unique<CDampedAfterModel>(x, y, w, n, er);
        case 14:
            return std::make_unique<CDampedAfterBiasedModel>(x, y, w, n, er);
        case 15:
            return std::make_unique<CDampedAfterSlopeModel>(x, y, w, n, er);
        case 16:
            return std::make_unique<CDampedSineModel>(x, y, w, n, er);
        case 17:
            return std::make_unique<CDampedSineBiasedModel>(x, y, w, n, er);
        case 18:
            return std::make_unique<CDampedSineSlopeModel>(x, y, w, n, er);
        case 19:
            return std::make_unique<CSawtoothModel>(x, y, w, n, er);
        case 20:
            return std::make_unique<CSawtoothSinusoidalModel>(x, y, w, n, er);
        case 21:
            return std::make_unique<CMichaelisMentenModel>(x, y, w, n, er);
        case 22:
            return std::make_unique<CLogisticModel>(x, y, w, n, er);
        case 23:
            return std::make_unique<CHill2Model>(x, y, w, n, er);
        case 24:
            return std::make_unique<CHill3Model>(x, y, w, n, er);
        case 25:
            return std::make_unique<CHill4Model>(x, y, w, n, er);
        case 26:
            return std::make_unique<CHill5Model>(x, y, w, n, er);
        case 27:
            return std::make_unique<CHill6Model>(x, y, w, n, er);
        case 29:
            return std::make_unique<CGaussianModel>(x, y, w, n, er);
        case 30:
            return std::make_unique<CGaussianPeakModel>(x, y, w, n, er);
        case 31:
            return std::make_unique<CAsymGaussianModel>(x, y, w, n, er);
        case 32:
            return std::make_unique<CAsymGaussianPeakModel>(x, y, w, n, er);
        case 33:
            return std::make_unique<CWilliamsBeensModel>(x, y, w, n, er);
        case 34:
            return std::make_unique<CBiasedPowerModel>(x, y, w, n, er);
        case 35:
            return std::make_unique<CSinePeriodBiasedModel>(x, y, w, n, er);
        case 36:
            return std::make_unique<CLogisticY0Model>(x, y, w, n, er);
        case 37:
            return std::make_unique<CLogisticGrowthModel>(x, y, w, n, er);
        case 38:
            return std::make_unique<CSigmoidModel>(x, y, w, n, er);
        case 39:
            return std::make_unique<CSigmoidScaledModel>(x, y, w, n, er);
        case 40:
            return std::make_unique<CHill2BiasedModel>(x, y, w, n, er);
        case 41:
            return std::make_unique<CSinePeriodLinearModel>(x, y, w, n, er);
        case 42:
            return std::make_unique<CExponentialModel>(x, y, w, n, er);
        default:
            return std::make_unique<CSineModel>(x, y, w, n, er);  // id 9 and any other
    }
}

}  // namespace

double FixedCRadians(double fixedCDegrees) {
    return fixedCDegrees * kDegreesToRadians;
}

std::unique_ptr<CModelFunction> CreateModel(int modelId, const double* x, const double* y,
                                            const double* w, int n, double er,
                                            double fixedCRadians) {
    try {
        return BuildModel(modelId, x, y, w, n, er, fixedCRadians);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

std::unique_ptr<CModelFunction> CreateAsymmetricSineStage(const double* x, const double* y,
                                                          const double* w, int n, double er) {
    try {
        return std::make_unique<CAsymmetricSineModel>(x, y, w, n, er);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace quillon
