// The start search of a nonlinear fit: candidates around the model's own
// estimate (and, for the periodic models, from a scan of the period), each
// scored by chi-square, the best polished by a short Marquardt run; the
// fit then starts from the best. Values the user gave are kept as given.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "fit/parameter_constraints.h"
#include "models/model_function.h"
#include "models/model_registry.h"
#include "records/records.h"

namespace quillon {

// Per parameter, the start value a directive gave it (nothing when none).
using GivenValues = std::vector<std::optional<double>>;

struct StartSearchResult {
    bool found = false;  // a finite candidate; the model starts from the best
    int candidates = 0;  // the candidates scored
    // A weighted estimate whose polished fit agrees with the SDs ends the
    // search before any other candidate is tried.
    bool estimateAgrees = false;
    // Chi-square after the short polish from the estimate, and from the
    // chosen start (infinite when the polish did not end finite).
    double estimateChiSquare = 0.0;
    double bestChiSquare = 0.0;
};

// Searches from the model's current parameters (its estimate after the
// directives). given holds the values directives set, which the start
// keeps; the constraints hold and bound the polish as they will the fit.
// On success the model's parameters, steps and saved state are the chosen
// start; otherwise the model is as it was.
StartSearchResult SearchStarts(CModelFunction& model, const SineLayout& sine,
                               const GivenValues& given, const FitConstraints& constraints,
                               const ConvergenceSettings& convergence);

// The line the report puts before the start values the search chose.
std::string StartSearchLine(const StartSearchResult& result);

}  // namespace quillon
