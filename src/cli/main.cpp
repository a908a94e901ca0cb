// quillon: fits the data sets of a text with one model and prints the report.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_host.h"
#include "cli/cli_options.h"
#include "cli/json_report.h"
#include "core/compute.h"
#include "doc/text_codec.h"
#include "models/catalogue.h"
#ifdef QUILLON_WITH_PLOT
#include "plot/graph_export.h"
#endif

namespace {

using namespace quillon;

// Reads all bytes of a file, or of standard input for "-". On failure
// returns false with the system's reason.
bool ReadAllBytes(const std::string& path, std::string& bytes, std::string& reason) {
    const bool isStdin = path == "-";
    const int fd = isStdin ? STDIN_FILENO : open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        reason = std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        reason = std::strerror(EISDIR);
        close(fd);
        return false;
    }
    char buffer[1 << 16];
    bool ok = true;
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got > 0) {
            bytes.append(buffer, static_cast<std::size_t>(got));
        } else if (got == 0) {
            break;
        } else if (errno != EINTR) {
            reason = std::strerror(errno);
            ok = false;
            break;
        }
    }
    if (!isStdin) {
        close(fd);
    }
    return ok;
}

int ListModels() {
    for (int id = 0; id < kModelCount; ++id) {
        std::cout << ModelComboEntry(id) << '\n';
    }
    return 0;
}

int ListMethods() {
    for (int id = 0; id < kMethodCount; ++id) {
        std::cout << MethodName(id) << '\n';
    }
    return 0;
}

bool UseColour(const CliOptions& options) {
    switch (options.colour) {
        case ColourMode::Always:
            return true;
        case ColourMode::Never:
            return false;
        case ColourMode::Auto:
            break;
    }
    return options.format == ReportFormat::Text && isatty(STDOUT_FILENO) != 0;
}

// Draws the graph of --plot; false after saying why it could not.
bool WritePlot(const CliOptions& options, const ComputeRecord& record) {
#ifdef QUILLON_WITH_PLOT
    std::string error;
    if (plot::PlotRecordToFile(record, {options.modelId, options.fixedCDegrees}, options.plotSet,
                               options.plotPath, error)) {
        return true;
    }
    std::cerr << "quillon: " << error << '\n';
#else
    (void)options;
    (void)record;
    std::cerr << "quillon: this build draws no graphs (--plot)\n";
#endif
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    CliOptions options;
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (const auto status = ParseCliOptions(args, options, std::cout, std::cerr)) {
        return *status;
    }
    if (options.listModels) {
        return ListModels();
    }
    if (options.listMethods) {
        return ListMethods();
    }

    if (!options.result.path.empty()) {
        if (const auto refusal = CheckResultTarget(options.result)) {
            std::cerr << "quillon: " << *refusal << '\n';
            return 2;
        }
    }

    std::string bytes;
    std::string reason;
    const std::string shownPath = options.input == "-" ? "standard input" : options.input;
    if (!ReadAllBytes(options.input, bytes, reason)) {
        std::cerr << "quillon: " << shownPath << ": " << reason << '\n';
        return 1;
    }
    const DecodedText decoded = DecodeText(bytes);
    if (decoded.binary) {
        std::cerr << "quillon: " << shownPath << ": binary data, no text read\n";
    }

    ComputeSession session;
    session.settings.modelId = options.modelId;
    session.settings.methodId = options.methodId;
    session.settings.output = options.output;
    session.settings.convergence = options.convergence;
    session.settings.fixedCDegrees = options.fixedCDegrees;

    const bool json = options.format == ReportFormat::Json;
    CliHost host(json ? nullptr : &std::cout, std::cerr, UseColour(options));
    if (!options.result.path.empty()) {
        host.SetResultFile(&options.result, options.modelId);
    }
    const ComputeRecord record =
        ComputeParameters(SplitLines(decoded.text), session, host, nullptr, options.jobs);
    if (!options.result.path.empty() && !host.Exported()) {
        host.ExportResults({});  // no columns: says so and writes nothing
    }
    if (json) {
        const ResultColumnList* columns = options.file ? &host.ExportedColumns() : nullptr;
        std::cout << JsonReport({options.modelId, options.methodId, record, columns});
    }
    std::cout.flush();
    const bool plotted = options.plotPath.empty() || WritePlot(options, record);
    return host.ResultFileFailed() || !plotted ? 1 : 0;
}
