// How the window reads: the unsaved-changes mark in the title, fixed-width
// panes, Qt's own texts in Japanese, file dialogs that show every column and
// keep their size, and the graph's export through the file dialog with the
// folder history.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFontMetricsF>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QTranslator>

#include "app/commands.h"
#include "app/dialog_file_ui.h"
#include "app/file_dialog.h"
#include "app/qt_translations.h"
#include "app/result_file_dialog.h"
#include "fake_file_ui.h"
#include "plot/graph_pane.h"

namespace quillon::app {
namespace {

using testing::Read;
using testing::Window;
using testing::Write;

TEST(WindowTitle, MarksUnsavedChangesUntilSaved) {
    Window w;
    EXPECT_EQ(w.frame->windowTitle(), "新規.bol - Quillon_L");
    w.Type("0 1\n1 2\n");
    EXPECT_EQ(w.frame->windowTitle(), "*新規.bol - Quillon_L");
    const std::string path = w.Path("data.txt");
    w.ui.paths.push_back(path);
    w.frame->Action(kIdSaveAs)->trigger();
    EXPECT_EQ(w.frame->windowTitle(), "data.txt - Quillon_L");
    w.frame->QueryView().appendPlainText("2 3");
    EXPECT_EQ(w.frame->windowTitle(), "*data.txt - Quillon_L");
    w.frame->QueryView().document()->undo();  // back to the saved text
    EXPECT_EQ(w.frame->windowTitle(), "data.txt - Quillon_L");
}

TEST(Panes, BothUseAFixedWidthFontWithEightCellTabs) {
    CMainFrame frame;
    for (QWidget* pane :
         {static_cast<QWidget*>(&frame.QueryView()), static_cast<QWidget*>(&frame.AnsView())}) {
        // Every character takes one cell: narrow and wide letters alike.
        const QFontMetricsF metrics(pane->font());
        EXPECT_DOUBLE_EQ(metrics.horizontalAdvance('i'), metrics.horizontalAdvance('W'))
            << pane->objectName().toStdString();
        EXPECT_DOUBLE_EQ(metrics.horizontalAdvance('.'), metrics.horizontalAdvance('0'));
    }
    const QFontMetricsF metrics(frame.QueryView().font());
    EXPECT_DOUBLE_EQ(frame.QueryView().tabStopDistance(), 8 * metrics.horizontalAdvance(' '));
    EXPECT_DOUBLE_EQ(frame.AnsView().tabStopDistance(), 8 * metrics.horizontalAdvance(' '));
}

TEST(QtTexts, JapaneseOnceInstalled) {
    const QString english = QCoreApplication::translate("QFileDialog", "Look in:");
    ASSERT_TRUE(InstallQtJapanese(*QCoreApplication::instance()))
        << "qtbase_ja not found (qt6-translations-l10n)";
    const QString japanese = QCoreApplication::translate("QFileDialog", "Look in:");
    EXPECT_NE(japanese, english);
    EXPECT_NE(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Cancel");
    // The other tests read Qt's texts in English again.
    for (QTranslator* t : QCoreApplication::instance()->findChildren<QTranslator*>()) {
        QCoreApplication::removeTranslator(t);
        delete t;
    }
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Look in:"), english);
}

TEST(FileDialogs, OpenWideEnoughForEveryColumnAndKeepTheirSize) {
    FileDialogRequest request;
    request.filter = "All Files(*.*)|*.*||";
    CFileDialogEx dialog(request);
    EXPECT_EQ(dialog.viewMode(), QFileDialog::Detail);
    EXPECT_EQ(dialog.size(), CFileDialogEx::kDefaultSize);
    ResultWriterState state;
    DirectoryHistory history(kResultHistoryName);
    CFileOutput result(state, history, {});
    EXPECT_GE(result.height(), CFileOutput::kDefaultSize.height());

    // The window's file questions open at the size the user left them.
    QTemporaryDir dir;
    QSettings settings(dir.filePath("s.ini"), QSettings::IniFormat);
    DialogFileUi ui(nullptr);
    ui.SetSettings(&settings);
    const auto resizeAndCancel = [](QSize to) {
        QTimer::singleShot(0, [to] {
            if (auto* open = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                open->resize(to);
                open->reject();
            }
        });
    };
    resizeAndCancel(QSize(1200, 700));
    EXPECT_FALSE(ui.AskFilePath(request));
    EXPECT_EQ(settings.value("Dialogs/FileDialogSize").toSize(), QSize(1200, 700));
    QSize reopened;
    QTimer::singleShot(0, [&reopened] {
        if (auto* open = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            reopened = open->size();
            open->reject();
        }
    });
    ui.AskFilePath(request);
    EXPECT_EQ(reopened, QSize(1200, 700));
}

TEST(GraphExport, GoesThroughTheHistoryDialogAndKeepsABackup) {
    Window w;
    w.frame->QueryView().setPlainText("// one\n0 1\n1 3\n2 5\n");
    w.frame->ResultTabs()->setCurrentWidget(&w.frame->Graph());
    w.frame->Action(kIdCompute)->trigger();
    w.frame->WaitForCompute();
    const std::string path = w.Path("graph.png");
    Write(path, "old graph");
    w.ui.paths.push_back(path);
    w.ui.overwrite.push_back({OverwriteAnswer::Backup, BackupChoice::Bak});
    w.frame->Graph().ExportButton()->click();
    ASSERT_EQ(w.ui.requests.size(), 1u);
    EXPECT_FALSE(w.ui.requests[0].openMode);
    EXPECT_EQ(w.ui.requests[0].history, &w.frame->ResultHistory());
    EXPECT_EQ(w.ui.overwriteShown.size(), 1u);
    EXPECT_TRUE(Read(path).starts_with("\x89PNG"));
    EXPECT_EQ(Read(w.Path("graph.bak")), "old graph");
    EXPECT_TRUE(w.ui.warned.empty());

    // A suffix the graph cannot take is told, and nothing is written.
    w.ui.paths.push_back(w.Path("graph.jpg"));
    w.frame->Graph().ExportButton()->click();
    ASSERT_EQ(w.ui.warned.size(), 1u);
    EXPECT_NE(w.ui.warned[0].find(".png, .svg or .pdf"), std::string::npos);
    EXPECT_TRUE(Read(w.Path("graph.jpg")).empty());
}

}  // namespace
}  // namespace quillon::app
