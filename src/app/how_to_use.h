// The how-to-use text the answer pane shows at start and on the Help command.
#pragma once

#include <string>

namespace quillon {

// 28 lines, the last two empty (the text ends with two line feeds).
const std::string& HowToUseText();

}  // namespace quillon
