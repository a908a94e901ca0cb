#include "fit/start_search.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <span>

#include "fit/constrained_model.h"
#include "fit/dfpowell.h"
#include "fit/set_model.h"
#include "fit/sine_scan.h"
#include "records/number_format.h"

namespace quillon {
namespace {

// Each free parameter alone multiplied by these (a zero one set to them).
constexpr double kFactors[] = {-1.0, 0.1, 10.0, 0.01, 100.0, 0.3, 3.0};
constexpr int kPolished = 3;  // candidates polished besides the estimate
constexpr int kPolishIterations = 30;
constexpr int kScanTrials = 3;
constexpr double kAgreeingChisqDof = 1.5;  // period scan minima taken as candidates
constexpr double kSameCandidate = 1e-9;    // relative distance of duplicates

struct Candidate {
    std::vector<double> params;
    double chiSquare = std::numeric_limits<double>::infinity();
};

// The fit's chi-square at p, infinite when it is not finite; p may be
// normalised in place by the model.
double ChiSquareAt(CModelFunction& model, std::vector<double>& p) {
    std::vector<double> residuals;
    const double sum = ModelChiSquare(model, p.data(), residuals);
    return std::isfinite(sum) ? sum : std::numeric_limits<double>::infinity();
}

// Keeps a candidate inside its bounds and at its held or given value.
void Respect(std::vector<double>& p, const GivenValues& given, const FitConstraints& constraints) {
    for (std::size_t i = 0; i < p.size(); ++i) {
        const ParameterConstraint c = constraints.At(static_cast<int>(i));
        if (c.fixed) {
            p[i] = c.value;
        } else if (i < given.size() && given[i]) {
            p[i] = *given[i];
        } else if (c.bounds) {
            p[i] = std::clamp(p[i], c.bounds->lower, c.bounds->upper);
        }
    }
}

bool Searchable(std::size_t i, const GivenValues& given, const FitConstraints& constraints) {
    return !(i < given.size() && given[i]) && !constraints.At(static_cast<int>(i)).fixed;
}

// The estimate with one free parameter at a time scaled.
void AddScaledCandidates(const std::vector<double>& estimate, const GivenValues& given,
                         const FitConstraints& constraints, std::vector<Candidate>& out) {
    for (std::size_t i = 0; i < estimate.size(); ++i) {
        if (!Searchable(i, given, constraints)) {
            continue;
        }
        for (double f : kFactors) {
            Candidate c{estimate};
            c.params[i] = estimate[i] != 0.0 ? estimate[i] * f : f;
            out.push_back(std::move(c));
        }
    }
}

// A scan trial written in the model's parameters.
std::vector<double> FromTrial(const SineTrial& t, const SineLayout& sine,
                              const std::vector<double>& estimate, double onset) {
    std::vector<double> p = estimate;
    double amplitude = t.amplitude;
    if (sine.decay >= 0) {
        p[static_cast<std::size_t>(sine.decay)] = t.decay;
    }
    if (sine.onset >= 0) {
        p[static_cast<std::size_t>(sine.onset)] = onset;
    } else if (sine.decay >= 0) {
        // exp(-x/decay) from 0: the scan's damping began at its onset.
        amplitude *= std::exp(onset / t.decay);
    }
    p[0] = amplitude;
    switch (sine.form) {
        case SineForm::Phase:
            p[1] = t.omega;
            p[2] = t.phase;
            break;
        case SineForm::Period:
            p[1] = kTwoPi / t.omega;
            p[2] = t.phase / t.omega;
            break;
        default:  // Shift
            p[1] = t.omega;
            p[2] = t.phase / t.omega;
            break;
    }
    if (sine.offset >= 0) {
        p[static_cast<std::size_t>(sine.offset)] = t.offset;
    }
    if (sine.slope >= 0) {
        p[static_cast<std::size_t>(sine.slope)] = t.slope;
    }
    return p;
}

void AddScanCandidates(const CModelFunction& model, const SineLayout& sine,
                       const std::vector<double>& estimate, const GivenValues& given,
                       const FitConstraints& constraints, std::vector<Candidate>& out) {
    // A period the user gave is kept: there is nothing to scan.
    if (sine.form == SineForm::None || estimate.size() < 3 || !Searchable(1, given, constraints)) {
        return;
    }
    SineScanTerms terms;
    terms.offset = sine.offset >= 0;
    terms.slope = sine.slope >= 0;
    terms.damped = sine.decay >= 0;
    terms.onset =
        model.XData().empty() ? 0.0 : *std::min_element(model.XData().begin(), model.XData().end());
    const SineScanData data{model.XData(), model.YData(), model.WData()};
    for (const SineTrial& t : ScanSine(data, terms, kScanTrials)) {
        out.push_back({FromTrial(t, sine, estimate, terms.onset)});
    }
}

bool SameParams(const std::vector<double>& a, const std::vector<double>& b) {
    for (std::size_t i = 0; i < a.size(); ++i) {
        const double scale = std::max(std::fabs(a[i]), std::fabs(b[i]));
        if (std::fabs(a[i] - b[i]) > kSameCandidate * scale) {
            return false;
        }
    }
    return true;
}

// The steps of a start: the relative step ER of each parameter, and the
// estimate's first step for a parameter at zero. (The steps the model holds
// after a pre-fit are its standard errors, no measure for a new start.)
std::vector<double> StepsFor(const std::vector<double>& p, const CModelFunction& model,
                             const std::vector<double>& firstSteps) {
    std::vector<double> h = firstSteps;
    for (std::size_t i = 0; i < p.size(); ++i) {
        if (p[i] != 0.0 && std::isfinite(p[i])) {
            h[i] = p[i] * model.ER();
        }
    }
    return h;
}

// Sets the model's parameters and steps.
void Place(CModelFunction& model, const std::vector<double>& p, const std::vector<double>& h) {
    std::copy(p.begin(), p.end(), model.Params().begin());
    std::copy(h.begin(), h.end(), model.Steps().begin());
    model.FixSteps();
}

// A short quiet Marquardt run from the candidate; the candidate takes the
// parameters it reached and their chi-square.
void Polish(CModelFunction& model, Candidate& c, const std::vector<double>& firstSteps,
            const FitConstraints& constraints, ConvergenceSettings convergence) {
    convergence.n_cut = std::min(convergence.n_cut, kPolishIterations);
    Place(model, c.params, StepsFor(c.params, model, firstSteps));
    std::string quiet;
    if (!constraints.Any()) {
        DFPowell workspace(model, quiet, convergence);
        workspace.Marquardt();
    } else {
        CConstrainedModel free(model, constraints);
        if (free.ParamCount() > 0) {
            DFPowell workspace(free, quiet, convergence);
            workspace.Marquardt();
            free.WriteBack();
        }
    }
    std::vector<double> reached(model.Params().begin(), model.Params().end());
    const double chi = ChiSquareAt(model, reached);
    if (chi < c.chiSquare) {
        c.params = std::move(reached);
        c.chiSquare = chi;
    }
}

// A weighted fit whose chi-square per degree of freedom lies within five
// standard deviations of one (at most 1.5) agrees with its SDs: no other
// minimum can be much better, and the search ends there.
bool AgreesWithSds(const CModelFunction& model, double chiSquare) {
    const int dof = model.DegreesOfFreedom();
    if (model.WData().empty() || dof <= 0) {
        return false;
    }
    const double limit = std::min(kAgreeingChisqDof, 1.0 + 5.0 * std::sqrt(2.0 / dof));
    return chiSquare / dof <= limit;
}

// The candidates besides the estimate: a periodic model's scan trials,
// whose linear parameters are solved already; the other models' scaled
// estimates. Sorted by chi-square.
std::vector<Candidate> ScoredCandidates(CModelFunction& model, const SineLayout& sine,
                                        const std::vector<double>& estimate,
                                        const GivenValues& given, const FitConstraints& constraints,
                                        bool& scanned) {
    std::vector<Candidate> candidates;
    AddScanCandidates(model, sine, estimate, given, constraints, candidates);
    scanned = !candidates.empty();
    if (!scanned) {
        AddScaledCandidates(estimate, given, constraints, candidates);
    }
    for (Candidate& c : candidates) {
        Respect(c.params, given, constraints);
        c.chiSquare = ChiSquareAt(model, c.params);
    }
    std::stable_sort(
        candidates.begin(), candidates.end(),
        [](const Candidate& a, const Candidate& b) { return a.chiSquare < b.chiSquare; });
    return candidates;
}

}  // namespace

StartSearchResult SearchStarts(CModelFunction& model, const SineLayout& sine,
                               const GivenValues& given, const FitConstraints& constraints,
                               const ConvergenceSettings& convergence) {
    const std::vector<double> estimate(model.Params().begin(), model.Params().end());
    const std::vector<double> estimateSteps(model.Steps().begin(), model.Steps().end());
    const std::vector<double> firstSteps(model.SavedSteps().begin(), model.SavedSteps().end());
    // The estimate is always polished: its end is what the search is
    // measured against.
    std::vector<Candidate> polished{{estimate}};
    polished.front().chiSquare = ChiSquareAt(model, polished.front().params);
    Polish(model, polished.front(), firstSteps, constraints, convergence);

    StartSearchResult result;
    result.candidates = 1;
    bool scanned = false;
    std::vector<Candidate> candidates;
    result.estimateAgrees = AgreesWithSds(model, polished.front().chiSquare);
    if (!result.estimateAgrees) {
        candidates = ScoredCandidates(model, sine, estimate, given, constraints, scanned);
        result.candidates += static_cast<int>(candidates.size());
    }
    for (const Candidate& c : candidates) {
        if (static_cast<int>(polished.size()) > kPolished || !std::isfinite(c.chiSquare)) {
            break;
        }
        const bool duplicate =
            std::any_of(polished.begin(), polished.end(),
                        [&](const Candidate& p) { return SameParams(p.params, c.params); });
        if (!duplicate) {
            polished.push_back(c);
            // Scan trials are compared as they are; the fit polishes the one chosen.
            if (!scanned) {
                Polish(model, polished.back(), firstSteps, constraints, convergence);
            }
        }
    }
    result.estimateChiSquare = polished.front().chiSquare;
    // The first of the lowest: the estimate wins a tie.
    const auto best = std::min_element(
        polished.begin(), polished.end(),
        [](const Candidate& a, const Candidate& b) { return a.chiSquare < b.chiSquare; });
    result.found = std::isfinite(best->chiSquare);
    result.bestChiSquare = best->chiSquare;
    // Values the user gave start as given, whatever the polish made of them.
    std::vector<double> start = result.found ? best->params : estimate;
    Respect(start, given, constraints);
    Place(model, start, result.found ? StepsFor(start, model, firstSteps) : estimateSteps);
    if (result.found) {
        std::copy(model.Params().begin(), model.Params().end(), model.SavedParams().begin());
        std::copy(model.Steps().begin(), model.Steps().end(), model.SavedSteps().begin());
    }
    return result;
}

std::string StartSearchLine(const StartSearchResult& result) {
    if (!result.found) {
        return "Start search: no candidate gave a finite chi-square; the estimate stands.\n";
    }
    if (result.estimateAgrees) {
        return Sprintf(
            "Start values from the search: the estimate's fit agrees with the SDs "
            "(chi-square %lg); nothing else tried.\n",
            result.bestChiSquare);
    }
    return Sprintf(
        "Start values from the search: the best of %d candidates by chi-square "
        "(%lg; from the estimate %lg).\n",
        result.candidates, result.bestChiSquare, result.estimateChiSquare);
}

}  // namespace quillon
