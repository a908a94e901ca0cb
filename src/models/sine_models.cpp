#include "models/sine_models.h"

#include <cmath>
#include <span>

#include "models/estimate_steps.h"

namespace quillon {

namespace {

double ShiftFormSine(const double* a, double x) {
    return a[0] * std::sin(a[1] * (x + a[2]));
}

double DampedSine(const double* a, double x) {
    return ShiftFormSine(a, x) * std::exp(-x / a[3]);
}

double MidLevel(const CModelFunction& model) {
    return (model.YMin() + model.YMax()) / 2;
}

// A0, A1, A2 and their steps of the phase form: the sine peaks at the highest
// point, the phase wrapped into one cycle.
void EstimatePhaseForm(const CModelFunction& model, std::span<double> a, std::span<double> s) {
    const double er = model.ER();
    a[0] = (model.YMax() - model.YMin()) / 2;
    a[1] = kTwoPi / model.PeriodGuess();
    a[2] = WrapShift(kHalfPi - model.XData()[model.YMaxIndex()] * a[1], kTwoPi);
    s[0] = a[0] * er;
    s[1] = a[1] * er;
    s[2] = kTwoPi * er;
}

// The decay length of the damped sines starts at the value of A1.
void EstimateDecay(std::span<double> a, std::span<double> s) {
    a[3] = a[1];
    s[3] = s[1];
}

}  // namespace

double CSineModel::Value(double* params, double x) const {
    return params[0] * std::sin(params[1] * x + params[2]);
}

int CSineModel::Estimate() {
    if (!ScanDataRanges()) {
        return -1;
    }
    EstimatePhaseForm(*this, m_pParams, m_pSteps);
    return 0;
}

double CSineBiasedModel::Value(double* params, double x) const {
    return params[0] * std::sin(params[1] * x + params[2]) + params[3];
}

int CSineBiasedModel::Estimate() {
    if (!ScanDataRanges()) {
        return -1;
    }
    EstimatePhaseForm(*this, m_pParams, m_pSteps);
    m_pParams[3] = MidLevel(*this);
    m_pSteps[3] = m_pSteps[0];
    return 0;
}

double CSineShiftModel::Value(double* params, double x) const {
    return ShiftFormSine(params, x);
}

int CSineShiftModel::Estimate() {
    if (!ScanDataRanges()) {
        return -1;
    }
    EstimateShiftForm(*this, m_pParams, m_pSteps);
    return 0;
}

double CSineShiftBiasedModel::Value(double* params, double x) const {
    return ShiftFormSine(params, x) + params[3];
}

int CSineShiftBiasedModel::Estimate() {
    if (!ScanDataRanges()) {
        return -1;
    }
    EstimateShiftForm(*this, m_pParams, m_pSteps);
    m_pParams[3] = MidLevel(*this);
    m_pSteps[3] = m_pSteps[0];
    return 0;
}

double CDampedSineModel::Value(double* params, double x) const {
    return DampedSine(params, x);
}

int CDampedSineModel::Estimate() {
    if (!ScanDataRanges()) {
        return -1;
    }
    EstimateShiftForm(*this, m_pParams, m_pSteps);
    EstimateDecay(m_pParams, m_pSteps);
    return 0;
}

double CDampedSineBiasedModel::Value(double* params, double x) const {
    return DampedSine(params, x) + params[4];
}

int CDampedSineBiasedModel::Estimate() {
    if (!ScanDataRanges()) {
        return -1;
    }
    EstimateShiftForm(*this, m_pParams, m_pSteps);
    EstimateDecay(m_pParams, m_pSteps);
    m_pParams[4] = MidLevel(*this);
    m_pSteps[4] = m_pSteps[0];
    return 0;
}

double CDampedSineSlopeModel::Value(double* params, double x) const {
    return DampedSine(params, x) + params[4] + params[5] * x;
}

int CDampedSineSlopeModel::Estimate() {
    if (!ScanDataRanges()) {
        return -1;
    }
    EstimateShiftForm(*this, m_pParams, m_pSteps);
    EstimateDecay(m_pParams, m_pSteps);
    m_pParams[4] = MidLevel(*this);
    m_pSteps[4] = m_pSteps[0];
    m_pParams[5] = 0.0;
    m_pSteps[5] = m_dER;
    return 0;
}

}  // namespace quillon
