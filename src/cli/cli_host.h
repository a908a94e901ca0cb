// The command line's side of the compute host: report text to standard
// output (optionally coloured), message boxes to standard error.
#pragma once

#include <ostream>
#include <string>

#include "core/records/host.h"

namespace quillon {

class CliHost : public IComputeHost {
  public:
    CliHost(std::ostream* report, std::ostream& errors, bool colour)
        : m_report(report), m_errors(errors), m_colour(colour) {}

    void SendAnswer(AnswerHint hint, const std::string& text) override;
    void ShowMessage(const std::string& text, MessageIcon icon) override;
    // No result-file writer yet: the save is declined, as a cancelled dialog
    // would; the columns are kept for machine-readable output.
    void ExportResults(const ResultColumnList& columns) override;

    const ResultColumnList& ExportedColumns() const { return m_columns; }

  private:
    void Write(const std::string& text, RgbColour colour);

    std::ostream* m_report;  // null: the report text is not shown
    std::ostream& m_errors;
    bool m_colour;
    AnswerColours m_colours;
    ResultColumnList m_columns;
};

}  // namespace quillon
