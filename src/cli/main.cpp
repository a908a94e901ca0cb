// quillon: fits the data sets of a text with one model and prints the report.
#include <malloc.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_host.h"
#include "cli/cli_options.h"
#include "cli/json_report.h"
#include "engine/compute.h"
#include "files/read_file.h"
#include "files/text_codec.h"
#include "models/catalogue.h"
#include "models/formula_model.h"
#include "records/point_team.h"
#ifdef QUILLON_WITH_PLOT
#include <dlfcn.h>

#include <filesystem>

#include "plot/plot_module.h"
#endif

namespace {

using namespace quillon;

constexpr int kInterruptedStatus = 130;  // 128 + SIGINT, as shells report it

// Set by the first Ctrl-C; the compute stops after the set it is fitting.
std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void OnInterrupt(int /*signal*/) {
    g_interrupted.store(true, std::memory_order_relaxed);
}

// The first SIGINT asks the compute to stop; the handler then falls back to
// the default, so a second one ends the program at once.
void CatchInterrupt() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
}

// A large set's arrays (points, residuals, Jacobian) come from the heap and
// are reused once freed, instead of being mapped afresh for the pre-fit, the
// fit and the next set: every fresh mapping faults in page by page, a
// fifth of the time of a million-point fit.
void KeepLargeArraysInTheHeap() {
    constexpr int kLargestHeapBlock = 32 << 20;  // the most glibc allows
    constexpr int kKeptWhenFreed = 1 << 30;
    constexpr int kHeapGrowth = 64 << 20;
    mallopt(M_MMAP_THRESHOLD, kLargestHeapBlock);
    mallopt(M_TRIM_THRESHOLD, kKeptWhenFreed);
    mallopt(M_TOP_PAD, kHeapGrowth);
}

// glibc backs its heaps with transparent huge pages when its tunable
// glibc.malloc.hugetlb is 1, which it reads only as a program starts: the
// program starts itself once more with it set. A compute's first touch of
// its memory then takes a few hundred page faults instead of thousands, a
// fifth of the time of many small fits on a virtual machine. Skipped when
// the tunable is already set (by the user, or by this restart), under the
// sanitizers and valgrind, and whenever the restart cannot be made.
void RestartWithHugePageHeap(char** argv) {
#ifndef QUILLON_SANITIZE
    constexpr std::string_view kTunable = "glibc.malloc.hugetlb";
    const char* tunables = std::getenv("GLIBC_TUNABLES");
    const char* preload = std::getenv("LD_PRELOAD");
    if ((tunables != nullptr &&
         std::string_view(tunables).find(kTunable) != std::string_view::npos) ||
        (preload != nullptr &&
         std::string_view(preload).find("vgpreload") != std::string_view::npos)) {
        return;
    }
    const std::string previous = tunables != nullptr ? tunables : "";
    std::string value = previous.empty() ? "" : previous + ":";
    value += std::string(kTunable) + "=1";
    if (setenv("GLIBC_TUNABLES", value.c_str(), 1) != 0) {
        return;
    }
    execv("/proc/self/exe", argv);
    // No restart: go on as started, with the environment as it was.
    if (tunables != nullptr) {
        setenv("GLIBC_TUNABLES", previous.c_str(), 1);
    } else {
        unsetenv("GLIBC_TUNABLES");
    }
#else
    (void)argv;
#endif
}

int ListModels() {
    for (int id = 0; id < kModelCount; ++id) {
        std::cout << ModelComboEntry(id) << '\n';
    }
    return 0;
}

int ListMethods() {
    for (int id = 0; id < kMethodCount; ++id) {
        std::cout << MethodName(static_cast<FitMethod>(id)) << '\n';
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

#ifdef QUILLON_WITH_PLOT
// The graph writer module: beside the program (the build tree), else in the
// installed library folder. Null with the loader's reason in error.
plot::PlotModuleEntry LoadPlotModule(std::string& error) {
    std::error_code failed;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", failed);
    const std::filesystem::path folder =
        failed ? std::filesystem::path(".") : program.parent_path();
    for (const std::filesystem::path& candidate :
         {folder / plot::kPlotModuleFile,
          folder / QUILLON_PLOT_MODULE_DIR / plot::kPlotModuleFile}) {
        // Kept loaded to the end: the toolkit's own clean-up runs at exit.
        if (void* module = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL)) {
            if (void* entry = dlsym(module, plot::kPlotModuleEntry)) {
                return reinterpret_cast<plot::PlotModuleEntry>(entry);
            }
        }
        const char* reason = dlerror();
        error = reason != nullptr ? reason : candidate.string() + ": no graph writer";
    }
    error = "cannot load the graph writer (" + error + ")";
    return nullptr;
}
#endif

// Draws the graph of --plot; false after saying why it could not.
bool WritePlot(const CliOptions& options, const ComputeRecord& record) {
#ifdef QUILLON_WITH_PLOT
    std::string error;
    if (const plot::PlotModuleEntry write = LoadPlotModule(error);
        write != nullptr &&
        write(&record, options.modelId, options.formula.c_str(), options.fixedCDegrees,
              options.bandLevel.value_or(0.0), options.plotSet, options.plotPath.c_str(), &error)) {
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

// After Ctrl-C: the report so far (the text was printed as it came; JSON
// gets the partial record), no result file and no graph.
int ReportStopped(bool json, const CliOptions& options, const ComputeRecord& record) {
    if (json) {
        std::cout << JsonReport(
            {options.modelId, options.formula, options.method, record, nullptr});
    }
    std::cout.flush();
    std::cerr << "quillon: interrupted; the report holds the " << record.sets.size()
              << " set(s) fitted before the stop\n";
    return kInterruptedStatus;
}

}  // namespace

int main(int argc, char** argv) {
    RestartWithHugePageHeap(argv);
    KeepLargeArraysInTheHeap();
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

    // The threads the compute may use help from the start: a large file's
    // buffer is mapped and its lines are split on them too.
    const PointTeamScope team(ResolveJobCount(options.jobs));
    const std::string shownPath = options.input == "-" ? "standard input" : options.input;
    FileReadResult read = ReadFileBytes(options.input, true);
    if (!read.ok) {
        std::cerr << "quillon: " << shownPath << ": " << read.reason << '\n';
        return 1;
    }
    const DecodedText decoded = DecodeOwnedText(std::move(read.bytes));
    if (decoded.binary) {
        std::cerr << "quillon: " << shownPath << ": binary data, no text read\n";
    }

    ComputeSession session;
    session.settings = FitSettingsOf(options);

    const bool json = options.format == ReportFormat::Json;
    // The records carry bands only where they are shown: the graph works
    // out its own at the X it draws.
    if (json || options.file) {
        session.settings.bandLevel = options.bandLevel;
    }

    CliHost host(json ? nullptr : &std::cout, std::cerr, UseColour(options));
    if (!options.result.path.empty()) {
        host.SetResultFile(&options.result, ModelDisplayText(options.modelId, options.formula));
    }
    host.SetStopFlag(&g_interrupted);
    CatchInterrupt();
    const ComputeRecord record =
        ComputeParameters(SplitLineViews(decoded.text), session, host, nullptr, options.jobs);
    if (record.stopped) {
        return ReportStopped(json, options, record);
    }
    if (!options.result.path.empty() && !host.Exported()) {
        host.ExportResults({});  // no columns: says so and writes nothing
    }
    if (json) {
        const ResultColumnList* columns = options.file ? &host.ExportedColumns() : nullptr;
        std::cout << JsonReport(
            {options.modelId, options.formula, options.method, record, columns});
    }
    std::cout.flush();
    const bool plotted = options.plotPath.empty() || WritePlot(options, record);
    return host.ResultFileFailed() || !plotted ? 1 : 0;
}
