// A piece of report text with its kind, and the blocks in which report text
// travels from a compute to the answer pane.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "records/answer_hint.h"

namespace quillon::app {

struct AnswerPiece {
    AnswerHint hint = AnswerHint::Memo;
    std::string text;
};
using AnswerBlock = std::vector<AnswerPiece>;
// Takes a block of report pieces on the user-interface thread.
using AnswerBlockSink = std::function<void(AnswerBlock&& block)>;

}  // namespace quillon::app
