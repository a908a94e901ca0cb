// The joint fit of several sets that share some parameters: Marquardt on the
// stacked weighted residuals, solved through the block normal equations so
// that only one set's Jacobian is held at a time (per thread).
#pragma once

#include <functional>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "models/model_function.h"
#include "records/fit_codes.h"
#include "records/records.h"

namespace quillon {

// One set of a joint fit: its model, whose parameters hold the set's start
// (the shared ones are overwritten), and the parameters it varies alone.
struct GlobalFitSet {
    CModelFunction* model = nullptr;
    std::vector<int> localFree;  // parameter indices, ascending
    // Per entry of the problem's sharedFree: whether this set takes part in
    // that shared parameter (a set that does not has it local or held).
    std::vector<bool> shares;
};

struct GlobalFitProblem {
    std::vector<GlobalFitSet> sets;
    std::vector<int> sharedFree;      // indices of the shared parameters varied
    std::vector<double> sharedStart;  // their start values
    // Bounds of the shared parameters (per sharedFree entry) and of each
    // set's free locals (per set, per localFree entry); empty lists leave
    // every parameter unbounded. A bounded parameter is varied on the
    // unbounded scale of its BoundTransform, as a single fit varies it.
    std::vector<std::optional<ParameterBounds>> sharedBounds;
    std::vector<std::vector<std::optional<ParameterBounds>>> localBounds;
    int nCut = 10000;
    double chiCut = 0.001;
    // The Jacobian by central differences and the gradient -J^T r from it,
    // as the single fits take them with precise derivatives.
    bool precise = false;
    unsigned jobs = 1;                    // threads building the sets' blocks
    std::function<bool()> stopRequested;  // asked before each iteration
};

struct GlobalFitResult {
    FitOutcome outcome = FitOutcome::NotConverged;
    bool stopped = false;
    int iterations = 0;
    double lambda = std::numeric_limits<double>::quiet_NaN();
    double chisq = std::numeric_limits<double>::quiet_NaN();
    std::vector<double> setChisq;  // per set of the problem (0 for one left out)
    // Sets of the problem whose local block is singular: left out of the fit.
    std::vector<int> singularSets;
    std::vector<double> shared;  // the values of sharedFree
    // The inverse curvature: the shared block (S x S, row by row) and the
    // local diagonal per set; empty when it did not invert.
    std::vector<double> sharedCovariance;
    std::vector<std::vector<double>> localVariances;
    // The bound a bounded parameter ended on (a NaN error of its own, as a
    // single fit's) or may be pressing against; shared per sharedFree, local
    // per set and localFree entry. Nothing for one clear of its bounds.
    std::vector<std::optional<double>> sharedReached;
    std::vector<std::optional<double>> sharedPressed;
    std::vector<std::vector<std::optional<double>>> localReached;
    std::vector<std::vector<std::optional<double>>> localPressed;
    // "Start of a[i] moved into its bounds: ..." for each shared start moved.
    std::vector<std::string> startNotes;
};

// The start of a shared parameter from the sets' separate values and their
// errors: the mean weighed by the inverse variances (a set whose own fit went
// astray has a large error and barely moves it); the plain mean when some
// error is not a positive number; 0 without values.
double SharedStartFromSeparateFits(std::span<const double> values, std::span<const double> errors);

// Fits the sets jointly from their start; each model's parameters end at
// the joint optimum (shared values included).
GlobalFitResult FitGlobal(const GlobalFitProblem& problem);

}  // namespace quillon
