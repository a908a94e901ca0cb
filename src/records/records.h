// The plain records shared by the grammar, the fits, the report and the
// result writer: points and sets, directives, labels, settings, results and
// the named result columns.
#pragma once

#include <array>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "records/fit_codes.h"

namespace quillon {

// One point line: X, Y and the standard deviation of Y (1.0 when none given).
struct DataPoint {
    double X = 0.0;
    double Y = 0.0;
    double SD = 1.0;
};

// The set being gathered; there is only ever one at a time.
struct DataSet {
    std::vector<DataPoint> points;
    bool weighted = true;  // every point so far gave a nonzero SD
    std::string memo;      // the "//" lines that introduce the set, with "\n"
    int setNumber = 0;     // 1-based count of sets that reached a fit
};

// The range a parameter is kept in; an open side is infinite.
struct ParameterBounds {
    double lower = -std::numeric_limits<double>::infinity();
    double upper = std::numeric_limits<double>::infinity();
};

// "<a[i] = v>" (this set) or "<<a[i] = v>>" (this and later sets), with an
// optional "fixed" (Ai is held at v) and bounds "[lo, hi]".
struct InitialValueDirective {
    double value = 0.0;
    int index = 0;
    bool hasValue = true;  // false only for the command line's bound without a value
    bool fixed = false;
    std::optional<ParameterBounds> bounds;
};

struct DirectiveLists {
    std::vector<InitialValueDirective> thisSet;
    std::vector<InitialValueDirective> laterSets;
};

// The label of a fitted set, taken from "(name=value)" in its memo.
struct SetLabel {
    std::string name;
    double value = 0.0;
};

// Which result columns a compute builds and how the fitted curve is sampled.
struct OutputSettings {
    bool enabled = false;    // the "File" switch
    bool paramTable = true;  // per-set parameter columns and the table
    ResultContents contents = ResultContents::Both;
    CurveEndMode xminMode = CurveEndMode::Data;  // Percent lowers the start
    double xminPercent = 0.0;
    double xminValue = 0.0;
    CurveEndMode xmaxMode = CurveEndMode::Data;  // Percent raises the end
    double xmaxPercent = 0.0;
    double xmaxValue = 100.0;
    CurveStepMode stepMode = CurveStepMode::Range;
    std::array<int, 2> divisions{100, 10};
};

// The values that steer every nonlinear fit; they last for the running
// program only.
struct ConvergenceSettings {
    int n_cut = 10000;          // iteration limit of every method
    double chi_cut = 0.001;     // convergence: change of chi-square below this
    double ChisqDof_Lim = 1.0;  // converged fits at or above it are marked "*"
    double f_ER = 1000.0;       // step precision factor
    // The Jacobian by central differences and the gradient from it (-J^T r)
    // instead of the forward difference of chi-square.
    bool precise = false;

    // The relative finite-difference step handed to every model.
    double ER() const { return f_ER * 0.0000001; }
};

// What a compute reads besides the text.
struct FitSettings {
    int modelId = 0;
    // A model formula in X and A0..A31 fitted instead of the catalogue
    // model modelId; empty for the catalogue.
    std::string formula;
    FitMethod method = FitMethod::Marquardt;
    OutputSettings output;
    double framingRate = 1.0;  // frames per time unit; set by a "*framing" line
    ConvergenceSettings convergence;
    double fixedCDegrees = 20.0;  // the fixed phase C of the fixed-C Kestrel-Dune models
    bool statistics = false;      // a statistics block after every parameter block
    // Directives in force before the first line, as if "<<...>>" lines
    // opened the text (the command line's --fix and --bound).
    std::vector<InitialValueDirective> startDirectives;
    // Search for better starting values before every nonlinear fit.
    bool searchStarts = false;
    // A note after fits that look wrong, and "suspect" in their records; on
    // with the start search, precise derivatives or a limit of its own.
    bool flagSuspect = false;
    double suspectChisqDof = 4.0;  // weighted converged fits above it are suspect
    // The confidence level, in percent, of the band every fit with a
    // covariance gets on its curve's X; none: no band (the default).
    std::optional<double> bandLevel;
    // Parameters shared by every set of a global fit from the first set on,
    // as if "<<a[I] shared>>" lines opened the text (the command line's --share).
    std::vector<int> sharedParameters;
};

// One named column of numbers for the result file.
struct CResultColumn {
    std::string name;
    std::vector<double> values;

    int Count() const { return static_cast<int>(values.size()); }
};

using ResultColumnList = std::vector<CResultColumn>;

// The statistics of a fit that reached its parameters; figures that cannot
// be had (no degrees of freedom, singular curvature) are not a number.
struct FitStatistics {
    std::vector<double> covariance;   // m x m, row by row
    std::vector<double> correlation;  // m x m, row by row
    std::vector<double> lower95;      // 95 % confidence interval per parameter
    std::vector<double> upper95;
    double tQuantile = std::numeric_limits<double>::quiet_NaN();  // t_0.975 for dof
    double rSquared = std::numeric_limits<double>::quiet_NaN();
    double aic = std::numeric_limits<double>::quiet_NaN();
    double bic = std::numeric_limits<double>::quiet_NaN();
};

// The confidence band of a fitted curve, f ± t·√(gᵀCg), at the X of the
// result file's curve; the prediction band adds the scatter χ²/ν under the
// root and is given only for sets without SDs (otherwise empty).
struct CurveBand {
    double level = 95.0;  // percent
    std::vector<double> x;
    std::vector<double> lower;
    std::vector<double> upper;
    std::vector<double> predictionLower;
    std::vector<double> predictionUpper;
};

// How the parameters of a fit were held or bounded, and where they ended.
struct FitConstraintMarks {
    std::vector<bool> fixed;
    std::vector<std::optional<ParameterBounds>> bounds;
    std::vector<bool> atBound;
};

// What one fit of one set yields, kept for machine-readable output.
struct FitRecord {
    std::string method;  // "linear" or the method name
    FitOutcome outcome = FitOutcome::NotConverged;
    std::string message;  // the outcome text as it reached the answer pane
    std::vector<double> parameters;
    std::vector<double> errors;
    std::optional<double> chisqDof;
    int dof = 0;
    int points = 0;
    std::optional<double> sigmaY;             // linear fits only
    std::optional<FitStatistics> statistics;  // fits with a parameter block
    // Per parameter, only for fits that held or bounded one: held, the
    // bounds (nothing when unbounded), and ended at a bound.
    std::optional<FitConstraintMarks> constraints;
    // Whether the fit looks wrong; only when suspect fits are flagged.
    std::optional<bool> suspect;
    bool searchedStart = false;     // started from the start search's values
    std::optional<CurveBand> band;  // only when a band was asked for
};

// One set that reached a fit, with every fit run on it.
struct SetRecord {
    int setNumber = 0;
    std::string memo;
    SetLabel label;
    std::vector<FitRecord> fits;
    // The set's points as read, for graphs; no report or JSON key shows them.
    std::vector<DataPoint> points;
    bool weighted = true;  // every point gave a nonzero SD
};

// A text that does not belong to a fit: invalid lines and message boxes.
struct MessageRecord {
    std::string kind;  // "error", "warning" or "memo"
    std::string text;
};

// A parameter shared by the sets of a global fit, as the joint fit left it.
struct SharedParameterRecord {
    int index = 0;
    double value = 0.0;
    double error = 0.0;  // 0 for a held one, NaN for one at a bound
    bool fixed = false;
    std::optional<ParameterBounds> bounds;
    std::optional<double> atBound;  // the bound the joint fit ended it on
};

// One set of a global fit: its whole parameter vector (the shared ones
// included) with the joint fit's errors, and its own chi-square per degree
// of freedom (its points less its free local parameters).
struct GlobalSetRecord {
    int setNumber = 0;
    SetLabel label;
    std::vector<double> parameters;
    std::vector<double> errors;
    std::vector<bool> shared;  // per parameter: one of the shared ones
    std::optional<double> chisqDof;
    // Per parameter, the bound a bounded local ended on; empty when the set
    // has no bounded local.
    std::vector<std::optional<double>> atBound;
};

// A set of the compute that took no part in the global fit, and why.
struct LeftOutSet {
    int setNumber = 0;
    std::string reason;
};

// The joint fit of the sets that share parameters.
struct GlobalFitRecord {
    std::vector<SharedParameterRecord> shared;  // index order
    std::vector<double> covariance;             // shared x shared, row by row
    std::vector<GlobalSetRecord> sets;
    double chisq = 0.0;
    int dof = 0;
    std::optional<double> chisqDof;
    int points = 0;
    FitOutcome outcome = FitOutcome::NotConverged;
    int iterations = 0;
    double lambda = std::numeric_limits<double>::quiet_NaN();  // Marquardt's lambda at the end
    std::vector<LeftOutSet> leftOut;
    std::vector<std::string> startNotes;  // shared starts moved into their bounds
};

struct ComputeRecord {
    std::vector<SetRecord> sets;
    std::vector<MessageRecord> messages;
    bool stopped = false;                   // ended at the host's request before the last set
    std::optional<GlobalFitRecord> global;  // only when a parameter was shared
};

}  // namespace quillon
