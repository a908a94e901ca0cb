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

// Base of the Gaussians (ids 29 to 32), which share their estimate: after the
// range scan, the height A0 and the centre A1 at the highest point, then the
// widths from the width search around it.
class CGaussianFamilyModel : public CModelFunction {
  public:
    ~CGaussianFamilyModel() override = default;
    int Estimate() override;

  protected:
    CGaussianFamilyModel(const double* x, const double* y, const double* w, int n, double er, int m)
        : CModelFunction(x, y, w, n, er, m) {}
    // The widths and the steps other than A0's, once A0 and A1 are set.
    virtual void EstimateWidths(const WidthSearch& width) = 0;
};

// Id 29: A0*exp(-0.5*((x - A1)/A2)^2).
class CGaussianModel : public CGaussianFamilyModel {
  public:
    CGaussianModel(const double* x, const double* y, const double* w, int n, double er)
        : CGaussianFamilyModel(x, y, w, n, er, 3) {}
    ~CGaussianModel() override = default;
    double Value(double* params, double x) const override;

  protected:
    void EstimateWidths(const WidthSearch& width) override;
};

// Id 30: id 29 fitted to the points from the valley before the peak to the
// valley after it.
class CGaussianPeakModel : public CGaussianModel {
  public:
    CGaussianPeakModel(const double* x, const double* y, const double* w, int n, double er)
        : CGaussianModel(x, y, w, n, er) {}
    ~CGaussianPeakModel() override = default;
    // The peak trim, then id 29's estimate on the points kept.
    int Estimate() override;
};

// Id 31: a Gaussian of width A2 left of the centre A1 and A3 right of it.
class CAsymGaussianModel : public CGaussianFamilyModel {
  public:
    CAsymGaussianModel(const double* x, const double* y, const double* w, int n, double er)
        : CGaussianFamilyModel(x, y, w, n, er, 4) {}
    ~CAsymGaussianModel() override = default;
    double Value(double* params, double x) const override;

  protected:
    void EstimateWidths(const WidthSearch& width) override;
};

// Id 32: id 31 fitted to the points from valley to valley around the peak.
class CAsymGaussianPeakModel : public CAsymGaussianModel {
  public:
    CAsymGaussianPeakModel(const double* x, const double* y, const double* w, int n, double er)
        : CAsymGaussianModel(x, y, w, n, er) {}
    ~CAsymGaussianPeakModel() override = default;
    // The peak trim, then id 31's estimate on the points kept.
    int Estimate() override;
};

// Id 33: A0*(x/A1)^A2 up to the peak position A1, A0*(x/A1)^A3 after it.
class CWilliamsBeensModel : public CModelFunction {
  public:
    CWilliamsBeensModel(const double* x, const double* y, const double* w, int n, double er, int m)
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
