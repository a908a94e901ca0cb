// What the document's file commands ask the user, as one interface: the
// window answers with its dialogs, the tests with prepared answers.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "files/dir_history.h"
#include "files/overwrite.h"
#include "files/result_writer.h"

namespace quillon::app {

// How the user answered the overwrite confirmation of an existing file.
enum class OverwriteAnswer { Overwrite, Backup, Cancel };

struct OverwriteDecision {
    OverwriteAnswer answer = OverwriteAnswer::Cancel;
    BackupChoice backup = BackupChoice::Bak;
};

// Runs when the user confirms a name in a save dialog: the overwrite check of
// an existing file (with its backup). False keeps the dialog open.
using ConfirmPath = std::function<bool(const std::string& fullPath)>;

// One file dialog: its mode, title, filter, initial name and the folder
// history it reads and updates in place.
struct FileDialogRequest {
    bool openMode = true;
    std::string title;
    std::string filter;       // "Name(*.a;*.b)|*.a;*.b|...||"
    int selectedFilter = 1;   // 1-based, as the filters are numbered
    std::string initialName;  // may be empty
    std::string okCaption;    // empty: the toolkit's own
    bool extensionFollowsType = false;
    DirectoryHistory* history = nullptr;
    ConfirmPath confirm;  // save mode only
};

// The answer of a save dialog for result files: the path and the writer's
// choices taken from the dialog's controls.
struct ResultFileAnswer {
    std::string path;
    ResultWriterState state;
};

enum class SaveChangesAnswer { Yes, No, Cancel };

class IFileUi {
  public:
    virtual ~IFileUi() = default;
    // A file dialog; the full path chosen, or nothing on Cancel. Every
    // confirmation attempt moves the current folder to the front of the
    // history; in save mode request.confirm decides whether the name is
    // taken.
    virtual std::optional<std::string> AskFilePath(const FileDialogRequest& request) = 0;
    // The result-file dialog, starting from the writer's state; confirm as
    // in a save dialog.
    virtual std::optional<ResultFileAnswer> AskResultFile(const ResultWriterState& state,
                                                          DirectoryHistory& history,
                                                          const ConfirmPath& confirm) = 0;
    // The overwrite confirmation for a filled-in existing file.
    virtual OverwriteDecision AskOverwrite(const OverwriteInfo& info) = 0;
    // "%1 への変更を保存しますか?" for the document's title.
    virtual SaveChangesAnswer AskSaveChanges(const std::string& title) = 0;
    virtual bool AskYesNo(const std::string& text) = 0;
    virtual void Inform(const std::string& text) = 0;  // OK only, with a beep where asked
    virtual void Warn(const std::string& text) = 0;
    virtual void Beep() = 0;
};

}  // namespace quillon::app
