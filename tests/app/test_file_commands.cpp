// The document's file commands, driven with prepared answers instead of
// dialogs.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <QApplication>
#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <filesystem>

#include "app/document.h"
#include "fake_file_ui.h"
#include "support/file_faults.h"
#include "support/recording_host.h"

namespace quillon::app {
namespace {

namespace fs = std::filesystem;

using testing::FakeFileUi;
using testing::Read;
using testing::Window;
using testing::Write;

TEST(FileCommands, StartsWithANewDocumentInTheCurrentFolder) {
    Window w;
    EXPECT_EQ(w.Files().Title(), "新規.bol");
    EXPECT_EQ(fs::path(w.Files().State().m_strPathName).filename(), "新規.bol");
    EXPECT_FALSE(w.Files().IsModified());
    EXPECT_EQ(w.frame->windowTitle(), "新規.bol - Quillon_L");
}

TEST(FileCommands, OpenLoadsTheTextAndRemembersTheFile) {
    Window w;
    const std::string path = w.Path("data.txt");
    Write(path, "// a\r\n1 2\r\n3 4\r\n\x1a");
    w.Open(path);
    EXPECT_EQ(w.Text(), "// a\n1 2\n3 4\n");
    EXPECT_EQ(w.Files().Title(), "data.txt");
    EXPECT_FALSE(w.Files().IsModified());
    EXPECT_EQ(w.frame->Recent().Paths().front(), path);
    ASSERT_EQ(w.ui.requests.size(), 1u);
    EXPECT_EQ(w.ui.requests[0].title, "ファイル読み込み(Point file)");
    EXPECT_TRUE(w.ui.requests[0].openMode);
}

TEST(FileCommands, ShiftJisDocumentRoundTripsByteForByte) {
    Window w;
    const std::string path = w.Path("sjis.bol");
    const std::string bytes = "// \x8e\x8e\x97\xbf (T=5)\r\n0 1\r\n1 3\r\n";
    Write(path, bytes);
    w.Open(path);
    EXPECT_EQ(w.Text(), "// 試料 (T=5)\n0 1\n1 3\n");
    w.frame->QueryView().document()->setModified(true);
    w.ui.overwrite.push_back({OverwriteAnswer::Overwrite, BackupChoice::Bak});
    EXPECT_TRUE(w.Files().OnFileSave());
    EXPECT_EQ(Read(path), bytes);
}

// A spreadsheet's "Unicode text": UTF-16LE behind its mark, tab-separated.
TEST(FileCommands, Utf16DocumentOpensAndSavesAsUtf16) {
    using namespace std::string_literals;
    Window w;
    const std::string path = w.Path("unicode.txt");
    // "// 試料\r\n0\t1\r\n"
    const std::string bytes = "\xFF\xFE/\0/\0 \0\x66\x8a\x99\x65\r\0\n\0"s +
                              "0\0\t\0"
                              "1\0\r\0\n\0"s;
    Write(path, bytes);
    w.Open(path);
    EXPECT_TRUE(w.ui.warned.empty());
    EXPECT_EQ(w.Text(), "// 試料\n0\t1\n");
    w.Type("// 試料\n0\t1\n1\t3\n");
    w.ui.overwrite.push_back({OverwriteAnswer::Overwrite, BackupChoice::Bak});
    EXPECT_TRUE(w.Files().OnFileSave());
    EXPECT_EQ(Read(path), bytes +
                              "1\0\t\0"
                              "3\0\r\0\n\0"s);
}

TEST(FileCommands, UnreadableFilesLeaveTheDocumentAlone) {
    Window w;
    w.Type("0 1\n1 2\n2 3");
    const std::string binary = w.Path("bin.dat");
    Write(binary, std::string("ab\0cd", 5));
    for (const std::string& path : {w.Path("missing.txt"), w.dir.path().toStdString(), binary}) {
        w.ui.saveChanges.push_back(SaveChangesAnswer::No);
        w.Open(path);
        EXPECT_EQ(w.Text(), "0 1\n1 2\n2 3") << path;
    }
    ASSERT_EQ(w.ui.warned.size(), 3u);
    EXPECT_NE(w.ui.warned[0].find("No such file"), std::string::npos);
    EXPECT_NE(w.ui.warned[1].find("directory"), std::string::npos);
    EXPECT_EQ(w.Files().Title(), "新規.bol");
}

TEST(FileCommands, AppendMakesANewSetAndKeepsThePathAndTitle) {
    Window w;
    const std::string first = w.Path("first.txt");
    Write(first, "0 1\n1 2\n");
    w.Open(first);
    const std::string plain = w.Path("plain.txt");
    Write(plain, "5 6\n7 8\n");
    w.ui.paths.push_back(plain);
    w.Files().OnAppend();
    EXPECT_EQ(w.Text(), "0 1\n1 2\n//\n5 6\n7 8\n");
    EXPECT_EQ(w.Files().Title(), "first.txt");
    EXPECT_TRUE(w.Files().IsModified());
    EXPECT_EQ(w.ui.requests.back().title, "追加読み込み(Point data only)");
    const std::string memo = w.Path("memo.txt");
    Write(memo, "// next\n9 9\n");
    w.ui.paths.push_back(memo);
    w.Files().OnAppend();
    EXPECT_EQ(w.Text(), "0 1\n1 2\n//\n5 6\n7 8\n// next\n9 9\n");
    EXPECT_EQ(w.frame->Recent().Paths().front(), first);
}

TEST(FileCommands, AppendingAnEmptyFileKeepsUnsavedEdits) {
    Window w;
    w.Type("0 1\n1 2");
    const std::string empty = w.Path("empty.txt");
    Write(empty, "");
    w.ui.paths.push_back(empty);
    w.Files().OnAppend();
    EXPECT_EQ(w.Text(), "0 1\n1 2");
    EXPECT_TRUE(w.Files().IsModified());  // the edits still need saving
}

TEST(FileCommands, SaveOnAnUnmodifiedOrNewDocumentOnlyReports) {
    Window w;
    const std::string path = w.Path("data.txt");
    Write(path, "0 1\n");
    w.Open(path);
    EXPECT_FALSE(w.Files().OnFileSave());
    ASSERT_EQ(w.ui.informed.size(), 1u);
    EXPECT_EQ(w.ui.informed[0], "このファイル\n" + path + "\nはまだ更新されていません。\n");
    EXPECT_EQ(w.ui.beeps, 1);

    w.ui.saveChanges.push_back(SaveChangesAnswer::No);
    w.Files().OnFileNew();
    w.Type("1 2");
    EXPECT_FALSE(w.Files().OnFileSave());
    EXPECT_NE(w.ui.informed.back().find("はまだ存在しません。\nメニューの [ファイル] -> "
                                        "[名前を付けて保存] を実行してください。"),
              std::string::npos);
    EXPECT_FALSE(fs::exists(w.Files().State().m_strPathName));
}

TEST(FileCommands, SaveOverAnExistingFileWithABackup) {
    Window w;
    const std::string path = w.Path("data.txt");
    Write(path, "old\r\n");
    w.Open(path);
    w.Type("new text\n\n");
    w.ui.overwrite.push_back({OverwriteAnswer::Backup, BackupChoice::Dollar});
    EXPECT_TRUE(w.Files().OnFileSave());
    EXPECT_EQ(Read(w.Path("data.$xt")), "old\r\n");
    EXPECT_EQ(Read(path), "new text\r\n\r\n");  // the last empty line is not written
    EXPECT_FALSE(w.Files().IsModified());
    ASSERT_EQ(w.ui.overwriteShown.size(), 1u);
    EXPECT_EQ(w.ui.overwriteShown[0].m_strName, "data.txt");
    EXPECT_EQ(w.ui.overwriteShown[0].m_strSize, "5 バイト");
}

TEST(FileCommands, CancelPathsWriteNothing) {
    Window w;
    const std::string path = w.Path("data.txt");
    Write(path, "old\n");
    w.Open(path);
    w.Type("changed");
    w.ui.overwrite.push_back({OverwriteAnswer::Cancel, BackupChoice::Bak});
    EXPECT_FALSE(w.Files().OnFileSave());
    EXPECT_EQ(Read(path), "old\n");
    EXPECT_TRUE(w.Files().IsModified());
    w.ui.paths.push_back(std::nullopt);  // Save As cancelled
    EXPECT_FALSE(w.Files().OnFileSaveAs());
    EXPECT_EQ(Read(path), "old\n");
    EXPECT_EQ(w.ui.requests.back().okCaption, "保存");
    EXPECT_EQ(w.ui.requests.back().title, "保存するファイル名の指定");
    EXPECT_TRUE(w.ui.requests.back().extensionFollowsType);
    EXPECT_EQ(w.ui.requests.back().initialName, "data.txt");
}

TEST(FileCommands, SaveAsOnAnUnmodifiedDocumentAsksFirst) {
    Window w;
    w.Type("0 1");
    w.frame->QueryView().document()->setModified(false);
    w.ui.yesNo.push_back(false);
    EXPECT_FALSE(w.Files().OnFileSaveAs());
    EXPECT_TRUE(w.ui.requests.empty());
    EXPECT_EQ(w.ui.questions.at(0),
              "このファイルはまだ更新されていません。\nそれでも、保存しますか？");
    w.ui.yesNo.push_back(true);
    const std::string target = w.Path("copy.bol");
    w.ui.paths.push_back(target);
    EXPECT_TRUE(w.Files().OnFileSaveAs());
    EXPECT_EQ(Read(target), "0 1\r\n");
    EXPECT_EQ(w.Files().Title(), "copy.bol");
}

TEST(FileCommands, FailedSaveKeepsTheModifiedFlag) {
    Window w;
    w.Type("0 1");
    w.ui.paths.push_back(w.Path("no/such/folder/x.txt"));
    EXPECT_FALSE(w.Files().OnFileSaveAs());
    EXPECT_TRUE(w.Files().IsModified());
    ASSERT_FALSE(w.ui.warned.empty());
    EXPECT_NE(w.ui.warned.back().find("ﾄﾞｷｭﾒﾝﾄ"), std::string::npos);
}

TEST(FileCommands, SaveChangesQuestionGuardsNewAndCloseNoSaveSkipsIt) {
    Window w;
    w.Type("keep me");
    w.ui.saveChanges.push_back(SaveChangesAnswer::Cancel);
    w.Files().OnFileNew();
    EXPECT_EQ(w.Text(), "keep me");
    EXPECT_EQ(w.ui.saveChangesAsked.at(0), "新規.bol");
    w.ui.saveChanges.push_back(SaveChangesAnswer::No);
    w.Files().OnFileNew();
    EXPECT_EQ(w.Text(), "");
    w.Type("drop me");
    w.Files().OnCloseNoSave();
    EXPECT_EQ(w.Text(), "");
    EXPECT_EQ(w.ui.saveChangesAsked.size(), 2u);
}

TEST(Settings, HistoriesAndRecentFilesPersistBetweenRuns) {
    QTemporaryDir dir;
    const QString ini = dir.filePath("settings.ini");
    {
        FakeFileUi ui;
        QSettings settings(ini, QSettings::IniFormat);
        CMainFrame frame(&ui, &settings);
        frame.DocumentHistory().MoveToFront("/data/a/");
        frame.DocumentHistory().MoveToFront("/data/b/");
        frame.ResultHistory().MoveToFront("/results/");
        frame.Recent().Add("/data/a/x.bol");
        frame.SaveHistories();
    }
    QSettings settings(ini, QSettings::IniFormat);
    EXPECT_EQ(settings.value("Version 1.0/DirHistDoc_0").toString(), "/data/b/");
    EXPECT_EQ(settings.value("Version 1.0/DirHistDoc_1").toString(), "/data/a/");
    FakeFileUi ui;
    CMainFrame again(&ui, &settings);
    EXPECT_EQ(again.DocumentHistory().Folders(),
              (std::vector<std::string>{"/data/b/", "/data/a/"}));
    EXPECT_EQ(again.ResultHistory().Folders(), (std::vector<std::string>{"/results/"}));
    EXPECT_EQ(again.Recent().Paths(), (std::vector<std::string>{"/data/a/x.bol"}));
}

TEST(ResultFile, ComputeWithTheFileSwitchWritesTheChosenFile) {
    Window w;
    w.frame->QueryView().setPlainText("0 1\n1 3\n2 5");
    w.frame->Document().Settings().output.enabled = true;
    const std::string path = w.Path("table.csv");
    w.ui.resultPaths.push_back(path);
    QString completion;
    // The completion message box: read it and close it.
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [&completion, timer] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            completion = box->text();
            box->accept();
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(10);
    w.frame->OnCompute();
    w.frame->WaitForCompute();
    EXPECT_TRUE(completion.startsWith("計算結果書き込み正常終了\n"));
    const std::string text = Read(path);
    EXPECT_EQ(text.rfind("*Model F:  a + b*X; linear\r\nParam_1,x_1,y_1,", 0), 0u) << text;
    EXPECT_EQ(w.Files().WriterState().m_nSeparator, 1);  // .csv forces commas
}

// Every way the window writes a file, made to fail for real: the old file
// keeps its bytes under its own name, no backup or temporary file is left,
// and the user reads the system's reason.
class FailedWrites : public ::testing::Test {
  protected:
    void SetUp() override {
        m_path = w.Path("data.txt");
        Write(m_path, kOld);
        w.Open(m_path);
        w.Type("new text that is longer than the old one\n");
    }
    void TearDown() override { chmod(w.dir.path().toStdString().c_str(), 0755); }

    // Names in the window's folder other than its settings file.
    std::vector<std::string> Listing() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(w.dir.path().toStdString())) {
            if (entry.path().filename() != "settings.ini") {
                names.push_back(entry.path().filename().string());
            }
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    void ExpectOldFileAlone() const {
        EXPECT_EQ(Read(m_path), kOld);
        EXPECT_EQ(Listing(), std::vector<std::string>{"data.txt"});
    }
    void MakeFolderReadOnly() { chmod(w.dir.path().toStdString().c_str(), 0555); }

    static constexpr const char* kOld = "old\r\n1 2\r\n";
    Window w;
    std::string m_path;
};

TEST_F(FailedWrites, SaveIntoAReadOnlyFolderWithABackupOrAnOverwrite) {
    MakeFolderReadOnly();
    quillon::testing::PermissionsEnforced enforced;
    for (const OverwriteAnswer answer : {OverwriteAnswer::Backup, OverwriteAnswer::Overwrite}) {
        w.ui.overwrite.push_back({answer, BackupChoice::Bak});
        EXPECT_FALSE(w.Files().OnFileSave());
        ExpectOldFileAlone();
        EXPECT_TRUE(w.Files().IsModified());
        ASSERT_FALSE(w.ui.warned.empty());
        EXPECT_NE(w.ui.warned.back().find(m_path + ": Permission denied"), std::string::npos)
            << w.ui.warned.back();
    }
}

TEST_F(FailedWrites, SaveThatRunsOutOfSpaceMakesNoBackup) {
    w.ui.overwrite.push_back({OverwriteAnswer::Backup, BackupChoice::Dollar});
    {
        quillon::testing::FileSizeLimit limit(8);
        ASSERT_TRUE(limit.Active());
        EXPECT_FALSE(w.Files().OnFileSave());
    }
    ExpectOldFileAlone();
    ASSERT_FALSE(w.ui.warned.empty());
    EXPECT_EQ(w.ui.warned.back().rfind("ﾄﾞｷｭﾒﾝﾄの保存に失敗しました。", 0), 0u);
    EXPECT_NE(w.ui.warned.back().find("File too large"), std::string::npos) << w.ui.warned.back();
    // The same save with room to write makes the backup and the new file.
    w.ui.overwrite.push_back({OverwriteAnswer::Backup, BackupChoice::Dollar});
    EXPECT_TRUE(w.Files().OnFileSave());
    EXPECT_EQ(Read(w.Path("data.$xt")), kOld);
    EXPECT_EQ(Read(m_path), "new text that is longer than the old one\r\n");
}

TEST_F(FailedWrites, SaveAsOntoAFullDevice) {
    if (!fs::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full";
    }
    w.ui.paths.push_back("/dev/full");
    w.ui.overwrite.push_back({OverwriteAnswer::Overwrite, BackupChoice::Bak});
    EXPECT_FALSE(w.Files().OnFileSaveAs());
    EXPECT_TRUE(w.Files().IsModified());
    EXPECT_EQ(w.Files().State().m_strPathName, m_path);  // still the old document
    ASSERT_FALSE(w.ui.warned.empty());
    EXPECT_NE(w.ui.warned.back().find("/dev/full: No space left on device"), std::string::npos)
        << w.ui.warned.back();
    ExpectOldFileAlone();
}

TEST_F(FailedWrites, ResultFileIntoAReadOnlyFolderOrOntoAFullDevice) {
    const ResultColumnList columns{{"x_1", {0, 1}}, {"y_1", {1, 3}}};
    quillon::testing::RecordingHost host;
    w.ui.resultPaths.push_back(m_path);
    w.ui.overwrite.push_back({OverwriteAnswer::Backup, BackupChoice::Bak});
    MakeFolderReadOnly();
    {
        quillon::testing::PermissionsEnforced enforced;
        w.Files().ExportResults(columns, 0, host);
    }
    ExpectOldFileAlone();
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_NE(host.messages[0].first.find(m_path + ": Permission denied"), std::string::npos)
        << host.messages[0].first;
    EXPECT_EQ(host.messages[0].second, MessageIcon::Error);

    if (fs::exists("/dev/full")) {
        w.ui.resultPaths.push_back("/dev/full");
        w.ui.overwrite.push_back({OverwriteAnswer::Overwrite, BackupChoice::Bak});
        w.Files().ExportResults(columns, 0, host);
        ASSERT_GE(host.messages.size(), 2u);
        EXPECT_NE(host.messages.back().first.find("No space left on device"), std::string::npos)
            << host.messages.back().first;
    }
}

}  // namespace
}  // namespace quillon::app
