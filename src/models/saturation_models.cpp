#include "models/saturation_models.h"

#include <cmath>
#include <span>

namespace quillon {

namespace {

double Hill(const double* a, double x, double order) {
    return a[0] / (a[1] / std::pow(x, order) + 1);
}

// Saturation at the highest Y, half-saturation at half the X range.
void EstimateSaturation(const CModelFunction& model, std::span<double> a, std::span<double> s) {
    const double er = model.ER();
    a[0] = model.YMax();
    a[1] = (model.XMax() - model.XMin()) / 2;
    s[0] = a[0] * er;
    s[1] = a[1] * er;
}

}  // namespace

double CMichaelisMentenModel::Value(double* params, double x) const {
    return params[0] / (params[1] / x + 1);
}

int CMichaelisMentenModel::Estimate() {
    if (!ScanDataRanges()) {
        return -1;
    }
    EstimateSaturation(*this, m_pParams, m_pSteps);
    return 0;
}

double CHill2Model::Value(double* params, double x) const {
    return Hill(params, x, 2);
}

int CHill2Model::Estimate() {
    if (!ScanDataRanges()) {
        return -1;
    }
    EstimateSaturation(*this, m_pParams, m_pSteps);
    return 0;
}

double CHill3Model::Value(double* params, double x) const {
    return Hill(params, x, 3);
}

int CHill3Model::Estimate() {
    if (!ScanDataRanges()) {
        return -1;
    }
    EstimateSaturation(*this, m_pParams, m_pSteps);
    return 0;
}

double CHill4Model::Value(double* params, double x) const {
    return Hill(params, x, 4);
}

int CHill4Model::Estimate() {
    if (!ScanDataRanges()) {
        return -1;
    }
    EstimateSaturation(*this, m_pParams, m_pSteps);
    return 0;
}

double CHill5Model::Value(double* params, double x) const {
    return Hill(params, x, 5);
}

int CHill5Model::Estimate() {
    if (!ScanDataRanges()) {
        return -1;
    }
    EstimateSaturation(*this, m_pParams, m_pSteps);
    return 0;
}

double CHill6Model::Value(double* params, double x) const {
    return Hill(params, x, 6);
}

int CHill6Model::Estimate() {
    if (!ScanDataRanges()) {
        return -1;
    }
    EstimateSaturation(*this, m_pParams, m_pSteps);
    return 0;
}

double CHill2BiasedModel::Value(double* params, double x) const {
    return params[0] / (params[1] / std::pow(x - params[2], 2) + 1) + params[3];
}

int CHill2BiasedModel::Estimate() {
    if (!ScanDataRanges()) {
        return -1;
    }
    EstimateSaturation(*this, m_pParams, m_pSteps);
    // The amplitude and centre steps come from the Y range.
    const double rangeStep = (m_dYMax - m_dYMin) * m_dER;
    m_pSteps[0] = rangeStep;
    m_pParams[2] = m_dXMin - 1;
    m_pSteps[2] = rangeStep;
    m_pParams[3] = m_dYMin;
    // The offset gets the amplitude step s0 too, as the other biased models do.
    m_pSteps[3] = rangeStep;
    return 0;
}

}  // namespace quillon
