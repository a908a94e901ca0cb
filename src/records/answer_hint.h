// The kinds of text that travel from a compute to the answer pane, and the
// colours the pane shows them in.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace quillon {

enum class AnswerHint : int {
    Header = 100,    // replaces the pane text by the header
    Memo = 101,      // a set's memo and iteration logs
    Result = 102,    // a converged or linear result block
    Warning = 103,   // a fit stopped at its iteration limit
    Error = 104,     // invalid data, abnormal data, failed fits
    HowToUse = 105,  // replaces the pane text by the how-to-use text
};

struct RgbColour {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    friend bool operator==(const RgbColour&, const RgbColour&) = default;
};

// The answer pane's default colours; the document may hold other values.
struct AnswerColours {
    RgbColour memo{32, 32, 160};  // also header text and the default colour
    RgbColour result{0, 128, 0};
    RgbColour warning{128, 0, 128};
    RgbColour error{139, 0, 0};
    RgbColour background{254, 250, 243};

    // Text colour of a kind; the how-to-use text uses the memo colour on
    // the background colour.
    RgbColour TextColour(AnswerHint hint) const;
};

// True for the kinds that replace the whole pane text instead of appending.
constexpr bool ReplacesText(AnswerHint hint) {
    return hint == AnswerHint::Header || hint == AnswerHint::HowToUse;
}

// The hint for a raw value, or nothing when the value names no kind.
std::optional<AnswerHint> AnswerHintFromValue(int value);

}  // namespace quillon
