// The nonlinear fit of one data set: builds the model, estimates its start,
// applies the initial-value directives, runs the chosen method (or all four)
// and reports each run with its log, outcome and parameters.
#pragma once

#include <string>
#include <vector>

#include "records/host.h"
#include "records/records.h"

namespace quillon {

struct NonlinearFitContext {
    const FitSettings& settings;
    DirectiveLists& directives;  // the this-set list is consumed
    IComputeHost& host;
    ResultColumnList& fileColumns;
    ResultColumnList& tableColumns;
    std::vector<MessageRecord>& messages;  // message boxes, for the record
};

// Outcome message of a method, as the answer pane shows it; any value
// outside the six outcomes has a text of its own.
std::string FitOutcomeMessage(FitOutcome outcome, int nCut, double lambda);

// Prefix of the result column names: "" converged below ChisqDof_Lim, "*"
// converged at or above it, "!" at the iteration limit, "?" otherwise.
std::string StatusMark(FitOutcome outcome, double chisqDof, double chisqDofLim);

// Suffix naming the method: "_Marq", "_Exp", "_Pow", "_Grad"; "" for ALL or
// any other value.
std::string MethodMark(FitMethod method);

// Fits one set of n >= 2 points (x, y and w = 1/SD in input order) and
// returns one record per method run.
std::vector<FitRecord> FitNonlinear(const double* x, const double* y, const double* w, int n,
                                    int setNumber, bool weighted,
                                    const NonlinearFitContext& context);

}  // namespace quillon
