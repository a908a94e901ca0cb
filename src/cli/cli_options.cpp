#include "cli/cli_options.h"

#include <CLI/CLI.hpp>

#include "fit/convergence.h"
#include "models/catalogue.h"

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
        choices += std::string(MethodName(id)) + ", ";
    }
    return choices + "or 0.." + std::to_string(kMethodCount - 1);
}

}  // namespace

std::optional<int> ParseMethod(const std::string& text) {
    if (text.size() == 1 && text[0] >= '0' && text[0] < '0' + kMethodCount) {
        return text[0] - '0';
    }
    for (int id = 0; id < kMethodCount; ++id) {
        if (Lower(text) == Lower(std::string(MethodName(id)))) {
            return id;
        }
    }
    return std::nullopt;
}

std::optional<int> ParseCliOptions(const std::vector<std::string>& args, CliOptions& options,
                                   std::ostream& out, std::ostream& err) {
    CLI::App app{"Quillon_L: least-squares curve fitting of data sets", "quillon"};
    std::string method = "Marquardt";
    std::string format = "text";
    std::string colour = "auto";

    app.add_option("-m,--model", options.modelId, "model id 0..42 (see --list-models)")
        ->check(CLI::Range(0, kModelCount - 1));
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
    app.add_flag("--file", options.file, "build the result columns (the File switch)");
    app.add_option("--n-cut", options.convergence.n_cut, "iteration limit n_cut (10..1000000000)")
        ->check(CLI::Range(kNCutMin, kNCutMax));
    app.add_option("--chi-cut", options.convergence.chi_cut,
                   "convergence precision chi_cut (1e-10..1000)")
        ->check(CLI::Range(kChiCutMin, kChiCutMax));
    app.add_option("--chisqdof-lim", options.convergence.ChisqDof_Lim,
                   "chi-square per degree of freedom limit ChisqDof_Lim (1e-10..1000)")
        ->check(CLI::Range(kChisqDofLimMin, kChisqDofLimMax));
    app.add_option("--f-er", options.convergence.f_ER,
                   "step precision factor f_ER (1e-7..1000000); ER = 1e-7 * f_ER")
        ->check(CLI::Range(kFErMin, kFErMax));
    app.add_option("--fixed-c", options.fixedCDegrees,
                   "the fixed phase C in degrees of models 4, 6 and 8 (default 20)");
    app.add_option("--jobs", options.jobs,
                   "threads fitting the sets (default: one per hardware thread; 1: one "
                   "set after another)")
        ->check(CLI::Range(1, 4096));
    app.add_option("FILE", options.input, "data text; absent or - reads standard input");

    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return 0;
    } catch (const CLI::ParseError& e) {
        err << "quillon: " << e.what() << '\n';
        return 2;
    }
    options.methodId = *ParseMethod(method);
    options.format = format == "json" ? ReportFormat::Json : ReportFormat::Text;
    options.colour = colour == "always"  ? ColourMode::Always
                     : colour == "never" ? ColourMode::Never
                                         : ColourMode::Auto;
    return std::nullopt;
}

}  // namespace quillon
