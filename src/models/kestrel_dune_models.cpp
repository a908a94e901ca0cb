#include "models/kestrel_dune_models.h"

#include <cmath>
#include <optional>
#include <span>
#include <vector>

#include "models/estimate_steps.h"

namespace quillon {

namespace {

constexpr double kStepAngle = 0.6981317007977318;  // 40 degrees in radians
constexpr double kStepsPerCycle = 9.0;
// The estimate's steps for A1 and A2 are 100 times the usual relative step.
constexpr double kFrequencyStepFactor = 100.0;

// Extra positions computed on each side of the data for the smoothing.
constexpr int kHalfWindow5 = 2;
constexpr int kHalfWindow7 = 3;

double KDCurve(const double* a, double x, double c) {
    return a[0] * KD(a[1], x + a[2], c);
}

// After the range scan: A0, A1, A2 and their steps as for the shift-form
// sine, with the steps of A1 and A2 widened; A3 = 0 when the model fits the
// phase.
void EstimateKD(const CModelFunction& model, std::span<double> a, std::span<double> s,
                bool fitsPhase) {
    EstimateShiftForm(model, a, s);
    s[1] *= kFrequencyStepFactor;
    s[2] *= kFrequencyStepFactor;
    if (fitsPhase) {
        a[3] = 0.0;
        s[3] = kTwoPi * model.ER();
    }
}

std::size_t ExtendedLength(int n, int halfWindow) {
    return n > 0 ? static_cast<std::size_t>(n) + 2 * static_cast<std::size_t>(halfWindow) : 0;
}

// Fills e with curve at the points and at halfWindow positions extrapolated
// on each side with the spacing of the first two points.
template <typename Curve>
void ExtendCurve(std::span<const double> x, int halfWindow, const Curve& curve,
                 std::vector<double>& e) {
    const std::size_t n = x.size();
    const std::size_t h = static_cast<std::size_t>(halfWindow);
    // A single point has no spacing; its extrapolated positions coincide.
    const double delta = n >= 2 ? x[1] - x[0] : 0.0;
    for (std::size_t k = 0; k < h; ++k) {
        e[k] = curve(x[0] - static_cast<double>(h - k) * delta);
    }
    for (std::size_t i = 0; i < n; ++i) {
        e[i + h] = curve(x[i]);
    }
    for (std::size_t k = 1; k <= h; ++k) {
        e[n + h - 1 + k] = curve(x[n - 1] + static_cast<double>(k) * delta);
    }
}

// The quadratic Savitzky-Golay smoothings of the extended curve e at the
// centre of a window starting at e[0].
// Over 5 points: weights -3, 12, 17, 12, -3 over 35.
double SmoothFivePoints(std::span<const double> e) {
    constexpr double kInv35 = 0.02857142857142857;
    return (17 * e[2] + 12 * (e[1] + e[3]) - 3 * (e[0] + e[4])) * kInv35;
}

// Over 7 points: weights -2, 3, 6, 7, 6, 3, -2 over 21.
double SmoothSevenPoints(std::span<const double> e) {
    constexpr double kInv21 = 0.047619047619047616;
    return (7 * e[3] + 6 * (e[2] + e[4]) + 3 * (e[1] + e[5]) - 2 * (e[0] + e[6])) * kInv21;
}

int HalfWindow(KDSmoothing smoothing) {
    switch (smoothing) {
        case KDSmoothing::FivePoints:
            return kHalfWindow5;
        case KDSmoothing::SevenPoints:
            return kHalfWindow7;
        case KDSmoothing::None:
            break;
    }
    return 0;
}

// Fills s with the smoothing of curve at the points x, e with the extended
// curve it is computed from.
template <typename Curve, typename Smoothing>
void SmoothCurve(std::span<const double> x, int halfWindow, const Smoothing& smoothing,
                 const Curve& curve, std::vector<double>& e, std::span<double> s) {
    if (x.empty()) {
        return;
    }
    ExtendCurve(x, halfWindow, curve, e);
    const std::span<const double> extended = e;
    const std::size_t window = 2 * static_cast<std::size_t>(halfWindow) + 1;
    for (std::size_t i = 0; i < x.size(); ++i) {
        s[i] = smoothing(extended.subspan(i, window));
    }
}

}  // namespace

double KD(double a, double t, double c) {
    const double u = a * t * kInvTwoPi;
    const double f = u - std::floor(u);
    // The step stays a double: no integer conversion of a NaN fraction.
    const double k = std::floor(kStepsPerCycle * f);
    return std::sin(k * kStepAngle + c);
}

CKestrelDuneModel::CKestrelDuneModel(const double* x, const double* y, const double* w, int n,
                                     double er, KDSmoothing smoothing,
                                     std::optional<double> fixedCRadians)
    : CModelFunction(x, y, w, n, er, fixedCRadians ? 3 : 4),
      m_eSmoothing(smoothing),
      m_oFixedC(fixedCRadians) {
    if (smoothing != KDSmoothing::None) {
        m_pExtended.resize(ExtendedLength(n, HalfWindow(smoothing)));
        AssignPoints(m_pPointValues, Count(), 0.0);
    }
}

bool CKestrelDuneModel::EvaluateAll(double* params) {
    if (m_eSmoothing == KDSmoothing::None) {
        return CModelFunction::EvaluateAll(params);
    }
    const double c = Phase(params);
    const auto curve = [params, c](double x) { return KDCurve(params, x, c); };
    if (m_eSmoothing == KDSmoothing::FivePoints) {
        SmoothCurve(XData(), kHalfWindow5, SmoothFivePoints, curve, m_pExtended, m_pPointValues);
    } else {
        SmoothCurve(XData(), kHalfWindow7, SmoothSevenPoints, curve, m_pExtended, m_pPointValues);
    }
    return true;
}

double CKestrelDuneModel::Value(double* params, double x) const {
    return KDCurve(params, x, Phase(params));
}

int CKestrelDuneModel::Estimate() {
    if (!ScanDataRanges()) {
        return -1;
    }
    EstimateKD(*this, m_pParams, m_pSteps, !m_oFixedC);
    return 0;
}

}  // namespace quillon
