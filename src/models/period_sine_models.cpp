#include "models/period_sine_models.h"

#include <cmath>
#include <span>

#include "records/point_team.h"

namespace quillon {

namespace {

// A0*sin(2*pi*(x + A2)/A1), in this order of operations.
double PeriodSine(const double* a, double x) {
    return std::sin(((x + a[2]) * kTwoPi) / a[1]) * a[0];
}

double DampedAfter(const double* a, double x) {
    const double v = a[0] * std::sin(kTwoPi * (x + a[2]) / a[1]);
    if (x <= a[4]) {
        return v;
    }
    return v * std::exp(-(x - a[4]) / a[3]);
}

// The decay length A3 and the onset A4 both start at one period.
void StartDampingAfterOnePeriod(std::span<double> a, std::span<double> s) {
    a[3] = a[1];
    a[4] = a[1];
    s[2] = s[3] = s[4] = s[1];
}

}  // namespace

void NormalisePeriodSine(std::span<double> a) {
    if (a[0] < 0) {
        a[0] = -a[0];
        a[2] = a[2] + 0.5 * a[1];
    }
    if (a[1] < 0) {
        a[1] = -a[1];
        a[2] = a[2] + 0.5 * a[1];
    }
    a[2] = a[2] - std::ceil(a[2] / a[1]) * a[1];
}

int PreFitPeriodSine(CModelFunction& model, std::string& log, const MarquardtRunner& runMarquardt) {
    if (!runMarquardt || runMarquardt(model, log) != FitOutcome::Converged) {
        return 0;
    }
    NormalisePeriodSine(model.Params());
    return 1;
}

double CSinePeriodModel::Value(double* params, double x) const {
    return PeriodSine(params, x);
}

bool CSinePeriodModel::EvaluateAll(double* params) {
    const std::span<const double> terms = m_sineTerms.Terms(XData(), params[1], params[2]);
    const std::span<double> values = PointValueBuffer();
    const double a0 = params[0];
    ForPointBlocks(values.size(), [&](std::size_t first, std::size_t last) {
        for (std::size_t i = first; i < last; ++i) {
            values[i] = terms[i] * a0;
        }
    });
    return true;
}

int CSinePeriodModel::Estimate() {
    if (EstimateWave(m_wave) != 0) {
        return -1;
    }
    m_pSteps[2] = m_pSteps[1];
    return 0;
}

double CSinePeriodBiasedModel::Value(double* params, double x) const {
    return PeriodSine(params, x) + params[3];
}

bool CSinePeriodBiasedModel::EvaluateAll(double* params) {
    const std::span<const double> terms = m_sineTerms.Terms(XData(), params[1], params[2]);
    const std::span<double> values = PointValueBuffer();
    const double a0 = params[0];
    const double a3 = params[3];
    ForPointBlocks(values.size(), [&](std::size_t first, std::size_t last) {
        for (std::size_t i = first; i < last; ++i) {
            values[i] = terms[i] * a0 + a3;
        }
    });
    return true;
}

int CSinePeriodBiasedModel::Estimate() {
    if (EstimateWave(m_wave) != 0) {
        return -1;
    }
    m_pParams[3] = m_wave.m_dLevel;
    m_pSteps[2] = m_pSteps[1];
    m_pSteps[3] = m_pSteps[0];
    return 0;
}

int CSinePeriodBiasedModel::PreFit(std::string& log, const MarquardtRunner& runMarquardt) {
    return PreFitPeriodSine(*this, log, runMarquardt);
}

double CSinePeriodLinearModel::Value(double* params, double x) const {
    return PeriodSine(params, x) + params[3] + params[4] * x;
}

bool CSinePeriodLinearModel::EvaluateAll(double* params) {
    const std::span<const double> terms = m_sineTerms.Terms(XData(), params[1], params[2]);
    const std::span<double> values = PointValueBuffer();
    const std::span<const double> x = XData();
    const double a0 = params[0];
    const double a3 = params[3];
    const double a4 = params[4];
    ForPointBlocks(values.size(), [&](std::size_t first, std::size_t last) {
        for (std::size_t i = first; i < last; ++i) {
            values[i] = terms[i] * a0 + a3 + a4 * x[i];
        }
    });
    return true;
}

int CSinePeriodLinearModel::Estimate() {
    if (EstimateWave(m_wave) != 0) {
        return -1;
    }
    m_pParams[3] = m_wave.m_dLevel;
    m_pParams[4] = 0.0;
    m_pSteps[2] = m_pSteps[1];
    m_pSteps[3] = m_pSteps[0];
    m_pSteps[4] = m_pSteps[0];
    return 0;
}

int CSinePeriodLinearModel::PreFit(std::string& log, const MarquardtRunner& runMarquardt) {
    return PreFitPeriodSine(*this, log, runMarquardt);
}

double CDampedAfterModel::Value(double* params, double x) const {
    return DampedAfter(params, x);
}

int CDampedAfterModel::Estimate() {
    if (EstimateWave(m_wave) != 0) {
        return -1;
    }
    StartDampingAfterOnePeriod(m_pParams, m_pSteps);
    return 0;
}

double CDampedAfterBiasedModel::Value(double* params, double x) const {
    return DampedAfter(params, x) + params[5];
}

bool CDampedAfterBiasedModel::EvaluateAll(double* params) {
    return CModelFunction::EvaluateAll(params);
}

int CDampedAfterBiasedModel::Estimate() {
    if (EstimateWave(m_wave) != 0) {
        return -1;
    }
    StartDampingAfterOnePeriod(m_pParams, m_pSteps);
    // The mid level of the Y range the wave estimate looked at.
    m_pParams[5] = (m_dYMin + m_dYMax) / 2;
    m_pSteps[5] = m_pSteps[0];
    return 0;
}

double CDampedAfterSlopeModel::Value(double* params, double x) const {
    return DampedAfter(params, x) + params[5] + params[6] * x;
}

int CDampedAfterSlopeModel::Estimate() {
    if (CDampedAfterModel::Estimate() != 0) {
        return -1;
    }
    m_pParams[5] = (m_dYMin + m_dYMax) / 2;
    m_pSteps[5] = m_pSteps[0];
    m_pParams[6] = 0.0;
    m_pSteps[6] = m_dER;
    return 0;
}

double CAsymmetricSineModel::Value(double* params, double x) const {
    const double v = 1 / (params[4] + 1);  // rising fraction of the half-cycle pair
    const double u = (x + params[2]) / params[1];
    double t = 2 * (u - std::floor(u));  // in [0, 2)
    if (t >= 2 - v) {
        t -= 2;  // now in [-v, 2 - v)
    }
    double theta = 0.0;
    if (t <= v) {
        theta = kHalfPi * t / v;  // rising part, -pi/2 to pi/2
    } else {
        theta = kPi + kHalfPi * (t - 1) / (1 - v);  // falling part, pi/2 to 3pi/2
    }
    return params[0] * std::sin(theta) + params[3];
}

int CAsymmetricSineModel::Estimate() {
    if (EstimateWave(m_wave) != 0) {
        return -1;
    }
    m_pParams[3] = m_wave.m_dLevel;
    m_pSteps[2] = m_pSteps[1];
    m_pSteps[3] = m_pSteps[0];
    m_pParams[4] = 1.0;
    m_pSteps[4] = m_dER;
    return 0;
}

}  // namespace quillon
