// The biased power curve (id 34) and the exponential with a length constant (id 42).
#pragma once

#include "models/model_function.h"

namespace quillon {

// Id 34: A0 + A1*x^A2.
class CBiasedPowerModel : public CModelFunction {
  public:
    CBiasedPowerModel(const double* x, const double* y, const double* w, int n, double er, int m)
        : CModelFunction(x, y, w, n, er, m) {}
    ~CBiasedPowerModel() override = default;
    double Value(double* params, double x) const override;
    int Estimate() override;
};

// Id 42: A0*exp(x/A1); a decay has a negative length A1.
class CExponentialModel : public CModelFunction {
  public:
    CExponentialModel(const double* x, const double* y, const double* w, int n, double er, int m)
        : CModelFunction(x, y, w, n, er, m) {}
    ~CExponentialModel() override = default;
    double Value(double* params, double x) const override;
    int Estimate() override;
};

}  // namespace quillon
