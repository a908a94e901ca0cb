#include "fit/fit_nonlinear.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include <span>

#include "fit/confidence_band.h"
#include "fit/constrained_model.h"
#include "fit/dfpowell.h"
#include "fit/method_runs.h"
#include "fit/parameter_stats.h"
#include "fit/result_columns.h"
#include "fit/set_model.h"
#include "fit/start_search.h"
#include "fit/suspect_fit.h"
#include "models/catalogue.h"
#include "models/formula_model.h"
#include "models/model_registry.h"
#include "records/number_format.h"

namespace quillon {
namespace {

constexpr const char* kFlatData = "Data point invalid/flat!\n";
constexpr const char* kNoMemory = "Memory allocation error in Calc NL!";
constexpr const char* kNothingFitted = "Every parameter is fixed: nothing was fitted.\n";

// The methods a fit runs: the four in their order for ALL, else the one
// chosen (the span then points at it).
std::span<const FitMethod> MethodsToRun(const FitMethod& chosen) {
    if (chosen == FitMethod::All) {
        return kMinimisationMethods;
    }
    return {&chosen, 1};
}

AnswerHint OutcomeHint(FitOutcome outcome) {
    if (outcome == FitOutcome::Converged) {
        return AnswerHint::Result;
    }
    return outcome == FitOutcome::IterationLimit ? AnswerHint::Warning : AnswerHint::Error;
}

// The pre-fit of the periodic models: a Marquardt run on a fresh workspace
// with the same log and settings. With held or bounded parameters it runs on
// the free ones and leaves the parameters it reached in fitted.
MarquardtRunner PreFitRunner(const ConvergenceSettings& convergence,
                             const FitConstraints& constraints, std::vector<double>& fitted) {
    return [convergence, &constraints, &fitted](CModelFunction& model, std::string& log) {
        if (!constraints.Any()) {
            DFPowell workspace(model, log, convergence);
            return workspace.Marquardt().outcome;
        }
        CConstrainedModel free(model, constraints);
        if (free.ParamCount() == 0) {
            return FitOutcome::NotConverged;  // nothing to pre-fit
        }
        // The steps stay the estimate's: errors of a run that pressed
        // against a bound would make poor difference steps.
        const std::vector<double> steps(model.Steps().begin(), model.Steps().end());
        DFPowell workspace(free, log, convergence);
        workspace.SetParameterLog(&free);
        const FitOutcome outcome = workspace.Marquardt().outcome;
        free.WriteBack();
        std::copy(steps.begin(), steps.end(), model.Steps().begin());
        fitted.assign(model.Params().begin(), model.Params().end());
        return outcome;
    };
}

// True when a held parameter is not at its value or a bounded one is
// outside its bounds.
bool BreaksConstraints(std::span<const double> a, const FitConstraints& constraints) {
    for (std::size_t i = 0; i < a.size(); ++i) {
        const ParameterConstraint c = constraints.At(static_cast<int>(i));
        if ((c.fixed && a[i] != c.value) ||
            (!c.fixed && c.bounds && (a[i] < c.bounds->lower || a[i] > c.bounds->upper))) {
            return true;
        }
    }
    return false;
}

// The start values of the directives, and the constraints they give.
FitConstraints ApplyDirectives(CModelFunction& model, DirectiveLists& directives) {
    const std::span<double> params = model.Params();
    auto apply = [&](const std::vector<InitialValueDirective>& list) {
        for (const InitialValueDirective& d : list) {
            if (d.hasValue && d.index >= 0 && d.index < model.ParamCount()) {
                params[static_cast<std::size_t>(d.index)] = d.value;
            }
        }
    };
    apply(directives.laterSets);
    apply(directives.thisSet);
    FitConstraints constraints = ConstraintsFromDirectives(directives);
    directives.thisSet.clear();
    return constraints;
}

// The parameters the directive lists give a value (before they are applied
// and the this-set list consumed).
std::vector<bool> GivenByDirectives(const DirectiveLists& directives, int m) {
    std::vector<bool> given(static_cast<std::size_t>(std::max(m, 0)), false);
    for (const auto* list : {&directives.laterSets, &directives.thisSet}) {
        for (const InitialValueDirective& d : *list) {
            if (d.hasValue && d.index >= 0 && d.index < m) {
                given[static_cast<std::size_t>(d.index)] = true;
            }
        }
    }
    return given;
}

// The start values the directives gave, by parameter.
GivenValues GivenStartValues(CModelFunction& model, const std::vector<bool>& given) {
    GivenValues values(given.size());
    for (std::size_t i = 0; i < given.size(); ++i) {
        if (given[i]) {
            values[i] = model.Params()[i];
        }
    }
    return values;
}

// A formula has no estimate of its own, so the values the directives gave
// become its start for every method of an ALL run, with steps of the same
// relative size as the catalogue models' (ER, or ER itself at 0).
void StartFromCurrentParams(CModelFunction& model) {
    const std::span<double> a = model.Params();
    const std::span<double> h = model.Steps();
    for (std::size_t i = 0; i < a.size(); ++i) {
        h[i] = a[i] != 0.0 ? a[i] * model.ER() : model.ER();
    }
    model.FixSteps();
    std::copy(a.begin(), a.end(), model.SavedParams().begin());
    std::copy(h.begin(), h.end(), model.SavedSteps().begin());
}

// Applies the directives and gives the constraints they set. For a formula,
// also returns the line on its parameters without a start value, and makes
// the values its start for every method.
std::string ApplyStart(CModelFunction& model, bool formula, DirectiveLists& directives,
                       FitConstraints& constraints) {
    std::string note;
    if (formula) {
        const auto& program = static_cast<const CFormulaModel&>(model).Program();
        note = FormulaStartNote(program, GivenByDirectives(directives, model.ParamCount()));
    }
    constraints = ApplyDirectives(model, directives);
    if (formula) {
        StartFromCurrentParams(model);
    }
    return note;
}

// "(fixed)" or "(at bound b)" after a parameter's line; "" otherwise.
std::string ParameterLine(int j, double value, double error, const FitConstraintMarks* marks,
                          double atBound) {
    const auto at = static_cast<std::size_t>(j);
    if (marks != nullptr && marks->atBound[at]) {
        return Sprintf("  a[%d]: %lf (at bound %lg)\n", j, value, atBound);
    }
    std::string line = Sprintf("  a[%d]: %lf +/- %lf", j, value, error);
    return line + (marks != nullptr && marks->fixed[at] ? " (fixed)\n" : "\n");
}

// The bound a parameter marked at a bound sits at: the nearer one.
double NearerBound(double value, const std::optional<ParameterBounds>& bounds) {
    if (!bounds) {
        return std::nan("");
    }
    return std::fabs(value - bounds->lower) <= std::fabs(value - bounds->upper) ? bounds->lower
                                                                                : bounds->upper;
}

std::string ParameterBlock(CModelFunction& model, double chisqDof, bool weighted,
                           const RunView& view) {
    std::string text = "Parameters fit_aj +/- sigma_aj:\n";
    const std::span<double> a = model.Params();
    const std::span<double> s = model.Steps();
    const double scale = weighted ? 1.0 : std::sqrt(chisqDof);
    const FitConstraintMarks* marks = view.marks ? &*view.marks : nullptr;
    for (std::size_t j = 0; j < a.size(); ++j) {
        const double bound = marks != nullptr ? NearerBound(a[j], marks->bounds[j]) : 0.0;
        text +=
            ParameterLine(static_cast<int>(j), a[j], weighted ? s[j] : s[j] * scale, marks, bound);
    }
    text += Sprintf(
        "  Chi-square per degree of freedom: %lf\n  Degree of freedom: %d\n  Number of points: "
        "%d\n\n",
        chisqDof, view.dof, model.PointCount());
    return text;
}

// The statistics of a run that ended with a parameter block, taken from the
// inverse curvature the run left behind, so that the covariance's diagonal
// gives back the reported errors.
FitStatistics RunStatistics(const RunView& view, const FitRecord& record, double totalSquares,
                            bool weighted) {
    const std::size_t m = record.parameters.size();
    // An uninverted curvature leaves every error undefined; a parameter at a
    // bound has none of its own.
    bool inverted = true;
    for (std::size_t j = 0; j < m; ++j) {
        const bool atBound = view.marks && view.marks->atBound[j];
        inverted = inverted && (atBound || !std::isnan(record.errors[j]));
    }
    StatisticsInput input;
    input.parameters = record.parameters;
    input.errors = record.errors;
    if (inverted && view.inverseCurvature.size() == m * m) {
        input.inverseCurvature = view.inverseCurvature;
    }
    input.covarianceScale = weighted ? 1.0 : record.chisqDof.value_or(std::nan(""));
    input.chiSquare = view.chiSquare;
    input.totalSquares = totalSquares;
    input.points = record.points;
    input.dof = record.dof;
    input.knownSd = weighted;
    input.freeParameters = view.freeParameters;
    return ComputeFitStatistics(input);
}

std::vector<std::string> ParameterNames(std::size_t m) {
    std::vector<std::string> names;
    for (std::size_t j = 0; j < m; ++j) {
        names.push_back(Sprintf("a[%d]", static_cast<int>(j)));
    }
    return names;
}

// The fitted curve of the model's current parameters. The curve's spacing
// step takes the first two X in input order.
FittedCurve ModelCurve(CModelFunction& model, const double* x) {
    return {[&model, x] {
                return CurveXRange{model.XMin(), model.XMax(), x[0], x[1]};
            },
            [&model](double xv) { return model.ValueAt(xv); }};
}

// The run's columns, with its band's when it has one.
void AppendResultColumns(CModelFunction& model, const double* x, const FitRecord& record,
                         const RunView& view, FitMethod method, int setNumber,
                         const NonlinearFitContext& context) {
    const FitSettings& settings = context.settings;
    const double chisqDof = view.run.chisqDof;
    FittedSet set;
    set.names = NonlinearColumnNames(
        StatusMark(view.run.outcome, chisqDof, settings.convergence.ChisqDof_Lim), setNumber,
        MethodMark(method));
    set.parameters = model.Params();
    set.chisqDof = chisqDof;
    set.dof = view.dof;
    set.points = model.PointCount();
    set.curve = ModelCurve(model, x);
    set.band = record.band ? &*record.band : nullptr;
    AppendSetColumns(settings, set, context.fileColumns, context.tableColumns);
}

// Marks the record and, when it looks wrong, follows its parameter block
// with the note in the warning colour.
void FlagSuspect(FitRecord& record, bool weighted, const StartSearchResult* search,
                 const NonlinearFitContext& context) {
    const std::string note =
        SuspectNote(record, weighted, context.settings.suspectChisqDof, search);
    record.suspect = !note.empty();
    if (!note.empty()) {
        context.host.SendAnswer(AnswerHint::Warning, note + "\n");
    }
}

// The run's confidence band on the result file's curve X, when one is asked
// for and the run has a covariance.
std::optional<CurveBand> RunBand(CModelFunction& model, const double* x, const FitRecord& record,
                                 bool weighted, const FitSettings& settings) {
    if (!settings.bandLevel || !record.statistics) {
        return std::nullopt;
    }
    const std::optional<std::vector<double>> xs = CurveColumnX(settings, ModelCurve(model, x));
    if (!xs) {
        return std::nullopt;
    }
    const CurveJacobian jacobian =
        ModelJacobian(model, record.parameters, *xs, HeldParameters(record));
    return FitBand(record, weighted, *settings.bandLevel, *xs, jacobian);
}

void ShowMessage(const NonlinearFitContext& context, const std::string& text) {
    context.host.ShowMessage(text, MessageIcon::Exclamation);
    context.messages.push_back({"error", text});
}

// Sends the run's log and its outcome with the parameter block, and returns
// its record.
FitRecord ReportRun(CModelFunction& model, const RunView& view, FitMethod method,
                    std::string& buffer, bool weighted, double totalSquares,
                    const NonlinearFitContext& context) {
    const FitSettings& settings = context.settings;
    const FitOutcome outcome = view.run.outcome;
    const double chisqDof = view.run.chisqDof;  // not a number without a parameter block
    context.host.SendAnswer(AnswerHint::Memo, buffer);
    buffer = view.nothingFitted
                 ? std::string(kNothingFitted)
                 : FitOutcomeMessage(outcome, settings.convergence.n_cut, view.run.lambda);
    FitRecord record;
    record.method = std::string(MethodName(method));
    record.outcome = outcome;
    record.message = buffer;
    record.dof = view.dof;
    record.points = model.PointCount();
    record.constraints = view.marks;
    if (HasParameterBlock(outcome)) {
        buffer += ParameterBlock(model, chisqDof, weighted, view);
        const std::span<double> a = model.Params();
        const std::span<double> s = model.Steps();
        record.parameters.assign(a.begin(), a.end());
        for (double sj : s) {
            record.errors.push_back(weighted ? sj : sj * std::sqrt(chisqDof));
        }
        record.chisqDof = chisqDof;
        record.statistics = RunStatistics(view, record, totalSquares, weighted);
        if (settings.statistics) {
            buffer += StatisticsBlock(*record.statistics, ParameterNames(a.size()));
        }
    }
    context.host.SendAnswer(OutcomeHint(outcome), buffer);
    buffer.clear();
    return record;
}

}  // namespace

std::string FitOutcomeMessage(FitOutcome outcome, int nCut, double lambda) {
    switch (outcome) {
        case FitOutcome::Converged:
            return "収束しました。\n";
        case FitOutcome::NotConverged:
            return "収束しませんでした。\n初期値や誤差水準を検討して下さい。\n";
        case FitOutcome::Singular:
            return "特異点\n初期値や誤差水準を検討して下さい。\n";
        case FitOutcome::OutOfRange:
            return "範囲外\n初期値や誤差水準を検討して下さい。\n";
        case FitOutcome::IterationLimit:
            return Sprintf("計算回数が %d を越えました。\n", nCut);
        case FitOutcome::LambdaAbnormal:
            return Sprintf("lambda が異常な値 %lg になりました。\n", lambda);
        default:
            return "原因不明の異常終了\n";
    }
}

std::string StatusMark(FitOutcome outcome, double chisqDof, double chisqDofLim) {
    if (outcome == FitOutcome::Converged) {
        return chisqDof < chisqDofLim ? "" : "*";
    }
    return outcome == FitOutcome::IterationLimit ? "!" : "?";
}

std::string MethodMark(FitMethod method) {
    switch (method) {
        case FitMethod::Marquardt:
            return "_Marq";
        case FitMethod::Expansion:
            return "_Exp";
        case FitMethod::Powell:
            return "_Pow";
        case FitMethod::GradientSearch:
            return "_Grad";
        default:
            return "";
    }
}

std::vector<FitRecord> FitNonlinear(const double* x, const double* y, const double* w, int n,
                                    int setNumber, bool weighted,
                                    const NonlinearFitContext& context) {
    const FitSettings& settings = context.settings;
    const ConvergenceSettings& convergence = settings.convergence;
    const double er = convergence.ER();

    const bool formula = !settings.formula.empty();
    const ModelEntry* entry = formula ? nullptr : FindModel(settings.modelId);
    std::unique_ptr<CModelFunction> model = BuildModel(settings, x, y, w, n, er);
    if (!model) {
        ShowMessage(context, kNoMemory);
        return {};
    }
    if (model->Init() == -1) {
        ShowMessage(context, kFlatData);
        return {};
    }
    const std::vector<bool> given = GivenByDirectives(context.directives, model->ParamCount());
    FitConstraints constraints;
    std::string buffer = ApplyStart(*model, formula, context.directives, constraints);
    const GivenValues givenValues = GivenStartValues(*model, given);
    std::vector<double> preFitted;
    if (entry != nullptr && entry->preFit &&
        model->PreFit(buffer, PreFitRunner(convergence, constraints, preFitted)) != 0) {
        context.host.SendAnswer(AnswerHint::Memo, buffer);
        buffer.clear();
    }
    // The periodic pre-fit normalises its result (a positive amplitude and
    // period, a shift within one period); a held or bounded parameter keeps
    // the value the pre-fit reached instead.
    if (!preFitted.empty() && BreaksConstraints(model->Params(), constraints)) {
        std::copy(preFitted.begin(), preFitted.end(), model->Params().begin());
    }
    std::optional<StartSearchResult> search;
    if (settings.searchStarts) {
        search = SearchStarts(*model, entry != nullptr ? entry->sine : SineLayout{}, givenValues,
                              constraints, convergence);
    }
    if (entry != nullptr && entry->secondStage != nullptr) {
        std::unique_ptr<CModelFunction> second =
            BuildSecondStage(settings.modelId, *model, x, y, w, n, er);
        if (!second) {
            ShowMessage(context, kNoMemory);
            return {};
        }
        model = std::move(second);
    }
    // Made after the pre-fit, which runs on a workspace of its own, so the
    // two are never held at once. A constrained fit makes one per method.
    std::unique_ptr<DFPowell> workspace;
    if (!constraints.Any()) {
        workspace = std::make_unique<DFPowell>(*model, buffer, convergence);
    }

    const auto count = static_cast<std::size_t>(n);
    // The fit weighs each residual by w; without weights every point counts once.
    const std::vector<double> unitWeights(w == nullptr ? count : 0, 1.0);
    const double totalSquares =
        WeightedTotalSumOfSquares({y, count}, {w == nullptr ? unitWeights.data() : w, count});
    std::vector<FitRecord> records;
    for (const FitMethod method : MethodsToRun(settings.method)) {
        if (search) {
            buffer += StartSearchLine(*search);
        }
        const RunView view = workspace
                                 ? RunPlain(*workspace, *model, method)
                                 : RunConstrained(*model, constraints, method, buffer, convergence);
        FitRecord record = ReportRun(*model, view, method, buffer, weighted, totalSquares, context);
        record.searchedStart = search && search->found;
        if (settings.flagSuspect) {
            FlagSuspect(record, weighted, search ? &*search : nullptr, context);
        }
        record.band = RunBand(*model, x, record, weighted, settings);
        if (settings.output.enabled) {
            AppendResultColumns(*model, x, record, view, method, setNumber, context);
        }
        model->Restore();
        records.push_back(std::move(record));
    }
    return records;
}

}  // namespace quillon
