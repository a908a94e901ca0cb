// The Powell method of the fit workspace: a set of m search directions with
// unit derivative vectors of the residuals along them, a Gauss-Newton step in
// those directions, a five-pass parabolic line search, and the replacement
// of one direction by the line searched, with the inverse Gram matrix
// updated by bordering.
#include <algorithm>
#include <cmath>
#include <utility>

#include "fit/dfpowell.h"

namespace quillon {
namespace {

constexpr double kGramDiagonal = 1.005;  // slightly above 1 keeps G invertible
constexpr double kStartPosition = 0.5;   // first line step
constexpr double kMinLineStep = 0.1;     // the first step of a line search is
constexpr double kMaxLineStep = 1.0;     // clamped to this range
constexpr int kLinePasses = 5;
constexpr double kNoStep = 1e30;  // minStep before any parameter moves
constexpr double kTinyComponent = 1e-30;
constexpr double kSingularDelta = 1e-6;  // bordering below this is singular

}  // namespace

double DFPowell::GammaDot(int i, int k) {
    const double* gi = Row(m_jacobian, i, m_nn);
    const double* gk = Row(m_jacobian, k, m_nn);
    double sum = 0.0;
    for (int j = 0; j < m_n; ++j) {
        sum += gi[j] * gk[j];
    }
    return sum;
}

bool DFPowell::PowellStart() {
    const bool exact = JacobianDerivatives();
    if (!exact) {
        m_f[0] = ChiSquare(m_a, 0);
        BuildTrialRows();
    }
    std::fill(m_alpha.begin(), m_alpha.end(), 0.0);
    for (int k = 0; k < m_m; ++k) {
        if (!exact) {
            ChiSquare(Row(m_rows, k, m_mm), 1);
            JacobianRow(k);
        }
        double* gamma = Row(m_jacobian, k, m_nn);
        double sum = 0.0;
        for (int j = 0; j < m_n; ++j) {
            sum += gamma[j] * gamma[j];
        }
        const double c = 1.0 / std::sqrt(sum);
        for (int j = 0; j < m_n; ++j) {
            gamma[j] = c * gamma[j];
        }
        At(m_alpha, k, k) = c;
    }
    m_powell.best = 0;
    m_powell.second = 1;
    m_powell.newest = 2;
    m_powell.t[0] = kStartPosition;
    const double* r = Block(0);
    for (int k = 0; k < m_m; ++k) {
        At(m_work, k, k) = kGramDiagonal;
        for (int i = 0; i < k; ++i) {
            const double g = GammaDot(i, k);
            At(m_work, i, k) = g;
            At(m_work, k, i) = g;
        }
        const double* gamma = Row(m_jacobian, k, m_nn);
        double sum = 0.0;
        for (int j = 0; j < m_n; ++j) {
            sum += r[j] * gamma[j];
        }
        m_powell.rhs[k] = -sum;
    }
    return InvertInPlace();
}

double DFPowell::PowellRelabel(double c) {
    const double* t = m_powell.t;
    int& best = m_powell.best;
    int& second = m_powell.second;
    int& newest = m_powell.newest;
    int k = newest;
    if (m_f[newest] > m_f[best]) {
        if (m_f[newest] > m_f[second]) {
            k = second;
            second = newest;
        }
    } else {
        k = best;
        best = newest;
    }
    if ((c - t[k]) * (c - t[best]) > 0 && (c - t[k]) * (c - t[second]) < 0) {
        newest = k;
    } else {
        newest = second;
        second = k;
    }
    return c - t[best];
}

double DFPowell::PowellLineDirection() {
    std::vector<double>& coefficients = m_powell.coefficients;
    for (int i = 0; i < m_m; ++i) {
        double sum = 0.0;
        for (int k = 0; k < m_m; ++k) {
            sum += At(m_work, i, k) * m_powell.rhs[k];
        }
        coefficients[i] = sum;
    }
    for (int i = 0; i < m_m; ++i) {
        double sum = 0.0;
        for (int k = 0; k < m_m; ++k) {
            sum += coefficients[k] * At(m_alpha, k, i);
        }
        m_direction[i] = sum;
    }
    double minStep = kNoStep;
    for (int i = 0; i < m_m; ++i) {
        if (std::fabs(m_direction[i]) > kTinyComponent) {
            minStep = std::min(minStep, std::fabs(m_h[i] / m_direction[i]));
        }
    }
    return minStep;
}

void DFPowell::PowellLineSearch() {
    const double minStep = PowellLineDirection();
    double* t = m_powell.t;
    int& best = m_powell.best;
    int& second = m_powell.second;
    int& newest = m_powell.newest;
    double b = std::clamp(t[best], kMinLineStep, kMaxLineStep);
    t[best] = 0.0;
    for (int pass = 0; pass < kLinePasses; ++pass) {
        const double tTrial = t[best] + b;
        for (int j = 0; j < m_m; ++j) {
            m_trial[j] = m_a[j] + tTrial * m_direction[j];
        }
        t[newest] = tTrial;
        m_f[newest] = ChiSquare(m_trial.data(), newest);
        if (pass > 0) {
            const double q =
                -2.0 * (m_f[0] * (t[1] - t[2]) + m_f[1] * (t[2] - t[0]) + m_f[2] * (t[0] - t[1])) /
                ((t[0] - t[1]) * (t[1] - t[2]) * (t[2] - t[0]));
            if (q > 0) {
                // The vertex of the parabola through the three points.
                const double tVertex = (t[newest] + t[best]) / 2 -
                                       (m_f[newest] - m_f[best]) / ((t[newest] - t[best]) * q);
                if (std::fabs(2 * b) >= std::fabs(tVertex - t[best])) {
                    b = PowellRelabel(tVertex);
                }
            }
        }
        const int previousSecond = second;
        int loser = newest;
        if (m_f[newest] <= m_f[best]) {
            b = 2 * b;
            loser = best;
            best = newest;
        } else {
            b = -0.5 * b;
        }
        second = loser;
        newest = previousSecond;
        if (std::fabs(b) < 0.1 * minStep) {
            b = b < 0 ? -0.1 * minStep : 0.1 * minStep;  // b = 0 counts as positive
        }
        if (t[second] - t[best] == b) {
            b = 0.1 * b;
        }
    }
}

void DFPowell::SwapWorkRowAndColumn(int q, int last) {
    for (int k = 0; k < m_m; ++k) {
        std::swap(At(m_work, q, k), At(m_work, last, k));
    }
    for (int k = 0; k < m_m; ++k) {
        std::swap(At(m_work, k, q), At(m_work, k, last));
    }
}

int DFPowell::PowellNewDirection() {
    const std::vector<double>& coefficients = m_powell.coefficients;
    std::vector<double>& rhs = m_powell.rhs;
    int q = 0;
    double largest = -1.0;
    for (int i = 0; i < m_m; ++i) {
        const double size = std::fabs(coefficients[i] * rhs[i]);
        if (size >= largest) {  // ties go to the later index
            largest = size;
            q = i;
        }
    }
    const double* rBest = Block(m_powell.best);
    const double* rNewest = Block(m_powell.newest);
    double* gammaQ = Row(m_jacobian, q, m_nn);
    const double span = m_powell.t[m_powell.best] - m_powell.t[m_powell.newest];
    double norm = 0.0;
    for (int j = 0; j < m_n; ++j) {
        gammaQ[j] = (rBest[j] - rNewest[j]) / span;
        norm += gammaQ[j] * gammaQ[j];
    }
    const double s = 1.0 / std::sqrt(norm);
    for (int i = 0; i < m_m; ++i) {
        At(m_alpha, q, i) = s * m_direction[i];
    }
    for (int j = 0; j < m_n; ++j) {
        gammaQ[j] = s * gammaQ[j];
    }
    // u: the new derivative vector against every current one; the direction
    // vector doubles as its store.
    std::vector<double>& u = m_direction;
    for (int i = 0; i < m_m; ++i) {
        u[i] = i == q ? 1.0 : GammaDot(i, q);
    }
    for (int i = 0; i < m_m; ++i) {
        const double* gamma = Row(m_jacobian, i, m_nn);
        double sum = 0.0;
        for (int j = 0; j < m_n; ++j) {
            sum += gamma[j] * rNewest[j];
        }
        rhs[i] = -sum;
    }
    std::swap(m_powell.best, m_powell.newest);
    return q;
}

bool DFPowell::PowellBorderInverse(int q) {
    std::vector<double>& u = m_direction;
    std::vector<double>& scratch = m_powell.coefficients;  // spent by now
    const int last = m_m - 1;
    if (q != last) {
        SwapWorkRowAndColumn(q, last);
        u[q] = u[last];
    }
    // Remove the replaced direction from the inverse ...
    const double z = At(m_work, last, last);
    for (int i = 0; i < last; ++i) {
        scratch[i] = At(m_work, last, i);
    }
    for (int i = 0; i < last; ++i) {
        for (int j = 0; j < last; ++j) {
            At(m_work, i, j) -= scratch[i] * scratch[j] / z;
        }
    }
    // ... and border it with the new one.
    double delta = 1.0;
    for (int i = 0; i < last; ++i) {
        double sum = 0.0;
        for (int j = 0; j < last; ++j) {
            sum += At(m_work, i, j) * u[j];
        }
        scratch[i] = sum;
    }
    for (int i = 0; i < last; ++i) {
        delta -= u[i] * scratch[i];
    }
    if (!(std::fabs(delta) > kSingularDelta)) {
        return false;
    }
    for (int i = 0; i < last; ++i) {
        for (int j = 0; j < last; ++j) {
            At(m_work, i, j) += scratch[i] * scratch[j] / delta;
        }
        At(m_work, last, i) = -scratch[i] / delta;
        At(m_work, i, last) = -scratch[i] / delta;
    }
    At(m_work, last, last) = 1.0 / delta;
    if (q != last) {
        SwapWorkRowAndColumn(q, last);
    }
    return true;
}

bool DFPowell::PowellReplaceDirection() {
    for (int j = 0; j < m_m; ++j) {
        m_a[j] = m_trial[j];
    }
    return PowellBorderInverse(PowellNewDirection());
}

MethodRun DFPowell::Powell() {
    LogHeader(FitMethod::Powell);
    if (!PowellStart()) {
        return EndWithoutStatistics(FitOutcome::NotConverged, 0);
    }
    m_chisqPrev = m_f[0];
    int k = 0;
    for (; k < m_nCut; ++k) {
        LogLine(k);
        PowellLineSearch();
        const double diff = m_chisqPrev - m_f[m_powell.best];
        const bool converged = diff > 0 && diff < m_chiCut;
        m_chisqPrev = m_f[m_powell.best];
        if (converged) {
            LogLine(k + 1);
            return EndWithStatistics(FitOutcome::Converged, k + 1);
        }
        if (!PowellReplaceDirection()) {
            return EndWithoutStatistics(FitOutcome::Singular, k + 1);
        }
    }
    return EndWithStatistics(FitOutcome::IterationLimit, k);
}

}  // namespace quillon
