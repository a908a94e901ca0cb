#include "cli/cli_options.h"

#include <CLI/CLI.hpp>
#include <cmath>
#include <limits>
#include <utility>

#include "engine/sharing_state.h"
#include "files/output_settings.h"
#include "fit/convergence.h"
#include "models/catalogue.h"
#include "models/formula_parser.h"
#include "plot/plot_module.h"
#include "records/number_format.h"
#include "records/number_scan.h"

namespace quillon {
namespace {

std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

std::string MethodChoices() {
    std::string choices;
    for (int id = 0; id < kMethodCount; ++id) {
        choices += std::string(MethodName(static_cast<FitMethod>(id))) + ", ";
    }
    return choices + "or 0.." + std::to_string(kMethodCount - 1);
}

// The index of text in names; the caller has checked that it is one of them.
int IndexOf(const std::string& text, std::initializer_list<const char*> names) {
    int index = 0;
    for (const char* name : names) {
        if (text == name) {
            return index;
        }
        ++index;
    }
    return 0;
}

// Names of an option's values, in the order of the values they stand for.
const std::initializer_list<const char*> kContentsNames = {"params", "curve", "both"};
const std::initializer_list<const char*> kRangeModeNames = {"data", "percent", "value"};
const std::initializer_list<const char*> kStepModeNames = {"range", "spacing"};
const std::initializer_list<const char*> kSeparatorNames = {"space", "comma", "tab", "serial"};
const std::initializer_list<const char*> kBackupNames = {"bak", "dollar", "hash"};

// The texts of the options that take names, before they become numbers.
struct NamedChoices {
    std::string contents = "both";
    std::string xminMode = "data";
    std::string xmaxMode = "data";
    std::string stepMode = "range";
    std::string separator = "tab";
    std::string encoding = "utf-8";
    std::string backup;
    bool noParamTable = false;
    bool noComment = false;
    bool noHeader = false;
};

void AddOutputSettingsOptions(CLI::App& app, OutputSettings& output, NamedChoices& names) {
    app.add_option("--contents", names.contents,
                   "result columns: params, curve or both (default both)")
        ->check(CLI::IsMember(kContentsNames));
    app.add_flag("--no-param-table", names.noParamTable, "leave out the parameter table");
    app.add_option("--xmin-mode", names.xminMode,
                   "start of the fitted curve: data, percent (below the data) or value")
        ->check(CLI::IsMember(kRangeModeNames));
    app.add_option("--xmin-percent", output.xminPercent,
                   "percent of the X range to start below the data (default 0)");
    app.add_option("--xmin-value", output.xminValue, "start of the curve with value (default 0)");
    app.add_option("--xmax-mode", names.xmaxMode,
                   "end of the fitted curve: data, percent (beyond the data) or value")
        ->check(CLI::IsMember(kRangeModeNames));
    app.add_option("--xmax-percent", output.xmaxPercent,
                   "percent of the X range to end beyond the data (default 0)");
    app.add_option("--xmax-value", output.xmaxValue, "end of the curve with value (default 100)");
    app.add_option("--step-mode", names.stepMode,
                   "curve step: range (Xmax - Xmin) or spacing (X(1) - X(0)) divided")
        ->check(CLI::IsMember(kStepModeNames));
    app.add_option("--divisions", output.divisions[0],
                   "divisions of Xmax - Xmin, 1..100000 (default 100)")
        ->check(CLI::Range(kDivisionsMin, kRangeDivisionsMax));
    app.add_option("--divisions-spacing", output.divisions[1],
                   "divisions of X(1) - X(0), 1..10000 (default 10)")
        ->check(CLI::Range(kDivisionsMin, kSpacingDivisionsMax));
}

void AddResultFileOptions(CLI::App& app, ResultFileOptions& result, NamedChoices& names) {
    CLI::Option* output = app.add_option(
        "-o,--output", result.path,
        "write the result file (implies --file); .dat Zentograph data, other names text");
    app.add_option("--separator", names.separator,
                   "text result files: space, comma, tab (default) or serial; .csv is comma")
        ->check(CLI::IsMember(kSeparatorNames));
    app.add_flag("--3d", result.writer.m_b3D, "Zentograph data (.dat) in the 3-D variant");
    app.add_flag("--no-comment", names.noComment,
                 "leave out the \"*Model F:\" line of text result files");
    app.add_flag("--no-header", names.noHeader,
                 "leave out the column-name line of delimited result files");
    app.add_option("--encoding", names.encoding, "result file text: utf-8 (default) or cp932")
        ->check(CLI::IsMember({"utf-8", "cp932"}));
    CLI::Option* overwrite =
        app.add_flag("--overwrite", result.overwrite, "replace an existing result file")
            ->needs(output);
    app.add_option("--backup", names.backup,
                   "keep an existing result file as NAME.bak (bak), NAME.$xt (dollar) or "
                   "NAME.#xt (hash) first")
        ->check(CLI::IsMember(kBackupNames))
        ->needs(output)
        ->excludes(overwrite);
}

void ApplyNamedChoices(const NamedChoices& names, CliOptions& options) {
    options.output.contents = static_cast<ResultContents>(IndexOf(names.contents, kContentsNames));
    options.output.xminMode = static_cast<CurveEndMode>(IndexOf(names.xminMode, kRangeModeNames));
    options.output.xmaxMode = static_cast<CurveEndMode>(IndexOf(names.xmaxMode, kRangeModeNames));
    options.output.stepMode = static_cast<CurveStepMode>(IndexOf(names.stepMode, kStepModeNames));
    options.output.paramTable = !names.noParamTable;
    options.result.writer.m_bComment = !names.noComment;
    options.result.writer.m_bHeader = !names.noHeader;
    options.result.writer.m_nSeparator = IndexOf(names.separator, kSeparatorNames);
    options.result.encoding =
        names.encoding == "cp932" ? TextEncoding::ShiftJis : TextEncoding::Utf8;
    if (!names.backup.empty()) {
        options.result.backup = static_cast<BackupChoice>(IndexOf(names.backup, kBackupNames));
    }
    if (!options.result.path.empty()) {
        options.file = true;
    }
    options.output.enabled = options.file;
}

bool IsPlotFileName(const std::string& path) {
    const std::string lower = Lower(path);
    return lower.size() > 4 &&
           (lower.ends_with(".png") || lower.ends_with(".svg") || lower.ends_with(".pdf"));
}

// The four convergence values, with the dialog's ranges.
void AddConvergenceOptions(CLI::App& app, ConvergenceSettings& convergence) {
    app.add_option("--n-cut", convergence.n_cut, "iteration limit n_cut (10..1000000000)")
        ->check(CLI::Range(kNCutMin, kNCutMax));
    app.add_option("--chi-cut", convergence.chi_cut, "convergence precision chi_cut (1e-10..1000)")
        ->check(CLI::Range(kChiCutMin, kChiCutMax));
    app.add_option("--chisqdof-lim", convergence.ChisqDof_Lim,
                   "chi-square per degree of freedom limit ChisqDof_Lim (1e-10..1000)")
        ->check(CLI::Range(kChisqDofLimMin, kChisqDofLimMax));
    app.add_option("--f-er", convergence.f_ER,
                   "step precision factor f_ER (1e-7..1000000); ER = 1e-7 * f_ER")
        ->check(CLI::Range(kFErMin, kFErMax));
}

// The start search, the precise derivatives and the flag on suspect fits.
void AddTrustOptions(CLI::App& app, CliOptions& options) {
    app.add_flag("--search-starts", options.searchStarts,
                 "search better starting values before every nonlinear fit (a period scan for "
                 "the sines, candidates around the estimate for the others); flags suspect fits");
    app.add_flag("--precise", options.convergence.precise,
                 "central-difference Jacobian and the gradient -J^T r from it, for the steps and "
                 "the errors; flags suspect fits");
    app.add_option("--suspect-chisq", options.suspectChisqDof,
                   "flag converged fits of data with SDs whose chi-square per degree of freedom "
                   "is above X (default 4 with --search-starts or --precise)")
        ->check(CLI::PositiveNumber);
}

// Compiles the --formula text once before any fit; a refusal says what and
// where, with the formula and a caret under the column.
bool FormulaCompiles(const std::string& formula, std::ostream& err) {
    const FormulaCompileResult compiled = CompileFormula(formula);
    if (compiled.program) {
        return true;
    }
    err << "quillon: formula: " << FormulaErrorText(compiled.error) << '\n'
        << formula << '\n'
        << FormulaCaretLine(formula, compiled.error.column) << '\n';
    return false;
}

}  // namespace

std::optional<FitMethod> ParseMethod(const std::string& text) {
    if (text.size() == 1 && text[0] >= '0' && text[0] < '0' + kMethodCount) {
        return static_cast<FitMethod>(text[0] - '0');
    }
    for (int id = 0; id < kMethodCount; ++id) {
        const auto method = static_cast<FitMethod>(id);
        if (Lower(text) == Lower(std::string(MethodName(method)))) {
            return method;
        }
    }
    return std::nullopt;
}

namespace {

// A whole text as one number; nothing when it is not exactly a number.
std::optional<double> WholeNumber(const std::string& text) {
    const char* p = text.c_str();
    double value = 0.0;
    if (!ScanDouble(p, value)) {
        return std::nullopt;
    }
    SkipSpace(p);
    return *p == '\0' ? std::optional<double>(value) : std::nullopt;
}

// "I=REST": the parameter index (0..999, as a directive line takes it) and REST.
std::optional<std::pair<int, std::string>> IndexAndRest(const std::string& text) {
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos) {
        return std::nullopt;
    }
    const std::optional<double> index = WholeNumber(text.substr(0, equals));
    if (!index || *index < 0 || *index > 999 || *index != std::floor(*index)) {
        return std::nullopt;
    }
    return std::pair{static_cast<int>(*index), text.substr(equals + 1)};
}

// "LO:HI" with either side empty (open); not both.
std::optional<ParameterBounds> BoundsOf(const std::string& text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos) {
        return std::nullopt;
    }
    ParameterBounds bounds;
    const std::string sides[2] = {text.substr(0, colon), text.substr(colon + 1)};
    double* targets[2] = {&bounds.lower, &bounds.upper};
    bool any = false;
    for (int k = 0; k < 2; ++k) {
        if (sides[k].find_first_not_of(" \t") == std::string::npos) {
            continue;
        }
        const std::optional<double> value = WholeNumber(sides[k]);
        if (!value || std::isnan(*value)) {
            return std::nullopt;
        }
        *targets[k] = *value;
        any = true;
    }
    if (!any || bounds.lower > bounds.upper) {
        return std::nullopt;
    }
    return bounds;
}

InitialValueDirective& DirectiveFor(int index, std::vector<InitialValueDirective>& directives) {
    for (InitialValueDirective& d : directives) {
        if (d.index == index) {
            return d;
        }
    }
    InitialValueDirective d;
    d.index = index;
    d.hasValue = false;
    return directives.emplace_back(d);
}

// A --share index the model does not have.
std::optional<std::string> CheckSharedIndices(const CliOptions& options) {
    FitSettings settings;
    settings.modelId = options.modelId;
    settings.formula = options.formula;
    const int count = SettingsParamCount(settings);
    for (const int index : options.sharedParameters) {
        if (index >= count) {
            return "--share " + std::to_string(index) + ": the model has parameters 0.." +
                   std::to_string(count - 1);
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> ParseParameterOptions(const std::vector<std::string>& fixes,
                                                 const std::vector<std::string>& bounds,
                                                 std::vector<InitialValueDirective>& directives) {
    for (const std::string& fix : fixes) {
        const auto parsed = IndexAndRest(fix);
        const std::optional<double> value = parsed ? WholeNumber(parsed->second) : std::nullopt;
        if (!value) {
            return "--fix " + fix + ": expected I=V, a parameter index 0..999 and a number";
        }
        InitialValueDirective& d = DirectiveFor(parsed->first, directives);
        d.value = *value;
        d.hasValue = true;
        d.fixed = true;
    }
    for (const std::string& bound : bounds) {
        const auto parsed = IndexAndRest(bound);
        const std::optional<ParameterBounds> range =
            parsed ? BoundsOf(parsed->second) : std::nullopt;
        if (!range) {
            return "--bound " + bound +
                   ": expected I=LO:HI, a parameter index 0..999 and LO <= HI (one side may "
                   "be empty)";
        }
        DirectiveFor(parsed->first, directives).bounds = range;
    }
    return std::nullopt;
}

namespace {

// The level of a band when --bands is given without one.
constexpr double kDefaultBandLevel = 95.0;

// --bands takes its LEVEL only when the next argument is a number, so that
// "--bands data.txt" reads the file: a bare --bands becomes --bands=95.
std::vector<std::string> WithBandLevels(const std::vector<std::string>& args) {
    std::vector<std::string> given = args;
    for (std::size_t i = 0; i < given.size(); ++i) {
        if (given[i] == "--bands" && (i + 1 == given.size() || !WholeNumber(given[i + 1]))) {
            given[i] = "--bands=" + Sprintf("%lg", kDefaultBandLevel);
        }
    }
    return given;
}

// --plot, --plot-set and --bands.
void AddGraphOptions(CLI::App& app, CliOptions& options, bool& plotGlobal) {
    CLI::Option* plot =
        app.add_option("--plot", options.plotPath,
                       "draw the data, the fitted curves and the residuals into a .png, .svg "
                       "or .pdf file")
            ->check(CLI::Validator(
                [](std::string& value) {
                    return IsPlotFileName(value) ? std::string{}
                                                 : "the graph is written as .png, .svg or .pdf";
                },
                "FILE"));
    app.add_option("--plot-set", options.plotSet, "the set number the graph shows (default: all)")
        ->check(CLI::Range(1, std::numeric_limits<int>::max()))
        ->needs(plot);
    app.add_flag("--plot-global", plotGlobal,
                 "the graph shows the global fit: every set with its joint curve")
        ->needs(plot)
        ->excludes("--plot-set");
    app.add_option("--bands", options.bandLevel,
                   "with --plot, --file or --format json: the LEVEL% confidence band of every "
                   "fitted curve (default 95), and for sets without SDs the prediction band; "
                   "without them nothing changes")
        ->type_name("[LEVEL]")
        ->check(CLI::Validator(
            [](std::string& value) {
                const std::optional<double> level = WholeNumber(value);
                return level && *level > 0.0 && *level < 100.0
                           ? std::string{}
                           : "LEVEL must be a percent above 0 and below 100";
            },
            "LEVEL"));
}

// The method, the report format and the colours from their checked texts.
void ApplyReportChoices(const std::string& method, const std::string& format,
                        const std::string& colour, CliOptions& options) {
    options.method = *ParseMethod(method);
    options.format = format == "json" ? ReportFormat::Json : ReportFormat::Text;
    options.colour = colour == "always"  ? ColourMode::Always
                     : colour == "never" ? ColourMode::Never
                                         : ColourMode::Auto;
}

}  // namespace

std::optional<int> ParseCliOptions(const std::vector<std::string>& args, CliOptions& options,
                                   std::ostream& out, std::ostream& err) {
    CLI::App app{"Quillon_L: least-squares curve fitting of data sets", "quillon"};
    std::string method = "Marquardt";
    std::string format = "text";
    std::string colour = "auto";

    app.add_option("-m,--model", options.modelId, "model id 0..42 (see --list-models)")
        ->check(CLI::Range(0, kModelCount - 1));
    CLI::Option* formula =
        app.add_option("--formula", options.formula,
                       "fit this formula in X and A0..A31 instead of a catalogue model (-m is "
                       "then ignored)");
    app.add_option("-M,--method", method,
                   "Marquardt, Expansion, Powell, Gradient-search, ALL or 0..4")
        ->check(CLI::Validator(
            [](std::string& value) {
                return ParseMethod(value) ? std::string{} : "must be one of " + MethodChoices();
            },
            "METHOD"));
    app.add_flag("--list-models", options.listModels, "print the 43 model entries and stop");
    app.add_flag("--list-methods", options.listMethods, "print the five method names and stop");
    app.add_option("--format", format, "report format: text or json")
        ->check(CLI::IsMember({"text", "json"}));
    app.add_option("--color", colour, "colours: auto (on a terminal), always or never")
        ->check(CLI::IsMember({"auto", "always", "never"}));
    app.add_flag("--stats", options.statistics,
                 "follow every parameter block with the correlation matrix, 95% confidence "
                 "intervals, R-squared, AIC and BIC");
    app.add_flag("--file", options.file, "build the result columns (the File switch)");
    AddConvergenceOptions(app, options.convergence);
    app.add_option("--fixed-c", options.fixedCDegrees,
                   "the fixed phase C in degrees of models 4, 6 and 8 (default 20)");
    NamedChoices names;
    AddOutputSettingsOptions(app, options.output, names);
    AddResultFileOptions(app, options.result, names);
    app.add_option("--jobs", options.jobs,
                   "threads fitting the sets (default: one per hardware thread; 1: one "
                   "set after another); a set of 32768 points or more shares its points "
                   "among them, and a data file of 4 MiB or more is read on them")
        ->check(CLI::Range(1, 4096));
    bool plotGlobal = false;
    AddGraphOptions(app, options, plotGlobal);
    std::vector<std::string> fixes;
    std::vector<std::string> bounds;
    app.add_option("--fix", fixes,
                   "I=V: hold parameter Ai at V in every nonlinear fit (as a line "
                   "<<a[I] = V fixed>> before the data); repeatable")
        ->allow_extra_args(false);
    app.add_option("--bound", bounds,
                   "I=LO:HI: keep parameter Ai within [LO, HI] in every nonlinear fit; one side "
                   "may be empty; repeatable")
        ->allow_extra_args(false);
    AddTrustOptions(app, options);
    app.add_option("--share", options.sharedParameters,
                   "I: parameter Ai is shared by every set in a global fit after the separate "
                   "fits (as a line <<a[I] shared>> before the data); repeatable")
        ->allow_extra_args(false)
        ->check(CLI::Range(0, 999));
    app.add_option("FILE", options.input, "data text; absent or - reads standard input");

    const std::vector<std::string> given = WithBandLevels(args);
    std::vector<std::string> reversed(given.rbegin(), given.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return 0;
    } catch (const CLI::ParseError& e) {
        err << "quillon: " << e.what() << '\n';
        return 2;
    }
    if (const auto problem = ParseParameterOptions(fixes, bounds, options.startDirectives)) {
        err << "quillon: " << *problem << '\n';
        return 2;
    }
    if (formula->count() > 0 && !FormulaCompiles(options.formula, err)) {
        return 2;
    }
    if (const auto problem = CheckSharedIndices(options)) {
        err << "quillon: " << *problem << '\n';
        return 2;
    }
    ApplyNamedChoices(names, options);
    if (const auto problem = ValidateOutputSettings(options.output)) {
        err << "quillon: " << problem->message << '\n';
        return 2;
    }
    if (plotGlobal) {
        options.plotSet = plot::kGlobalFitSelection;
    }
    ApplyReportChoices(method, format, colour, options);
    return std::nullopt;
}

FitSettings FitSettingsOf(const CliOptions& options) {
    FitSettings settings;
    settings.modelId = options.modelId;
    settings.formula = options.formula;
    settings.method = options.method;
    settings.output = options.output;
    settings.convergence = options.convergence;
    settings.fixedCDegrees = options.fixedCDegrees;
    settings.statistics = options.statistics;
    settings.startDirectives = options.startDirectives;
    settings.sharedParameters = options.sharedParameters;
    settings.searchStarts = options.searchStarts;
    settings.flagSuspect =
        options.searchStarts || options.convergence.precise || options.suspectChisqDof.has_value();
    settings.suspectChisqDof = options.suspectChisqDof.value_or(settings.suspectChisqDof);
    return settings;
}

}  // namespace quillon
