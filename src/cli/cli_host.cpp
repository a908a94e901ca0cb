#include "cli/cli_host.h"

#include <filesystem>

#include "files/overwrite.h"
#include "files/result_writer.h"

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
    m_exported = true;
    if (m_result != nullptr) {
        WriteResultFile(columns);
    }
}

namespace {

namespace fs = std::filesystem;

std::string FullPath(const std::string& path) {
    std::error_code ec;
    const fs::path full = fs::absolute(path, ec);
    return ec ? path : full.lexically_normal().string();
}

std::optional<OverwriteInfo> FillFor(const std::string& fullPath, const FileStatus& status) {
    const fs::path path(fullPath);
    return Fill(path.filename().string(), path.parent_path().string(), status);
}

}  // namespace

std::optional<std::string> CheckResultTarget(const ResultFileOptions& result) {
    const std::string path = FullPath(result.path);
    const std::optional<FileStatus> status = QueryFileStatus(path);
    if (!status) {
        return std::nullopt;
    }
    if (!FillFor(path, *status)) {
        return result.path + ": " + std::string(kUnsuitableTargetMessage);
    }
    if (!result.overwrite && !result.backup) {
        return result.path +
               " exists; give --overwrite to replace it or --backup bak|dollar|hash to keep it";
    }
    return std::nullopt;
}

void CliHost::WriteResultFile(const ResultColumnList& columns) {
    const std::string path = FullPath(m_result->path);
    ResultWriteOptions options;
    options.encoding = m_result->encoding;
    std::optional<OverwriteInfo> existing;
    if (const std::optional<FileStatus> status = QueryFileStatus(path);
        status && !columns.empty()) {
        existing = FillFor(path, *status);
        if (const auto refusal = CheckResultTarget(*m_result); refusal || !existing) {
            // It appeared or changed during the compute.
            ShowMessage(refusal.value_or(path + ": " + std::string(kUnsuitableTargetMessage)),
                        MessageIcon::Exclamation);
            m_resultFailed = true;
            return;
        }
        if (m_result->backup) {
            // The backup is made only once the new file is complete, so a
            // failed write leaves everything as it was.
            options.beforeReplace = BackupWhenReplacing(*existing, *m_result->backup);
        } else if (const FileActionResult ready = PrepareOverwrite(*existing);
                   ready.status != FileActionStatus::Done) {
            ShowMessage(path + ": " + ready.reason, MessageIcon::Error);
            m_resultFailed = true;
            return;
        }
    }
    const ResultWriteOutcome outcome = quillon::WriteResultFile(
        path, FileExtension(path), columns, m_modelDisplay, m_result->writer, *this, options);
    m_resultFailed = outcome.status == ResultWriteStatus::OpenFailed ||
                     outcome.status == ResultWriteStatus::WriteFailed;
}

}  // namespace quillon
