// The options of the quillon command line.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "files/overwrite.h"
#include "files/result_writer.h"
#include "files/text_codec.h"
#include "records/records.h"

namespace quillon {

enum class ReportFormat { Text, Json };
enum class ColourMode { Auto, Always, Never };

// The result file of -o: where, in which form, and what to do with a file
// already there.
struct ResultFileOptions {
    std::string path;  // empty: no result file is written
    ResultWriterState writer;
    TextEncoding encoding = TextEncoding::Utf8;
    bool overwrite = false;
    std::optional<BackupChoice> backup;
};

struct CliOptions {
    int modelId = 0;
    std::string formula;  // --formula: fitted instead of modelId
    FitMethod method = FitMethod::Marquardt;
    bool listModels = false;
    bool listMethods = false;
    ReportFormat format = ReportFormat::Text;
    ColourMode colour = ColourMode::Auto;
    bool file = false;
    std::string input = "-";  // "-" reads standard input
    ConvergenceSettings convergence;
    double fixedCDegrees = 20.0;
    OutputSettings output;  // enabled follows file
    ResultFileOptions result;
    int jobs = 0;             // threads fitting the sets; 0: one per hardware thread
    std::string plotPath;     // empty: no graph is drawn
    int plotSet = 0;          // the set the graph shows; 0: all sets; -1: the global fit
    bool statistics = false;  // a statistics block after every parameter block
    // --bands: the confidence level in percent of the bands drawn (--plot)
    // and written (--format json, --file); none: no bands.
    std::optional<double> bandLevel;
    // --fix and --bound, as "<<...>>" lines before the data would give them.
    std::vector<InitialValueDirective> startDirectives;
    bool searchStarts = false;  // search better starting values first
    // --suspect-chisq: flag converged weighted fits above this chi-square
    // per degree of freedom (4 when only a switch turns the flag on).
    std::optional<double> suspectChisqDof;
    std::vector<int> sharedParameters;  // --share I: Ai shared by every set in a global fit
};

// The settings of the fits the command line asks for, from its options.
FitSettings FitSettingsOf(const CliOptions& options);

// The directives of --fix I=V and --bound I=LO:HI (either side may be
// empty), one per parameter index; the error text when one does not read.
std::optional<std::string> ParseParameterOptions(const std::vector<std::string>& fixes,
                                                 const std::vector<std::string>& bounds,
                                                 std::vector<InitialValueDirective>& directives);

// The method of a name (any case) or of a digit 0..4.
std::optional<FitMethod> ParseMethod(const std::string& text);

// Parses the arguments. Returns the exit status when the program is to stop
// here (0 after --help, 2 after a usage error, with its message written to
// err), or nothing when it is to go on.
std::optional<int> ParseCliOptions(const std::vector<std::string>& args, CliOptions& options,
                                   std::ostream& out, std::ostream& err);

}  // namespace quillon
