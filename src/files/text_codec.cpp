#include "files/text_codec.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>

#include "records/point_team.h"

namespace quillon {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kUtf16BeBom = "\xFE\xFF";
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// Owns an iconv conversion descriptor.
class IconvHandle {
  public:
    IconvHandle(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~IconvHandle() {
        if (Valid()) {
            iconv_close(m_cd);
        }
    }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;

    bool Valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t Get() const { return m_cd; }

  private:
    iconv_t m_cd;
};

// Runs all of the input through the converter, appending to out. At a
// sequence the converter cannot take, skip writes a mark and steps past it.
template <typename Skip>
void ConvertAll(const IconvHandle& cd, std::string_view bytes, std::string& out, Skip skip) {
    std::string input(bytes);  // iconv wants a mutable input pointer
    char* in = input.data();
    std::size_t inLeft = input.size();
    char buffer[4096];
    while (inLeft > 0) {
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t result = iconv(cd.Get(), &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
        if (result == static_cast<std::size_t>(-1) && errno != E2BIG) {
            skip(in, inLeft, out);
            iconv(cd.Get(), nullptr, nullptr, nullptr, nullptr);  // back to the initial state
        }
    }
}

std::string RemoveCtrlZ(std::string text) {
    // Most texts hold none: memchr finds that out faster than erase does.
    if (text.find('\x1A') != std::string::npos) {
        std::erase(text, '\x1A');
    }
    return text;
}

const char* IconvName(TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::ShiftJis:
            return "CP932";
        case TextEncoding::Utf16Le:
            return "UTF-16LE";
        case TextEncoding::Utf16Be:
            return "UTF-16BE";
        case TextEncoding::Utf8:
            break;
    }
    return "UTF-8";
}

// UTF-16 bytes after their mark to UTF-8; a lone surrogate or a last odd
// byte becomes U+FFFD.
std::string Utf16ToUtf8(std::string_view bytes, TextEncoding byteOrder) {
    std::string out;
    IconvHandle cd("UTF-8", IconvName(byteOrder));
    if (!cd.Valid()) {
        out = kReplacement;
        return out;
    }
    out.reserve(bytes.size() / 2 * 3 / 2 + 16);
    ConvertAll(cd, bytes, out, [](char*& in, std::size_t& inLeft, std::string& converted) {
        converted += kReplacement;
        const std::size_t unit = std::min<std::size_t>(2, inLeft);
        in += unit;
        inLeft -= unit;
    });
    return out;
}

// The text of bytes that begin with a UTF-16 mark; nothing for others.
std::optional<DecodedText> DecodeUtf16(std::string_view bytes) {
    TextEncoding order = TextEncoding::Utf8;
    if (bytes.starts_with(kUtf16LeBom)) {
        order = TextEncoding::Utf16Le;
    } else if (bytes.starts_with(kUtf16BeBom)) {
        order = TextEncoding::Utf16Be;
    } else {
        return std::nullopt;
    }
    DecodedText decoded;
    decoded.encoding = order;
    decoded.hadBom = true;
    std::string text = Utf16ToUtf8(bytes.substr(2), order);
    if (text.find('\0') != std::string::npos) {
        decoded.binary = true;
        return decoded;
    }
    decoded.text = RemoveCtrlZ(std::move(text));
    return decoded;
}

}  // namespace

bool IsValidUtf8(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        // Runs of ASCII, the bulk of any data file, eight bytes at a time.
        while (i + 8 <= bytes.size()) {
            std::uint64_t word = 0;
            std::memcpy(&word, bytes.data() + i, sizeof word);
            if ((word & 0x8080808080808080ULL) != 0) {
                break;
            }
            i += 8;
        }
        if (i >= bytes.size()) {
            break;
        }
        const auto c = static_cast<unsigned char>(bytes[i]);
        std::size_t length = 0;
        unsigned int codePoint = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
            codePoint = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            codePoint = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            codePoint = c & 0x07;
        } else {
            return false;
        }
        if (i + length > bytes.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            const auto cc = static_cast<unsigned char>(bytes[i + k]);
            if ((cc & 0xC0) != 0x80) {
                return false;
            }
            codePoint = (codePoint << 6) | (cc & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        if ((length == 3 && codePoint < 0x800) || (length == 4 && codePoint < 0x10000) ||
            (codePoint >= 0xD800 && codePoint <= 0xDFFF) || codePoint > 0x10FFFF) {
            return false;
        }
        i += length;
    }
    return true;
}

std::string ShiftJisToUtf8(std::string_view bytes) {
    std::string out;
    IconvHandle cd("UTF-8", "CP932");
    if (!cd.Valid()) {
        // Without a converter keep the ASCII and mark everything else.
        for (char c : bytes) {
            if (static_cast<unsigned char>(c) < 0x80) {
                out += c;
            } else {
                out += kReplacement;
            }
        }
        return out;
    }
    out.reserve(bytes.size() * 3 / 2 + 16);
    ConvertAll(cd, bytes, out, [](char*& in, std::size_t& inLeft, std::string& converted) {
        // An invalid or cut-short sequence: mark one byte and go on.
        converted += kReplacement;
        ++in;
        --inLeft;
    });
    return out;
}

DecodedText DecodeText(std::string_view bytes) {
    // UTF-16 holds NUL bytes in every ASCII character: its mark comes first.
    if (std::optional<DecodedText> utf16 = DecodeUtf16(bytes)) {
        return std::move(*utf16);
    }
    DecodedText decoded;
    if (bytes.find('\0') != std::string_view::npos) {
        decoded.binary = true;
        return decoded;
    }
    if (bytes.starts_with(kUtf8Bom)) {
        decoded.hadBom = true;
        bytes.remove_prefix(kUtf8Bom.size());
    }
    if (IsValidUtf8(bytes)) {
        decoded.text = RemoveCtrlZ(std::string(bytes));
    } else {
        decoded.encoding = TextEncoding::ShiftJis;
        decoded.text = RemoveCtrlZ(ShiftJisToUtf8(bytes));
    }
    return decoded;
}

DecodedText DecodeOwnedText(std::string bytes) {
    const std::string_view view(bytes);
    const std::size_t bom = view.starts_with(kUtf8Bom) ? kUtf8Bom.size() : 0;
    if (view.find('\0') != std::string_view::npos || !IsValidUtf8(view.substr(bom))) {
        return DecodeText(view);
    }
    DecodedText decoded;
    decoded.hadBom = bom > 0;
    bytes.erase(0, bom);
    decoded.text = RemoveCtrlZ(std::move(bytes));
    return decoded;
}

EncodedText Utf8ToShiftJis(std::string_view text) {
    EncodedText encoded;
    IconvHandle cd("CP932", "UTF-8");
    if (!cd.Valid()) {
        // Without a converter keep the ASCII and mark everything else.
        for (std::size_t i = 0; i < text.size(); ++i) {
            const auto c = static_cast<unsigned char>(text[i]);
            if (c < 0x80) {
                encoded.bytes += text[i];
            } else if ((c & 0xC0) != 0x80) {
                encoded.bytes += '?';
                ++encoded.unencodable;
            }
        }
        return encoded;
    }
    ConvertAll(cd, text, encoded.bytes,
               [&encoded](char*& in, std::size_t& inLeft, std::string& converted) {
                   // Skip the whole UTF-8 character: its lead byte and continuations.
                   ++encoded.unencodable;
                   converted += '?';
                   ++in;
                   --inLeft;
                   while (inLeft > 0 && (static_cast<unsigned char>(*in) & 0xC0) == 0x80) {
                       ++in;
                       --inLeft;
                   }
               });
    return encoded;
}

EncodedText Utf8ToUtf16(std::string_view text, TextEncoding byteOrder) {
    EncodedText encoded;
    IconvHandle cd(IconvName(byteOrder), "UTF-8");
    if (!cd.Valid()) {
        encoded.unencodable = static_cast<int>(text.size());
        return encoded;
    }
    encoded.bytes.reserve(text.size() * 2);
    // The program's text is valid UTF-8, which UTF-16 holds whole; a stray
    // byte is counted and skipped.
    ConvertAll(cd, text, encoded.bytes, [&encoded](char*& in, std::size_t& inLeft, std::string&) {
        ++encoded.unencodable;
        ++in;
        --inLeft;
    });
    return encoded;
}

std::string_view ByteOrderMark(TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::Utf8:
            return kUtf8Bom;
        case TextEncoding::Utf16Le:
            return kUtf16LeBom;
        case TextEncoding::Utf16Be:
            return kUtf16BeBom;
        case TextEncoding::ShiftJis:
            break;
    }
    return {};
}

EncodedText EncodeText(std::string_view text, TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::ShiftJis:
            return Utf8ToShiftJis(text);
        case TextEncoding::Utf16Le:
        case TextEncoding::Utf16Be:
            return Utf8ToUtf16(text, encoding);
        case TextEncoding::Utf8:
            break;
    }
    return EncodedText{std::string(text), 0};
}

std::string WithCrLf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            out += "\r\n";
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
        } else {
            out += c;
        }
    }
    return out;
}

std::vector<std::string> SplitLines(std::string_view text) {
    const std::vector<std::string_view> views = SplitLineViews(text);
    return {views.begin(), views.end()};
}

namespace {

// Splits LF-only text into its lines on the point team: each piece of the
// text counts its LFs, then writes the views of the lines its LFs end at
// their places, so the lines are those of one pass from the start.
std::vector<std::string_view> SplitLineFeedTextOnTeam(std::string_view text) {
    constexpr std::size_t kPiece = std::size_t{1} << 20;  // bytes
    const std::size_t pieces = (text.size() + kPiece - 1) / kPiece;
    const auto pieceText = [&](std::size_t p) { return text.substr(p * kPiece, kPiece); };
    constexpr std::size_t kNone = std::string_view::npos;
    std::vector<std::size_t> feeds(pieces, 0);
    std::vector<std::size_t> lastFeed(pieces, kNone);  // in the whole text
    ForPointBlocks(pieces, 1, 2, [&](std::size_t first, std::size_t last) {
        for (std::size_t p = first; p < last; ++p) {
            // Counted locally: the neighbouring entries are other threads'.
            const std::string_view piece = pieceText(p);
            std::size_t count = 0;
            std::size_t lastAt = kNone;
            for (std::size_t at = piece.find('\n'); at != kNone; at = piece.find('\n', at + 1)) {
                ++count;
                lastAt = at;
            }
            feeds[p] = count;
            lastFeed[p] = lastAt != kNone ? p * kPiece + lastAt : kNone;
        }
    });
    // Where each piece's first line starts and how many lines come before.
    std::vector<std::size_t> firstLine(pieces + 1, 0);
    std::vector<std::size_t> lineStart(pieces + 1, 0);
    for (std::size_t p = 0; p < pieces; ++p) {
        firstLine[p + 1] = firstLine[p] + feeds[p];
        lineStart[p + 1] = lastFeed[p] != kNone ? lastFeed[p] + 1 : lineStart[p];
    }
    std::vector<std::string_view> lines;
    ReserveOnTeam(lines, firstLine[pieces] + 1);
    lines.resize(firstLine[pieces] + 1);
    ForPointBlocks(pieces, 1, 2, [&](std::size_t first, std::size_t last) {
        for (std::size_t p = first; p < last; ++p) {
            const std::string_view piece = pieceText(p);
            std::size_t line = firstLine[p];
            std::size_t start = lineStart[p];
            for (std::size_t at = piece.find('\n'); at != kNone; at = piece.find('\n', at + 1)) {
                const std::size_t end = p * kPiece + at;
                lines[line++] = text.substr(start, end - start);
                start = end + 1;
            }
        }
    });
    lines.back() = text.substr(lineStart[pieces]);
    return lines;
}

}  // namespace

std::vector<std::string_view> SplitLineViews(std::string_view text) {
    // A large text is split on the point team when one is lent.
    constexpr std::size_t kSplitOnTeamFrom = std::size_t{4} << 20;
    if (text.size() >= kSplitOnTeamFrom && PointTeamThreads() > 1 &&
        text.find('\r') == std::string_view::npos) {
        return SplitLineFeedTextOnTeam(text);
    }
    std::vector<std::string_view> lines;
    // One line per LF and one more: exact for LF and CR LF text.
    std::size_t lineFeeds = 0;
    for (std::size_t at = text.find('\n'); at != std::string_view::npos;
         at = text.find('\n', at + 1)) {
        ++lineFeeds;
    }
    lines.reserve(lineFeeds + 1);
    std::size_t start = 0;
    if (text.find('\r') == std::string_view::npos) {
        // LF alone ends the lines: found by memchr, not byte by byte.
        for (std::size_t end = text.find('\n'); end != std::string_view::npos;
             end = text.find('\n', start)) {
            lines.push_back(text.substr(start, end - start));
            start = end + 1;
        }
        lines.push_back(text.substr(start));
        return lines;
    }
    std::size_t pos = 0;
    while (pos < text.size()) {
        const char c = text[pos];
        if (c == '\n' || c == '\r') {
            lines.push_back(text.substr(start, pos - start));
            if (c == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n') {
                ++pos;
            }
            start = pos + 1;
        }
        ++pos;
    }
    lines.push_back(text.substr(start));
    return lines;
}

}  // namespace quillon
