// Sines in phase form (ids 9, 10), in shift form (ids 1, 2) and the damped
// sines built on the shift form (ids 16, 17, 18).
#pragma once

#include "models/model_function.h"

namespace quillon {

// Id 9: A0*sin(A1*x + A2).
class CSineModel : public CModelFunction {
  public:
    CSineModel(const double* x, const double* y, const double* w, int n, double er, int m)
        : CModelFunction(x, y, w, n, er, m) {}
    ~CSineModel() override = default;
    double Value(double* params, double x) const override;
    int Estimate() override;
};

// Id 10: A0*sin(A1*x + A2) + A3.
class CSineBiasedModel : public CModelFunction {
  public:
    CSineBiasedModel(const double* x, const double* y, const double* w, int n, double er, int m)
        : CModelFunction(x, y, w, n, er, m) {}
    ~CSineBiasedModel() override = default;
    double Value(double* params, double x) const override;
    int Estimate() override;
};

// Id 1: A0*sin(A1*(x + A2)).
class CSineShiftModel : public CModelFunction {
  public:
    CSineShiftModel(const double* x, const double* y, const double* w, int n, double er, int m)
        : CModelFunction(x, y, w, n, er, m) {}
    ~CSineShiftModel() override = default;
    double Value(double* params, double x) const override;
    int Estimate() override;
};

// Id 2: A0*sin(A1*(x + A2)) + A3.
class CSineShiftBiasedModel : public CModelFunction {
  public:
    CSineShiftBiasedModel(const double* x, const double* y, const double* w, int n, double er,
                          int m)
        : CModelFunction(x, y, w, n, er, m) {}
    ~CSineShiftBiasedModel() override = default;
    double Value(double* params, double x) const override;
    int Estimate() override;
};

// Id 16: A0*sin(A1*(x + A2))*exp(-x/A3).
class CDampedSineModel : public CModelFunction {
  public:
    CDampedSineModel(const double* x, const double* y, const double* w, int n, double er, int m)
        : CModelFunction(x, y, w, n, er, m) {}
    ~CDampedSineModel() override = default;
    double Value(double* params, double x) const override;
    int Estimate() override;
};

// Id 17: A0*sin(A1*(x + A2))*exp(-x/A3) + A4.
class CDampedSineBiasedModel : public CSineShiftModel {
  public:
    CDampedSineBiasedModel(const double* x, const double* y, const double* w, int n, double er,
                           int m)
        : CSineShiftModel(x, y, w, n, er, m) {}
    ~CDampedSineBiasedModel() override = default;
    double Value(double* params, double x) const override;
    int Estimate() override;
};

// Id 18: A0*sin(A1*(x + A2))*exp(-x/A3) + A4 + A5*x.
class CDampedSineSlopeModel : public CDampedSineModel {
  public:
    CDampedSineSlopeModel(const double* x, const double* y, const double* w, int n, double er,
                          int m)
        : CDampedSineModel(x, y, w, n, er, m) {}
    ~CDampedSineSlopeModel() override = default;
    double Value(double* params, double x) const override;
    int Estimate() override;
};

}  // namespace quillon
