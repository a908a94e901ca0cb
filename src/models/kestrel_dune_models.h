// The Kestrel-Dune function, a sine that advances in nine steps of 40 degrees
// per cycle, and its six models (ids 3 to 8): free or fixed phase C, unsmoothed
// or smoothed over 5 or 7 adjacent points.
#pragma once

#include <optional>

#include "models/model_function.h"

namespace quillon {

// Degrees to radians, for the fixed phase C chosen in degrees.
inline constexpr double kDegreesToRadians = 0.017453292519943295;

// KD(a, t, c) = sin(k*40deg + c), k = floor(9*f) with f the fraction of the
// cycle a*t/(2*pi) reached, taken from below for negative a*t.
double KD(double a, double t, double c);

// How the Kestrel-Dune models fit the curve: as it is, or as its quadratic
// Savitzky-Golay smoothing over 5 or 7 adjacent points.
enum class KDSmoothing { None, FivePoints, SevenPoints };

// Ids 3 to 8: A0*KD(A1, x + A2, C), with C = A3 (4 parameters) or a fixed C
// in radians (3 parameters). A smoothed model fits the smoothing of the curve
// at the points; its Value (and so the fitted-curve output) gives the
// unsmoothed steps.
//   id 3: unsmoothed, free C     id 4: unsmoothed, fixed C
//   id 5: 5 points, free C       id 6: 5 points, fixed C
//   id 7: 7 points, free C       id 8: 7 points, fixed C
class CKestrelDuneModel : public CModelFunction {
  public:
    CKestrelDuneModel(const double* x, const double* y, const double* w, int n, double er,
                      KDSmoothing smoothing, std::optional<double> fixedCRadians);
    ~CKestrelDuneModel() override = default;
    // The smoothed curve at the points; false (point by point) when unsmoothed.
    bool EvaluateAll(double* params) override;
    double Value(double* params, double x) const override;
    int Estimate() override;
    KDSmoothing Smoothing() const { return m_eSmoothing; }
    std::optional<double> FixedC() const { return m_oFixedC; }

  private:
    // C: the fixed phase, or A3 when the model fits it.
    double Phase(const double* params) const { return m_oFixedC ? *m_oFixedC : params[3]; }

    KDSmoothing m_eSmoothing;
    std::optional<double> m_oFixedC;
};

}  // namespace quillon
