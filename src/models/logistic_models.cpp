#include "models/logistic_models.h"

#include <cmath>
#include <limits>
#include <optional>
#include <span>

#include "models/estimate_steps.h"

namespace quillon {

namespace {

// The rate that turns a ratio into the half-rise point, ln(ratio)/x_half; or,
// without a half-rise point, 2 over the X range.
double GrowthRate(const CModelFunction& model, double ratio) {
    const std::optional<double> xHalf = HalfRisePoint(model.XData(), model.YData(), model.YMax());
    if (xHalf) {
        return std::log(ratio) / *xHalf;
    }
    return 2 / (model.XMax() - model.XMin());
}

// Both sigmoids: twice the Y range over a unit denominator, centred on the X
// range, biased by the smallest Y.
void EstimateSigmoid(const CModelFunction& model, std::span<double> a, std::span<double> s) {
    const double er = model.ER();
    a[0] = 2 * (model.YMax() - model.YMin());
    a[1] = 1.0;
    a[2] = (model.XMin() + model.XMax()) / 2;
    a[3] = model.YMin();
    s[0] = a[0] * er;
    s[1] = s[0];
    s[2] = a[2] * er;
    s[3] = a[3] * er;
}

}  // namespace

double CLogisticModel::Value(double* params, double x) const {
    return params[0] / (params[1] * std::exp(-params[2] * x) + 1);
}

int CLogisticModel::Estimate() {
    if (!ScanDataRanges()) {
        return -1;
    }
    m_pParams[0] = m_dYMax;
    // Without a usable positive floor the curve starts near a tenth of its top (1/11).
    m_pParams[1] = m_dYMin > kFltMin ? m_dYMax / m_dYMin - 1 : 10.0;
    m_pParams[2] = GrowthRate(*this, m_pParams[1]);
    m_pSteps[0] = m_pParams[0] * m_dER;
    m_pSteps[1] = m_pParams[1] * m_dER;
    m_pSteps[2] = m_pParams[2] * m_dER;
    return 0;
}

double CLogisticY0Model::Value(double* params, double x) const {
    const double y0 = m_nPoints > 0 ? m_pY[0] : std::numeric_limits<double>::quiet_NaN();
    return (params[0] * y0) / ((params[0] - y0) * std::exp(-params[1] * x) + y0);
}

int CLogisticY0Model::Estimate() {
    if (!ScanDataRanges()) {
        return -1;
    }
    const double y0 = m_pY[0];
    if (!(y0 > 0)) {
        return -1;
    }
    m_pParams[0] = m_dYMax;
    m_pParams[1] = GrowthRate(*this, (m_pParams[0] - y0) / y0);
    m_pSteps[0] = m_pParams[0] * m_dER;
    m_pSteps[1] = m_pParams[1] * m_dER;
    return 0;
}

double CLogisticGrowthModel::Value(double* params, double x) const {
    const double e = std::exp(params[2] * x);
    return params[0] * params[1] * e / ((e - 1) * params[1] + params[0]);
}

int CLogisticGrowthModel::Estimate() {
    if (!ScanDataRanges()) {
        return -1;
    }
    if (!(m_dYMin > 0)) {
        return -1;
    }
    m_pParams[0] = m_dYMax;
    m_pParams[1] = m_dYMin;
    m_pParams[2] = GrowthRate(*this, (m_dYMax - m_dYMin) / m_dYMin);
    m_pSteps[0] = m_pParams[0] * m_dER;
    m_pSteps[1] = m_pSteps[0];
    m_pSteps[2] = m_pParams[2] * m_dER;
    return 0;
}

double CSigmoidModel::Value(double* params, double x) const {
    return params[0] / (std::exp(params[2] - x) + params[1]) + params[3];
}

int CSigmoidModel::Estimate() {
    if (!ScanDataRanges()) {
        return -1;
    }
    if (!(m_dYMin > 0)) {
        return -1;
    }
    EstimateSigmoid(*this, m_pParams, m_pSteps);
    return 0;
}

double CSigmoidScaledModel::Value(double* params, double x) const {
    return params[0] / (std::exp((params[2] - x) / params[4]) + params[1]) + params[3];
}

int CSigmoidScaledModel::Estimate() {
    if (!ScanDataRanges()) {
        return -1;
    }
    if (!(m_dYMin > 0)) {
        return -1;
    }
    EstimateSigmoid(*this, m_pParams, m_pSteps);
    m_pParams[4] = 1.0;
    m_pSteps[4] = m_dER;
    return 0;
}

}  // namespace quillon
