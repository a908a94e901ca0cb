// Turning the bytes of a document or data file into the program's UTF-8 text
// and lines: UTF-16 when a UTF-16 byte-order mark leads (a spreadsheet's
// "Unicode text"), else UTF-8 (BOM dropped) when valid, Shift-JIS (CP932)
// otherwise.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillon {

enum class TextEncoding { Utf8, ShiftJis, Utf16Le, Utf16Be };

struct DecodedText {
    std::string text;  // UTF-8, Ctrl-Z characters removed
    TextEncoding encoding = TextEncoding::Utf8;
    bool hadBom = false;  // UTF-16 always has one
    bool binary = false;  // the text held a NUL: not a text file
};

bool IsValidUtf8(std::string_view bytes);

// Decodes file bytes. Bytes that are not valid CP932 either, and UTF-16
// units that pair with no other, become U+FFFD. Content holding a NUL (a
// NUL byte, or a NUL character of UTF-16) is taken as binary and decodes to
// no text.
DecodedText DecodeText(std::string_view bytes);
// The same, taking over the bytes: valid UTF-8 is decoded in place, so a
// large file is not held twice.
DecodedText DecodeOwnedText(std::string bytes);

// CP932 bytes to UTF-8; undecodable bytes become U+FFFD.
std::string ShiftJisToUtf8(std::string_view bytes);

// UTF-8 text in a file's encoding.
struct EncodedText {
    std::string bytes;
    int unencodable = 0;  // characters the encoding has no code for, written as "?"
};

// UTF-8 to CP932; characters outside CP932 become "?" and are counted.
EncodedText Utf8ToShiftJis(std::string_view text);

// UTF-8 to UTF-16 in the given byte order, without a byte-order mark.
EncodedText Utf8ToUtf16(std::string_view text, TextEncoding byteOrder);

// The byte-order mark of a UTF encoding (empty for Shift-JIS).
std::string_view ByteOrderMark(TextEncoding encoding);

// The text in the given encoding (UTF-8 is passed through unchanged).
EncodedText EncodeText(std::string_view text, TextEncoding encoding);

// Every line end of text (LF, CR LF or CR) as CR LF.
std::string WithCrLf(std::string_view text);

// Splits text into lines at LF, CR LF and CR, as an edit control shows them:
// "a\nb\n" is three lines, the last one empty; empty text is one empty line.
std::vector<std::string> SplitLines(std::string_view text);
// The same lines as views into text, which must outlive them.
std::vector<std::string_view> SplitLineViews(std::string_view text);

}  // namespace quillon
