#include "models/model_function.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "models/estimate_steps.h"

namespace quillon {

namespace {

std::size_t ArrayLength(int count) {
    return count > 0 ? static_cast<std::size_t>(count) : 0;
}

}  // namespace

CModelFunction::CModelFunction(const double* x, const double* y, const double* w, int n, double er,
                               int m)
    : m_nParams(m),
      m_pParams(ArrayLength(m)),
      m_pSavedParams(ArrayLength(m)),
      m_pSteps(ArrayLength(m)),
      m_pSavedSteps(ArrayLength(m)),
      m_dER(er),
      m_nPoints(n),
      m_pX(x),
      m_pY(y),
      m_pW(w) {}

CModelFunction::~CModelFunction() = default;

bool CModelFunction::EvaluateAll(double* /*params*/) {
    return false;
}

int CModelFunction::ParamCount() const {
    return m_nParams;
}

int CModelFunction::PointCount() const {
    return m_nPoints;
}

int CModelFunction::DegreesOfFreedom() const {
    return m_nPoints - m_nParams;
}

std::span<double> CModelFunction::Params() {
    return m_pParams;
}

std::span<double> CModelFunction::SavedParams() {
    return m_pSavedParams;
}

std::span<double> CModelFunction::Steps() {
    return m_pSteps;
}

std::span<double> CModelFunction::SavedSteps() {
    return m_pSavedSteps;
}

double CModelFunction::PointValue(int i) const {
    if (i < 0 || static_cast<std::size_t>(i) >= m_pPointValues.size()) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    return m_pPointValues[static_cast<std::size_t>(i)];
}

std::span<double> CModelFunction::PointValueBuffer() {
    if (m_pPointValues.size() != Count()) {
        AssignPoints(m_pPointValues, Count(), 0.0);
    }
    return m_pPointValues;
}

double CModelFunction::ValueAt(double x) {
    return Value(m_pParams.data(), x);
}

int CModelFunction::SetParams(const double* values, int count) {
    if (Estimate() == -1) {
        return -1;
    }
    const int taken = std::max(0, std::min(m_nParams, count));
    std::copy(values, values + taken, m_pParams.begin());
    return 0;
}

int CModelFunction::Estimate() {
    return 0;
}

int CModelFunction::Init() {
    if (Estimate() == -1) {
        return -1;
    }
    FixSteps();
    m_pSavedParams = m_pParams;
    m_pSavedSteps = m_pSteps;
    return 0;
}

void CModelFunction::Restore() {
    m_pParams = m_pSavedParams;
    m_pSteps = m_pSavedSteps;
}

void CModelFunction::FixSteps() {
    // A step is a finite-difference increment, and a negative one (from a
    // negative estimate times ER) works as well as a positive one. Raising it
    // to 2^-52 instead would leave a parameter of magnitude 2 or more
    // unchanged by its step and every fit of it singular. So only steps
    // smaller in magnitude than 2^-52, and NaN, are raised.
    for (double& step : m_pSteps) {
        if (!(std::fabs(step) >= kMinStep)) {
            step = kMinStep;
        }
    }
}

int CModelFunction::PreFit(std::string& /*log*/, const MarquardtRunner& /*runMarquardt*/) {
    return 0;
}

bool CModelFunction::ValuesAndGradients(const double* /*params*/, std::span<double> /*values*/,
                                        std::span<double> /*gradients*/) {
    return false;
}

bool CModelFunction::ScanDataRanges() {
    if (m_nPoints <= 0) {
        return false;
    }
    const Extremes x = RangeScan(XData());
    m_dXMin = x.min;
    m_dXMax = x.max;
    m_iXMin = x.iMin;
    m_iXMax = x.iMax;
    const Extremes y = RangeScan(YData());
    SetYRange(y.min, y.max, y.iMin, y.iMax);
    return !x.Flat() && !y.Flat();
}

void CModelFunction::SetYRange(double yMin, double yMax, int iYMin, int iYMax) {
    m_dYMin = yMin;
    m_dYMax = yMax;
    m_iYMin = iYMin;
    m_iYMax = iYMax;
}

double CModelFunction::PeriodGuess() const {
    if (Count() == 0) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    return PeriodFromHalfDistance(std::fabs(m_pX[m_iYMax] - m_pX[m_iYMin]));
}

void CModelFunction::NarrowPoints(int first, int last) {
    m_pX += first;
    m_pY += first;
    if (m_pW != nullptr) {
        m_pW += first;
    }
    m_nPoints = last - first + 1;
}

}  // namespace quillon
