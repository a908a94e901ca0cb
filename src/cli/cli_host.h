// The command line's side of the compute host: report text to standard
// output (optionally coloured), message boxes to standard error, and the
// result file of -o in place of the save dialog.
#pragma once

#include <atomic>
#include <ostream>
#include <string>
#include <utility>

#include "cli/cli_options.h"
#include "records/host.h"

namespace quillon {

class CliHost : public IComputeHost {
  public:
    CliHost(std::ostream* report, std::ostream& errors, bool colour)
        : m_report(report), m_errors(errors), m_colour(colour) {}

    // Writes the result columns to the file of result (as the save dialog
    // would have been answered) with the model's comment line, which names
    // the model by its display string.
    void SetResultFile(ResultFileOptions* result, std::string modelDisplay) {
        m_result = result;
        m_modelDisplay = std::move(modelDisplay);
    }

    // The compute stops after the current set once stop holds true (set
    // from a signal handler).
    void SetStopFlag(const std::atomic<bool>* stop) { m_stop = stop; }
    bool StopRequested() override {
        return m_stop != nullptr && m_stop->load(std::memory_order_relaxed);
    }

    void SendAnswer(AnswerHint hint, const std::string& text) override;
    void ShowMessage(const std::string& text, MessageIcon icon) override;
    // Keeps the columns for machine-readable output and, with a result file,
    // writes them; without one the save is declined as a cancelled dialog.
    void ExportResults(const ResultColumnList& columns) override;

    const ResultColumnList& ExportedColumns() const { return m_columns; }
    bool Exported() const { return m_exported; }
    // The result file could not be written (the old one is left as it was).
    bool ResultFileFailed() const { return m_resultFailed; }

  private:
    void Write(const std::string& text, RgbColour colour);
    void WriteResultFile(const ResultColumnList& columns);

    std::ostream* m_report;  // null: the report text is not shown
    std::ostream& m_errors;
    bool m_colour;
    AnswerColours m_colours;
    ResultColumnList m_columns;
    bool m_exported = false;
    ResultFileOptions* m_result = nullptr;  // null: no result file
    std::string m_modelDisplay;
    bool m_resultFailed = false;
    const std::atomic<bool>* m_stop = nullptr;
};

// Checks an -o target before the compute: a file already there is refused
// unless --overwrite or --backup says what to do with it, and a directory
// never becomes a result file. Returns the message of a refusal.
std::optional<std::string> CheckResultTarget(const ResultFileOptions& result);

}  // namespace quillon
