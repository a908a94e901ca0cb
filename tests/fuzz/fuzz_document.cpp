// libFuzzer target: decoding a document file (UTF-8 or Shift-JIS), appending
// it and saving it again. The loaded text must be UTF-8 without Ctrl-Z, and a
// document saved and loaded once more must save to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "files/document_text.h"
#include "files/text_codec.h"

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quillon;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    const DocumentText loaded = LoadDocumentText(bytes);
    Require(IsValidUtf8(loaded.text));
    Require(loaded.text.find('\x1a') == std::string::npos);
    if (loaded.binary) {
        Require(loaded.text.empty());
        return 0;
    }
    Require(IsValidUtf8(ShiftJisToUtf8(bytes)));
    Require(!SplitLines(loaded.text).empty());

    const std::string appended = AppendDocumentText(loaded.text, loaded.text);
    Require(IsValidUtf8(appended));

    const EncodedText saved = DocumentFileBytes(loaded.text, loaded.encoding, loaded.hadBom);
    if (saved.unencodable > 0) {
        return 0;
    }
    const DocumentText reloaded = LoadDocumentText(saved.bytes);
    if (reloaded.encoding != loaded.encoding || reloaded.binary) {
        return 0;  // Shift-JIS bytes that also read as UTF-8 load as UTF-8
    }
    const EncodedText again = DocumentFileBytes(reloaded.text, reloaded.encoding, reloaded.hadBom);
    Require(again.bytes == saved.bytes);
    return 0;
}
