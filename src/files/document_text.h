// The document's text and its file: loading (UTF-8, Shift-JIS or UTF-16,
// remembered for the save), the append rule that makes appended points a new data set,
// and the save of the data pane's lines with CR LF line ends.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "files/safe_file.h"
#include "files/text_codec.h"

namespace quillon {

inline constexpr std::string_view kDocumentOpenFailedMessage = "ﾄﾞｷｭﾒﾝﾄを開くことに失敗しました。";
inline constexpr std::string_view kDocumentSaveFailedMessage = "ﾄﾞｷｭﾒﾝﾄの保存に失敗しました。";

// A loaded document: its text and how its file was encoded.
struct DocumentText {
    std::string text;  // UTF-8, Ctrl-Z characters removed
    TextEncoding encoding = TextEncoding::Utf8;
    bool hadBom = false;
    bool binary = false;  // the file is no text; nothing was loaded
};

DocumentText LoadDocumentText(std::string_view bytes);

// The pane's text after appending a file's text to it: the appended text
// becomes a new data set behind a "//" line unless it begins with "//"
// itself. An empty appended text leaves the previous text as it was.
std::string AppendDocumentText(std::string_view previous, std::string_view appended);

// The file's bytes for the pane's text: every line followed by CR LF, a last
// empty line not written, in the given encoding (with a BOM when asked).
EncodedText DocumentFileBytes(std::string_view text, TextEncoding encoding, bool withBom = false);

struct SaveTextOutcome {
    bool ok = false;
    std::string message;  // for the user when not ok: what failed, the path and why
};

// Writes the pane's text to path. A failed write, or text the document's
// encoding cannot hold, leaves an existing file untouched. beforeReplace
// (a backup) runs once the new file is complete.
SaveTextOutcome SaveText(const std::string& path, std::string_view text, TextEncoding encoding,
                         bool withBom = false, const FileSystemCalls& calls = SystemFileCalls(),
                         const BeforeReplace& beforeReplace = {});

}  // namespace quillon
