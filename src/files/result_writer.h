// The result file: the four text formats a compute's columns are written in
// (Zentograph data normal and 3-D, a delimited table, a serial list), chosen
// by the file's extension and the writer's state.
#pragma once

#include <string>
#include <string_view>

#include "files/safe_file.h"
#include "files/text_codec.h"
#include "records/host.h"
#include "records/records.h"

namespace quillon {

// The four formats, numbered as the save dialog's filters are.
enum class ResultFormat { ZentographNormal = 1, Delimited = 2, Zentograph3D = 3, Serial = 4 };

inline constexpr int kSeparatorSpace = 0;
inline constexpr int kSeparatorComma = 1;
inline constexpr int kSeparatorTab = 2;
inline constexpr int kSeparatorSerial = 3;

// The writer's choices; they last as long as the data pane and change through
// the save dialog and the csv rule.
struct ResultWriterState {
    int m_nSeparator = kSeparatorTab;  // 0 space, 1 comma, 2 tab, 3 serial
    bool m_b3D = false;                // Zentograph data in the 3-D variant
    int m_nLastFormat = 1;             // the format last written; the next filter
    bool m_bComment = true;            // the "*Model F:" line in formats 2, 3, 4
    bool m_bHeader = true;             // the column-name line in format 2
};

inline constexpr std::string_view kNoResultsMessage = "計算結果がありません！\n";
inline constexpr std::string_view kWrittenMessage = "計算結果書き込み正常終了\n%d lines in\n%s\n";
inline constexpr std::string_view kOpenFailedMessage = "ﾄﾞｷｭﾒﾝﾄを開くことに失敗しました。";
inline constexpr std::string_view kSaveFailedMessage = "ﾄﾞｷｭﾒﾝﾄの保存に失敗しました。";

// The extension of a path's file name without the dot; empty when the name
// has no dot.
std::string FileExtension(std::string_view path);

// Picks the format for an extension (any case). "csv" switches the state's
// separator to comma for good; the state remembers the format.
ResultFormat ChooseResultFormat(std::string_view extension, ResultWriterState& state);

// The file's text with "\n" line ends, and the lines the completion message
// counts.
struct ResultFileText {
    std::string text;
    int lineCount = 0;
};

ResultFileText FormatResultFile(ResultFormat format, const ResultWriterState& state,
                                const ResultColumnList& columns, int modelId);
// The same with the model named by its display string (a formula's).
ResultFileText FormatResultFile(ResultFormat format, const ResultWriterState& state,
                                const ResultColumnList& columns, std::string_view modelDisplay);

enum class ResultWriteStatus { Written, NoColumns, OpenFailed, WriteFailed };

struct ResultWriteOutcome {
    ResultWriteStatus status = ResultWriteStatus::NoColumns;
    int lineCount = 0;
};

// What the save runs just before the new file replaces the old one (a
// backup); false with a reason abandons the save.
struct ResultWriteOptions {
    TextEncoding encoding = TextEncoding::Utf8;
    BeforeReplace beforeReplace;
    FileSystemCalls calls = SystemFileCalls();
};

// Writes the columns to path with CR LF line ends and reports through the
// host: the empty-list message, the completion message, or the failure with
// the path and the system's reason. A failed write leaves an existing file
// as it was.
ResultWriteOutcome WriteResultFile(const std::string& path, std::string_view extension,
                                   const ResultColumnList& columns, int modelId,
                                   ResultWriterState& state, IComputeHost& host,
                                   const ResultWriteOptions& options = {});
// The same with the model named by its display string (a formula's).
ResultWriteOutcome WriteResultFile(const std::string& path, std::string_view extension,
                                   const ResultColumnList& columns, std::string_view modelDisplay,
                                   ResultWriterState& state, IComputeHost& host,
                                   const ResultWriteOptions& options = {});

}  // namespace quillon
