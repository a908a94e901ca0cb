#include "fit/global_fit.h"

#include "fit/set_model.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <thread>

#include "fit/block_normal_equations.h"

namespace quillon {
namespace {

std::size_t Size(int count) {
    return count > 0 ? static_cast<std::size_t>(count) : 0;
}

// Runs body(k) for k < count on up to jobs threads. Each k writes only its
// own slot, so the result does not depend on the thread count.
template <typename Body>
void ParallelFor(std::size_t count, unsigned jobs, const Body& body) {
    const std::size_t threads = std::min<std::size_t>(std::max(jobs, 1U), count);
    if (threads <= 1) {
        for (std::size_t k = 0; k < count; ++k) {
            body(k);
        }
        return;
    }
    std::atomic<std::size_t> next{0};
    auto worker = [&] {
        for (std::size_t k = next++; k < count; k = next++) {
            body(k);
        }
    };
    std::vector<std::jthread> pool;
    for (std::size_t t = 1; t < threads; ++t) {
        pool.emplace_back(worker);
    }
    worker();
}

// The parameter indices of a set's Jacobian columns: its free locals, then
// the free shared ones it takes part in; sharedAt gives those columns'
// positions among all the shared parameters.
std::vector<int> ColumnIndices(const GlobalFitSet& set, const std::vector<int>& sharedFree,
                               std::vector<std::size_t>& sharedAt) {
    std::vector<int> columns = set.localFree;
    for (std::size_t c = 0; c < sharedFree.size(); ++c) {
        if (set.shares[c]) {
            columns.push_back(sharedFree[c]);
            sharedAt.push_back(c);
        }
    }
    return columns;
}

// The Jacobian and the half gradient from the model's exact derivatives;
// false for a model without them.
bool ExactJacobian(CModelFunction& model, const std::vector<int>& columns, double& chisq,
                   std::vector<double>& jac, std::vector<double>& beta) {
    const std::size_t n = Size(model.PointCount());
    const std::size_t m = Size(model.ParamCount());
    std::vector<double> values(n);
    std::vector<double> gradients(m * n);
    if (!model.ValuesAndGradients(model.Params().data(), values, gradients)) {
        return false;
    }
    const std::span<const double> y = model.YData();
    const std::span<const double> w = model.WData();
    chisq = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        values[i] = (values[i] - y[i]) * (w.empty() ? 1.0 : w[i]);
        chisq += values[i] * values[i];
    }
    for (std::size_t c = 0; c < columns.size(); ++c) {
        double dot = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            const double g = gradients[Size(columns[c]) * n + i] * (w.empty() ? 1.0 : w[i]);
            jac[c * n + i] = g;
            dot += g * values[i];
        }
        beta[c] = -dot;
    }
    return true;
}

// The Jacobian by central differences with the model's steps h and the half
// gradient -J^T r from it, as the fit workspace takes them when precise.
void CentralJacobian(CModelFunction& model, const std::vector<int>& columns, double& chisq,
                     std::vector<double>& jac, std::vector<double>& beta) {
    const std::size_t n = Size(model.PointCount());
    std::vector<double> p(model.Params().begin(), model.Params().end());
    std::vector<double> r0;
    std::vector<double> r1;
    std::vector<double> r2;
    chisq = ModelChiSquare(model, p.data(), r0);
    for (std::size_t c = 0; c < columns.size(); ++c) {
        const auto at = Size(columns[c]);
        const double h = model.Steps()[at];
        std::vector<double> plus(model.Params().begin(), model.Params().end());
        std::vector<double> minus = plus;
        plus[at] += h;
        minus[at] -= h;
        ModelChiSquare(model, plus.data(), r1);
        ModelChiSquare(model, minus.data(), r2);
        double dot = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            jac[c * n + i] = (r1[i] - r2[i]) / (2.0 * h);
            dot += jac[c * n + i] * r0[i];
        }
        beta[c] = -dot;
    }
}

// The Jacobian by forward differences with the model's steps h and the half
// gradient from the chi-square differences, as the fit workspace takes them.
void DifferenceJacobian(CModelFunction& model, const std::vector<int>& columns, double& chisq,
                        std::vector<double>& jac, std::vector<double>& beta) {
    const std::size_t n = Size(model.PointCount());
    std::vector<double> p(model.Params().begin(), model.Params().end());
    std::vector<double> r0;
    std::vector<double> r1;
    chisq = ModelChiSquare(model, p.data(), r0);
    for (std::size_t c = 0; c < columns.size(); ++c) {
        const auto at = Size(columns[c]);
        const double h = model.Steps()[at];
        std::vector<double> q(model.Params().begin(), model.Params().end());
        q[at] += h;
        const double f1 = ModelChiSquare(model, q.data(), r1);
        beta[c] = (f1 - chisq) * (-0.5) / h;
        for (std::size_t i = 0; i < n; ++i) {
            jac[c * n + i] = (r1[i] - r0[i]) / h;
        }
    }
}

// The set's block of the normal equations at its current parameters; returns
// its chi-square. The Jacobian lives only while the block is built.
double BuildSetBlock(const GlobalFitSet& set, const std::vector<int>& sharedFree, bool precise,
                     SetNormalBlock& block) {
    CModelFunction& model = *set.model;
    std::vector<std::size_t> sharedAt;
    const std::vector<int> columns = ColumnIndices(set, sharedFree, sharedAt);
    const std::size_t n = Size(model.PointCount());
    const std::size_t cols = columns.size();
    std::vector<double> jac(cols * n);
    std::vector<double> beta(cols);
    double chisq = 0.0;
    if (ExactJacobian(model, columns, chisq, jac, beta)) {
        // exact derivatives, as the single fit takes them
    } else if (precise) {
        CentralJacobian(model, columns, chisq, jac, beta);
    } else {
        DifferenceJacobian(model, columns, chisq, jac, beta);
    }
    const std::size_t l = set.localFree.size();
    const std::size_t s = sharedFree.size();
    block.local = static_cast<int>(l);
    block.curvature.assign(l * l, 0.0);
    block.coupling.assign(l * s, 0.0);
    block.sharedCurvature.assign(s * s, 0.0);
    block.halfGradient.assign(beta.begin(), beta.begin() + static_cast<std::ptrdiff_t>(l));
    block.sharedHalfGradient.assign(s, 0.0);
    for (std::size_t c = l; c < cols; ++c) {
        block.sharedHalfGradient[sharedAt[c - l]] = beta[c];
    }
    for (std::size_t a = 0; a < cols; ++a) {
        for (std::size_t b = a; b < cols; ++b) {
            double sum = 0.0;
            for (std::size_t i = 0; i < n; ++i) {
                sum += jac[a * n + i] * jac[b * n + i];
            }
            if (b < l) {
                block.curvature[a * l + b] = block.curvature[b * l + a] = sum;
            } else if (a < l) {
                block.coupling[a * s + sharedAt[b - l]] = sum;
            } else {
                block.sharedCurvature[sharedAt[a - l] * s + sharedAt[b - l]] = sum;
                block.sharedCurvature[sharedAt[b - l] * s + sharedAt[a - l]] = sum;
            }
        }
    }
    return chisq;
}

// The Marquardt iterations of the joint fit over the sets still in it.
class JointMarquardt {
  public:
    explicit JointMarquardt(const GlobalFitProblem& problem) : m_problem(problem) {
        for (std::size_t k = 0; k < problem.sets.size(); ++k) {
            m_active.push_back(k);
        }
    }
    GlobalFitResult Run();

  private:
    double BuildBlocks();
    void LeaveOutSingularSets(GlobalFitResult& result);
    bool TryStep(const BlockStep& step, double& chisq);
    void Finish(GlobalFitResult& result);
    int SharedCount() const { return static_cast<int>(m_problem.sharedFree.size()); }

    const GlobalFitProblem& m_problem;
    std::vector<std::size_t> m_active;  // problem set indices still fitted
    std::vector<SetNormalBlock> m_blocks;
    std::vector<double> m_setChisq;
    std::vector<std::vector<double>> m_trial;
};

double JointMarquardt::BuildBlocks() {
    m_blocks.resize(m_active.size());
    m_setChisq.assign(m_active.size(), 0.0);
    ParallelFor(m_active.size(), m_problem.jobs, [&](std::size_t k) {
        m_setChisq[k] = BuildSetBlock(m_problem.sets[m_active[k]], m_problem.sharedFree,
                                      m_problem.precise, m_blocks[k]);
    });
    double sum = 0.0;
    for (const double c : m_setChisq) {
        sum += c;
    }
    return sum;
}

// A set whose own curvature does not invert cannot be eliminated: it is
// left out, and the others go on without it.
void JointMarquardt::LeaveOutSingularSets(GlobalFitResult& result) {
    std::vector<std::size_t> kept;
    for (std::size_t k = 0; k < m_active.size(); ++k) {
        std::vector<double> inverse = m_blocks[k].curvature;
        if (InvertGaussJordan(inverse, m_blocks[k].local)) {
            kept.push_back(m_active[k]);
        } else {
            result.singularSets.push_back(static_cast<int>(m_active[k]));
        }
    }
    m_active = std::move(kept);
}

// The trial parameters of every set after the step, and their chi-square.
bool JointMarquardt::TryStep(const BlockStep& step, double& chisq) {
    m_trial.resize(m_active.size());
    std::vector<double> trialChisq(m_active.size(), 0.0);
    ParallelFor(m_active.size(), m_problem.jobs, [&](std::size_t k) {
        const GlobalFitSet& set = m_problem.sets[m_active[k]];
        std::vector<double>& p = m_trial[k];
        p.assign(set.model->Params().begin(), set.model->Params().end());
        for (std::size_t i = 0; i < set.localFree.size(); ++i) {
            p[Size(set.localFree[i])] += step.local[k][i];
        }
        for (std::size_t i = 0; i < m_problem.sharedFree.size(); ++i) {
            if (set.shares[i]) {
                p[Size(m_problem.sharedFree[i])] += step.shared[i];
            }
        }
        std::vector<double> r;
        std::vector<double> evaluated = p;  // a model may normalise what it is given
        trialChisq[k] = ModelChiSquare(*set.model, evaluated.data(), r);
    });
    chisq = 0.0;
    for (const double c : trialChisq) {
        chisq += c;
    }
    return true;
}

GlobalFitResult JointMarquardt::Run() {
    GlobalFitResult result;
    for (const GlobalFitSet& set : m_problem.sets) {
        for (std::size_t i = 0; i < m_problem.sharedFree.size(); ++i) {
            if (set.shares[i]) {
                set.model->Params()[Size(m_problem.sharedFree[i])] = m_problem.sharedStart[i];
            }
        }
    }
    double built = BuildBlocks();
    const std::size_t before = m_active.size();
    LeaveOutSingularSets(result);
    if (m_active.empty()) {
        result.outcome = FitOutcome::Singular;
        return result;
    }
    // The blocks just built serve the first iteration unless a set left.
    bool fresh = m_active.size() == before;
    double lambda = 0.001;
    int k = 0;
    result.outcome = FitOutcome::IterationLimit;
    while (k < m_problem.nCut) {
        if (m_problem.stopRequested && m_problem.stopRequested()) {
            result.stopped = true;
            return result;
        }
        const double chisqPrev = fresh ? built : BuildBlocks();
        fresh = false;
        bool accepted = false;
        double diff = 0.0;
        for (int pass = 0; pass < m_problem.nCut && !accepted; ++pass) {
            const BlockStep step = SolveBlockNormalEquations(m_blocks, SharedCount(), lambda);
            if (!step.solved) {
                result.outcome = FitOutcome::Singular;
                result.iterations = k + 1;
                result.lambda = lambda;
                return result;
            }
            double chisq = 0.0;
            TryStep(step, chisq);
            diff = chisqPrev - chisq;
            // An unchanged chi-square counts as accepted; NaN is rejected.
            accepted = diff >= 0.0;
            lambda *= accepted ? 0.1 : 10.0;
        }
        if (!accepted) {
            result.outcome = FitOutcome::LambdaAbnormal;
            result.iterations = k + 1;
            result.lambda = lambda;
            return result;
        }
        for (std::size_t s = 0; s < m_active.size(); ++s) {
            std::ranges::copy(m_trial[s], m_problem.sets[m_active[s]].model->Params().begin());
        }
        ++k;
        if (std::fabs(diff) < m_problem.chiCut) {
            result.outcome = FitOutcome::Converged;
            break;
        }
    }
    result.iterations = k;
    result.lambda = lambda;
    Finish(result);
    return result;
}

// The chi-square and the inverse curvature at the parameters reached.
void JointMarquardt::Finish(GlobalFitResult& result) {
    result.chisq = BuildBlocks();
    result.setChisq.assign(m_problem.sets.size(), 0.0);
    for (std::size_t k = 0; k < m_active.size(); ++k) {
        result.setChisq[m_active[k]] = m_setChisq[k];
    }
    result.shared = m_problem.sharedStart;
    for (std::size_t i = 0; i < m_problem.sharedFree.size(); ++i) {
        for (const std::size_t k : m_active) {
            if (m_problem.sets[k].shares[i]) {
                result.shared[i] = m_problem.sets[k].model->Params()[Size(m_problem.sharedFree[i])];
                break;
            }
        }
    }
    const BlockInverse inverse = InvertBlockNormalEquations(m_blocks, SharedCount());
    if (!inverse.inverted) {
        return;
    }
    result.sharedCovariance = inverse.shared;
    result.localVariances.resize(m_problem.sets.size());
    for (std::size_t k = 0; k < m_active.size(); ++k) {
        result.localVariances[m_active[k]] = inverse.localVariances[k];
    }
}

}  // namespace

GlobalFitResult FitGlobal(const GlobalFitProblem& problem) {
    JointMarquardt joint(problem);
    return joint.Run();
}

}  // namespace quillon
