// The Python module's side of the engine, free of Python: one compute over
// sets given as arrays, with the settings of the command line, returning per
// set its fits, the exact text report and the iteration logs.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "records/records.h"

namespace quillon {

// One data set as arrays; sd empty for an unweighted set.
struct ArraySet {
    std::vector<double> x;
    std::vector<double> y;
    std::vector<double> sd;
};

// What a call sets besides the data.
struct ArrayFitOptions {
    int modelId = 0;
    std::string formula;  // fitted instead of the catalogue model when not empty
    FitMethod method = FitMethod::Marquardt;
    ConvergenceSettings convergence;
    double fixedCDegrees = 20.0;
    bool statistics = false;
    bool searchStarts = false;        // precise is in convergence
    std::optional<double> bandLevel;  // percent of each fit's confidence band; none: no band
    std::map<int, double> p0;         // starting values by index
    std::map<int, double> fixed;      // held values by index
    std::map<int, ParameterBounds> bounds;
    std::vector<int> share;  // parameters shared by every set in a global fit (--share)
    int jobs = 1;            // 0: one per hardware thread
};

// The fits of one set with the text the command line prints for it.
struct ArraySetResult {
    std::vector<FitRecord> fits;        // empty when the set was refused
    std::vector<std::string> logs;      // per fit: its iteration log ("" without one)
    std::string report;                 // the set's part of the text report
    std::vector<std::string> messages;  // messages and error lines of the set
};

// The method of a name (any case, as the command line takes it) or nothing.
std::optional<FitMethod> MethodByName(const std::string& name);

// Checks sizes and values before a compute: the error text, or nothing.
std::optional<std::string> CheckArraySet(const ArraySet& set);
std::optional<std::string> CheckOptions(const ArrayFitOptions& options);

// The data text of the sets: a "// set N" memo line, X, Y (and SD) in the
// shortest digits that read back as the same double (so the compute reads
// the very numbers given), and an empty line after each set.
std::vector<std::string> ArraySetLines(const std::vector<ArraySet>& sets);

// Fits the sets in one compute. header receives the report's header (the
// model line and the empty line after it), global the global fit's record
// when some parameter was shared (its block ends the last set's report, as
// the command line prints it after the last set).
std::vector<ArraySetResult> FitArraySets(const std::vector<ArraySet>& sets,
                                         const ArrayFitOptions& options, std::string& header,
                                         std::optional<GlobalFitRecord>& global);

}  // namespace quillon
