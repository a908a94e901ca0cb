// DialogFileUi: the document's file questions answered by the window's
// dialogs and message boxes.
#pragma once

#include "app/file_ui.h"

class QWidget;

namespace quillon::app {

class DialogFileUi : public IFileUi {
  public:
    // The dialogs and message boxes open over parent.
    explicit DialogFileUi(QWidget* parent) : m_parent(parent) {}
    // The window the dialogs open over, once it exists.
    void SetParent(QWidget* parent) { m_parent = parent; }

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
    QWidget* m_parent;
};

}  // namespace quillon::app
