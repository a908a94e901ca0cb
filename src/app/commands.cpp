#include "app/commands.h"

#include <array>

namespace quillon::app {
namespace {

constexpr std::array<std::string_view, 5> kMenuTitles{"ﾌｧｲﾙ(&F)", "編集(&E)", "表示(&V)",
                                                      "設定(&S)", "ﾍﾙﾌﾟ(&H)"};

constexpr std::array<MenuCommand, 30> kMenuCommands{{
    {0, kIdNew, "新規作成(&N)\tCtrl+N", "Ctrl+N"},
    {0, kIdCloseNoSave, "閉じる（保存せず）", ""},
    {0, kIdOpen, "開く(&O)...\tCtrl+O", "Ctrl+O"},
    {0, kIdSave, "上書き保存(&S)\tCtrl+S", "Ctrl+S"},
    {0, kIdSaveAs, "名前を付けて保存(&A)...", ""},
    {0, kIdAppend, "追加読み込み(&I)", ""},
    {0, 0, "", ""},
    {0, kIdPrint, "印刷(&P)...\tCtrl+P", "Ctrl+P"},
    {0, kIdPrintPreview, "印刷ﾌﾟﾚﾋﾞｭｰ(&V)", ""},
    {0, kIdPrintSetup, "ﾌﾟﾘﾝﾀの設定(&R)...", ""},
    {0, 0, "", ""},
    {0, kIdRecentFiles, "最近使ったﾌｧｲﾙ", ""},
    {0, 0, "", ""},
    {0, kIdExit, "ｱﾌﾟﾘｹｰｼｮﾝの終了(&X)", ""},
    {1, kIdUndo, "元に戻す(&U)\tCtrl+Z", "Ctrl+Z; Alt+Backspace"},
    {1, kIdCut, "切り取り(&T)\tCtrl+X", "Ctrl+X; Shift+Del"},
    {1, kIdCopy, "ｺﾋﾟｰ(&C)\tCtrl+C", "Ctrl+C; Ctrl+Ins"},
    {1, kIdPaste, "貼り付け(&P)\tCtrl+V", "Ctrl+V; Shift+Ins"},
    {1, kIdPasteSpecial, "形式を選択して貼り付け(&S)...", ""},
    {1, kIdSelectAll, "すべて選択(&L)\tCtrl+A", "Ctrl+A"},
    {1, kIdFind, "検索(&F)...\tCtrl+F", "Ctrl+F"},
    {1, kIdFindNext, "次を検索(&I)\tF3", "F3"},
    {1, kIdReplace, "置換(&E)\tCtrl+H", "Ctrl+H"},
    {2, kIdToolBar, "ﾂｰﾙ ﾊﾞｰ(&T)", ""},
    {2, kIdStatusBar, "ｽﾃｰﾀｽ ﾊﾞｰ(&S)", ""},
    {3, kIdConvergence, "パラメータ(&P)", ""},
    {4, kIdHowToUse, "使い方（右ウインドウ）", ""},
    {4, kIdHelpTopics, "トピックスの検索(&H)", "F1"},
    {4, kIdWebPage, "更新（ダウンロード）(&D)", ""},
    {4, kIdAbout, "Quillon_L のﾊﾞｰｼﾞｮﾝ情報(&A)...", ""},
}};

constexpr std::array<CommandPrompt, 9> kPrompts{{
    {kIdModelCombo, "最小二乗法のモデル関数を選択する。\nModel functions"},
    {kIdMethodCombo,
     "非線形最小二乗法の手法を選択する。すべての手法を適用することも可能。\nNL-LS Techniques"},
    {kIdFileCheck, "計算結果をファイルに出力する。チェック時に詳細設定。\nSave parameters ..."},
    {kIdCompute,
     "左のペインのデータに最小２乗法を適用する。答えは右のペインに。\nCompute Parameters"},
    {kIdHowToUse, "右側のウインドウに使用法を表示する。\nHow to use"},
    {kIdAppend, "ファイルの追加読み込み\nAppend"},
    {kIdConvergence, "最小二乗の法のパラメータ調整\nNL Least sq"},
    {kIdWebPage, "Update Quillon_L"},
    {kIdCloseNoSave, "作業中のﾌｧｲﾙを保存せず閉じる\n閉じる"},
}};

constexpr std::array<int, 13> kToolBar{kIdNew,  kIdOpen, kIdSave,  0, kIdCut,   kIdCopy,   kIdPaste,
                                       kIdUndo, 0,       kIdPrint, 0, kIdAbout, kIdCompute};

std::string_view PromptOf(int id) {
    for (const CommandPrompt& p : kPrompts) {
        if (p.id == id) {
            return p.text;
        }
    }
    return {};
}

}  // namespace

std::span<const std::string_view> MenuTitles() {
    return kMenuTitles;
}
std::span<const MenuCommand> MenuCommands() {
    return kMenuCommands;
}
std::span<const CommandPrompt> CommandPrompts() {
    return kPrompts;
}
std::span<const int> ToolBarCommands() {
    return kToolBar;
}

std::string_view StatusPrompt(int id) {
    const std::string_view text = PromptOf(id);
    return text.substr(0, text.find('\n'));
}

std::string_view ToolTip(int id) {
    const std::string_view text = PromptOf(id);
    const std::size_t newline = text.find('\n');
    return newline == std::string_view::npos ? std::string_view{} : text.substr(newline + 1);
}

}  // namespace quillon::app
