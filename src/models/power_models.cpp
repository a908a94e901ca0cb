#include "models/power_models.h"

#include <cmath>

namespace quillon {

namespace {

// A relative step that stays usable for a parameter at or near 0.
double StepNearZero(double value, double er) {
    return std::fabs(value) <= kFltMin ? er * kFltMin : er * value;
}

}  // namespace

double CBiasedPowerModel::Value(double* params, double x) const {
    return params[0] + params[1] * std::pow(x, params[2]);
}

int CBiasedPowerModel::Estimate() {
    if (!ScanDataRanges()) {
        return -1;
    }
    // Start from the unweighted straight line through all points (A2 = 1).
    double sx = 0.0;
    double sy = 0.0;
    double sxx = 0.0;
    double sxy = 0.0;
    for (int i = 0; i < m_nPoints; ++i) {
        sx += m_pX[i];
        sy += m_pY[i];
        sxx += m_pX[i] * m_pX[i];
        sxy += m_pX[i] * m_pY[i];
    }
    const double n = m_nPoints;
    const double d = n * sxx - sx * sx;
    if (d == 0) {
        return -1;
    }
    m_pParams[0] = (sy * sxx - sxy * sx) / d;
    m_pParams[1] = (n * sxy - sy * sx) / d;
    m_pParams[2] = 1.0;
    m_pSteps[0] = StepNearZero(m_pParams[0], m_dER);
    m_pSteps[1] = StepNearZero(m_pParams[1], m_dER);
    m_pSteps[2] = m_dER;
    return 0;
}

double CExponentialModel::Value(double* params, double x) const {
    return params[0] * std::exp(x / params[1]);
}

int CExponentialModel::Estimate() {
    if (!ScanDataRanges()) {
        return -1;
    }
    m_pParams[0] = m_pY[0];
    const bool rises = m_pY[m_nPoints - 1] > m_pY[0];
    m_pParams[1] = rises ? m_dXMax - m_dXMin : m_dXMin - m_dXMax;
    m_pSteps[0] = (m_dYMax - m_dYMin) * m_dER;
    m_pSteps[1] = (m_dXMax - m_dXMin) * m_dER;
    return 0;
}

}  // namespace quillon
