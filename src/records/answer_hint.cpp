#include "records/answer_hint.h"

namespace quillon {

RgbColour AnswerColours::TextColour(AnswerHint hint) const {
    switch (hint) {
        case AnswerHint::Result:
            return result;
        case AnswerHint::Warning:
            return warning;
        case AnswerHint::Error:
            return error;
        case AnswerHint::Header:
        case AnswerHint::Memo:
        case AnswerHint::HowToUse:
            break;
    }
    return memo;
}

std::optional<AnswerHint> AnswerHintFromValue(int value) {
    if (value >= 100 && value <= 105) {
        return static_cast<AnswerHint>(value);
    }
    return std::nullopt;
}

}  // namespace quillon
