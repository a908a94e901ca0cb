// The file dialogs offscreen: the folder history panel, the file-name check,
// the extension that follows the type, the result-file options and the
// overwrite confirmation, driven without clicking where the dialogs allow.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <memory>
#include <ostream>
#include <vector>

#include "app/dialog_file_ui.h"
#include "app/file_dialog.h"
#include "app/overwrite_dialog.h"
#include "app/result_file_dialog.h"

// Readable failures for Qt strings.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

#include "modal.h"

namespace quillon::app {
namespace {

template <class T>
T* Control(QWidget* parent, int id) {
    T* control = parent->findChild<T*>(QString::number(id));
    EXPECT_NE(control, nullptr) << "control " << id;
    return control;
}

QLineEdit* NameEdit(QFileDialog& dialog) {
    return dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
}

// What the user does when picking a type in the type box.
void ChooseType(QFileDialog& dialog, int index) {
    auto* combo = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    ASSERT_NE(combo, nullptr);
    combo->setCurrentIndex(index);
    emit combo->activated(index);
    emit combo->textActivated(combo->itemText(index));
}

QStringList ComboItems(const QComboBox* combo) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i) {
        items << combo->itemText(i);
    }
    return items;
}

bool Contains(const QWidget* widget, const QString& labelText) {
    for (const QLabel* label : widget->findChildren<QLabel*>()) {
        if (label->text() == labelText) {
            return true;
        }
    }
    return false;
}

// Folders a/ to e/ in a temporary folder and a history over them.
class FileDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_root.isValid());
        for (const char* name : {"a", "b", "c", "d", "e"}) {
            ASSERT_TRUE(QDir(m_root.path()).mkdir(QString::fromLatin1(name)));
        }
    }

    std::string Folder(const char* name) const {
        return (m_root.path() + u'/' + QString::fromLatin1(name) + u'/').toStdString();
    }
    QString QFolder(const char* name) const { return QString::fromStdString(Folder(name)); }

    // The history lists a, b, c, d, the most recent first.
    void FillHistory() {
        for (const char* name : {"d", "c", "b", "a"}) {
            m_history.MoveToFront(Folder(name));
        }
    }

    FileDialogRequest SaveRequest() {
        FileDialogRequest request;
        request.openMode = false;
        request.title = "保存するファイル名の指定";
        request.filter = std::string(kResultFileFilter);
        request.initialName = "calc.dat";
        request.okCaption = "保存";
        request.extensionFollowsType = true;
        request.history = &m_history;
        request.confirm = [this](const std::string& path) {
            m_confirmed.push_back(path);
            return m_confirmAnswer;
        };
        return request;
    }

    QTemporaryDir m_root;
    DirectoryHistory m_history{kDocumentHistoryName};
    std::vector<std::string> m_confirmed;
    bool m_confirmAnswer = true;
};

// --- the filter string --------------------------------------------------------

TEST(FileFilter, SplitsTypesAndPatternsUpToTheEnd) {
    const std::vector<FileFilter> filters =
        ParseFileFilter("Data files(*.txt;*.bol)|*.txt;*.bol|All Files(*.*)|*.*||ignored|*.x|");
    ASSERT_EQ(filters.size(), 2u);
    EXPECT_EQ(filters[0].text, "Data files(*.txt;*.bol)");
    EXPECT_EQ(filters[0].patterns, QStringList({"*.txt", "*.bol"}));
    EXPECT_EQ(filters[1].text, "All Files(*.*)");
    EXPECT_EQ(filters[1].patterns, QStringList({"*"}));  // also files without a dot
}

TEST(FileFilter, EmptyOrUnpairedGivesNoType) {
    EXPECT_TRUE(ParseFileFilter("").empty());
    EXPECT_TRUE(ParseFileFilter("Text Files(*.txt)").empty());
}

// --- opening --------------------------------------------------------------------

TEST_F(FileDialogTest, OpensInTheFirstHistoryFolderWithTheHistoryListed) {
    FillHistory();
    CFileDialogEx dialog(SaveRequest());
    EXPECT_EQ(dialog.directory().absolutePath() + u'/', QFolder("a"));
    EXPECT_EQ(Control<QLabel>(&dialog, 1051)->text(), QFolder("a"));
    auto* combo = Control<QComboBox>(&dialog, 1061);
    EXPECT_EQ(ComboItems(combo),
              QStringList({QFolder("a"), QFolder("b"), QFolder("c"), QFolder("d")}));
    EXPECT_EQ(combo->currentIndex(), 0);
    EXPECT_EQ(dialog.windowTitle(), "保存するファイル名の指定");
    EXPECT_EQ(NameEdit(dialog)->text(), "calc.dat");
    EXPECT_TRUE(Contains(&dialog, "Current Dir:"));
    EXPECT_TRUE(Contains(&dialog, "History:"));
    EXPECT_EQ(Control<QPushButton>(&dialog, 1062)->text(), "↓メモる");
    EXPECT_EQ(Control<QPushButton>(&dialog, 1063)->text(), " ↑選択 ");
}

TEST_F(FileDialogTest, EmptyHistoryLeavesTheComboEmpty) {
    CFileDialogEx dialog(SaveRequest());
    EXPECT_EQ(Control<QComboBox>(&dialog, 1061)->count(), 0);
    EXPECT_EQ(dialog.ShownFolder(), Control<QLabel>(&dialog, 1051)->text());
}

TEST_F(FileDialogTest, OkCaptionAndPreselectedTypeComeFromTheRequest) {
    FileDialogRequest request = SaveRequest();
    request.selectedFilter = 3;
    CFileDialogEx dialog(request);
    auto* box = dialog.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->button(QDialogButtonBox::Save)->text(), "保存");
    EXPECT_EQ(dialog.selectedNameFilter(), "CSV Files(*.csv)");
    EXPECT_EQ(dialog.SelectedFilterNumber(), 3);
    auto* model = dialog.findChild<QFileSystemModel*>();
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->nameFilters(), QStringList({"*.csv"}));
}

TEST_F(FileDialogTest, OutOfRangeTypeNumberKeepsTheFirstType) {
    FileDialogRequest request = SaveRequest();
    request.selectedFilter = 9;
    CFileDialogEx dialog(request);
    EXPECT_EQ(dialog.SelectedFilterNumber(), 1);
}

// --- the file-name check --------------------------------------------------------

TEST_F(FileDialogTest, ConfirmingMovesTheFolderToTheFrontAndAccepts) {
    FillHistory();
    CFileDialogEx dialog(SaveRequest());
    ASSERT_TRUE(dialog.OpenFolder(QFolder("d")));  // index 3 of the history
    NameEdit(dialog)->setText("out.dat");
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    ASSERT_TRUE(dialog.ChosenPath());
    EXPECT_EQ(*dialog.ChosenPath(), Folder("d") + "out.dat");
    EXPECT_EQ(m_confirmed, std::vector<std::string>({Folder("d") + "out.dat"}));
    EXPECT_EQ(m_history.Folders(),
              std::vector<std::string>({Folder("d"), Folder("a"), Folder("b"), Folder("c")}));
}

TEST_F(FileDialogTest, RefusedConfirmationStillMovesTheFolder) {
    FillHistory();
    m_confirmAnswer = false;  // e.g. cancel in the overwrite dialog
    CFileDialogEx dialog(SaveRequest());
    ASSERT_TRUE(dialog.OpenFolder(QFolder("e")));
    NameEdit(dialog)->setText("calc.dat");
    dialog.accept();
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(dialog.ChosenPath());
    EXPECT_EQ(m_confirmed.size(), 1u);
    EXPECT_EQ(m_history.Entries().front(), Folder("e"));
    EXPECT_EQ(Control<QComboBox>(&dialog, 1061)->itemText(0), QFolder("e"));
}

TEST_F(FileDialogTest, EmptyNameIsRefusedWithoutAskingButMovesTheFolder) {
    CFileDialogEx dialog(SaveRequest());
    ASSERT_TRUE(dialog.OpenFolder(QFolder("b")));
    NameEdit(dialog)->setText("   ");
    EXPECT_FALSE(dialog.CheckFileName());
    EXPECT_TRUE(m_confirmed.empty());
    EXPECT_EQ(m_history.Folders(), std::vector<std::string>({Folder("b")}));
}

TEST_F(FileDialogTest, ANameInAMissingFolderIsRefusedWithoutAsking) {
    CFileDialogEx dialog(SaveRequest());
    ASSERT_TRUE(dialog.OpenFolder(QFolder("b")));
    NameEdit(dialog)->setText("missing/calc.dat");
    dialog.accept();
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(m_confirmed.empty());
    EXPECT_EQ(m_history.Entries().front(), Folder("b"));
}

TEST_F(FileDialogTest, OpenModeTakesAnExistingFileWithoutTheSaveConfirmation) {
    QFile file(QFolder("c") + "data.bol");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    FileDialogRequest request = SaveRequest();
    request.openMode = true;
    request.extensionFollowsType = false;
    request.filter = "Quillon_L Files(*.bol)|*.bol|All Files(*.*)|*.*||";
    CFileDialogEx dialog(request);
    ASSERT_TRUE(dialog.OpenFolder(QFolder("c")));
    NameEdit(dialog)->setText("data.bol");
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.ChosenPath(), Folder("c") + "data.bol");
    EXPECT_TRUE(m_confirmed.empty());
    EXPECT_EQ(m_history.Entries().front(), Folder("c"));
}

TEST_F(FileDialogTest, AFolderNameOpensThatFolderInsteadOfConfirming) {
    CFileDialogEx dialog(SaveRequest());
    ASSERT_TRUE(dialog.OpenFolder(m_root.path()));
    NameEdit(dialog)->setText("b");
    dialog.accept();
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.ShownFolder(), QFolder("b"));
    EXPECT_TRUE(m_confirmed.empty());
}

// --- the history panel ----------------------------------------------------------

TEST_F(FileDialogTest, NoteMovesTheShownFolderToTheFrontAndRefills) {
    FillHistory();
    CFileDialogEx dialog(SaveRequest());
    ASSERT_TRUE(dialog.OpenFolder(QFolder("c")));
    EXPECT_EQ(Control<QLabel>(&dialog, 1051)->text(), QFolder("c"));
    Control<QPushButton>(&dialog, 1062)->click();
    auto* combo = Control<QComboBox>(&dialog, 1061);
    EXPECT_EQ(ComboItems(combo),
              QStringList({QFolder("c"), QFolder("a"), QFolder("b"), QFolder("d")}));
    EXPECT_EQ(combo->currentIndex(), 0);
    ASSERT_TRUE(dialog.OpenFolder(QFolder("e")));
    Control<QPushButton>(&dialog, 1062)->click();
    EXPECT_EQ(combo->count(), 5);
    EXPECT_EQ(combo->itemText(0), QFolder("e"));
}

TEST_F(FileDialogTest, ChoosingAHistoryEntryOpensItsFolder) {
    FillHistory();
    CFileDialogEx dialog(SaveRequest());
    auto* combo = Control<QComboBox>(&dialog, 1061);
    combo->setCurrentIndex(2);
    emit combo->activated(2);
    EXPECT_EQ(dialog.ShownFolder(), QFolder("c"));
    EXPECT_EQ(Control<QLabel>(&dialog, 1051)->text(), QFolder("c"));
    EXPECT_EQ(NameEdit(dialog)->text(), "calc.dat");  // the typed name stays
}

TEST_F(FileDialogTest, SelectButtonOpensTheTypedFolder) {
    FillHistory();
    CFileDialogEx dialog(SaveRequest());
    auto* combo = Control<QComboBox>(&dialog, 1061);
    combo->setEditText(m_root.path() + "/e");  // not in the list, no trailing "/"
    Control<QPushButton>(&dialog, 1063)->click();
    EXPECT_EQ(dialog.ShownFolder(), QFolder("e"));
    EXPECT_EQ(Control<QLabel>(&dialog, 1051)->text(), QFolder("e"));
}

TEST_F(FileDialogTest, AMissingHistoryFolderKeepsTheShownFolder) {
    FillHistory();
    CFileDialogEx dialog(SaveRequest());
    ASSERT_TRUE(QDir(QFolder("a")).removeRecursively());
    Control<QComboBox>(&dialog, 1061)->setEditText(QFolder("a") + "gone/");
    EXPECT_FALSE(dialog.OpenFolder(QFolder("a") + "gone/"));
    Control<QPushButton>(&dialog, 1063)->click();
    EXPECT_EQ(Control<QLabel>(&dialog, 1051)->text(), QFolder("a"));
}

// --- the type box ---------------------------------------------------------------

TEST_F(FileDialogTest, TheExtensionFollowsTheChosenType) {
    CFileDialogEx dialog(SaveRequest());
    ChooseType(dialog, 1);  // Text Files(*.txt)
    EXPECT_EQ(NameEdit(dialog)->text(), "calc.txt");
    ChooseType(dialog, 3);  // All Files(*.*) changes nothing
    EXPECT_EQ(NameEdit(dialog)->text(), "calc.txt");
    NameEdit(dialog)->setText("results");  // a name without extension gets one
    ChooseType(dialog, 2);
    EXPECT_EQ(NameEdit(dialog)->text(), "results.csv");
    auto* model = dialog.findChild<QFileSystemModel*>();
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->nameFilters(), QStringList({"*.csv"}));
    ChooseType(dialog, 3);
    EXPECT_EQ(model->nameFilters(), QStringList({"*"}));
}

TEST_F(FileDialogTest, WithoutTheRuleTheTypedNameStays) {
    FileDialogRequest request = SaveRequest();
    request.extensionFollowsType = false;
    CFileDialogEx dialog(request);
    ChooseType(dialog, 1);
    EXPECT_EQ(NameEdit(dialog)->text(), "calc.dat");
}

// --- the result-file dialog -----------------------------------------------------

class ResultFileDialogTest : public FileDialogTest {
  protected:
    CFileOutput* Open(const ResultWriterState& state) {
        m_dialog = std::make_unique<CFileOutput>(state, m_history, SaveRequest().confirm);
        return m_dialog.get();
    }
    std::unique_ptr<CFileOutput> m_dialog;
};

TEST_F(ResultFileDialogTest, OpensWithTheTextsAndTheWritersState) {
    FillHistory();
    ResultWriterState state;
    state.m_nSeparator = kSeparatorComma;
    state.m_b3D = true;
    state.m_bComment = false;
    state.m_nLastFormat = 3;
    CFileOutput& dialog = *Open(state);
    EXPECT_EQ(dialog.windowTitle(), "計算結果書き出し（Zentographデータ/エクセルテキスト）");
    EXPECT_EQ(dialog.selectedNameFilter(), "CSV Files(*.csv)");
    EXPECT_EQ(NameEdit(dialog)->text(), "calc.dat");
    EXPECT_EQ(dialog.ShownFolder(), QFolder("a"));
    EXPECT_TRUE(Contains(&dialog, "選択されているディレクトリー"));
    EXPECT_TRUE(Contains(&dialog, "以前アクセスしたディレクトリー"));
    EXPECT_FALSE(Contains(&dialog, "Current Dir:"));
    EXPECT_TRUE(Contains(&dialog, "ファイル形式は拡張子で決まります。"));
    EXPECT_EQ(Control<QRadioButton>(&dialog, 1278)->text(), "Tab (\\t)");
    EXPECT_TRUE(Control<QRadioButton>(&dialog, 1277)->isChecked());
    EXPECT_TRUE(Control<QRadioButton>(&dialog, 1280)->isChecked());
    EXPECT_FALSE(Control<QCheckBox>(&dialog, 1336)->isChecked());
    EXPECT_TRUE(Control<QCheckBox>(&dialog, 1337)->isChecked());
    for (int id : {1276, 1277, 1278, 1281, 1279, 1280, 1336, 1337}) {
        EXPECT_TRUE(Control<QAbstractButton>(&dialog, id)->isEnabled()) << id;
    }
    EXPECT_EQ(dialog.ReadState().m_nSeparator, kSeparatorComma);
}

TEST_F(ResultFileDialogTest, SeparatorsAreEnabledForTextAndAllFilesOnly) {
    CFileOutput& dialog = *Open(ResultWriterState{});
    const bool expected[] = {false, true, false, true};
    for (int index : {1, 0, 3, 2, 1}) {
        ChooseType(dialog, index);
        for (int id : {1276, 1277, 1278, 1281}) {
            EXPECT_EQ(Control<QRadioButton>(&dialog, id)->isEnabled(), expected[index])
                << "type " << index + 1 << " radio " << id;
        }
        EXPECT_TRUE(Control<QRadioButton>(&dialog, 1280)->isEnabled());
        EXPECT_TRUE(Control<QCheckBox>(&dialog, 1336)->isEnabled());
    }
    EXPECT_EQ(NameEdit(dialog)->text(), "calc.txt");
}

TEST_F(ResultFileDialogTest, ReadsEverySeparatorAndTheOptions) {
    CFileOutput& dialog = *Open(ResultWriterState{});
    const struct {
        int id;
        int separator;
    } cases[] = {{1276, kSeparatorSpace},
                 {1277, kSeparatorComma},
                 {1278, kSeparatorTab},
                 {1281, kSeparatorSerial}};
    for (const auto& [id, separator] : cases) {
        Control<QRadioButton>(&dialog, id)->click();
        EXPECT_EQ(dialog.ReadState().m_nSeparator, separator) << id;
    }
    Control<QRadioButton>(&dialog, 1280)->click();
    Control<QCheckBox>(&dialog, 1336)->click();
    ResultWriterState state = dialog.ReadState();
    EXPECT_TRUE(state.m_b3D);
    EXPECT_FALSE(state.m_bComment);
    EXPECT_TRUE(state.m_bHeader);
    EXPECT_EQ(state.m_nLastFormat, 1);
    Control<QRadioButton>(&dialog, 1279)->click();
    Control<QCheckBox>(&dialog, 1337)->click();
    state = dialog.ReadState();
    EXPECT_FALSE(state.m_b3D);
    EXPECT_FALSE(state.m_bHeader);
}

TEST_F(ResultFileDialogTest, AcceptingAnswersWithThePathAndTheState) {
    CFileOutput& dialog = *Open(ResultWriterState{});
    ASSERT_TRUE(dialog.OpenFolder(QFolder("b")));
    EXPECT_FALSE(dialog.Answer());
    Control<QRadioButton>(&dialog, 1276)->click();
    dialog.accept();
    const std::optional<ResultFileAnswer> answer = dialog.Answer();
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->path, Folder("b") + "calc.dat");
    EXPECT_EQ(answer->state.m_nSeparator, kSeparatorSpace);
    EXPECT_EQ(m_history.Entries().front(), Folder("b"));
}

TEST_F(ResultFileDialogTest, ARefusedNameGivesNoAnswer) {
    m_confirmAnswer = false;
    CFileOutput& dialog = *Open(ResultWriterState{});
    dialog.accept();
    EXPECT_FALSE(dialog.Answer());
    EXPECT_EQ(m_confirmed.size(), 1u);
}

// --- the overwrite confirmation -------------------------------------------------

class OverwriteDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_root.isValid());
        QFile file(m_root.filePath("report.dat"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(1005, 'x'));
        file.close();
        const std::string folder = m_root.path().toStdString();
        const std::optional<FileStatus> status = QueryFileStatus(folder + "/report.dat");
        ASSERT_TRUE(status);
        const std::optional<OverwriteInfo> info = Fill("report.dat", folder, *status);
        ASSERT_TRUE(info);
        m_info = *info;
    }

    QTemporaryDir m_root;
    OverwriteInfo m_info;
};

TEST_F(OverwriteDialogTest, ShowsTheFilesParticulars) {
    COverwriteDlg dialog(m_info);
    EXPECT_EQ(dialog.windowTitle(), "すでに同名のファイルがあります！　どうします？");
    EXPECT_EQ(Control<QLineEdit>(&dialog, 1064)->text(), m_root.path() + u'/');
    EXPECT_EQ(Control<QLineEdit>(&dialog, 1074)->text(), "report.dat");
    EXPECT_EQ(Control<QLineEdit>(&dialog, 1066)->text(), "1,005 バイト");
    EXPECT_EQ(Control<QLineEdit>(&dialog, 1068)->text().toStdString(), m_info.m_strCreated);
    EXPECT_EQ(Control<QLineEdit>(&dialog, 1070)->text().toStdString(), m_info.m_strModified);
    EXPECT_EQ(Control<QLineEdit>(&dialog, 1069)->text().toStdString(), m_info.m_strAccessed);
    EXPECT_EQ(Control<QLineEdit>(&dialog, 1067)->text().toStdString(), m_info.m_strAttrib);
    EXPECT_FALSE(m_info.m_strModified.empty());
    for (const char* label :
         {"パス：", "ファイル：", "サイズ：", "作成日時：", "更新日時：", "アクセス：", "属性："}) {
        EXPECT_TRUE(Contains(&dialog, QString::fromUtf8(label))) << label;
    }
    EXPECT_TRUE(Control<QRadioButton>(&dialog, 1071)->isChecked());
    EXPECT_EQ(Control<QRadioButton>(&dialog, 1072)->text(), ".$--");
    EXPECT_EQ(Control<QPushButton>(&dialog, 2)->text(), "ｷｬﾝｾﾙ");
}

TEST_F(OverwriteDialogTest, EachButtonGivesItsAnswer) {
    const struct {
        int button;
        int radio;
        OverwriteAnswer answer;
        BackupChoice backup;
        int result;
    } cases[] = {
        {1, 1071, OverwriteAnswer::Overwrite, BackupChoice::Bak, QDialog::Accepted},
        {1065, 1072, OverwriteAnswer::Backup, BackupChoice::Dollar, QDialog::Accepted},
        {1065, 1073, OverwriteAnswer::Backup, BackupChoice::Hash, QDialog::Accepted},
        {2, 1073, OverwriteAnswer::Cancel, BackupChoice::Hash, QDialog::Rejected},
    };
    for (const auto& c : cases) {
        COverwriteDlg dialog(m_info);
        Control<QRadioButton>(&dialog, c.radio)->click();
        Control<QPushButton>(&dialog, c.button)->click();
        EXPECT_EQ(dialog.result(), c.result) << c.button;
        EXPECT_EQ(dialog.Decision().answer, c.answer) << c.button;
        EXPECT_EQ(dialog.Decision().backup, c.backup) << c.button;
    }
}

TEST_F(OverwriteDialogTest, ClosingTheWindowCancels) {
    COverwriteDlg dialog(m_info);
    Control<QRadioButton>(&dialog, 1072)->click();
    dialog.reject();
    EXPECT_EQ(dialog.Decision().answer, OverwriteAnswer::Cancel);
}

// --- the interface through the real dialogs -------------------------------------

using testing::OnNextModal;

void ClickBoxButton(QWidget* box, const QString& text) {
    for (QAbstractButton* button : box->findChildren<QAbstractButton*>()) {
        if (button->text().remove(u'&') == text) {
            button->click();
            return;
        }
    }
    ADD_FAILURE() << "no button " << text.toStdString();
}

TEST_F(FileDialogTest, TheInterfaceAnswersWithTheChosenPath) {
    DialogFileUi ui(nullptr);
    OnNextModal([this](QWidget* modal) {
        auto* dialog = qobject_cast<CFileDialogEx*>(modal);
        ASSERT_NE(dialog, nullptr);
        dialog->OpenFolder(QFolder("d"));
        NameEdit(*dialog)->setText("fit.dat");
        dialog->accept();
    });
    EXPECT_EQ(ui.AskFilePath(SaveRequest()), Folder("d") + "fit.dat");
    OnNextModal([](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); });
    EXPECT_FALSE(ui.AskFilePath(SaveRequest()));
}

TEST_F(OverwriteDialogTest, TheInterfaceAnswersWithTheDecision) {
    DialogFileUi ui(nullptr);
    OnNextModal([](QWidget* modal) {
        Control<QRadioButton>(modal, 1072)->click();
        Control<QPushButton>(modal, 1065)->click();
    });
    const OverwriteDecision decision = ui.AskOverwrite(m_info);
    EXPECT_EQ(decision.answer, OverwriteAnswer::Backup);
    EXPECT_EQ(decision.backup, BackupChoice::Dollar);
}

TEST(FileUiMessages, SaveChangesMapsEachButton) {
    DialogFileUi ui(nullptr);
    const struct {
        QString button;
        SaveChangesAnswer answer;
    } cases[] = {{"Yes", SaveChangesAnswer::Yes},
                 {"No", SaveChangesAnswer::No},
                 {"Cancel", SaveChangesAnswer::Cancel}};
    for (const auto& [button, answer] : cases) {
        OnNextModal([button](QWidget* box) {
            EXPECT_TRUE(Contains(box, "data.bol への変更を保存しますか?"));
            ClickBoxButton(box, button);
        });
        EXPECT_EQ(ui.AskSaveChanges("data.bol"), answer);
    }
}

TEST(FileUiMessages, YesNoQuestion) {
    DialogFileUi ui(nullptr);
    OnNextModal([](QWidget* box) { ClickBoxButton(box, "No"); });
    EXPECT_FALSE(ui.AskYesNo("保存しますか？"));
    OnNextModal([](QWidget* box) { ClickBoxButton(box, "Yes"); });
    EXPECT_TRUE(ui.AskYesNo("保存しますか？"));
}

// --- pictures for the documentation ---------------------------------------------

// The dialog with its history list dropped down; the list is a window of its
// own, painted where it lies, and the picture grows to hold both.
QPixmap GrabWithHistoryOpen(QWidget& dialog) {
    auto* combo = Control<QComboBox>(&dialog, 1061);
    combo->showPopup();
    QApplication::processEvents();
    QWidget* list = combo->view()->window();
    const QRect dialogRect(dialog.mapToGlobal(QPoint()), dialog.size());
    const QRect listRect(list->mapToGlobal(QPoint()), list->size());
    const QRect whole = dialogRect.united(listRect);
    QPixmap picture(whole.size());
    picture.fill(dialog.palette().color(QPalette::Window));
    QPainter painter(&picture);
    painter.drawPixmap(dialogRect.topLeft() - whole.topLeft(), dialog.grab());
    painter.drawPixmap(listRect.topLeft() - whole.topLeft(), list->grab());
    painter.end();
    combo->hidePopup();
    return picture;
}

TEST(FileDialogPictures, ScreenshotsOfTheFileDialogs) {
    const QString folder = qEnvironmentVariable("QUILLON_SCREENSHOT_DIR");
    if (folder.isEmpty()) {
        GTEST_SKIP() << "set QUILLON_SCREENSHOT_DIR to save pictures of the file dialogs";
    }
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    DirectoryHistory history(kDocumentHistoryName);
    for (const char* name : {"試料B/2024", "試料A", "結果", "測定データ"}) {
        const QString path = root.filePath(QString::fromUtf8(name));
        ASSERT_TRUE(QDir().mkpath(path));
        history.MoveToFront((path + u'/').toStdString());
    }
    const QString data = root.filePath(QStringLiteral("測定データ"));
    for (const char* name : {"calc.dat", "sample-a.bol", "sample-b.bol", "notes.txt"}) {
        QFile file(data + u'/' + QString::fromUtf8(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("// 試料 A (T=20)\r\n0.0\t0.12\r\n1.0\t2.09\r\n");
    }

    FileDialogRequest request;
    request.openMode = false;
    request.title = "保存するファイル名の指定";
    request.filter = "Quillon_L Files(*.bol)|*.bol|All Files(*.*)|*.*||";
    request.initialName = "sample-c.bol";
    request.okCaption = "保存";
    request.extensionFollowsType = true;
    request.history = &history;
    CFileDialogEx saveAs(request);
    saveAs.resize(760, 520);
    saveAs.show();
    QApplication::processEvents();
    EXPECT_TRUE(GrabWithHistoryOpen(saveAs).save(folder + "/file-dialog.png"));
    saveAs.hide();

    CFileOutput result(ResultWriterState{}, history, {});
    result.resize(760, 660);
    result.show();
    QApplication::processEvents();
    EXPECT_TRUE(result.grab().save(folder + "/result-file-dialog.png"));
    result.hide();

    const std::string dataFolder = (data + u'/').toStdString();
    const std::optional<FileStatus> status = QueryFileStatus(dataFolder + "calc.dat");
    ASSERT_TRUE(status);
    const std::optional<OverwriteInfo> info = Fill("calc.dat", dataFolder, *status);
    ASSERT_TRUE(info);
    COverwriteDlg overwrite(*info);
    overwrite.show();
    QApplication::processEvents();
    EXPECT_TRUE(overwrite.grab().save(folder + "/overwrite-dialog.png"));
}

}  // namespace
}  // namespace quillon::app
