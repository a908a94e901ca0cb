// The Marquardt method of the fit workspace: Gauss-Newton steps damped by
// lambda, which falls tenfold after an accepted step and rises tenfold after
// a rejected one.
#include <cmath>

#include "fit/dfpowell.h"

namespace quillon {
namespace {

// For a model with exact derivatives, the relative parameter change of the
// last step at convergence may be this many times chi_cut.
constexpr double kSettledPerChiCut = 100.0;

}  // namespace

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
        bool settled = true;
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
                settled = StepSettled();
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
        if (std::fabs(diff) < m_chiCut && settled) {
            m_chisqPrev = m_f[0];
            LogLine(k);
            return EndWithStatistics(FitOutcome::Converged, k);
        }
    }
    return EndWithStatistics(FitOutcome::IterationLimit, k);
}

bool DFPowell::StepSettled() {
    if (!m_exactModel) {
        return true;
    }
    // Exact derivatives reach the minimum as closely as asked; a slow
    // valley, where chi-square barely changes while the parameters still
    // move, goes on until they have settled too.
    const double tolerance = kSettledPerChiCut * m_chiCut;
    for (int j = 0; j < m_m; ++j) {
        const double scale = std::fabs(m_a[j]) + std::fabs(m_model.ER());
        if (std::fabs(m_trial[j] - m_a[j]) > tolerance * scale) {
            return false;
        }
    }
    return true;
}

}  // namespace quillon
