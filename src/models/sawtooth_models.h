// Sawtooth waves (ids 19, 20): A0 height, A1 period, A2 the X where a tooth
// starts, A3 the X of its top, A4 the base level; straight or sinusoidal flanks.
#pragma once

#include "models/model_function.h"

namespace quillon {

// Makes the period positive and moves the top A3 by whole periods until it is
// not before the start A2. Bounded: never loops without end.
void NormaliseSawtooth(double* params);

// Id 19: straight rising and falling flanks.
class CSawtoothModel : public CModelFunction {
  public:
    CSawtoothModel(const double* x, const double* y, const double* w, int n, double er, int m)
        : CModelFunction(x, y, w, n, er, m) {}
    ~CSawtoothModel() override = default;
    // Normalises params in place first.
    double Value(double* params, double x) const override;
    bool ValueIsThreadSafe() const override { return false; }
    int Estimate() override;
};

// Id 20: half-sine flanks.
class CSawtoothSinusoidalModel : public CModelFunction {
  public:
    CSawtoothSinusoidalModel(const double* x, const double* y, const double* w, int n, double er,
                             int m)
        : CModelFunction(x, y, w, n, er, m) {}
    ~CSawtoothSinusoidalModel() override = default;
    // Normalises params in place first.
    double Value(double* params, double x) const override;
    bool ValueIsThreadSafe() const override { return false; }
    int Estimate() override;
};

}  // namespace quillon
