// The Gradient-search method of the fit workspace.
#include <algorithm>
#include <cmath>

#include "fit/dfpowell.h"

namespace quillon {
namespace {

// The expansion along the line stops after a bounded number of equal steps: a
// chi-square that keeps falling towards an asymptote would otherwise walk on
// for as long as the numbers allow. Each step costs one chi-square over every
// point, so on a large set the bound is lowered to keep one line search to
// about a hundred million point evaluations; a million steps on a few thousand
// points of noise took seconds per line. A line cut short carries its whole length
// into the next iteration's step.
constexpr int kMaxExpansionSteps = 1000000;
constexpr int kMinExpansionSteps = 10000;
constexpr double kExpansionPointBudget = 1e8;

int ExpansionStepLimit(int points) {
    const double limit = kExpansionPointBudget / std::max(points, 1);
    return static_cast<int>(
        std::clamp(limit, double{kMinExpansionSteps}, double{kMaxExpansionSteps}));
}

}  // namespace

bool DFPowell::GradientDirection() {
    // The fall of chi-square over each step h_i; with exact derivatives the
    // first-order fall, h_i * 2 beta_i.
    const bool exact = JacobianDerivatives();
    if (!exact) {
        m_f[0] = ChiSquare(m_a, 0);
        BuildTrialRows();
    }
    double sum = 0.0;
    for (int i = 0; i < m_m; ++i) {
        m_direction[i] =
            exact ? 2.0 * m_h[i] * m_beta[i] : m_f[0] - ChiSquare(Row(m_rows, i, m_mm), 1);
        sum += m_direction[i] * m_direction[i];
    }
    const double norm = std::sqrt(sum);
    bool finite = true;
    for (int j = 0; j < m_m; ++j) {
        m_direction[j] = m_h[j] * m_direction[j] / norm;
        finite = finite && std::isfinite(m_direction[j]);
    }
    return finite;
}

void DFPowell::TrialAlongDirection(double s) {
    for (int j = 0; j < m_m; ++j) {
        m_trial[j] = m_a[j] + s * m_direction[j];
    }
}

bool DFPowell::TrialEqualsA() const {
    for (int j = 0; j < m_m; ++j) {
        if (m_trial[j] != m_a[j]) {
            return false;
        }
    }
    return true;
}

MethodRun DFPowell::GradientSearch() {
    double s = 0.1;
    LogHeader(FitMethod::GradientSearch);
    int k = 0;
    for (; k < m_nCut; ++k) {
        // A direction that is not a number, or a line on which no step
        // lowers chi-square down to the last representable one, ends the
        // search without convergence.
        const bool haveDirection = GradientDirection();
        m_chisqPrev = m_f[0];
        LogLine(k);
        if (!haveDirection) {
            return EndWithoutStatistics(FitOutcome::NotConverged, k + 1);
        }
        for (;;) {
            TrialAlongDirection(s);
            m_f[1] = ChiSquare(m_trial.data(), 1);
            if (m_f[1] < m_f[0]) {
                break;
            }
            if (TrialEqualsA()) {
                return EndWithoutStatistics(FitOutcome::NotConverged, k + 1);
            }
            s *= 0.5;
        }
        double total = 0.0;
        const int stepLimit = ExpansionStepLimit(m_n);
        for (int step = 0; step < stepLimit; ++step) {
            total += s;
            for (int j = 0; j < m_m; ++j) {
                m_trial[j] += s * m_direction[j];
            }
            m_f[2] = ChiSquare(m_trial.data(), 1);
            if (!(m_f[2] < m_f[1])) {
                break;
            }
            m_f[0] = m_f[1];
            m_f[1] = m_f[2];
        }
        // The parabola through the last three equally spaced points.
        const double d = s * ((m_f[2] - m_f[1]) / (m_f[0] - 2 * m_f[1] + m_f[2]) + 0.5);
        for (int j = 0; j < m_m; ++j) {
            m_a[j] = m_trial[j] - d * m_direction[j];
        }
        s = total;
        m_f[0] = ChiSquare(m_a, 0);
        const double diff = m_chisqPrev - m_f[0];
        if (diff > 0 && diff < m_chiCut) {
            m_chisqPrev = m_f[0];
            LogLine(k + 1);
            return EndWithStatistics(FitOutcome::Converged, k + 1);
        }
    }
    return EndWithStatistics(FitOutcome::IterationLimit, k);
}

}  // namespace quillon
