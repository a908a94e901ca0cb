// CFileDialogEx: every file dialog of the window, Qt's own (non-native) file
// dialog with a panel below it that shows the current folder and the folder
// history, the file-name check and the extension that follows the file type.
#pragma once

#include <QFileDialog>
#include <QSize>
#include <QStringList>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/file_ui.h"

class QComboBox;
class QFileSystemModel;
class QGridLayout;
class QLabel;
class QLineEdit;

namespace quillon::app {

// One file type of a "Name(*.a)|*.a|...||" filter: the text shown in the
// type box and the name patterns it lets through.
struct FileFilter {
    QString text;
    QStringList patterns;
};

// The types of a "Name(*.a;*.b)|*.a;*.b|...||" filter, in order. "*.*" lets
// every file through, also one without an extension.
std::vector<FileFilter> ParseFileFilter(std::string_view filter);

// The panel's label texts: the standard panel and the one of the result-file
// dialog.
enum class PanelTexts { Standard, ResultFile };

class CFileDialogEx : public QFileDialog {
    Q_OBJECT
  public:
    CFileDialogEx(const FileDialogRequest& request, QWidget* parent = nullptr,
                  PanelTexts texts = PanelTexts::Standard);

    // The size a file dialog opens at unless the settings remember another:
    // wide enough for the name, size, type and date columns.
    static constexpr QSize kDefaultSize{1040, 600};

    // The full path the user confirmed, once the dialog was accepted.
    const std::optional<std::string>& ChosenPath() const { return m_chosenPath; }

    // The file-name check run on every confirmation: the shown folder moves to
    // the front of the history (also when the name is refused), an empty
    // name or one in a missing folder is refused and in save mode the
    // request's confirm decides.
    bool CheckFileName();
    // The path the file-name box names, taken in the shown folder.
    QString TypedPath() const;
    // The shown folder with a trailing "/".
    QString ShownFolder() const;
    // The 1-based number of the selected file type.
    int SelectedFilterNumber() const;

    // "↓メモる": the folder of the path label goes to the front of the history.
    void NoteFolder();
    // " ↑選択 ": opens the folder typed in the history combo.
    void SelectTypedFolder();
    // Opens a folder of the history; false when there is no such folder.
    bool OpenFolder(const QString& folder);

    void accept() override;

  protected:
    // Runs after the user picked another file type (1-based number).
    virtual void OnTypeChanged(int filterNumber);
    // The panel's grid, for the rows a derived dialog adds.
    QGridLayout* PanelLayout() const { return m_panelLayout; }

  private:
    void BuildPanel(PanelTexts texts);
    void ShowDetailColumns();
    void ApplyRequest();
    void ConnectSignals();
    void FillHistoryCombo();
    void ShowFolderInPathLabel();
    void ApplyPatternsOfSelectedType();
    void RememberTypedName();
    void FollowType(int index);
    QLineEdit* FileNameEdit() const;

    FileDialogRequest m_request;
    std::vector<FileFilter> m_filters;
    std::optional<std::string> m_chosenPath;
    QString m_nameBeforeTypeChange;
    QFileSystemModel* m_model = nullptr;
    QComboBox* m_typeCombo = nullptr;
    QGridLayout* m_panelLayout = nullptr;
    QLabel* m_pathLabel = nullptr;
    QComboBox* m_historyCombo = nullptr;
};

}  // namespace quillon::app
