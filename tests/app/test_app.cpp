// The window offscreen: commands, bars, dialogs and panes, driven directly.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTimer>
#include <functional>

#include "app/commands.h"
#include "app/dialogs.h"
#include "app/document.h"
#include "app/main_frame.h"
#include "app/output_dialog_rules.h"
#include "app/views.h"
#include "plot/graph_pane.h"

#include "modal.h"

namespace quillon::app {
namespace {

using testing::OnNextModal;

template <class T>
T* Child(QWidget* parent, int id) {
    return parent->findChild<T*>(QString::number(id));
}

QStringList PlainLines(const QString& text) {
    return text.split('\n');
}

TEST(MainFrame, MenusReadAsTheTableGivesThem) {
    CMainFrame frame;
    const QList<QAction*> menus = frame.menuBar()->actions();
    QStringList titles;
    for (QAction* menu : menus) {
        titles << menu->text();
    }
    EXPECT_EQ(titles, (QStringList{"ﾌｧｲﾙ(&F)", "編集(&E)", "表示(&V)", "設定(&S)", "ﾍﾙﾌﾟ(&H)"}));
    const struct {
        int id;
        const char* text;
        const char* shortcut;
    } expected[] = {
        {57600, "新規作成(&N)\tCtrl+N", "Ctrl+N"},
        {32778, "閉じる（保存せず）", ""},
        {57601, "開く(&O)...\tCtrl+O", "Ctrl+O"},
        {57603, "上書き保存(&S)\tCtrl+S", "Ctrl+S"},
        {57604, "名前を付けて保存(&A)...", ""},
        {32774, "追加読み込み(&I)", ""},
        {57607, "印刷(&P)...\tCtrl+P", "Ctrl+P"},
        {57609, "印刷ﾌﾟﾚﾋﾞｭｰ(&V)", ""},
        {57606, "ﾌﾟﾘﾝﾀの設定(&R)...", ""},
        {57616, "最近使ったﾌｧｲﾙ", ""},
        {57665, "ｱﾌﾟﾘｹｰｼｮﾝの終了(&X)", ""},
        {57643, "元に戻す(&U)\tCtrl+Z", "Ctrl+Z"},
        {57635, "切り取り(&T)\tCtrl+X", "Ctrl+X"},
        {57634, "ｺﾋﾟｰ(&C)\tCtrl+C", "Ctrl+C"},
        {57637, "貼り付け(&P)\tCtrl+V", "Ctrl+V"},
        {57639, "形式を選択して貼り付け(&S)...", ""},
        {57642, "すべて選択(&L)\tCtrl+A", "Ctrl+A"},
        {57636, "検索(&F)...\tCtrl+F", "Ctrl+F"},
        {57640, "次を検索(&I)\tF3", "F3"},
        {57641, "置換(&E)\tCtrl+H", "Ctrl+H"},
        {59392, "ﾂｰﾙ ﾊﾞｰ(&T)", ""},
        {59393, "ｽﾃｰﾀｽ ﾊﾞｰ(&S)", ""},
        {32775, "パラメータ(&P)", ""},
        {32772, "使い方（右ウインドウ）", ""},
        {57667, "トピックスの検索(&H)", "F1"},
        {32777, "更新（ダウンロード）(&D)", ""},
        {57664, "Quillon_L のﾊﾞｰｼﾞｮﾝ情報(&A)...", ""},
    };
    for (const auto& e : expected) {
        QAction* action = frame.Action(e.id);
        ASSERT_NE(action, nullptr) << e.id;
        EXPECT_EQ(action->text(), QString::fromUtf8(e.text)) << e.id;
        EXPECT_EQ(action->shortcut(), QKeySequence(QString::fromUtf8(e.shortcut))) << e.id;
    }
    // The second accelerators of the edit commands.
    EXPECT_TRUE(frame.Action(57643)->shortcuts().contains(QKeySequence("Alt+Backspace")));
    EXPECT_TRUE(frame.Action(57635)->shortcuts().contains(QKeySequence("Shift+Del")));
    EXPECT_TRUE(frame.Action(57634)->shortcuts().contains(QKeySequence("Ctrl+Ins")));
    EXPECT_TRUE(frame.Action(57637)->shortcuts().contains(QKeySequence("Shift+Ins")));
}

TEST(MainFrame, StatusPromptsAndToolTips) {
    CMainFrame frame;
    EXPECT_EQ(frame.Action(32771)->statusTip(),
              "左のペインのデータに最小２乗法を適用する。答えは右のペインに。");
    EXPECT_EQ(frame.Action(32771)->toolTip(), "Compute Parameters");
    EXPECT_EQ(frame.Action(32775)->statusTip(), "最小二乗の法のパラメータ調整");
    EXPECT_EQ(frame.Action(32777)->statusTip(), "Update Quillon_L");
    EXPECT_EQ(frame.Action(32778)->toolTip(), "閉じる");
    EXPECT_EQ(frame.ModelCombo()->toolTip(), "Model functions");
    EXPECT_EQ(frame.MethodCombo()->toolTip(), "NL-LS Techniques");
    EXPECT_EQ(frame.FileCheck()->statusTip(),
              "計算結果をファイルに出力する。チェック時に詳細設定。");
    EXPECT_EQ(frame.FileCheck()->toolTip(), "Save parameters ...");
}

TEST(MainFrame, BarsHoldTheCatalogue) {
    CMainFrame frame;
    ASSERT_EQ(frame.ModelCombo()->count(), 43);
    EXPECT_EQ(frame.ModelCombo()->itemText(0), " 0)  a + b*X; linear");
    EXPECT_EQ(frame.ModelCombo()->itemText(42),
              "42)  A0*exp(X/ A1); exponential with length constant A1");
    ASSERT_EQ(frame.MethodCombo()->count(), 5);
    EXPECT_EQ(frame.MethodCombo()->itemText(3), "Gradient-search");
    EXPECT_EQ(frame.FileCheck()->text(), "File");
}

TEST(MainFrame, ComputeNeedsMoreThanTwoLines) {
    CMainFrame frame;
    frame.QueryView().setPlainText("0 1\n1 3");
    EXPECT_FALSE(frame.Action(32771)->isEnabled());
    frame.QueryView().setPlainText("0 1\n1 3\n2 5");
    EXPECT_TRUE(frame.Action(32771)->isEnabled());
}

TEST(MainFrame, ComputeWritesTheColouredReport) {
    CMainFrame frame;
    frame.QueryView().setPlainText("// test\n0,\t1\n1,\t3\n2,\t5\n\nx");
    frame.Action(32771)->trigger();
    frame.WaitForCompute();
    const QString text = frame.AnsView().toPlainText();
    EXPECT_TRUE(text.startsWith("Model function: Y = a + b*X; linear\n\n// test\n"));
    EXPECT_TRUE(text.contains("  a +/- a_sig = 1 +/- 0 \n"));
    // The colour of each kind, read back from the pane.
    QTextDocument* doc = frame.AnsView().document();
    auto colourAt = [doc](const QString& needle) {
        QTextCursor cursor = doc->find(needle);
        return cursor.charFormat().foreground().color();
    };
    EXPECT_EQ(colourAt("test"), QColor(32, 32, 160));
    EXPECT_EQ(colourAt("a_sig"), QColor(0, 128, 0));
    EXPECT_EQ(colourAt("Data invalid"), QColor(139, 0, 0));
}

TEST(MainFrame, StatisticsItemTogglesTheSettingAndIsKept) {
    QTemporaryDir dir;
    QSettings settings(dir.filePath("settings.ini"), QSettings::IniFormat);
    {
        CMainFrame frame(nullptr, &settings);
        QAction* item = frame.StatisticsAction();
        ASSERT_NE(item, nullptr);
        // It sits in the Settings menu, after the convergence item, and is off.
        const QList<QAction*> menus = frame.menuBar()->actions();
        ASSERT_GE(menus.size(), 4);
        const QList<QAction*> items = menus[3]->menu()->actions();
        ASSERT_GE(items.size(), 2);
        EXPECT_EQ(items[0], frame.Action(32775));
        EXPECT_EQ(items[1], item);
        EXPECT_TRUE(item->isCheckable());
        EXPECT_FALSE(item->isChecked());
        EXPECT_FALSE(frame.Document().Settings().statistics);

        frame.QueryView().setPlainText("// line\n0 1\n1 3.5\n2 4.5\n3 7\n");
        frame.Action(32771)->trigger();
        frame.WaitForCompute();
        EXPECT_FALSE(frame.AnsView().toPlainText().contains("Statistics:"));
        item->trigger();
        EXPECT_TRUE(frame.Document().Settings().statistics);
        frame.Action(32771)->trigger();
        frame.WaitForCompute();
        const QString text = frame.AnsView().toPlainText();
        EXPECT_TRUE(text.contains("  Number of points: 4\n\nStatistics:\n  Correlation matrix:\n"))
            << text.toStdString();
    }
    // A new window starts with the switch as it was left.
    CMainFrame again(nullptr, &settings);
    EXPECT_TRUE(again.StatisticsAction()->isChecked());
    EXPECT_TRUE(again.Document().Settings().statistics);
    again.StatisticsAction()->trigger();
    EXPECT_FALSE(again.Document().Settings().statistics);
    EXPECT_FALSE(settings.value("Options/Statistics").toBool());
}

// The start search and the precise gradient: each sets its switch and the
// flag on suspect fits, changes the report only when on, and is kept.
TEST(MainFrame, TrustItemsToggleTheirSwitchesAndAreKept) {
    struct Item {
        const char* name;
        const char* key;
        bool FitSettings::*flag;  // null: the precise switch of the convergence
        const char* reportText;
    };
    const Item items[] = {
        {"SearchStarts", "Options/SearchStarts", &FitSettings::searchStarts,
         "Start values from the search"},
        {"Precise", "Options/Precise", nullptr, ""},
    };
    const QString data = "// line\n1 2.2 0.1\n2 4.1 0.1\n3 4.9 0.1\n4 5.6 0.1\n6 6.5 0.1\n";
    for (const Item& it : items) {
        QTemporaryDir dir;
        QSettings settings(dir.filePath("settings.ini"), QSettings::IniFormat);
        auto isOn = [&](CMainFrame& f) {
            const FitSettings& s = f.Document().Settings();
            return it.flag != nullptr ? s.*(it.flag) : s.convergence.precise;
        };
        {
            CMainFrame frame(nullptr, &settings);
            auto* action = frame.findChild<QAction*>(it.name);
            ASSERT_NE(action, nullptr) << it.name;
            EXPECT_TRUE(frame.menuBar()->actions()[3]->menu()->actions().contains(action));
            EXPECT_FALSE(action->isChecked());
            EXPECT_FALSE(isOn(frame));
            frame.OnModelSelected(21);  // Michaelis-Menten
            frame.QueryView().setPlainText(data);
            frame.Action(32771)->trigger();
            frame.WaitForCompute();
            const QString plain = frame.AnsView().toPlainText();
            action->trigger();
            EXPECT_TRUE(isOn(frame)) << it.name;
            EXPECT_TRUE(frame.Document().Settings().flagSuspect) << it.name;
            frame.Action(32771)->trigger();
            frame.WaitForCompute();
            const QString text = frame.AnsView().toPlainText();
            EXPECT_NE(text, plain) << it.name;  // the fit or its log changed
            EXPECT_TRUE(text.contains(it.reportText)) << text.toStdString();
        }
        CMainFrame again(nullptr, &settings);
        EXPECT_TRUE(isOn(again)) << it.name;
        again.findChild<QAction*>(it.name)->trigger();
        EXPECT_FALSE(isOn(again)) << it.name;
        EXPECT_FALSE(again.Document().Settings().flagSuspect) << it.name;
        EXPECT_FALSE(settings.value(it.key).toBool()) << it.name;
    }
}

TEST(AnswerPane, KindsAndTheirActions) {
    CAnsView pane;
    pane.OnAnswer(AnswerHint::Header, "H\n");
    pane.OnAnswer(AnswerHint::Warning, "W\n");
    pane.OnAnswer(AnswerHint::Memo, "M\n");
    EXPECT_EQ(pane.toPlainText(), "H\n\nW\nM\n");
    QTextCursor w = pane.document()->find("W");
    EXPECT_EQ(w.charFormat().foreground().color(), QColor(128, 0, 128));
    pane.OnAnswer(AnswerHint::Header, "again\n");
    EXPECT_EQ(pane.toPlainText(), "again\n\n");
    EXPECT_EQ(pane.palette().color(QPalette::Base), QColor(254, 250, 243));
}

// A block of pieces reads as the same pieces one by one: a header in the
// middle replaces what came before it, and each kind keeps its colour.
TEST(AnswerPane, ABlockReadsAsItsPiecesOneByOne) {
    const AnswerBlock block{{AnswerHint::Memo, "old\n"},     {AnswerHint::Header, "H\n"},
                            {AnswerHint::Memo, "// m\n"},    {AnswerHint::Memo, "1 2\n"},
                            {AnswerHint::Warning, "W\n"},    {AnswerHint::Result, "a = 1\n"},
                            {AnswerHint::Result, "b = 2\n"}, {AnswerHint::Error, "E"}};
    CAnsView onePiece;
    for (const AnswerPiece& piece : block) {
        onePiece.OnAnswer(piece.hint, piece.text);
    }
    CAnsView inBlock;
    inBlock.OnAnswers(block);
    EXPECT_EQ(inBlock.toPlainText(), "H\n\n// m\n1 2\nW\na = 1\nb = 2\nE");
    EXPECT_EQ(inBlock.toHtml(), onePiece.toHtml());
    EXPECT_EQ(inBlock.document()->find("W").charFormat().foreground().color(), QColor(128, 0, 128));
}

TEST(AnswerPane, HowToUseTextLineForLine) {
    CMainFrame frame;
    frame.AnsView().clear();
    frame.Action(32772)->trigger();
    const QStringList lines = PlainLines(frame.AnsView().toPlainText());
    ASSERT_EQ(lines.size(), 30);
    EXPECT_EQ(lines[0], "---------------Quillon_L 使用法---------------");
    EXPECT_EQ(lines[1], "左のペインに下記の形式でデータを入力，ツールバーの ");
    EXPECT_EQ(lines[4], "結果をファイルに出力するには、□ File をチェックする。");
    EXPECT_EQ(lines[7], "");
    EXPECT_EQ(lines[9], "//　データセット１の表題などのメモ");
    EXPECT_EQ(lines[10], "X1,\tY1,\tSD1");
    EXPECT_EQ(lines[11], "..,\t..,\t...");
    EXPECT_EQ(lines[16], "\"//\" で始まる行はデータセットの区切り。");
    EXPECT_EQ(lines[24], "<a[ i] = ....> ... そのデータセットだけ");
    EXPECT_EQ(lines[25], "<<a[ i] = ....>> . それ以降のデータセット");
    EXPECT_EQ(lines[26], "値の後に fixed と書くとその値に固定、");
    EXPECT_EQ(lines[27], "[下限, 上限] と書くとその範囲内に制限する（片側は空でもよい）。");
    EXPECT_EQ(lines[28], "");
    EXPECT_EQ(lines[29], "");
}

TEST(ModelBar, FixedCModelsAskForCEveryTime) {
    CMainFrame frame;
    int asked = 0;
    OnNextModal([&](QWidget* dialog) {
        ++asked;
        EXPECT_EQ(Child<QLineEdit>(dialog, 1003)->text(), "20");
        static_cast<QDialog*>(dialog)->reject();
    });
    frame.OnModelSelected(4);
    EXPECT_EQ(frame.Document().Settings().modelId, 4);
    EXPECT_EQ(frame.Document().Settings().fixedCDegrees, 20.0);
    OnNextModal([&](QWidget* dialog) {
        ++asked;
        Child<QLineEdit>(dialog, 1003)->setText("-400.5");
        static_cast<QDialog*>(dialog)->accept();
    });
    frame.OnModelSelected(6);
    EXPECT_EQ(frame.Document().Settings().fixedCDegrees, -400.5);
    frame.OnModelSelected(12);  // no dialog
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(frame.Document().Settings().modelId, 12);
}

TEST(FixParameterDialog, RefusesTextThatIsNoNumber) {
    CFixParameterDlg dialog(20.0);
    Child<QLineEdit>(&dialog, 1003)->setText("warm");
    OnNextModal([](QWidget* box) { static_cast<QMessageBox*>(box)->accept(); });
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);  // still open
    EXPECT_EQ(dialog.Value(), 20.0);
}

TEST(ConvergenceDialog, ChecksFieldsInOrderAndKeepsValuesUntilOk) {
    ConvergenceSettings start;
    start.n_cut = 50;
    CConvergenceDlg dialog(start);
    Child<QLineEdit>(&dialog, 1349)->setText("9");
    Child<QLineEdit>(&dialog, 1352)->setText("abc");
    QString message;
    OnNextModal([&](QWidget* box) {
        message = static_cast<QMessageBox*>(box)->text();
        static_cast<QMessageBox*>(box)->accept();
    });
    EXPECT_FALSE(dialog.ReadAndValidate());
    EXPECT_TRUE(message.contains("10"));  // n_cut is looked at before f_ER
    EXPECT_EQ(dialog.Values().n_cut, 50);

    Child<QLineEdit>(&dialog, 1349)->setText("10");
    Child<QLineEdit>(&dialog, 1352)->setText("1e-7");
    EXPECT_TRUE(dialog.ReadAndValidate());
    EXPECT_EQ(dialog.Values().n_cut, 10);
    EXPECT_DOUBLE_EQ(dialog.Values().ER(), 1e-14);

    Child<QPushButton>(&dialog, 1348)->click();  // Default fills the edits only
    EXPECT_EQ(Child<QLineEdit>(&dialog, 1349)->text(), "10000");
    EXPECT_EQ(Child<QLineEdit>(&dialog, 1350)->text(), "0.001");
    EXPECT_EQ(dialog.Values().n_cut, 10);
}

TEST(OutputDialog, EnablingFollowsSwitchRadiosMethodAndLines) {
    const OutputDialogEnabling off =
        OutputDialogEnabled(false, CurveEndMode::Percent, CurveEndMode::Value,
                            CurveStepMode::Spacing, FitMethod::Marquardt, 10);
    EXPECT_FALSE(off.radios);
    EXPECT_FALSE(off.xminPercent);
    EXPECT_FALSE(off.divisionsSpacing);
    const OutputDialogEnabling on =
        OutputDialogEnabled(true, CurveEndMode::Percent, CurveEndMode::Value,
                            CurveStepMode::Spacing, FitMethod::Marquardt, 3);
    EXPECT_TRUE(on.radios);
    EXPECT_TRUE(on.xminPercent);
    EXPECT_FALSE(on.xminValue);
    EXPECT_FALSE(on.xmaxPercent);
    EXPECT_TRUE(on.xmaxValue);
    EXPECT_FALSE(on.divisionsRange);
    EXPECT_TRUE(on.divisionsSpacing);
    EXPECT_TRUE(on.run);
    EXPECT_FALSE(OutputDialogEnabled(true, CurveEndMode::Data, CurveEndMode::Data,
                                     CurveStepMode::Range, FitMethod::All, 2)
                     .paramTable);
    EXPECT_FALSE(OutputDialogEnabled(true, CurveEndMode::Data, CurveEndMode::Data,
                                     CurveStepMode::Range, FitMethod::Marquardt, 2)
                     .run);
}

TEST(OutputDialog, AllMethodStoresNoTableAndRunComputes) {
    CMainFrame frame;
    frame.QueryView().setPlainText("0 1\n1 3\n2 5");
    frame.Document().Settings().method = FitMethod::All;
    OnNextModal([](QWidget* dialog) {
        EXPECT_FALSE(Child<QCheckBox>(dialog, 1365)->isEnabled());
        EXPECT_FALSE(Child<QCheckBox>(dialog, 1365)->isChecked());
        Child<QRadioButton>(dialog, 1345)->setChecked(true);
        EXPECT_TRUE(Child<QSpinBox>(dialog, 1343)->isEnabled());
        EXPECT_FALSE(Child<QSpinBox>(dialog, 1342)->isEnabled());
        Child<QPushButton>(dialog, 1354)->click();  // 実行
    });
    frame.FileCheck()->setChecked(true);
    frame.OnFileToggled(true);
    frame.WaitForCompute();
    EXPECT_TRUE(frame.Document().Settings().output.enabled);
    EXPECT_FALSE(frame.Document().Settings().output.paramTable);
    EXPECT_EQ(frame.Document().Settings().output.stepMode, CurveStepMode::Spacing);
    EXPECT_TRUE(frame.AnsView().toPlainText().contains("Number of points: 3"));
}

TEST(OutputDialog, CancelKeepsTheBoxCheckedAndUncheckingOpensNothing) {
    CMainFrame frame;
    OnNextModal([](QWidget* dialog) {
        Child<QRadioButton>(dialog, 1339)->setChecked(true);
        static_cast<QDialog*>(dialog)->reject();
    });
    frame.FileCheck()->setChecked(true);
    frame.OnFileToggled(true);
    EXPECT_TRUE(frame.FileCheck()->isChecked());
    EXPECT_TRUE(frame.Document().Settings().output.enabled);
    EXPECT_EQ(frame.Document().Settings().output.contents, ResultContents::Both);
    frame.FileCheck()->setChecked(false);
    frame.OnFileToggled(false);  // would hang on a dialog if one opened
    EXPECT_FALSE(frame.Document().Settings().output.enabled);
}

TEST(OutputDialog, SwitchOffInTheDialogClearsTheFileBox) {
    CMainFrame frame;
    OnNextModal([](QWidget* dialog) {
        Child<QCheckBox>(dialog, 1338)->setChecked(false);
        EXPECT_FALSE(Child<QRadioButton>(dialog, 1355)->isEnabled());
        EXPECT_FALSE(Child<QLineEdit>(dialog, 1358)->isEnabled());
        static_cast<QDialog*>(dialog)->accept();
    });
    frame.FileCheck()->setChecked(true);
    frame.OnFileToggled(true);
    EXPECT_FALSE(frame.FileCheck()->isChecked());
    EXPECT_FALSE(frame.Document().Settings().output.enabled);
}

TEST(MainFrame, ScreenshotAfterACompute) {
    const QByteArray path = qgetenv("QUILLON_SCREENSHOT");
    if (path.isEmpty()) {
        GTEST_SKIP() << "set QUILLON_SCREENSHOT=file.png to save a picture of the window";
    }
    CMainFrame frame;
    frame.resize(1200, 720);
    frame.show();
    frame.QueryView().setPlainText(
        "// 試料 A (T=20)\n0.0\t0.12\t0.05\n1.0\t2.09\t0.05\n2.0\t4.11\t0.05\n3.0\t5.94\t0.05\n"
        "4.0\t8.05\t0.05\n5.0\t10.02\t0.05\n// 試料 B (T=40)\n0.0\t0.31\n1.0\t2.52\n2.0\t4.68\n"
        "3.0\t6.77\n4.0\t9.02\n5.0\t11.16\n\nabc def\n");
    frame.Action(32771)->trigger();
    frame.WaitForCompute();
    QApplication::processEvents();
    EXPECT_TRUE(frame.grab().save(QString::fromLocal8Bit(path)));
    // The same window with the graph tab in front, beside the path given.
    frame.ResultTabs()->setCurrentIndex(1);
    frame.Graph().SetSelector()->setCurrentIndex(1);
    QApplication::processEvents();
    QString graphPath = QString::fromLocal8Bit(path);
    graphPath.insert(graphPath.lastIndexOf('.'), "-graph");
    EXPECT_TRUE(frame.grab().save(graphPath));
}

}  // namespace
}  // namespace quillon::app

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
