// The compute command: reads the data text line by line, fits every set with
// the chosen model, sends the report to the host and hands the result
// columns over for the result file.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "records/host.h"
#include "records/records.h"

namespace quillon {

// What lasts between computes: the settings, the directive lists and the
// header text the answer pane shows.
struct ComputeSession {
    FitSettings settings;
    DirectiveLists directives;
    std::string header;
};

// One set handed to the nonlinear fit: X, Y and W = 1/SD in input order.
struct NonlinearSetInput {
    const std::vector<double>& x;
    const std::vector<double>& y;
    const std::vector<double>& w;
    int setNumber = 0;
    bool weighted = true;
};

// The nonlinear fit of one set: sends its own report, consumes the this-set
// directives, appends its columns and returns one record per method run.
class INonlinearFitter {
  public:
    virtual ~INonlinearFitter() = default;
    virtual std::vector<FitRecord> FitSet(const NonlinearSetInput& input, ComputeSession& session,
                                          IComputeHost& host, ResultColumnList& fileColumns,
                                          ResultColumnList& tableColumns) = 0;
};

// The compute command is offered only while the data text has more than two
// lines.
constexpr bool CanCompute(int lineCount) {
    return lineCount > 2;
}

// The answer-pane line of a compute that the host stopped (warning kind).
inline constexpr std::string_view kComputeStoppedText = "Compute stopped by the user.\n";

// The number of sets a compute of these lines fits, found with the reading
// rules alone (no fit): a set ends at a blank line with at least two points,
// at a "//" line with at least three, and at the end of the text with at
// least two; a "//" line after one or two points drops them; a point line
// counts when its scan reads at least X and Y.
int CountComputeSets(std::span<const std::string_view> lines);
int CountComputeSets(const std::vector<std::string>& lines);

// "Model function: Y =" followed by the model's display string and "\n".
std::string ComputeHeader(int modelId);
// The same for the settings' model: the catalogue id's, or
// "Model function: Y = EXPR; formula" for a formula.
std::string ComputeHeader(const FitSettings& settings);

// The threads a compute with jobs uses: jobs, or one per hardware thread
// for 0.
unsigned ResolveJobCount(int jobs);

// Runs one compute over the lines of the data text (without line ends).
// Nonlinear sets go to the given fitter, or to the nonlinear fit driver.
// With the driver, jobs threads fit the sets concurrently (0: one per
// hardware thread, 1: one after the other while reading); the host is called
// on the calling thread only and receives the same texts in the same order
// whatever the count. The host is asked between sets whether to stop; a
// stopped compute keeps the sets finished in reading order up to the first
// one not fitted, ends with kComputeStoppedText and hands over no result
// columns (no parameter table, no result file).
ComputeRecord ComputeParameters(std::span<const std::string_view> lines, ComputeSession& session,
                                IComputeHost& host, INonlinearFitter* nonlinear = nullptr,
                                int jobs = 0);
ComputeRecord ComputeParameters(const std::vector<std::string>& lines, ComputeSession& session,
                                IComputeHost& host, INonlinearFitter* nonlinear = nullptr,
                                int jobs = 0);

}  // namespace quillon
