#include "files/document_text.h"

#include "records/number_format.h"

namespace quillon {
namespace {

constexpr std::string_view kSetSeparator = "//";  // a memo line starts a new set

std::string FailureMessage(std::string_view message, const std::string& path,
                           std::string_view reason) {
    return std::string(message) + "\n" + path + ": " + std::string(reason) + "\n";
}

}  // namespace

DocumentText LoadDocumentText(std::string_view bytes) {
    DecodedText decoded = DecodeText(bytes);
    return DocumentText{std::move(decoded.text), decoded.encoding, decoded.hadBom, decoded.binary};
}

std::string AppendDocumentText(std::string_view previous, std::string_view appended) {
    std::string text(previous);
    if (appended.empty()) {
        return text;
    }
    if (!text.ends_with('\n')) {
        text += '\n';
    }
    if (!appended.starts_with(kSetSeparator)) {
        text += kSetSeparator;
        text += '\n';
    }
    text += appended;
    return text;
}

EncodedText DocumentFileBytes(std::string_view text, TextEncoding encoding, bool withBom) {
    const std::vector<std::string> lines = SplitLines(text);
    std::string joined;
    joined.reserve(text.size() + lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const bool lastAndEmpty = i + 1 == lines.size() && lines[i].empty();
        if (lastAndEmpty) {
            break;
        }
        joined += lines[i];
        joined += "\r\n";
    }
    EncodedText encoded = EncodeText(joined, encoding);
    if (withBom) {
        encoded.bytes.insert(0, ByteOrderMark(encoding));
    }
    return encoded;
}

SaveTextOutcome SaveText(const std::string& path, std::string_view text, TextEncoding encoding,
                         bool withBom, const FileSystemCalls& calls,
                         const BeforeReplace& beforeReplace) {
    SaveTextOutcome outcome;
    const EncodedText encoded = DocumentFileBytes(text, encoding, withBom);
    if (encoded.unencodable > 0) {
        // Writing "?" in their place would lose them without a word.
        outcome.message = FailureMessage(
            kDocumentSaveFailedMessage, path,
            Sprintf("%d characters cannot be written in Shift-JIS", encoded.unencodable));
        return outcome;
    }
    const FileWriteResult written = SaveFileAtomically(path, encoded.bytes, beforeReplace, calls);
    if (!written.ok) {
        const std::string_view message =
            written.opened ? kDocumentSaveFailedMessage : kDocumentOpenFailedMessage;
        outcome.message = FailureMessage(message, path, written.reason);
        return outcome;
    }
    outcome.ok = true;
    return outcome;
}

}  // namespace quillon
