// Peaks: the Gaussians (ids 29, 30), the asymmetric Gaussians (ids 31, 32),
// the peak variants trimmed to the single peak, and Williams-Beens (id 33).
#pragma once

#include <span>

#include "models/model_function.h"

namespace quillon {

// Y level, relative to the peak, at which the width search stops: about
// exp(-1/2), the height of a Gaussian one standard deviation from its centre.
inline constexpr double kGaussianWidthLevel = 0.6065;

// Indices left and right of the peak where Y first falls below 0.6065 of the
// peak height (or the ends of the data).
struct WidthSearch {
    int left = 0;
    int right = 0;
};
WidthSearch GaussianWidthSearch(std::span<const double> y, int peak, double level);

// Id 29: A0*exp(-0.5*((x - A1)/A2)^2).
class CGaussianModel : public CModelFunction {
  public:
    CGaussianModel(const double* x, const double* y, const double* w, int n, double er, int m = 3)
        : CModelFunction(x, y, w, n, er, m) {}
    ~CGaussianModel() override = default;
    double Value(double* params, double x) const override;
    int Estimate() override;
    int HalfLeft() const { return m_iHalfLeft; }
    int HalfRight() const { return m_iHalfRight; }

  protected:
    int m_iHalfLeft = 0;
    int m_iHalfRight = 0;
};

// Id 30: id 29 fitted to the points from the valley before the peak to the
// valley after it.
class CGaussianPeakModel : public CModelFunction {
  public:
    CGaussianPeakModel(const double* x, const double* y, const double* w, int n, double er,
                       int m = 3)
        : CModelFunction(x, y, w, n, er, m) {}
    ~CGaussianPeakModel() override = default;
    double Value(double* params, double x) const override;
    int Estimate() override;
    int HalfLeft() const { return m_iHalfLeft; }
    int HalfRight() const { return m_iHalfRight; }

  protected:
    int m_iHalfLeft = 0;
    int m_iHalfRight = 0;
};

// Id 31: a Gaussian of width A2 left of the centre A1 and A3 right of it.
class CAsymGaussianModel : public CModelFunction {
  public:
    CAsymGaussianModel(const double* x, const double* y, const double* w, int n, double er,
                       int m = 4)
        : CModelFunction(x, y, w, n, er, m) {}
    ~CAsymGaussianModel() override = default;
    double Value(double* params, double x) const override;
    int Estimate() override;
    int HalfLeft() const { return m_iHalfLeft; }
    int HalfRight() const { return m_iHalfRight; }

  protected:
    int m_iHalfLeft = 0;
    int m_iHalfRight = 0;
};

// Id 32: id 31 fitted to the points from valley to valley around the peak.
class CAsymGaussianPeakModel : public CGaussianModel {
  public:
    CAsymGaussianPeakModel(const double* x, const double* y, const double* w, int n, double er,
                           int m = 4)
        : CGaussianModel(x, y, w, n, er, m) {}
    ~CAsymGaussianPeakModel() override = default;
    double Value(double* params, double x) const override;
    int Estimate() override;
};

// Id 33: A0*(x/A1)^A2 up to the peak position A1, A0*(x/A1)^A3 after it.
class CWilliamsBeensModel : public CModelFunction {
  public:
    CWilliamsBeensModel(const double* x, const double* y, const double* w, int n, double er,
                        int m = 4)
        : CModelFunction(x, y, w, n, er, m) {}
    ~CWilliamsBeensModel() override = default;
    double Value(double* params, double x) const override;
    int Estimate() override;
};

// The peak trim: iL, the end of the leading run of non-increasing Y, and iR,
// the start of the trailing run that does not increase read backwards. The
// peak variants keep only points iL..iR when they are at least three.
struct PeakRange {
    int first = 0;
    int last = -1;
    int Count() const { return last - first + 1; }
};
PeakRange FindPeakRange(std::span<const double> y);

}  // namespace quillon
