#include "fit/dfpowell.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <new>
#include <stdexcept>
#include <utility>

#include "records/number_format.h"
#include "records/point_team.h"

namespace quillon {
namespace {

// The title a method's log opens with.
const char* MethodTitle(FitMethod method) {
    switch (method) {
        case FitMethod::Expansion:
            return "Expansion method";
        case FitMethod::Powell:
            return "Powell method";
        case FitMethod::GradientSearch:
            return "Gradient-search method";
        default:
            return "Marquardt method";
    }
}

// The workspace cannot do without its arrays; running out of memory here
// ends the program, as it always has.
[[noreturn]] void OutOfMemory() {
    std::fputs("メモリーが足りません! in DFPowell\n", stderr);
    std::exit(-1);
}

}  // namespace

DFPowell::DFPowell(CModelFunction& model, std::string& log, int nCut, double chiCut)
    : m_model(model),
      m_a(model.Params().data()),
      m_h(model.Steps().data()),
      m_x(model.XData().data()),
      m_y(model.YData().data()),
      m_w(model.WData().data()),
      m_m(model.ParamCount()),
      m_n(model.PointCount()),
      m_mm(m_m > 0 ? static_cast<std::size_t>(m_m) : 0),
      m_nn(m_n > 0 ? static_cast<std::size_t>(m_n) : 0),
      m_dof(static_cast<double>(model.DegreesOfFreedom())),
      m_nCut(nCut),
      m_chiCut(chiCut),
      m_log(log) {
    try {
        m_alpha.assign(m_mm * m_mm, 0.0);
        AssignPoints(m_residuals, 3 * m_nn, 0.0);
        m_work.assign(m_mm * m_mm, 0.0);
        AssignPoints(m_jacobian, m_mm * m_nn, 0.0);
        m_rows.assign(m_mm * m_mm, 0.0);
        m_trial.assign(m_mm, 0.0);
        m_direction.assign(m_mm, 0.0);
        m_powell.rhs.assign(m_mm, 0.0);
        m_powell.coefficients.assign(m_mm, 0.0);
        m_beta.assign(m_mm, 0.0);
        if (m_w == nullptr) {
            AssignPoints(m_unitWeights, m_nn, 1.0);
            m_w = m_unitWeights.data();
        }
    } catch (const std::bad_alloc&) {
        OutOfMemory();
    } catch (const std::length_error&) {
        OutOfMemory();
    }
}

DFPowell::DFPowell(CModelFunction& model, std::string& log, const ConvergenceSettings& convergence)
    : DFPowell(model, log, convergence.n_cut, convergence.chi_cut) {
    m_central = convergence.precise;
    if (m_central) {
        try {
            m_minus.assign(m_mm, 0.0);
        } catch (const std::bad_alloc&) {
            OutOfMemory();
        }
    }
}

double DFPowell::ChiSquare(double* p, int block) {
    if (SharesPoints()) {
        return SharedChiSquare(p, block, [](std::size_t /*first*/, std::size_t /*last*/) {});
    }
    double* r = Block(block);
    double sum = 0.0;
    if (m_model.EvaluateAll(p)) {
        const double* values = m_model.PointValues().data();
        for (int i = 0; i < m_n; ++i) {
            r[i] = (values[i] - m_y[i]) * m_w[i];
            sum += r[i] * r[i];
        }
    } else {
        for (int i = 0; i < m_n; ++i) {
            r[i] = (m_model.Value(p, m_x[i]) - m_y[i]) * m_w[i];
            sum += r[i] * r[i];
        }
    }
    return sum;
}

bool DFPowell::SharesPoints() const {
    return m_nn >= kPointTeamMinimum && PointTeamThreads() > 1;
}

template <class AlsoPerBlock>
double DFPowell::SharedChiSquare(double* p, int block, AlsoPerBlock&& alsoPerBlock) {
    double* r = Block(block);
    // One thread adds the squares in point order, as the single pass does,
    // block by block while the team computes the later blocks' residuals.
    double sum = 0.0;
    auto addSquares = [&](std::size_t first, std::size_t last) {
        for (std::size_t i = first; i < last; ++i) {
            sum += r[i] * r[i];
        }
    };
    if (m_model.EvaluateAll(p)) {
        const double* values = m_model.PointValues().data();
        ForPointBlocksThenInOrder(
            m_nn,
            [&](std::size_t first, std::size_t last) {
                for (std::size_t i = first; i < last; ++i) {
                    r[i] = (values[i] - m_y[i]) * m_w[i];
                }
                alsoPerBlock(first, last);
            },
            addSquares);
    } else if (m_model.ValueIsThreadSafe()) {
        ForPointBlocksThenInOrder(
            m_nn,
            [&](std::size_t first, std::size_t last) {
                for (std::size_t i = first; i < last; ++i) {
                    r[i] = (m_model.Value(p, m_x[i]) - m_y[i]) * m_w[i];
                }
                alsoPerBlock(first, last);
            },
            addSquares);
    } else {
        for (int i = 0; i < m_n; ++i) {
            r[i] = (m_model.Value(p, m_x[i]) - m_y[i]) * m_w[i];
        }
        ForPointBlocks(m_nn, alsoPerBlock);
        addSquares(0, m_nn);
    }
    return sum;
}

bool DFPowell::ExactDerivatives() {
    double* r = Block(0);
    if (!m_model.ValuesAndGradients(m_a, {r, m_nn}, m_jacobian)) {
        return false;
    }
    m_exactModel = true;
    // The residuals and their sum as ChiSquare forms them, so f[0] is the
    // same whichever way it was reached.
    double sum = 0.0;
    for (int j = 0; j < m_n; ++j) {
        r[j] = (r[j] - m_y[j]) * m_w[j];
        sum += r[j] * r[j];
    }
    m_f[0] = sum;
    for (int i = 0; i < m_m; ++i) {
        double* jac = Row(m_jacobian, i, m_nn);
        double dot = 0.0;
        for (int j = 0; j < m_n; ++j) {
            jac[j] *= m_w[j];
            dot += jac[j] * r[j];
        }
        m_beta[i] = -dot;
    }
    return true;
}

bool DFPowell::CentralDerivatives() {
    if (!m_central) {
        return false;
    }
    m_f[0] = ChiSquare(m_a, 0);
    BuildTrialRows();
    const double* r0 = Block(0);
    const double* r1 = Block(1);
    const double* r2 = Block(2);
    for (int i = 0; i < m_m; ++i) {
        ChiSquare(Row(m_rows, i, m_mm), 1);
        std::copy(m_a, m_a + m_m, m_minus.begin());
        m_minus[static_cast<std::size_t>(i)] = m_a[i] - m_h[i];
        ChiSquare(m_minus.data(), 2);
        double* jac = Row(m_jacobian, i, m_nn);
        const double twoH = 2.0 * m_h[i];
        double dot = 0.0;
        for (int j = 0; j < m_n; ++j) {
            jac[j] = (r1[j] - r2[j]) / twoH;
            dot += jac[j] * r0[j];
        }
        m_beta[i] = -dot;
    }
    return true;
}

void DFPowell::BuildTrialRows() {
    for (int i = 0; i < m_m; ++i) {
        double* row = Row(m_rows, i, m_mm);
        for (int j = 0; j < m_m; ++j) {
            row[j] = m_a[j];
        }
        row[i] = m_a[i] + m_h[i];
    }
}

double DFPowell::TrialRowChiSquare(int i) {
    double* row = Row(m_rows, i, m_mm);
    if (!SharesPoints()) {
        const double f = ChiSquare(row, 1);
        JacobianRow(i);
        return f;
    }
    const double* r0 = Block(0);
    const double* r1 = Block(1);
    double* jac = Row(m_jacobian, i, m_nn);
    const double h = m_h[i];
    return SharedChiSquare(row, 1, [&](std::size_t first, std::size_t last) {
        for (std::size_t j = first; j < last; ++j) {
            jac[j] = (r1[j] - r0[j]) / h;
        }
    });
}

void DFPowell::JacobianRow(int i) {
    const double* r0 = Block(0);
    const double* r1 = Block(1);
    double* jac = Row(m_jacobian, i, m_nn);
    const double h = m_h[i];
    ForPointBlocks(m_nn, [&](std::size_t first, std::size_t last) {
        for (std::size_t j = first; j < last; ++j) {
            jac[j] = (r1[j] - r0[j]) / h;
        }
    });
}

void DFPowell::CurvatureFromJacobian(std::vector<double>& matrix) {
    // Row i against rows k = i..m-1, up to four at a time in one pass over
    // the points. Each sum still adds its terms in point order, so every
    // element is what one sum per pass gives; the passes are fewer and the
    // independent sums keep the adder busy. A large set hands whole passes
    // to the point team: each pass stays on one thread.
    if (!SharesPoints()) {
        for (int i = 0; i < m_m; ++i) {
            for (int k0 = i; k0 < m_m; k0 += kCurvatureLanes) {
                CurvaturePass(matrix, i, k0);
            }
        }
        return;
    }
    std::vector<std::pair<int, int>> passes;
    for (int i = 0; i < m_m; ++i) {
        for (int k0 = i; k0 < m_m; k0 += kCurvatureLanes) {
            passes.emplace_back(i, k0);
        }
    }
    ForPointBlocks(passes.size(), 1, 2, [&](std::size_t first, std::size_t last) {
        for (std::size_t pass = first; pass < last; ++pass) {
            CurvaturePass(matrix, passes[pass].first, passes[pass].second);
        }
    });
}

void DFPowell::CurvaturePass(std::vector<double>& matrix, int i, int k0) {
    const double* ji = Row(m_jacobian, i, m_nn);
    const int lanes = std::min(kCurvatureLanes, m_m - k0);
    const double* jk[kCurvatureLanes] = {};
    for (int l = 0; l < kCurvatureLanes; ++l) {
        jk[l] = Row(m_jacobian, k0 + std::min(l, lanes - 1), m_nn);
    }
    double sum[kCurvatureLanes] = {0.0, 0.0, 0.0, 0.0};
    for (int j = 0; j < m_n; ++j) {
        const double a = ji[j];
        sum[0] += a * jk[0][j];
        sum[1] += a * jk[1][j];
        sum[2] += a * jk[2][j];
        sum[3] += a * jk[3][j];
    }
    for (int l = 0; l < lanes; ++l) {
        At(matrix, i, k0 + l) = sum[l];
        At(matrix, k0 + l, i) = sum[l];
    }
}

void DFPowell::BuildCurvature() {
    if (JacobianDerivatives()) {
        CurvatureFromJacobian(m_alpha);
        return;
    }
    m_f[0] = ChiSquare(m_a, 0);
    BuildTrialRows();
    for (int i = 0; i < m_m; ++i) {
        m_f[1] = TrialRowChiSquare(i);
        m_beta[i] = (m_f[1] - m_f[0]) * (-0.5) / m_h[i];
    }
    CurvatureFromJacobian(m_alpha);
}

void DFPowell::BuildHalfGradient() {
    if (JacobianDerivatives()) {
        return;
    }
    m_f[0] = ChiSquare(m_a, 0);
    BuildTrialRows();
    for (int i = 0; i < m_m; ++i) {
        m_f[1] = ChiSquare(Row(m_rows, i, m_mm), 1);
        m_beta[i] = (m_f[1] - m_f[0]) * (-0.5) / m_h[i];
    }
}

void DFPowell::BuildWorkCurvature() {
    if (JacobianDerivatives()) {
        CurvatureFromJacobian(m_work);
        return;
    }
    m_f[0] = ChiSquare(m_a, 0);
    BuildTrialRows();
    for (int i = 0; i < m_m; ++i) {
        m_f[1] = TrialRowChiSquare(i);
    }
    CurvatureFromJacobian(m_work);
}

void DFPowell::DampWork() {
    m_work = m_alpha;
    for (int i = 0; i < m_m; ++i) {
        At(m_work, i, i) *= 1.0 + m_lambda;
    }
}

void DFPowell::NewtonStep() {
    for (int j = 0; j < m_m; ++j) {
        double sum = 0.0;
        for (int k = 0; k < m_m; ++k) {
            sum += At(m_work, j, k) * m_beta[k];
        }
        m_trial[j] = m_a[j] + sum;
    }
}

bool DFPowell::InvertInPlace() {
    for (int i = 0; i < m_m; ++i) {
        const double p = At(m_work, i, i);
        if (p == 0.0 || std::isnan(p)) {
            return false;
        }
        double* rowI = Row(m_work, i, m_mm);
        for (int k = 0; k < m_m; ++k) {
            rowI[k] /= p;
        }
        rowI[i] = 1.0 / p;
        for (int j = 0; j < m_m; ++j) {
            if (j == i) {
                continue;
            }
            double* rowJ = Row(m_work, j, m_mm);
            const double b = rowJ[i];
            for (int k = 0; k < m_m; ++k) {
                rowJ[k] = k == i ? -b / p : rowJ[k] - rowI[k] * b;
            }
        }
    }
    return true;
}

double DFPowell::FinishStatistics() {
    BuildWorkCurvature();
    // A singular curvature leaves no standard errors: they are reported as
    // not a number rather than read from a half-inverted matrix.
    const bool inverted = InvertInPlace();
    for (int i = 0; i < m_m; ++i) {
        m_h[i] = inverted ? std::sqrt(std::fabs(At(m_work, i, i)))
                          : std::numeric_limits<double>::quiet_NaN();
    }
    // Without degrees of freedom chi-square per degree of freedom is undefined.
    if (m_dof <= 0.0) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    return m_f[0] / m_dof;
}

void DFPowell::LogHeader(FitMethod method) {
    m_log += "Initial values of parameters:\n";
    if (m_view != nullptr) {
        m_view->AppendInitialValues(m_log, m_a);
    } else {
        for (int i = 0; i < m_m; ++i) {
            AppendSprintf(m_log, "<a[%3d] = %lg>\n", i, m_a[i]);
        }
    }
    m_log += "\n";
    AppendSprintf(m_log, "Method: %s\n\n", MethodTitle(method));
    m_log += "   n: Sum of sqrs ";
    if (m_view != nullptr) {
        m_view->AppendColumnTitles(m_log);
    } else {
        for (int i = 0; i < m_m; ++i) {
            AppendSprintf(m_log, "   a[%3d]   ", i);
        }
    }
    m_log += "\n";
}

void DFPowell::LogLine(int k) {
    AppendSprintf(m_log, "%4d:%12.5lf", k, m_chisqPrev);
    if (m_view != nullptr) {
        m_view->AppendValues(m_log, m_a);
    } else {
        for (int i = 0; i < m_m; ++i) {
            AppendSprintf(m_log, "%10lg  ", m_a[i]);
        }
    }
    m_log += "\n";
}

MethodRun DFPowell::EndWithoutStatistics(FitOutcome outcome, int iterations) {
    MethodRun run;
    run.outcome = outcome;
    run.iterations = iterations;
    return run;
}

MethodRun DFPowell::EndWithStatistics(FitOutcome outcome, int iterations) {
    MethodRun run = EndWithoutStatistics(outcome, iterations);
    run.chisqDof = FinishStatistics();
    return run;
}

}  // namespace quillon
