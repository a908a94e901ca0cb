#include "models/kestrel_dune_models.h"

#include <cmath>
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

// After the range scan: A0, A1, A2 from the period guess and their steps;
// A3 = 0 when the model fits the phase.
void EstimateKD(const CModelFunction& model, std::span<double> a, std::span<double> s,
                bool fitsPhase) {
    const double er = model.ER();
    const double period = model.PeriodGuess();
    a[0] = (model.YMax() - model.YMin()) / 2;
    a[1] = kTwoPi / period;
    // The highest point falls a quarter cycle into a cycle.
    a[2] = WrapShift(period / 4 - model.XData()[model.YMaxIndex()], period);
    s[0] = a[0] * er;
    s[1] = a[1] * er * kFrequencyStepFactor;
    s[2] = period * er * kFrequencyStepFactor;
    if (fitsPhase) {
        a[3] = 0.0;
        s[3] = kTwoPi * er;
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

// Quadratic Savitzky-Golay smoothing over 5 points: weights -3, 12, 17, 12, -3 over 35.
template <typename Curve>
void SmoothFivePoints(std::span<const double> x, const Curve& curve, std::vector<double>& e,
                      std::vector<double>& s) {
    if (x.empty()) {
        return;
    }
    ExtendCurve(x, kHalfWindow5, curve, e);
    constexpr double kInv35 = 0.02857142857142857;
    for (std::size_t i = 0; i < x.size(); ++i) {
        s[i] = (17 * e[i + 2] + 12 * (e[i + 1] + e[i + 3]) - 3 * (e[i] + e[i + 4])) * kInv35;
    }
}

// Quadratic Savitzky-Golay smoothing over 7 points: weights -2, 3, 6, 7, 6, 3, -2 over 21.
template <typename Curve>
void SmoothSevenPoints(std::span<const double> x, const Curve& curve, std::vector<double>& e,
                       std::vector<double>& s) {
    if (x.empty()) {
        return;
    }
    ExtendCurve(x, kHalfWindow7, curve, e);
    constexpr double kInv21 = 0.047619047619047616;
    for (std::size_t i = 0; i < x.size(); ++i) {
        s[i] = (7 * e[i + 3] + 6 * (e[i + 2] + e[i + 4]) + 3 * (e[i + 1] + e[i + 5]) -
                2 * (e[i] + e[i + 6])) *
               kInv21;
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

double CKDModel::Value(double* params, double x) const {
    return KDCurve(params, x, params[3]);
}

int CKDModel::Estimate() {
    if (!ScanDataRanges()) {
        return -1;
    }
    EstimateKD(*this, m_pParams, m_pSteps, true);
    return 0;
}

double CKDFixedCModel::Value(double* params, double x) const {
    return KDCurve(params, x, m_dFixedC);
}

int CKDFixedCModel::Estimate() {
    if (!ScanDataRanges()) {
        return -1;
    }
    EstimateKD(*this, m_pParams, m_pSteps, false);
    return 0;
}

CSmoothedKD5Model::CSmoothedKD5Model(const double* x, const double* y, const double* w, int n,
                                     double er, int m)
    : CModelFunction(x, y, w, n, er, m) {
    m_pExtended.resize(ExtendedLength(n, kHalfWindow5));
    m_pPointValues.resize(Count());
}

bool CSmoothedKD5Model::EvaluateAll(double* params) {
    const double c = params[3];
    SmoothFivePoints(
        XData(), [params, c](double x) { return KDCurve(params, x, c); }, m_pExtended,
        m_pPointValues);
    return true;
}

double CSmoothedKD5Model::Value(double* params, double x) const {
    return KDCurve(params, x, params[3]);
}

int CSmoothedKD5Model::Estimate() {
    if (!ScanDataRanges()) {
        return -1;
    }
    EstimateKD(*this, m_pParams, m_pSteps, true);
    return 0;
}

CSmoothedKD5FixedCModel::CSmoothedKD5FixedCModel(const double* x, const double* y, const double* w,
                                                 int n, double er, double fixedCRadians, int m)
    : CModelFunction(x, y, w, n, er, m), m_dFixedC(fixedCRadians) {
    m_pExtended.resize(ExtendedLength(n, kHalfWindow5));
    m_pPointValues.resize(Count());
}

bool CSmoothedKD5FixedCModel::EvaluateAll(double* params) {
    const double c = m_dFixedC;
    SmoothFivePoints(
        XData(), [params, c](double x) { return KDCurve(params, x, c); }, m_pExtended,
        m_pPointValues);
    return true;
}

double CSmoothedKD5FixedCModel::Value(double* params, double x) const {
    return KDCurve(params, x, m_dFixedC);
}

int CSmoothedKD5FixedCModel::Estimate() {
    if (!ScanDataRanges()) {
        return -1;
    }
    EstimateKD(*this, m_pParams, m_pSteps, false);
    return 0;
}

CSmoothedKD7Model::CSmoothedKD7Model(const double* x, const double* y, const double* w, int n,
                                     double er, int m)
    : CModelFunction(x, y, w, n, er, m) {
    m_pExtended.resize(ExtendedLength(n, kHalfWindow7));
    m_pPointValues.resize(Count());
}

bool CSmoothedKD7Model::EvaluateAll(double* params) {
    const double c = params[3];
    SmoothSevenPoints(
        XData(), [params, c](double x) { return KDCurve(params, x, c); }, m_pExtended,
        m_pPointValues);
    return true;
}

double CSmoothedKD7Model::Value(double* params, double x) const {
    return KDCurve(params, x, params[3]);
}

int CSmoothedKD7Model::Estimate() {
    if (!ScanDataRanges()) {
        return -1;
    }
    EstimateKD(*this, m_pParams, m_pSteps, true);
    return 0;
}

CSmoothedKD7FixedCModel::CSmoothedKD7FixedCModel(const double* x, const double* y, const double* w,
                                                 int n, double er, double fixedCRadians, int m)
    : CModelFunction(x, y, w, n, er, m), m_dFixedC(fixedCRadians) {
    m_pExtended.resize(ExtendedLength(n, kHalfWindow7));
    m_pPointValues.resize(Count());
}

bool CSmoothedKD7FixedCModel::EvaluateAll(double* params) {
    const double c = m_dFixedC;
    SmoothSevenPoints(
        XData(), [params, c](double x) { return KDCurve(params, x, c); }, m_pExtended,
        m_pPointValues);
    return true;
}

double CSmoothedKD7FixedCModel::Value(double* params, double x) const {
    return KDCurve(params, x, m_dFixedC);
}

int CSmoothedKD7FixedCModel::Estimate() {
    if (!ScanDataRanges()) {
        return -1;
    }
    EstimateKD(*this, m_pParams, m_pSteps, false);
    return 0;
}

}  // namespace quillon
