#include "engine/global_compute.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "engine/global_report.h"
#include "fit/global_fit.h"
#include "fit/set_model.h"
#include "models/catalogue.h"

namespace quillon {
namespace {

std::size_t Size(int count) {
    return count > 0 ? static_cast<std::size_t>(count) : 0;
}

// One set taking part: its arrays (the model points into them), its model
// at the separate fit's parameters and what it varies alone.
struct PreparedSet {
    std::size_t record = 0;  // index into the compute's sets
    std::vector<double> x;
    std::vector<double> y;
    std::vector<double> w;
    std::unique_ptr<CModelFunction> model;
    std::vector<int> localFree;  // its free locals, those held at a bound included
    std::vector<std::optional<ParameterBounds>> localBounds;  // per localFree entry
    // Per parameter: the bound the joint fit holds it at after it pressed there.
    std::vector<std::optional<double>> atBound;
};

// The separate fit a set's joint start is taken from: the one run, or the
// first (Marquardt) of ALL; null without a parameter block.
const FitRecord* SeparateFit(const SetRecord& set) {
    if (set.fits.empty() || set.fits.front().parameters.empty()) {
        return nullptr;
    }
    return &set.fits.front();
}

bool IsHeld(const FitRecord& fit, int index) {
    const auto at = Size(index);
    return fit.constraints && at < fit.constraints->fixed.size() && fit.constraints->fixed[at];
}

// The bounds of a parameter the set's fit varied within them.
std::optional<ParameterBounds> BoundsOf(const FitRecord& fit, int index) {
    const auto at = Size(index);
    if (!fit.constraints || at >= fit.constraints->bounds.size() || IsHeld(fit, index)) {
        return std::nullopt;
    }
    return fit.constraints->bounds[at];
}

// The range both bounds allow; a shared parameter keeps every set's bounds.
std::optional<ParameterBounds> Intersect(const std::optional<ParameterBounds>& a,
                                         const std::optional<ParameterBounds>& b) {
    if (!a || !b) {
        return a ? a : b;
    }
    return ParameterBounds{std::max(a->lower, b->lower), std::min(a->upper, b->upper)};
}

bool HasParameters(FitOutcome outcome) {
    return outcome == FitOutcome::Converged || outcome == FitOutcome::IterationLimit;
}

class GlobalRun {
  public:
    explicit GlobalRun(const GlobalComputeInput& input) : m_input(input) {}
    GlobalComputeOutput Run(std::vector<MessageRecord>& messages, ResultColumnList& fileColumns);

  private:
    bool CollectShared();
    void PrepareSets();
    std::string PrepareSet(std::size_t k);
    GlobalFitProblem BuildProblem() const;
    double SharedStart(std::size_t s) const;
    bool SharedFree(std::size_t s) const { return !m_held[s] && !m_sharedAtBound[s]; }
    bool HoldPressedBounds(const GlobalFitResult& result);
    void ReleaseBounds();
    bool FitHoldingPressedBounds(GlobalFitProblem& problem, GlobalFitResult& result);
    GlobalFitRecord MakeRecord(const GlobalFitProblem& problem, const GlobalFitResult& result);
    void AddSharedRecords(const GlobalFitProblem& problem, const GlobalFitResult& result,
                          double scale, bool inverted, GlobalFitRecord& record);
    void AddSetRecords(const GlobalFitProblem& problem, const GlobalFitResult& result, double scale,
                       GlobalFitRecord& record);
    void SendLine(const char* text, std::vector<MessageRecord>& messages);
    bool Shares(std::size_t record, int index) const {
        return std::ranges::binary_search(m_input.sharing.PerSet()[record], index);
    }

    const GlobalComputeInput& m_input;
    std::vector<int> m_shared;     // every index shared by some set, ascending
    std::vector<bool> m_held;      // per m_shared entry
    std::vector<double> m_heldAt;  // the held value
    std::vector<std::optional<ParameterBounds>> m_sharedBounds;  // per m_shared entry
    std::vector<std::optional<double>> m_sharedAtBound;  // held at a bound after pressing it
    std::vector<std::optional<double>> m_resumeAt;       // the start of a fit run again
    std::vector<PreparedSet> m_sets;
    std::vector<LeftOutSet> m_leftOut;
};

// The shared indices, which are held and their bounds (what every set that
// shares one allows); false when some shared parameter's bounds exclude
// each other.
bool GlobalRun::CollectShared() {
    for (const std::vector<int>& shared : m_input.sharing.PerSet()) {
        for (const int index : shared) {
            if (!std::ranges::binary_search(m_shared, index)) {
                m_shared.insert(std::ranges::upper_bound(m_shared, index), index);
            }
        }
    }
    m_held.assign(m_shared.size(), false);
    m_heldAt.assign(m_shared.size(), 0.0);
    m_sharedBounds.assign(m_shared.size(), std::nullopt);
    m_sharedAtBound.assign(m_shared.size(), std::nullopt);
    m_resumeAt.assign(m_shared.size(), std::nullopt);
    for (std::size_t k = 0; k < m_input.sets.size(); ++k) {
        const FitRecord* fit = SeparateFit(m_input.sets[k]);
        for (std::size_t s = 0; fit != nullptr && s < m_shared.size(); ++s) {
            if (!Shares(k, m_shared[s])) {
                continue;
            }
            m_sharedBounds[s] = Intersect(m_sharedBounds[s], BoundsOf(*fit, m_shared[s]));
            if (IsHeld(*fit, m_shared[s]) && !m_held[s]) {
                m_held[s] = true;
                m_heldAt[s] = fit->parameters[Size(m_shared[s])];
            }
        }
    }
    return std::ranges::none_of(m_sharedBounds, [](const std::optional<ParameterBounds>& b) {
        return b && b->lower > b->upper;
    });
}

// Why set k takes no part; empty when it was prepared.
std::string GlobalRun::PrepareSet(std::size_t k) {
    const SetRecord& set = m_input.sets[k];
    if (m_input.sharing.PerSet()[k].empty()) {
        return "shares no parameter";
    }
    const FitRecord* fit = SeparateFit(set);
    if (fit == nullptr) {
        return "no separate fit";
    }
    PreparedSet prepared;
    prepared.record = k;
    for (const DataPoint& p : set.points) {
        prepared.x.push_back(p.X);
        prepared.y.push_back(p.Y);
        prepared.w.push_back(1.0 / p.SD);
    }
    prepared.model = BuildEstimatedModel(m_input.settings, prepared.x.data(), prepared.y.data(),
                                         prepared.w.data(), static_cast<int>(prepared.x.size()));
    if (!prepared.model ||
        prepared.model->ParamCount() != static_cast<int>(fit->parameters.size())) {
        return "model not estimated";
    }
    std::ranges::copy(fit->parameters, prepared.model->Params().begin());
    for (int j = 0; j < prepared.model->ParamCount(); ++j) {
        if (!Shares(k, j) && !IsHeld(*fit, j)) {
            prepared.localFree.push_back(j);
            prepared.localBounds.push_back(BoundsOf(*fit, j));
        }
    }
    prepared.atBound.assign(Size(prepared.model->ParamCount()), std::nullopt);
    for (std::size_t s = 0; s < m_shared.size(); ++s) {
        if (m_held[s] && Shares(k, m_shared[s])) {
            prepared.model->Params()[Size(m_shared[s])] = m_heldAt[s];
        }
    }
    m_sets.push_back(std::move(prepared));
    return {};
}

void GlobalRun::PrepareSets() {
    for (std::size_t k = 0; k < m_input.sets.size(); ++k) {
        if (std::string reason = PrepareSet(k); !reason.empty()) {
            m_leftOut.push_back({m_input.sets[k].setNumber, std::move(reason)});
        }
    }
}

// The start of a shared parameter: where the fit ended when it is run
// again, its line's value, else the mean of the separate fits' values of the
// sets that share it, each weighed by its inverse variance (a set whose own
// fit went astray has a large error and barely moves it); the plain mean
// when some error is missing or zero.
double GlobalRun::SharedStart(std::size_t s) const {
    const int index = m_shared[s];
    if (m_resumeAt[s]) {
        return *m_resumeAt[s];
    }
    if (const auto start = m_input.sharing.Start(index)) {
        return *start;
    }
    std::vector<double> values;
    std::vector<double> errors;
    for (const PreparedSet& set : m_sets) {
        if (Shares(set.record, index)) {
            values.push_back(set.model->Params()[Size(index)]);
            errors.push_back(SeparateFit(m_input.sets[set.record])->errors[Size(index)]);
        }
    }
    return SharedStartFromSeparateFits(values, errors);
}

GlobalFitProblem GlobalRun::BuildProblem() const {
    GlobalFitProblem problem;
    for (std::size_t s = 0; s < m_shared.size(); ++s) {
        if (SharedFree(s)) {
            problem.sharedFree.push_back(m_shared[s]);
            problem.sharedStart.push_back(SharedStart(s));
            problem.sharedBounds.push_back(m_sharedBounds[s]);
        }
    }
    for (const PreparedSet& set : m_sets) {
        GlobalFitSet fitSet{set.model.get(), {}, {}};
        problem.localBounds.emplace_back();
        for (std::size_t i = 0; i < set.localFree.size(); ++i) {
            if (!set.atBound[Size(set.localFree[i])]) {
                fitSet.localFree.push_back(set.localFree[i]);
                problem.localBounds.back().push_back(set.localBounds[i]);
            }
        }
        for (const int index : problem.sharedFree) {
            fitSet.shares.push_back(Shares(set.record, index));
        }
        problem.sets.push_back(std::move(fitSet));
    }
    const ConvergenceSettings& convergence = m_input.settings.convergence;
    problem.nCut = convergence.n_cut;
    problem.chiCut = convergence.chi_cut;
    problem.precise = convergence.precise;
    problem.jobs = m_input.jobs;
    IComputeHost& host = m_input.host;
    problem.stopRequested = [&host] { return host.StopRequested(); };
    return problem;
}

void GlobalRun::SendLine(const char* text, std::vector<MessageRecord>& messages) {
    m_input.host.SendAnswer(AnswerHint::Warning, text);
    messages.push_back({"warning", text});
}

// Holds each free parameter the fit left pressing against a bound at that
// bound, from where the fit ended, as a single fit does; false when none is.
bool GlobalRun::HoldPressedBounds(const GlobalFitResult& result) {
    bool any = false;
    std::size_t c = 0;
    for (std::size_t s = 0; s < m_shared.size(); ++s) {
        if (!SharedFree(s)) {
            continue;
        }
        m_resumeAt[s] = result.shared[c];
        if (const std::optional<double> bound = result.sharedPressed[c]) {
            m_sharedAtBound[s] = bound;
            for (PreparedSet& set : m_sets) {
                if (Shares(set.record, m_shared[s])) {
                    set.model->Params()[Size(m_shared[s])] = *bound;
                }
            }
            any = true;
        }
        ++c;
    }
    for (std::size_t k = 0; k < m_sets.size() && k < result.localPressed.size(); ++k) {
        PreparedSet& set = m_sets[k];
        std::size_t i = 0;  // the entry among the locals the fit varied
        for (const int j : set.localFree) {
            if (set.atBound[Size(j)] || i >= result.localPressed[k].size()) {
                continue;
            }
            if (const std::optional<double> bound = result.localPressed[k][i++]) {
                set.atBound[Size(j)] = bound;
                set.model->Params()[Size(j)] = *bound;
                any = true;
            }
        }
    }
    return any;
}

void GlobalRun::ReleaseBounds() {
    std::ranges::fill(m_sharedAtBound, std::nullopt);
    std::ranges::fill(m_resumeAt, std::nullopt);
    for (PreparedSet& set : m_sets) {
        std::ranges::fill(set.atBound, std::nullopt);
    }
}

// When the fit left parameters pressing against their bounds, fits again
// with them held there and takes that result when its chi-square is no
// higher, as a single fit does; false when the host asked to stop.
bool GlobalRun::FitHoldingPressedBounds(GlobalFitProblem& problem, GlobalFitResult& result) {
    std::vector<std::vector<double>> ended;
    for (const PreparedSet& set : m_sets) {
        ended.emplace_back(set.model->Params().begin(), set.model->Params().end());
    }
    if (!HasParameters(result.outcome) || !HoldPressedBounds(result)) {
        ReleaseBounds();
        return true;
    }
    GlobalFitProblem held = BuildProblem();
    GlobalFitResult refit = FitGlobal(held);
    if (refit.stopped) {
        return false;
    }
    if (HasParameters(refit.outcome) && refit.chisq <= result.chisq) {
        // The start the block reports is the first fit's.
        refit.startNotes = std::move(result.startNotes);
        problem = std::move(held);
        result = std::move(refit);
        return true;
    }
    ReleaseBounds();
    for (std::size_t k = 0; k < m_sets.size(); ++k) {
        std::ranges::copy(ended[k], m_sets[k].model->Params().begin());
    }
    return true;
}

GlobalComputeOutput GlobalRun::Run(std::vector<MessageRecord>& messages,
                                   ResultColumnList& fileColumns) {
    GlobalComputeOutput output;
    const FitSettings& settings = m_input.settings;
    if (settings.formula.empty() && IsLinearModel(settings.modelId)) {
        SendLine(kGlobalLinearText, messages);
        return output;
    }
    if (!CollectShared()) {
        SendLine(kGlobalBoundedText, messages);
        return output;
    }
    PrepareSets();
    if (m_sets.empty()) {
        // Nothing to fit jointly: the block names the sets and why.
        output.record = GlobalFitRecord{};
        output.record->leftOut = m_leftOut;
        m_input.host.SendAnswer(AnswerHint::Warning, GlobalFitBlock(*output.record, 0, false));
        return output;
    }
    GlobalFitProblem problem = BuildProblem();
    GlobalFitResult result = FitGlobal(problem);
    if (result.stopped || !FitHoldingPressedBounds(problem, result)) {
        output.stopped = true;
        return output;
    }
    output.record = MakeRecord(problem, result);
    const bool note = settings.method != FitMethod::Marquardt;
    const bool converged = output.record->outcome == FitOutcome::Converged;
    m_input.host.SendAnswer(converged ? AnswerHint::Result : AnswerHint::Warning,
                            GlobalFitBlock(*output.record, settings.convergence.n_cut, note));
    if (settings.output.enabled) {
        AppendGlobalColumns(*output.record, fileColumns);
    }
    return output;
}

GlobalFitRecord GlobalRun::MakeRecord(const GlobalFitProblem& problem,
                                      const GlobalFitResult& result) {
    GlobalFitRecord record;
    record.outcome = result.outcome;
    record.iterations = result.iterations;
    record.lambda = result.lambda;
    record.leftOut = m_leftOut;
    record.startNotes = result.startNotes;
    for (const int k : result.singularSets) {
        const std::size_t at = m_sets[Size(k)].record;
        record.leftOut.push_back({m_input.sets[at].setNumber, "singular in the joint fit"});
    }
    std::ranges::sort(record.leftOut, {}, &LeftOutSet::setNumber);
    if (!HasParameters(result.outcome)) {
        return record;  // no parameters reached, as a single fit without a parameter block
    }
    // The shared parameters not held, those held at a bound by the fit
    // itself included, count as fitted.
    int freeCount = static_cast<int>(std::ranges::count(m_held, false));
    bool allWeighted = true;
    for (std::size_t k = 0; k < m_sets.size(); ++k) {
        if (!std::ranges::binary_search(result.singularSets, static_cast<int>(k))) {
            record.points += m_sets[k].model->PointCount();
            freeCount += static_cast<int>(m_sets[k].localFree.size());
            allWeighted = allWeighted && m_input.sets[m_sets[k].record].weighted;
        }
    }
    record.chisq = result.chisq;
    record.dof = record.points - freeCount;
    if (record.dof > 0) {
        record.chisqDof = record.chisq / record.dof;
    }
    // As for a single fit: the inverse curvature gives the errors of weighted
    // data as it stands; without SDs it is scaled by chi-square per dof.
    const double scale = allWeighted ? 1.0 : record.chisqDof.value_or(std::nan(""));
    const bool inverted = !result.sharedCovariance.empty() || problem.sharedFree.empty();
    AddSharedRecords(problem, result, scale, inverted, record);
    AddSetRecords(problem, result, inverted ? scale : std::nan(""), record);
    return record;
}

// The shared parameters with their errors and covariance: a held one has
// error and covariance 0, one at a bound has neither (NaN), as in a single fit.
void GlobalRun::AddSharedRecords(const GlobalFitProblem& problem, const GlobalFitResult& result,
                                 double scale, bool inverted, GlobalFitRecord& record) {
    const std::size_t sn = problem.sharedFree.size();
    const std::size_t all = m_shared.size();
    std::vector<std::size_t> freeAt;
    for (std::size_t s = 0; s < all; ++s) {
        SharedParameterRecord shared{m_shared[s], m_heldAt[s],       0.0,
                                     m_held[s],   m_sharedBounds[s], m_sharedAtBound[s]};
        if (m_sharedAtBound[s]) {
            shared.value = *m_sharedAtBound[s];
            shared.error = std::nan("");
        } else if (!m_held[s]) {
            const std::size_t c = freeAt.size();
            shared.value = result.shared[c];
            shared.atBound = result.sharedReached[c];
            shared.error = inverted && !shared.atBound
                               ? std::sqrt(std::fabs(result.sharedCovariance[c * sn + c]) * scale)
                               : std::nan("");
            freeAt.push_back(s);
        }
        record.shared.push_back(shared);
    }
    if (!inverted) {
        return;
    }
    // The covariance over every shared parameter.
    record.covariance.assign(all * all, 0.0);
    for (std::size_t r = 0; r < sn; ++r) {
        for (std::size_t q = 0; q < sn; ++q) {
            record.covariance[freeAt[r] * all + freeAt[q]] =
                result.sharedCovariance[r * sn + q] * scale;
        }
    }
    for (std::size_t s = 0; s < all; ++s) {
        for (std::size_t q = 0; record.shared[s].atBound && q < all; ++q) {
            record.covariance[s * all + q] = record.covariance[q * all + s] = std::nan("");
        }
    }
}

// Each set's whole parameter vector with the joint errors: its locals' from
// the inverse curvature (none for one at a bound), the shared ones' as the
// shared block gives them, 0 for a held one.
void GlobalRun::AddSetRecords(const GlobalFitProblem& problem, const GlobalFitResult& result,
                              double scale, GlobalFitRecord& record) {
    for (std::size_t k = 0; k < m_sets.size(); ++k) {
        if (std::ranges::binary_search(result.singularSets, static_cast<int>(k))) {
            continue;
        }
        const PreparedSet& set = m_sets[k];
        const SetRecord& source = m_input.sets[set.record];
        GlobalSetRecord out;
        out.setNumber = source.setNumber;
        out.label = source.label;
        out.parameters.assign(set.model->Params().begin(), set.model->Params().end());
        out.errors.assign(out.parameters.size(), 0.0);
        std::vector<std::optional<double>> atBound = set.atBound;
        const std::vector<int>& varied = problem.sets[k].localFree;
        for (std::size_t i = 0; i < varied.size(); ++i) {
            const double variance =
                result.localVariances.empty() ? std::nan("") : result.localVariances[k][i];
            const auto j = Size(varied[i]);
            atBound[j] = result.localReached[k][i];
            out.errors[j] = atBound[j] ? std::nan("") : std::sqrt(std::fabs(variance) * scale);
        }
        for (const int j : set.localFree) {
            out.errors[Size(j)] = atBound[Size(j)] ? std::nan("") : out.errors[Size(j)];
        }
        if (std::ranges::any_of(set.localBounds, [](const auto& b) { return b.has_value(); })) {
            out.atBound = std::move(atBound);
        }
        out.shared.assign(out.parameters.size(), false);
        for (const SharedParameterRecord& shared : record.shared) {
            if (Shares(set.record, shared.index)) {
                out.errors[Size(shared.index)] = shared.error;
                out.shared[Size(shared.index)] = true;
            }
        }
        const int setDof = set.model->PointCount() - static_cast<int>(set.localFree.size());
        if (setDof > 0) {
            out.chisqDof = result.setChisq[k] / setDof;
        }
        record.sets.push_back(std::move(out));
    }
}

}  // namespace

GlobalComputeOutput RunGlobalCompute(const GlobalComputeInput& input,
                                     std::vector<MessageRecord>& messages,
                                     ResultColumnList& fileColumns) {
    if (!input.sharing.Any()) {
        return {};
    }
    GlobalRun run(input);
    return run.Run(messages, fileColumns);
}

}  // namespace quillon
