// The Kestrel-Dune function, a sine that advances in nine steps of 40 degrees
// per cycle, and its six models (ids 3 to 8): free or fixed phase C, unsmoothed
// or smoothed over 5 or 7 adjacent points.
#pragma once

#include "models/model_function.h"

namespace quillon {

// Degrees to radians, for the fixed phase C chosen in degrees.
inline constexpr double kDegreesToRadians = 0.017453292519943295;

// KD(a, t, c) = sin(k*40deg + c), k = floor(9*f) with f the fraction of the
// cycle a*t/(2*pi) reached, taken from below for negative a*t.
double KD(double a, double t, double c);

// Id 3: A0*KD(A1, x + A2, A3).
class CKDModel : public CModelFunction {
  public:
    CKDModel(const double* x, const double* y, const double* w, int n, double er, int m = 4)
        : CModelFunction(x, y, w, n, er, m) {}
    ~CKDModel() override = default;
    double Value(double* params, double x) const override;
    int Estimate() override;
};

// Id 4: A0*KD(A1, x + A2, C) with C fixed (radians).
class CKDFixedCModel : public CModelFunction {
  public:
    CKDFixedCModel(const double* x, const double* y, const double* w, int n, double er,
                   double fixedCRadians, int m = 3)
        : CModelFunction(x, y, w, n, er, m), m_dFixedC(fixedCRadians) {}
    ~CKDFixedCModel() override = default;
    double Value(double* params, double x) const override;
    int Estimate() override;
    double FixedC() const { return m_dFixedC; }

  protected:
    double m_dFixedC;
};

// Id 5: id 3's curve, fitted as its 5-point smoothing. Value (and so the
// fitted-curve output) gives the unsmoothed steps.
class CSmoothedKD5Model : public CModelFunction {
  public:
    CSmoothedKD5Model(const double* x, const double* y, const double* w, int n, double er,
                      int m = 4);
    ~CSmoothedKD5Model() override = default;
    bool EvaluateAll(double* params) override;
    double Value(double* params, double x) const override;
    int Estimate() override;
};

// Id 6: id 4's curve, fitted as its 5-point smoothing.
class CSmoothedKD5FixedCModel : public CModelFunction {
  public:
    CSmoothedKD5FixedCModel(const double* x, const double* y, const double* w, int n, double er,
                            double fixedCRadians, int m = 3);
    ~CSmoothedKD5FixedCModel() override = default;
    bool EvaluateAll(double* params) override;
    double Value(double* params, double x) const override;
    int Estimate() override;
    double FixedC() const { return m_dFixedC; }

  protected:
    double m_dFixedC;
};

// Id 7: id 3's curve, fitted as its 7-point smoothing.
class CSmoothedKD7Model : public CModelFunction {
  public:
    CSmoothedKD7Model(const double* x, const double* y, const double* w, int n, double er,
                      int m = 4);
    ~CSmoothedKD7Model() override = default;
    bool EvaluateAll(double* params) override;
    double Value(double* params, double x) const override;
    int Estimate() override;
};

// Id 8: id 4's curve, fitted as its 7-point smoothing.
class CSmoothedKD7FixedCModel : public CModelFunction {
  public:
    CSmoothedKD7FixedCModel(const double* x, const double* y, const double* w, int n, double er,
                            double fixedCRadians, int m = 3);
    ~CSmoothedKD7FixedCModel() override = default;
    bool EvaluateAll(double* params) override;
    double Value(double* params, double x) const override;
    int Estimate() override;
    double FixedC() const { return m_dFixedC; }

  protected:
    double m_dFixedC;
};

}  // namespace quillon
