// One run of a minimisation method on a nonlinear model, either on the
// model's parameters themselves or, when some are held or bounded, on the
// free ones; and what the report reads after it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "fit/dfpowell.h"
#include "fit/parameter_constraints.h"
#include "models/model_function.h"
#include "records/records.h"

namespace quillon {

// What the report, the statistics and the result columns read after one
// method run.
struct RunView {
    MethodRun run;
    int dof = 0;
    int freeParameters = 0;                // the parameters the run varied
    double chiSquare = 0.0;                // at the final parameters
    std::vector<double> inverseCurvature;  // m x m, row by row
    std::optional<FitConstraintMarks> marks;
    bool nothingFitted = false;  // every parameter held
};

// Runs one method on the workspace; any value but the other three runs
// Marquardt.
MethodRun RunMethod(DFPowell& workspace, FitMethod method);

// One method on the model itself.
RunView RunPlain(DFPowell& workspace, CModelFunction& model, FitMethod method);

// One method on the free parameters of the model (log receives its log);
// the model's parameters and steps take the result. A bounded parameter
// that presses against its bound is finished with a second run that holds
// it there, taken when it is no worse.
RunView RunConstrained(CModelFunction& model, const FitConstraints& constraints, FitMethod method,
                       std::string& log, const ConvergenceSettings& convergence);

}  // namespace quillon
