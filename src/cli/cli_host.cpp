#include "cli/cli_host.h"

namespace quillon {

void CliHost::Write(const std::string& text, RgbColour colour) {
    if (m_report == nullptr || text.empty()) {
        return;
    }
    if (!m_colour) {
        *m_report << text;
        return;
    }
    *m_report << "\x1b[38;2;" << int{colour.red} << ';' << int{colour.green} << ';'
              << int{colour.blue} << 'm' << text << "\x1b[0m";
}

void CliHost::SendAnswer(AnswerHint hint, const std::string& text) {
    Write(text, m_colours.TextColour(hint));
    if (hint == AnswerHint::Header) {
        // The pane follows its header with an empty line in the memo colour.
        Write("\n", m_colours.memo);
    }
}

void CliHost::ShowMessage(const std::string& text, MessageIcon /*icon*/) {
    std::string line = text;
    while (!line.empty() && line.back() == '\n') {
        line.pop_back();
    }
    m_errors << "quillon: " << line << '\n';
}

void CliHost::ExportResults(const ResultColumnList& columns) {
    m_columns = columns;
}

}  // namespace quillon
