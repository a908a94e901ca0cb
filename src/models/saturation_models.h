// Saturation curves: Michaelis-Menten (id 21), the Hill models n = 2 to 6
// (ids 23 to 27) and the biased Hill model n = 2 (id 40).
#pragma once

#include "models/model_function.h"

namespace quillon {

// Id 21: A0/(A1/x + 1).
class CMichaelisMentenModel : public CModelFunction {
  public:
    CMichaelisMentenModel(const double* x, const double* y, const double* w, int n, double er,
                          int m)
        : CModelFunction(x, y, w, n, er, m) {}
    ~CMichaelisMentenModel() override = default;
    double Value(double* params, double x) const override;
    int Estimate() override;
};

// Id 23: A0/(A1/x^2 + 1).
class CHill2Model : public CModelFunction {
  public:
    CHill2Model(const double* x, const double* y, const double* w, int n, double er, int m)
        : CModelFunction(x, y, w, n, er, m) {}
    ~CHill2Model() override = default;
    double Value(double* params, double x) const override;
    int Estimate() override;
};

// Id 24: A0/(A1/x^3 + 1).
class CHill3Model : public CModelFunction {
  public:
    CHill3Model(const double* x, const double* y, const double* w, int n, double er, int m)
        : CModelFunction(x, y, w, n, er, m) {}
    ~CHill3Model() override = default;
    double Value(double* params, double x) const override;
    int Estimate() override;
};

// Id 25: A0/(A1/x^4 + 1).
class CHill4Model : public CModelFunction {
  public:
    CHill4Model(const double* x, const double* y, const double* w, int n, double er, int m)
        : CModelFunction(x, y, w, n, er, m) {}
    ~CHill4Model() override = default;
    double Value(double* params, double x) const override;
    int Estimate() override;
};

// Id 26: A0/(A1/x^5 + 1).
class CHill5Model : public CModelFunction {
  public:
    CHill5Model(const double* x, const double* y, const double* w, int n, double er, int m)
        : CModelFunction(x, y, w, n, er, m) {}
    ~CHill5Model() override = default;
    double Value(double* params, double x) const override;
    int Estimate() override;
};

// Id 27: A0/(A1/x^6 + 1).
class CHill6Model : public CModelFunction {
  public:
    CHill6Model(const double* x, const double* y, const double* w, int n, double er, int m)
        : CModelFunction(x, y, w, n, er, m) {}
    ~CHill6Model() override = default;
    double Value(double* params, double x) const override;
    int Estimate() override;
};

// Id 40: A0/(A1/(x - A2)^2 + 1) + A3.
class CHill2BiasedModel : public CModelFunction {
  public:
    CHill2BiasedModel(const double* x, const double* y, const double* w, int n, double er, int m)
        : CModelFunction(x, y, w, n, er, m) {}
    ~CHill2BiasedModel() override = default;
    double Value(double* params, double x) const override;
    int Estimate() override;
};

}  // namespace quillon
