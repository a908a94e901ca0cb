#include "models/peak_models.h"

#include <cmath>

namespace quillon {

namespace {

// The peak variants fit only a valley-to-valley range of at least this many points.
constexpr int kMinTrimmedPoints = 3;

double Gaussian(double height, double centre, double width, double x) {
    return height * std::exp(-0.5 * std::pow((x - centre) / width, 2));
}

double AsymGaussian(const double* a, double x) {
    const double width = x <= a[1] ? a[2] : a[3];
    return Gaussian(a[0], a[1], width, x);
}

// The height A0 and the centre A1 at the highest point, and the step of A0.
void EstimateHeightAndCentre(const CModelFunction& model, std::span<double> a,
                             std::span<double> s) {
    a[0] = model.YMax();
    a[1] = model.XData()[model.YMaxIndex()];
    s[0] = a[0] * model.ER();
}

// Half the X distance between the two ends of the width search.
double HalfWidth(std::span<const double> x, const WidthSearch& width) {
    return std::fabs(x[width.right] - x[width.left]) / 2;
}

}  // namespace

WidthSearch GaussianWidthSearch(std::span<const double> y, int peak, double level) {
    const int n = static_cast<int>(y.size());
    WidthSearch w{0, n - 1};
    if (peak >= 2) {
        w.left = 0;
        for (int i = peak - 1; i >= 0; --i) {
            if (y[static_cast<std::size_t>(i)] < level) {
                w.left = i;
                break;
            }
        }
    }
    if (peak <= n - 3) {
        for (int i = peak + 1; i <= n - 1; ++i) {
            if (y[static_cast<std::size_t>(i)] < level) {
                w.right = i;
                break;
            }
        }
    }
    return w;
}

void CModelFunction::NarrowToPeak() {
    const PeakRange range = FindPeakRange(YData());
    if (range.Count() >= kMinTrimmedPoints) {
        NarrowPoints(range.first, range.last);
    }
}

PeakRange FindPeakRange(std::span<const double> y) {
    const int n = static_cast<int>(y.size());
    PeakRange r{0, n - 1};
    for (int i = 1; i < n && y[static_cast<std::size_t>(i)] <= y[static_cast<std::size_t>(i - 1)];
         ++i) {
        r.first = i;
    }
    for (int i = n - 2;
         i >= 1 && y[static_cast<std::size_t>(i)] <= y[static_cast<std::size_t>(i + 1)]; --i) {
        r.last = i;
    }
    return r;
}

int CGaussianFamilyModel::Estimate() {
    if (!ScanDataRanges()) {
        return -1;
    }
    EstimateHeightAndCentre(*this, m_pParams, m_pSteps);
    EstimateWidths(GaussianWidthSearch(YData(), YMaxIndex(), kGaussianWidthLevel * m_pParams[0]));
    return 0;
}

double CGaussianModel::Value(double* params, double x) const {
    return Gaussian(params[0], params[1], params[2], x);
}

void CGaussianModel::EstimateWidths(const WidthSearch& width) {
    m_pParams[2] = HalfWidth(XData(), width);
    m_pSteps[1] = m_pParams[2] * m_dER;
    m_pSteps[2] = m_pParams[2] * m_dER;
}

int CGaussianPeakModel::Estimate() {
    NarrowToPeak();
    return CGaussianModel::Estimate();
}

double CAsymGaussianModel::Value(double* params, double x) const {
    return AsymGaussian(params, x);
}

void CAsymGaussianModel::EstimateWidths(const WidthSearch& width) {
    const std::span<const double> x = XData();
    const double xPeak = x[YMaxIndex()];
    m_pSteps[1] = HalfWidth(x, width) * m_dER;
    m_pParams[2] = std::fabs(xPeak - x[width.left]);
    m_pParams[3] = std::fabs(x[width.right] - xPeak);
    m_pSteps[2] = m_pParams[2] * m_dER;
    m_pSteps[3] = m_pParams[3] * m_dER;
}

int CAsymGaussianPeakModel::Estimate() {
    NarrowToPeak();
    return CAsymGaussianModel::Estimate();
}

double CWilliamsBeensModel::Value(double* params, double x) const {
    const double exponent = x <= params[1] ? params[2] : params[3];
    return params[0] * std::pow(x / params[1], exponent);
}

int CWilliamsBeensModel::Estimate() {
    if (!ScanDataRanges()) {
        return -1;
    }
    EstimateHeightAndCentre(*this, m_pParams, m_pSteps);
    m_pParams[2] = 2.0;   // rising as a square
    m_pParams[3] = -1.0;  // falling as 1/x
    m_pSteps[1] = m_pSteps[2] = m_pSteps[3] = 2 * m_dER;
    return 0;
}

}  // namespace quillon
