// The window's commands as data: ids, menus, texts with their accelerator
// text, extra shortcuts, and the status prompt and tool tip of each.
#pragma once

#include <span>
#include <string_view>

namespace quillon::app {

// Command ids of the window (kept as object names of the actions).
enum CommandId : int {
    kIdModelCombo = 1000,
    kIdMethodCombo = 1002,
    kIdFileCheck = 1347,
    kIdCompute = 32771,
    kIdHowToUse = 32772,
    kIdAppend = 32774,
    kIdConvergence = 32775,
    kIdWebPage = 32777,
    kIdCloseNoSave = 32778,
    kIdStop = 32790,  // stops a running compute (tool bar, Esc)
    kIdNew = 57600,
    kIdOpen = 57601,
    kIdSave = 57603,
    kIdSaveAs = 57604,
    kIdPrintSetup = 57606,
    kIdPrint = 57607,
    kIdPrintPreview = 57609,
    kIdRecentFiles = 57616,
    kIdCopy = 57634,
    kIdCut = 57635,
    kIdFind = 57636,
    kIdPaste = 57637,
    kIdPasteSpecial = 57639,
    kIdFindNext = 57640,
    kIdReplace = 57641,
    kIdSelectAll = 57642,
    kIdUndo = 57643,
    kIdAbout = 57664,
    kIdExit = 57665,
    kIdHelpTopics = 57667,
    kIdToolBar = 59392,
    kIdStatusBar = 59393,
};

struct MenuCommand {
    int menu;                    // index into MenuTitles()
    int id;                      // 0: a separator
    std::string_view text;       // with "&" mnemonic and "\t" accelerator text
    std::string_view shortcuts;  // key sequences separated by "; "
};

struct CommandPrompt {
    int id;
    std::string_view text;  // status prompt, "\n", tool tip
};

std::span<const std::string_view> MenuTitles();
std::span<const MenuCommand> MenuCommands();
std::span<const CommandPrompt> CommandPrompts();

// The status prompt and the tool tip of a command ("" when it has none).
std::string_view StatusPrompt(int id);
std::string_view ToolTip(int id);

// Tool bar buttons in order; 0 stands for a separator.
std::span<const int> ToolBarCommands();

// The program's web page.
inline constexpr std::string_view kWebPageAddress = "https://quillonsoft.example/quillon_l/";

}  // namespace quillon::app
