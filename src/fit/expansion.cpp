// The Expansion method of the fit workspace.
#include <cmath>

#include "fit/dfpowell.h"

namespace quillon {

MethodRun DFPowell::Expansion() {
    LogHeader(FitMethod::Expansion);
    int k = 0;
    for (; k < m_nCut; ++k) {
        BuildHalfGradient();
        BuildWorkCurvature();
        m_chisqPrev = m_f[0];
        LogLine(k);
        if (!InvertInPlace()) {
            return EndWithoutStatistics(FitOutcome::Singular, k + 1);
        }
        NewtonStep();
        m_f[0] = ChiSquare(m_trial.data(), 0);
        const double diff = m_chisqPrev - m_f[0];
        // Every step is taken, even one that raises chi-square.
        for (int j = 0; j < m_m; ++j) {
            m_a[j] = m_trial[j];
        }
        if (std::fabs(diff) < m_chiCut) {
            m_chisqPrev = m_f[0];
            LogLine(k + 1);
            return EndWithStatistics(FitOutcome::Converged, k + 1);
        }
    }
    return EndWithStatistics(FitOutcome::IterationLimit, k);
}

}  // namespace quillon
