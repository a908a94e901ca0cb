// The window's file commands write only where the user chose: the
// save-changes question of a never-saved document, relative paths and recent
// files that no longer open.
#include <gtest/gtest.h>

#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "fake_file_ui.h"
#include "files/document_text.h"
#include "support/file_faults.h"

namespace quillon::app {
namespace {

namespace fs = std::filesystem;

using testing::Read;
using testing::Window;
using testing::Write;

// Makes folder the process's current folder while it lives.
class ScopedCurrentFolder {
  public:
    explicit ScopedCurrentFolder(const fs::path& folder) : m_previous(fs::current_path()) {
        fs::current_path(folder);
    }
    ~ScopedCurrentFolder() {
        std::error_code ec;
        fs::current_path(m_previous, ec);
    }
    ScopedCurrentFolder(const ScopedCurrentFolder&) = delete;
    ScopedCurrentFolder& operator=(const ScopedCurrentFolder&) = delete;

  private:
    fs::path m_previous;
};

std::vector<std::string> Listing(const QTemporaryDir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.path().toStdString())) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

// The File menu's recent-file item for path, as the menu shows it when it opens.
QAction* RecentItem(CMainFrame& frame, const std::string& path) {
    QMenu* fileMenu = frame.menuBar()->actions().front()->menu();
    emit fileMenu->aboutToShow();
    const QString text = QString::fromStdString(path);
    for (QAction* action : fileMenu->actions()) {
        if (action->isVisible() && action->text().endsWith(" " + text)) {
            return action;
        }
    }
    return nullptr;
}

// A command that leaves the document, so asks whether to save it first.
struct LeavingCommand {
    const char* name;
    // Runs the command; true when it went ahead.
    std::function<bool(Window&)> run;
};

void PrintTo(const LeavingCommand& command, std::ostream* out) {
    *out << command.name;
}

const std::string kOtherText = "5 6\n7 8\n";

const LeavingCommand kLeavingCommands[] = {
    {"New",
     [](Window& w) {
         w.Files().OnFileNew();
         return w.Text().empty();
     }},
    {"OpenPath",
     [](Window& w) {
         Write(w.Path("other.txt"), kOtherText);
         return w.Files().OpenPath(w.Path("other.txt"));
     }},
    {"OpenRecent",
     [](Window& w) {
         const std::string other = w.Path("other.txt");
         Write(other, kOtherText);
         w.frame->Recent().Add(other);
         QAction* item = RecentItem(*w.frame, other);
         if (item == nullptr) {
             ADD_FAILURE() << "no recent item for " << other;
             return false;
         }
         item->trigger();
         return w.Text() == kOtherText;
     }},
    {"Close", [](Window& w) { return w.frame->close(); }},
};

// A window whose current folder, where a new document's default name points,
// is a folder of its own.
class SaveChangesOfANewDocument : public ::testing::TestWithParam<LeavingCommand> {
  protected:
    QTemporaryDir m_current;
    ScopedCurrentFolder m_inCurrent{m_current.path().toStdString()};
    Window w;
};

TEST_P(SaveChangesOfANewDocument, YesSavesAsTheFileChosenInTheSaveAsDialog) {
    w.Type("0 1\n1 2");
    w.ui.saveChanges.push_back(SaveChangesAnswer::Yes);
    const std::string chosen = w.Path("kept.bol");
    w.ui.paths.push_back(chosen);
    EXPECT_TRUE(GetParam().run(w));
    EXPECT_EQ(w.ui.saveChangesAsked, std::vector<std::string>{"新規.bol"});
    ASSERT_EQ(w.ui.requests.size(), 1u);
    EXPECT_FALSE(w.ui.requests[0].openMode);
    EXPECT_EQ(w.ui.requests[0].title, "保存するファイル名の指定");
    EXPECT_EQ(w.ui.requests[0].initialName, "新規.bol");
    EXPECT_TRUE(w.ui.requests[0].confirm);  // the overwrite question
    EXPECT_EQ(Read(chosen), "0 1\r\n1 2\r\n");
    EXPECT_EQ(Listing(m_current), std::vector<std::string>{});
}

TEST_P(SaveChangesOfANewDocument, CancelledSaveAsCancelsTheCommand) {
    w.Type("0 1\n1 2");
    w.ui.saveChanges.push_back(SaveChangesAnswer::Yes);
    w.ui.paths.push_back(std::nullopt);
    EXPECT_FALSE(GetParam().run(w));
    EXPECT_EQ(w.ui.requests.size(), 1u);
    EXPECT_EQ(w.Text(), "0 1\n1 2");
    EXPECT_TRUE(w.Files().IsModified());
    EXPECT_EQ(w.Files().Title(), "新規.bol");
    EXPECT_EQ(Listing(m_current), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Commands, SaveChangesOfANewDocument, ::testing::ValuesIn(kLeavingCommands),
                         [](const auto& test) { return std::string(test.param.name); });

class SaveChangesQuestion : public ::testing::Test {
  protected:
    QTemporaryDir m_current;
    ScopedCurrentFolder m_inCurrent{m_current.path().toStdString()};
    Window w;
};

TEST_F(SaveChangesQuestion, YesOntoAnExistingFileAsksBeforeReplacingIt) {
    const std::string existing = w.Path("data.bol");
    Write(existing, "old\r\n");
    w.Type("new");
    w.ui.saveChanges.push_back(SaveChangesAnswer::Yes);
    w.ui.paths.push_back(existing);
    w.ui.overwrite.push_back({OverwriteAnswer::Backup, BackupChoice::Bak});
    w.Files().OnFileNew();
    ASSERT_EQ(w.ui.overwriteShown.size(), 1u);
    EXPECT_EQ(w.ui.overwriteShown[0].m_strName, "data.bol");
    EXPECT_EQ(Read(w.Path("data.bak")), "old\r\n");
    EXPECT_EQ(Read(existing), "new\r\n");
    EXPECT_EQ(w.Text(), "");
}

TEST_F(SaveChangesQuestion, YesOnADocumentWithAFileOfItsOwnSavesThereWithoutADialog) {
    // Saved once under a name of its own.
    w.Type("0 1");
    const std::string saved = w.Path("saved.bol");
    w.ui.paths.push_back(saved);
    ASSERT_TRUE(w.Files().OnFileSaveAs());
    w.Type("changed");
    w.ui.saveChanges.push_back(SaveChangesAnswer::Yes);
    w.Files().OnFileNew();
    EXPECT_EQ(Read(saved), "changed\r\n");
    EXPECT_EQ(w.Text(), "");
    // Opened from its file.
    const std::string opened = w.Path("opened.txt");
    Write(opened, "old\n");
    ASSERT_TRUE(w.Files().OpenPath(opened));
    w.Type("changed too");
    w.ui.saveChanges.push_back(SaveChangesAnswer::Yes);
    w.Files().OnFileNew();
    EXPECT_EQ(Read(opened), "changed too\r\n");

    EXPECT_EQ(w.ui.requests.size(), 1u);  // only the first Save As
    EXPECT_EQ(Listing(m_current), std::vector<std::string>{});
}

// A path given relative (on the command line, say) is taken in the current
// folder once, when it is opened: the overwrite question shows the real
// folder, the backup lands beside the file and the recent list holds it once.
TEST(RelativePath, SavesWithABackupInTheCurrentFolder) {
    Window w;
    ScopedCurrentFolder inWindowFolder(w.dir.path().toStdString());
    const fs::path folder = fs::current_path();
    Write("waves.txt", "old\r\n");
    ASSERT_TRUE(w.Files().OpenPath("waves.txt"));
    EXPECT_EQ(w.Files().State().m_strPathName, (folder / "waves.txt").string());
    EXPECT_EQ(w.Files().Title(), "waves.txt");
    w.Type("new");
    w.ui.overwrite.push_back({OverwriteAnswer::Backup, BackupChoice::Bak});
    EXPECT_TRUE(w.Files().OnFileSave());
    EXPECT_EQ(w.ui.warned, std::vector<std::string>{});
    ASSERT_EQ(w.ui.overwriteShown.size(), 1u);
    EXPECT_EQ(w.ui.overwriteShown[0].m_strFolder, folder.string() + "/");
    EXPECT_EQ(Read((folder / "waves.bak").string()), "old\r\n");
    EXPECT_EQ(Read((folder / "waves.txt").string()), "new\r\n");
    EXPECT_EQ(w.frame->Recent().Paths(), std::vector<std::string>{(folder / "waves.txt").string()});
}

TEST(RelativePath, EverySpellingOfOneFileIsOneRecentEntry) {
    Window w;
    ScopedCurrentFolder inWindowFolder(w.dir.path().toStdString());
    const std::string absolute = (fs::current_path() / "waves.txt").string();
    Write(absolute, "0 1\n");
    const std::vector<std::string> spellings{"waves.txt", "./waves.txt", ".//waves.txt", absolute};
    for (const std::string& spelling : spellings) {
        ASSERT_TRUE(w.Files().OpenPath(spelling)) << spelling;
        EXPECT_EQ(w.Files().State().m_strPathName, absolute) << spelling;
        EXPECT_EQ(w.frame->Recent().Paths(), std::vector<std::string>{absolute}) << spelling;
    }
}

// A recent file that no longer opens, made by make in the window's folder.
struct UnopenableRecentFile {
    const char* name;
    std::function<std::string(const Window&)> make;
};

void PrintTo(const UnopenableRecentFile& file, std::ostream* out) {
    *out << file.name;
}

const UnopenableRecentFile kUnopenableRecentFiles[] = {
    {"Deleted", [](const Window& w) { return w.Path("gone.txt"); }},
    {"DeletedAndListedWithADot",
     [](const Window& w) { return w.dir.path().toStdString() + "/./gone.txt"; }},
    {"Unreadable",
     [](const Window& w) {
         const std::string path = w.Path("locked.txt");
         Write(path, "0 1\n");
         fs::permissions(path, fs::perms::none);
         return path;
     }},
    {"Binary",
     [](const Window& w) {
         const std::string path = w.Path("image.bol");
         Write(path, std::string("ab\0cd", 5));
         return path;
     }},
    {"NowAFolder",
     [](const Window& w) {
         const std::string path = w.Path("folder.txt");
         fs::create_directory(path);
         return path;
     }},
};

class UnopenableRecentFiles : public ::testing::TestWithParam<UnopenableRecentFile> {
  protected:
    void SetUp() override {
        Write(m_kept, "0 1\n");
        w.frame->Recent().Add(m_kept);
        m_path = GetParam().make(w);
        w.frame->Recent().Add(m_path);
    }

    Window w;
    const std::string m_kept = w.Path("kept.txt");
    std::string m_path;
};

TEST_P(UnopenableRecentFiles, AreReportedAndLeaveTheList) {
    {
        quillon::testing::PermissionsEnforced enforced;  // also for root
        QAction* item = RecentItem(*w.frame, m_path);
        ASSERT_NE(item, nullptr);
        item->trigger();
    }
    ASSERT_EQ(w.ui.warned.size(), 1u);
    EXPECT_EQ(w.ui.warned[0].rfind(std::string(kDocumentOpenFailedMessage) + "\n", 0), 0u);
    EXPECT_NE(w.ui.warned[0].find(fs::path(m_path).filename().string()), std::string::npos);
    EXPECT_EQ(w.Files().Title(), "新規.bol");
    EXPECT_EQ(w.frame->Recent().Paths(), std::vector<std::string>{m_kept});
    EXPECT_EQ(RecentItem(*w.frame, m_path), nullptr);
    // Nor is it in the settings the next window starts from.
    ASSERT_TRUE(w.frame->close());
    CMainFrame next(&w.ui, w.settings.get());
    EXPECT_EQ(next.Recent().Paths(), std::vector<std::string>{m_kept});
}

INSTANTIATE_TEST_SUITE_P(Files, UnopenableRecentFiles, ::testing::ValuesIn(kUnopenableRecentFiles),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(RecentFiles, OneThatCannotOpenStaysListedWhenTheSaveChangesQuestionIsCancelled) {
    Window w;
    const std::string gone = w.Path("gone.txt");
    w.frame->Recent().Add(gone);
    w.Type("0 1");
    w.ui.saveChanges.push_back(SaveChangesAnswer::Cancel);
    EXPECT_FALSE(w.Files().OpenPath(gone));
    EXPECT_EQ(w.ui.warned, std::vector<std::string>{});
    EXPECT_EQ(w.frame->Recent().Paths(), std::vector<std::string>{gone});
}

}  // namespace
}  // namespace quillon::app
