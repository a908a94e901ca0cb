// DialogFileUi: the document's file questions answered by the window's
// dialogs and message boxes.
#pragma once

#include "app/file_ui.h"

class QDialog;
class QSettings;
class QString;
class QWidget;

namespace quillon::app {

class DialogFileUi : public IFileUi {
  public:
    // The dialogs and message boxes open over parent.
    explicit DialogFileUi(QWidget* parent) : m_parent(parent) {}
    // The window the dialogs open over, once it exists.
    void SetParent(QWidget* parent) { m_parent = parent; }
    // Where the file dialogs' sizes are kept from one opening (and run) to
    // the next; without settings they open at their default sizes.
    void SetSettings(QSettings* settings) { m_settings = settings; }

    std::optional<std::string> AskFilePath(const FileDialogRequest& request) override;
    std::optional<ResultFileAnswer> AskResultFile(const ResultWriterState& state,
                                                  DirectoryHistory& history,
                                                  const ConfirmPath& confirm) override;
    OverwriteDecision AskOverwrite(const OverwriteInfo& info) override;
    SaveChangesAnswer AskSaveChanges(const std::string& title) override;
    bool AskYesNo(const std::string& text) override;
    void Inform(const std::string& text) override;
    void Warn(const std::string& text) override;
    void Beep() override;

  private:
    // Runs the dialog at the size last kept under key and keeps its size.
    int ExecSized(QDialog& dialog, const QString& key);

    QWidget* m_parent;
    QSettings* m_settings = nullptr;
};

}  // namespace quillon::app
