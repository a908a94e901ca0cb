#include "fit/convergence.h"

#include "records/number_format.h"

namespace quillon {
namespace {

bool InRange(double value, double low, double high) {
    return value >= low && value <= high;
}

ConvergenceError RangeError(ConvergenceField field, const char* name, double low, double high) {
    return {field, Sprintf("%s: enter a number between %lg and %lg.", name, low, high)};
}

}  // namespace

std::optional<ConvergenceError> ValidateConvergence(const ConvergenceSettings& settings) {
    if (!InRange(settings.chi_cut, kChiCutMin, kChiCutMax)) {
        return RangeError(ConvergenceField::ChiCut, "chi_cut", kChiCutMin, kChiCutMax);
    }
    if (!InRange(settings.ChisqDof_Lim, kChisqDofLimMin, kChisqDofLimMax)) {
        return RangeError(ConvergenceField::ChisqDofLim, "ChisqDof_Lim", kChisqDofLimMin,
                          kChisqDofLimMax);
    }
    if (settings.n_cut < kNCutMin || settings.n_cut > kNCutMax) {
        return ConvergenceError{
            ConvergenceField::NCut,
            Sprintf("n_cut: enter an integer between %d and %d.", kNCutMin, kNCutMax)};
    }
    if (!InRange(settings.f_ER, kFErMin, kFErMax)) {
        return RangeError(ConvergenceField::FEr, "f_ER", kFErMin, kFErMax);
    }
    return std::nullopt;
}

}  // namespace quillon
