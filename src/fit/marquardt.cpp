// The Marquardt method of the fit workspace: Gauss-Newton steps damped by
// lambda, which falls tenfold after an accepted step and rises tenfold after
// a rejected one.
#include <cmath>

#include "fit/dfpowell.h"

namespace quillon {

MethodRun DFPowell::Marquardt() {
    m_lambda = 0.001;
    LogHeader(FitMethod::Marquardt);
    MethodRun run = DampedIterations();
    run.lambda = m_lambda;
    return run;
}

MethodRun DFPowell::DampedIterations() {
    int k = 0;
    while (k < m_nCut) {
        BuildCurvature();
        m_chisqPrev = m_f[0];
        LogLine(k);
        bool accepted = false;
        double diff = 0.0;
        for (int pass = 0; pass < m_nCut; ++pass) {
            DampWork();
            if (!InvertInPlace()) {
                return EndWithoutStatistics(FitOutcome::Singular, k + 1);
            }
            NewtonStep();
            m_f[0] = ChiSquare(m_trial.data(), 0);
            diff = m_chisqPrev - m_f[0];
            // An unchanged chi-square counts as accepted; NaN is rejected.
            if (diff >= 0.0) {
                m_lambda *= 0.1;
                for (int j = 0; j < m_m; ++j) {
                    m_a[j] = m_trial[j];
                }
                accepted = true;
                break;
            }
            m_lambda *= 10.0;
        }
        if (!accepted) {
            return EndWithoutStatistics(FitOutcome::LambdaAbnormal, k + 1);
        }
        ++k;
        if (std::fabs(diff) < m_chiCut) {
            m_chisqPrev = m_f[0];
            LogLine(k);
            return EndWithStatistics(FitOutcome::Converged, k);
        }
    }
    return EndWithStatistics(FitOutcome::IterationLimit, k);
}

}  // namespace quillon
