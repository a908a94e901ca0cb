#include "fit/global_fit.h"

#include "fit/set_model.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <thread>

#include "fit/block_normal_equations.h"
#include "fit/parameter_constraints.h"
#include "records/number_format.h"

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

// One column of a set's Jacobian: the parameter, its map to the scale the
// fit varies it on (the identity when unbounded), its value u there and the
// finite-difference step in u.
struct Column {
    std::size_t index = 0;
    BoundTransform map;
    double u = 0.0;
    double step = 0.0;
};

// The step in u that moves a bounded parameter by its own step h where the
// map is steepest, as a single fit takes it; h itself when unbounded.
double InternalStep(const BoundTransform& map, double p, double h, double er) {
    if (map.Kind() == BoundKind::None) {
        return h;
    }
    double step = std::fabs(h);
    if (!(step > 0.0) || !std::isfinite(step)) {
        step = std::max(std::fabs(p) * er, kMinStep);
    }
    const double u = step / map.SteepestDerivative();
    return u >= kMinStep && std::isfinite(u) ? u : kMinStep;
}

// The model's parameters with column c moved to u + du.
std::vector<double> Moved(CModelFunction& model, const Column& c, double du) {
    std::vector<double> p(model.Params().begin(), model.Params().end());
    p[c.index] = c.map.ToParameter(c.u + du);
    return p;
}

// The Jacobian and the half gradient from the model's exact derivatives
// (through each map by the chain rule); false for a model without them.
bool ExactJacobian(CModelFunction& model, const std::vector<Column>& columns, double& chisq,
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
        const double slope = columns[c].map.Derivative(columns[c].u);
        double dot = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            const double g = gradients[columns[c].index * n + i] * (w.empty() ? 1.0 : w[i]) * slope;
            jac[c * n + i] = g;
            dot += g * values[i];
        }
        beta[c] = -dot;
    }
    return true;
}

// The Jacobian by central differences in u and the half gradient -J^T r
// from it, as the fit workspace takes them when precise.
void CentralJacobian(CModelFunction& model, const std::vector<Column>& columns, double& chisq,
                     std::vector<double>& jac, std::vector<double>& beta) {
    const std::size_t n = Size(model.PointCount());
    std::vector<double> p(model.Params().begin(), model.Params().end());
    std::vector<double> r0;
    std::vector<double> r1;
    std::vector<double> r2;
    chisq = ModelChiSquare(model, p.data(), r0);
    for (std::size_t c = 0; c < columns.size(); ++c) {
        const double h = columns[c].step;
        std::vector<double> plus = Moved(model, columns[c], h);
        std::vector<double> minus = Moved(model, columns[c], -h);
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

// The Jacobian by forward differences in u and the half gradient from the
// chi-square differences, as the fit workspace takes them.
void DifferenceJacobian(CModelFunction& model, const std::vector<Column>& columns, double& chisq,
                        std::vector<double>& jac, std::vector<double>& beta) {
    const std::size_t n = Size(model.PointCount());
    std::vector<double> p(model.Params().begin(), model.Params().end());
    std::vector<double> r0;
    std::vector<double> r1;
    chisq = ModelChiSquare(model, p.data(), r0);
    for (std::size_t c = 0; c < columns.size(); ++c) {
        const double h = columns[c].step;
        std::vector<double> q = Moved(model, columns[c], h);
        const double f1 = ModelChiSquare(model, q.data(), r1);
        beta[c] = (f1 - chisq) * (-0.5) / h;
        for (std::size_t i = 0; i < n; ++i) {
            jac[c * n + i] = (r1[i] - r0[i]) / h;
        }
    }
}

// The scales the joint fit varies its parameters on: per free shared
// parameter and per set's free local its map (the identity when unbounded)
// and its value u there. An unbounded parameter's u is the parameter itself.
struct JointScales {
    std::vector<BoundTransform> sharedMaps;
    std::vector<double> sharedU;
    std::vector<std::vector<BoundTransform>> localMaps;  // per problem set
    std::vector<std::vector<double>> localU;
};

// How far inside its bounds a start on a bound begins, as a part of the
// bounds' scale: the map is flat on the bound (dp/du = 0), so a fit started
// there sees no slope and could not leave it; this close the fit still
// counts as pressing against the bound if it stays.
constexpr double kOffBoundFraction = 5e-4;

// A start on a bound moved just inside it.
double OffTheBound(const ParameterBounds& bounds, double p) {
    const bool lower = std::isfinite(bounds.lower);
    const bool upper = std::isfinite(bounds.upper);
    const double side = lower ? bounds.lower : bounds.upper;
    const double scale = lower && upper ? bounds.upper - bounds.lower
                                        : (std::fabs(side) > 0.0 ? std::fabs(side) : 1.0);
    if (lower && p <= bounds.lower) {
        return bounds.lower + kOffBoundFraction * scale;
    }
    return upper && p >= bounds.upper ? bounds.upper - kOffBoundFraction * scale : p;
}

// A parameter's map, its start moved into its bounds and off them.
BoundTransform MapFor(const std::optional<ParameterBounds>& bounds, double& start) {
    if (!bounds) {
        return {};
    }
    start = OffTheBound(*bounds, ClampIntoBounds(start, *bounds));
    return BoundTransform(*bounds, start);
}

std::optional<ParameterBounds> BoundsAt(const std::vector<std::optional<ParameterBounds>>& list,
                                        std::size_t at) {
    return at < list.size() ? list[at] : std::nullopt;
}

// Set k's columns: its free locals, then the free shared ones it takes part
// in; sharedAt gives those columns' positions among all the shared ones.
std::vector<Column> SetColumns(const GlobalFitProblem& problem, std::size_t k,
                               const JointScales& scales, std::vector<std::size_t>& sharedAt) {
    const GlobalFitSet& set = problem.sets[k];
    CModelFunction& model = *set.model;
    const auto column = [&](int index, const BoundTransform& map, double u) {
        const auto at = Size(index);
        return Column{at, map, u,
                      InternalStep(map, model.Params()[at], model.Steps()[at], model.ER())};
    };
    std::vector<Column> columns;
    for (std::size_t i = 0; i < set.localFree.size(); ++i) {
        columns.push_back(column(set.localFree[i], scales.localMaps[k][i], scales.localU[k][i]));
    }
    for (std::size_t c = 0; c < problem.sharedFree.size(); ++c) {
        if (set.shares[c]) {
            columns.push_back(
                column(problem.sharedFree[c], scales.sharedMaps[c], scales.sharedU[c]));
            sharedAt.push_back(c);
        }
    }
    return columns;
}

// J^T J and -J^T r of one set sorted into its local, coupling and shared
// blocks; the first l columns are the locals.
void FillSetBlock(const std::vector<double>& jac, const std::vector<double>& beta, std::size_t n,
                  std::size_t l, std::size_t s, const std::vector<std::size_t>& sharedAt,
                  SetNormalBlock& block) {
    const std::size_t cols = beta.size();
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
}

// Set k's block of the normal equations at its current parameters; returns
// its chi-square. The Jacobian lives only while the block is built.
double BuildSetBlock(const GlobalFitProblem& problem, std::size_t k, const JointScales& scales,
                     SetNormalBlock& block) {
    CModelFunction& model = *problem.sets[k].model;
    std::vector<std::size_t> sharedAt;
    const std::vector<Column> columns = SetColumns(problem, k, scales, sharedAt);
    const std::size_t n = Size(model.PointCount());
    std::vector<double> jac(columns.size() * n);
    std::vector<double> beta(columns.size());
    double chisq = 0.0;
    if (ExactJacobian(model, columns, chisq, jac, beta)) {
        // exact derivatives, as the single fit takes them
    } else if (problem.precise) {
        CentralJacobian(model, columns, chisq, jac, beta);
    } else {
        DifferenceJacobian(model, columns, chisq, jac, beta);
    }
    FillSetBlock(jac, beta, n, problem.sets[k].localFree.size(), problem.sharedFree.size(),
                 sharedAt, block);
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
    void Start(GlobalFitResult& result);
    double BuildBlocks();
    void LeaveOutSingularSets(GlobalFitResult& result);
    bool TryStep(const BlockStep& step, double& chisq);
    void Accept();
    void Finish(GlobalFitResult& result);
    void MapErrors(GlobalFitResult& result) const;
    void MarkBounds(GlobalFitResult& result) const;
    int SharedCount() const { return static_cast<int>(m_problem.sharedFree.size()); }

    const GlobalFitProblem& m_problem;
    std::vector<std::size_t> m_active;  // problem set indices still fitted
    std::vector<SetNormalBlock> m_blocks;
    std::vector<double> m_setChisq;
    JointScales m_scales;
    std::vector<std::vector<double>> m_trial;        // per active set: parameters
    std::vector<std::vector<double>> m_trialLocalU;  // per active set: its locals' u
    std::vector<double> m_trialSharedU;
};

// Every set at the shared start, each bounded parameter moved into its
// bounds (a moved shared start is noted), and the scales the fit varies on.
void JointMarquardt::Start(GlobalFitResult& result) {
    const std::size_t s = m_problem.sharedFree.size();
    for (std::size_t c = 0; c < s; ++c) {
        double start = m_problem.sharedStart[c];
        m_scales.sharedMaps.push_back(MapFor(BoundsAt(m_problem.sharedBounds, c), start));
        m_scales.sharedU.push_back(m_scales.sharedMaps.back().ToInternal(start));
        if (start != m_problem.sharedStart[c]) {
            result.startNotes.push_back(
                Sprintf("Start of a[%d] moved into its bounds: %lg -> %lg\n",
                        m_problem.sharedFree[c], m_problem.sharedStart[c], start));
        }
        for (const GlobalFitSet& set : m_problem.sets) {
            if (set.shares[c]) {
                set.model->Params()[Size(m_problem.sharedFree[c])] = start;
            }
        }
    }
    for (std::size_t k = 0; k < m_problem.sets.size(); ++k) {
        const GlobalFitSet& set = m_problem.sets[k];
        const std::vector<std::optional<ParameterBounds>> none;
        const auto& bounds = k < m_problem.localBounds.size() ? m_problem.localBounds[k] : none;
        m_scales.localMaps.emplace_back();
        m_scales.localU.emplace_back();
        for (std::size_t i = 0; i < set.localFree.size(); ++i) {
            double& p = set.model->Params()[Size(set.localFree[i])];
            m_scales.localMaps[k].push_back(MapFor(BoundsAt(bounds, i), p));
            m_scales.localU[k].push_back(m_scales.localMaps[k].back().ToInternal(p));
        }
    }
}

double JointMarquardt::BuildBlocks() {
    m_blocks.resize(m_active.size());
    m_setChisq.assign(m_active.size(), 0.0);
    ParallelFor(m_active.size(), m_problem.jobs, [&](std::size_t k) {
        m_setChisq[k] = BuildSetBlock(m_problem, m_active[k], m_scales, m_blocks[k]);
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

// The trial parameters of every set after the step (taken in u), and their
// chi-square.
bool JointMarquardt::TryStep(const BlockStep& step, double& chisq) {
    m_trialSharedU = m_scales.sharedU;
    for (std::size_t c = 0; c < m_trialSharedU.size(); ++c) {
        m_trialSharedU[c] += step.shared[c];
    }
    m_trial.resize(m_active.size());
    m_trialLocalU.resize(m_active.size());
    std::vector<double> trialChisq(m_active.size(), 0.0);
    ParallelFor(m_active.size(), m_problem.jobs, [&](std::size_t k) {
        const std::size_t at = m_active[k];
        const GlobalFitSet& set = m_problem.sets[at];
        std::vector<double>& p = m_trial[k];
        p.assign(set.model->Params().begin(), set.model->Params().end());
        m_trialLocalU[k] = m_scales.localU[at];
        for (std::size_t i = 0; i < set.localFree.size(); ++i) {
            m_trialLocalU[k][i] += step.local[k][i];
            p[Size(set.localFree[i])] = m_scales.localMaps[at][i].ToParameter(m_trialLocalU[k][i]);
        }
        for (std::size_t i = 0; i < m_problem.sharedFree.size(); ++i) {
            if (set.shares[i]) {
                p[Size(m_problem.sharedFree[i])] =
                    m_scales.sharedMaps[i].ToParameter(m_trialSharedU[i]);
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

void JointMarquardt::Accept() {
    for (std::size_t k = 0; k < m_active.size(); ++k) {
        std::ranges::copy(m_trial[k], m_problem.sets[m_active[k]].model->Params().begin());
        m_scales.localU[m_active[k]] = m_trialLocalU[k];
    }
    m_scales.sharedU = m_trialSharedU;
}

GlobalFitResult JointMarquardt::Run() {
    GlobalFitResult result;
    Start(result);
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
        Accept();
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
        result.shared[i] = m_scales.sharedMaps[i].ToParameter(m_scales.sharedU[i]);
        for (const std::size_t k : m_active) {
            if (m_problem.sets[k].shares[i]) {
                result.shared[i] = m_problem.sets[k].model->Params()[Size(m_problem.sharedFree[i])];
                break;
            }
        }
    }
    const BlockInverse inverse = InvertBlockNormalEquations(m_blocks, SharedCount());
    if (inverse.inverted) {
        result.sharedCovariance = inverse.shared;
        result.localVariances.resize(m_problem.sets.size());
        for (std::size_t k = 0; k < m_active.size(); ++k) {
            result.localVariances[m_active[k]] = inverse.localVariances[k];
        }
        MapErrors(result);
    }
    MarkBounds(result);
}

// The inverse curvature taken from the scales the fit varied on to the
// parameters' own: each row and column times dp/du (1 when unbounded).
void JointMarquardt::MapErrors(GlobalFitResult& result) const {
    const std::size_t s = m_problem.sharedFree.size();
    for (std::size_t r = 0; r < s; ++r) {
        for (std::size_t c = 0; c < s; ++c) {
            const BoundTransform& mr = m_scales.sharedMaps[r];
            const BoundTransform& mc = m_scales.sharedMaps[c];
            if (mr.Kind() != BoundKind::None || mc.Kind() != BoundKind::None) {
                result.sharedCovariance[r * s + c] *=
                    mr.Derivative(m_scales.sharedU[r]) * mc.Derivative(m_scales.sharedU[c]);
            }
        }
    }
    for (const std::size_t k : m_active) {
        for (std::size_t i = 0; i < result.localVariances[k].size(); ++i) {
            const BoundTransform& map = m_scales.localMaps[k][i];
            if (map.Kind() != BoundKind::None) {
                const double slope = map.Derivative(m_scales.localU[k][i]);
                result.localVariances[k][i] *= slope * slope;
            }
        }
    }
}

// The bounds each bounded parameter ended on or may be pressing against, as
// a single fit judges them (sigma the unscaled error on its own scale).
void JointMarquardt::MarkBounds(GlobalFitResult& result) const {
    const bool converged = result.outcome == FitOutcome::Converged;
    const std::size_t s = m_problem.sharedFree.size();
    result.sharedReached.assign(s, std::nullopt);
    result.sharedPressed.assign(s, std::nullopt);
    for (std::size_t c = 0; c < s; ++c) {
        const double sigma = result.sharedCovariance.empty()
                                 ? std::nan("")
                                 : std::sqrt(std::fabs(result.sharedCovariance[c * s + c]));
        result.sharedReached[c] = m_scales.sharedMaps[c].BoundReached(result.shared[c]);
        result.sharedPressed[c] =
            m_scales.sharedMaps[c].BoundPressed(result.shared[c], sigma, converged);
    }
    result.localReached.assign(m_problem.sets.size(), {});
    result.localPressed.assign(m_problem.sets.size(), {});
    for (const std::size_t k : m_active) {
        const GlobalFitSet& set = m_problem.sets[k];
        for (std::size_t i = 0; i < set.localFree.size(); ++i) {
            const BoundTransform& map = m_scales.localMaps[k][i];
            const double p = set.model->Params()[Size(set.localFree[i])];
            const double sigma = result.localVariances.empty()
                                     ? std::nan("")
                                     : std::sqrt(std::fabs(result.localVariances[k][i]));
            result.localReached[k].push_back(map.BoundReached(p));
            result.localPressed[k].push_back(map.BoundPressed(p, sigma, converged));
        }
    }
}

}  // namespace

double SharedStartFromSeparateFits(std::span<const double> values, std::span<const double> errors) {
    double sum = 0.0;
    double weightedSum = 0.0;
    double weights = 0.0;
    bool weighable = true;
    for (std::size_t k = 0; k < values.size(); ++k) {
        sum += values[k];
        weighable = weighable && std::isfinite(errors[k]) && errors[k] > 0.0;
        if (weighable) {
            weightedSum += values[k] / (errors[k] * errors[k]);
            weights += 1.0 / (errors[k] * errors[k]);
        }
    }
    if (values.empty()) {
        return 0.0;
    }
    return weighable && weights > 0.0 ? weightedSum / weights
                                      : sum / static_cast<double>(values.size());
}

GlobalFitResult FitGlobal(const GlobalFitProblem& problem) {
    JointMarquardt joint(problem);
    return joint.Run();
}

}  // namespace quillon
