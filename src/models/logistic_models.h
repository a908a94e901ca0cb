// Logistic curves (ids 22, 36, 37) and biased sigmoids (ids 38, 39).
#pragma once

#include "models/model_function.h"

namespace quillon {

// Id 22: A0/(A1*exp(-A2*x) + 1).
class CLogisticModel : public CModelFunction {
  public:
    CLogisticModel(const double* x, const double* y, const double* w, int n, double er, int m)
        : CModelFunction(x, y, w, n, er, m) {}
    ~CLogisticModel() override = default;
    double Value(double* params, double x) const override;
    int Estimate() override;
};

// Id 36: (A0*Y0)/((A0 - Y0)*exp(-A1*x) + Y0), Y0 the Y of the first point.
class CLogisticY0Model : public CModelFunction {
  public:
    CLogisticY0Model(const double* x, const double* y, const double* w, int n, double er, int m)
        : CModelFunction(x, y, w, n, er, m) {}
    ~CLogisticY0Model() override = default;
    double Value(double* params, double x) const override;
    int Estimate() override;
};

// Id 37: A0*A1*e/((e - 1)*A1 + A0) with e = exp(A2*x).
class CLogisticGrowthModel : public CModelFunction {
  public:
    CLogisticGrowthModel(const double* x, const double* y, const double* w, int n, double er, int m)
        : CModelFunction(x, y, w, n, er, m) {}
    ~CLogisticGrowthModel() override = default;
    double Value(double* params, double x) const override;
    int Estimate() override;
};

// Id 38: A0/(exp(A2 - x) + A1) + A3.
class CSigmoidModel : public CModelFunction {
  public:
    CSigmoidModel(const double* x, const double* y, const double* w, int n, double er, int m)
        : CModelFunction(x, y, w, n, er, m) {}
    ~CSigmoidModel() override = default;
    double Value(double* params, double x) const override;
    int Estimate() override;
};

// Id 39: A0/(exp((A2 - x)/A4) + A1) + A3.
class CSigmoidScaledModel : public CModelFunction {
  public:
    CSigmoidScaledModel(const double* x, const double* y, const double* w, int n, double er, int m)
        : CModelFunction(x, y, w, n, er, m) {}
    ~CSigmoidScaledModel() override = default;
    double Value(double* params, double x) const override;
    int Estimate() override;
};

}  // namespace quillon
