#include "fit/method_runs.h"

#include <algorithm>
#include <cmath>

#include "fit/constrained_model.h"
#include "records/number_format.h"

namespace quillon {
namespace {

// No parameter left to vary: the chi-square at the held values.
RunView NothingToVary(CConstrainedModel& free, DFPowell& workspace, std::string& log,
                      bool nothingFitted) {
    log += "Initial values of parameters:\n";
    free.AppendInitialValues(log, free.Params().data());
    log += "\n";
    free.WriteBack();
    RunView view;
    view.nothingFitted = nothingFitted;
    view.run.outcome = FitOutcome::Converged;
    view.dof = free.DegreesOfFreedom();
    view.freeParameters = free.PointCount() - free.DegreesOfFreedom();
    view.chiSquare = workspace.ChiSquare(free.Params().data(), 0);
    view.run.chisqDof = view.dof > 0 ? view.chiSquare / view.dof : std::nan("");
    view.inverseCurvature = free.FullInverseCurvature(nullptr);  // no free rows
    view.marks = free.Marks();
    return view;
}

RunView FreeRun(CConstrainedModel& free, DFPowell& workspace, FitMethod method) {
    workspace.SetParameterLog(&free);
    RunView view;
    view.run = RunMethod(workspace, method);
    free.WriteBack();
    view.dof = free.DegreesOfFreedom();
    view.freeParameters = free.PointCount() - free.DegreesOfFreedom();
    view.chiSquare = workspace.F0();
    view.inverseCurvature = free.FullInverseCurvature(workspace.Work());
    view.marks = free.Marks();
    return view;
}

// The run again with every pressed parameter held at its bound, from where
// the first run ended. Taken when it has a parameter block and its
// chi-square is no higher than the first run's (within the convergence
// tolerance); otherwise the model gets the first run's result back.
// The second run steps its parameters as the first one began: the first
// run's standard errors would be steps far too coarse.
RunView FinishAtBounds(CModelFunction& model, FitConstraints pinned,
                       const std::vector<std::optional<double>>& pressed, const RunView& first,
                       const std::vector<double>& startSteps, FitMethod method, std::string& log,
                       const ConvergenceSettings& convergence) {
    const std::vector<double> reached(model.Params().begin(), model.Params().end());
    const std::vector<double> errors(model.Steps().begin(), model.Steps().end());
    std::copy(startSteps.begin(), startSteps.end(), model.Steps().begin());
    for (std::size_t i = 0; i < pressed.size(); ++i) {
        if (!pressed[i]) {
            continue;
        }
        if (i >= pinned.params.size()) {
            pinned.params.resize(i + 1);
        }
        ParameterConstraint& c = pinned.params[i];
        c.fixed = true;
        c.atBound = true;
        c.value = *pressed[i];
        AppendSprintf(log, "a[%d] presses against its bound %lg: fitted again held there.\n",
                      static_cast<int>(i), c.value);
    }
    log += "\n";
    CConstrainedModel held(model, pinned);
    DFPowell workspace(held, log, convergence);
    RunView second = held.ParamCount() == 0 ? NothingToVary(held, workspace, log, false)
                                            : FreeRun(held, workspace, method);
    second.run.iterations += first.run.iterations;
    const bool better = !HasParameterBlock(first.run.outcome) ||
                        second.chiSquare <= first.chiSquare + convergence.chi_cut;
    if (HasParameterBlock(second.run.outcome) && better) {
        return second;
    }
    log += "The fit held at the bound is no better: the one before stands.\n\n";
    std::copy(reached.begin(), reached.end(), model.Params().begin());
    std::copy(errors.begin(), errors.end(), model.Steps().begin());
    return first;
}

}  // namespace

MethodRun RunMethod(DFPowell& workspace, FitMethod method) {
    switch (method) {
        case FitMethod::Expansion:
            return workspace.Expansion();
        case FitMethod::Powell:
            return workspace.Powell();
        case FitMethod::GradientSearch:
            return workspace.GradientSearch();
        default:
            return workspace.Marquardt();
    }
}

RunView RunPlain(DFPowell& workspace, CModelFunction& model, FitMethod method) {
    RunView view;
    view.run = RunMethod(workspace, method);
    view.dof = model.DegreesOfFreedom();
    view.freeParameters = model.ParamCount();
    view.chiSquare = workspace.F0();
    const int m = workspace.ParamCount();
    if (m == model.ParamCount()) {
        view.inverseCurvature.assign(workspace.Work(),
                                     workspace.Work() + static_cast<std::size_t>(m) * m);
    }
    return view;
}

RunView RunConstrained(CModelFunction& model, const FitConstraints& constraints, FitMethod method,
                       std::string& log, const ConvergenceSettings& convergence) {
    const std::vector<double> startSteps(model.Steps().begin(), model.Steps().end());
    CConstrainedModel free(model, constraints);
    DFPowell workspace(free, log, convergence);
    if (free.ParamCount() == 0) {
        return NothingToVary(free, workspace, log, true);
    }
    const RunView first = FreeRun(free, workspace, method);
    const std::vector<std::optional<double>> pressed = free.PressedBounds(
        HasParameterBlock(first.run.outcome), first.run.outcome == FitOutcome::Converged);
    if (std::none_of(pressed.begin(), pressed.end(), [](const auto& b) { return b.has_value(); })) {
        return first;
    }
    return FinishAtBounds(model, constraints, pressed, first, startSteps, method, log, convergence);
}

}  // namespace quillon
