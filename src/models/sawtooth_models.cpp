#include "models/sawtooth_models.h"

#include <cmath>
#include <span>

namespace quillon {

namespace {

// Periods added one at a time before the shift is computed in one step. A fit
// moves the top by a few periods; far more means the period is tiny against
// the distance, where single additions may not even change A3.
constexpr int kMaxSinglePeriodShifts = 4096;

enum class Flank { kStraight, kSinusoidal };

// The tooth at x, after normalising the parameters in place.
double SawtoothValue(double* a, double x, Flank flank) {
    NormaliseSawtooth(a);
    double r = (a[3] - a[2]) / a[1];  // rising fraction of the period
    const double u = (x - a[2]) / a[1];
    double t = u - std::floor(u);
    if (t == 0 || t == 1) {
        return a[4];
    }
    if (t == r) {
        return a[4] + a[0];
    }
    if (t > r) {  // falling side, measured from the end of the period
        t = 1 - t;
        r = 1 - r;
    }
    if (flank == Flank::kStraight) {
        return a[4] + a[0] * t / r;
    }
    return a[4] + a[0] * 0.5 * (1 + std::sin((t / r - 0.5) * kPi));
}

// Full height, one period guess, the tooth starting at the lowest point with
// its top half a period later.
void EstimateSawtooth(const CModelFunction& model, std::span<double> a, std::span<double> s) {
    const double er = model.ER();
    const double period = model.PeriodGuess();
    const double xLow = model.XData()[model.YMinIndex()];
    a[0] = model.YMax() - model.YMin();
    a[1] = period;
    a[2] = xLow;
    a[3] = xLow + period / 2;
    a[4] = model.YMin();
    s[0] = a[0] * er;
    s[1] = a[1] * er;
    s[2] = s[1];
    s[3] = s[1];
    s[4] = s[0];
}

}  // namespace

void NormaliseSawtooth(double* a) {
    a[1] = std::fabs(a[1]);
    if (a[1] == 0) {
        return;  // no period to shift by; the value is NaN anyway
    }
    for (int i = 0; i < kMaxSinglePeriodShifts && a[3] < a[2]; ++i) {
        a[3] += a[1];
    }
    if (a[3] < a[2]) {
        // Far behind: shift by the whole number of periods at once. Should
        // rounding still leave the top short, it is placed on the start.
        a[3] += std::ceil((a[2] - a[3]) / a[1]) * a[1];
        if (a[3] < a[2]) {
            a[3] = a[2];
        }
    }
}

double CSawtoothModel::Value(double* params, double x) const {
    return SawtoothValue(params, x, Flank::kStraight);
}

int CSawtoothModel::Estimate() {
    if (!ScanDataRanges()) {
        return -1;
    }
    EstimateSawtooth(*this, m_pParams, m_pSteps);
    return 0;
}

double CSawtoothSinusoidalModel::Value(double* params, double x) const {
    return SawtoothValue(params, x, Flank::kSinusoidal);
}

int CSawtoothSinusoidalModel::Estimate() {
    if (!ScanDataRanges()) {
        return -1;
    }
    EstimateSawtooth(*this, m_pParams, m_pSteps);
    return 0;
}

}  // namespace quillon
