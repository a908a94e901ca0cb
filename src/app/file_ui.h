// What the document's file commands ask the user, as one interface: the
// window answers with its dialogs, the tests with prepared answers.
#pragma once

#include <optional>
#include <string>

#include "doc/dir_history.h"
#include "doc/overwrite.h"
#include "doc/result_writer.h"

namespace quillon::app {

// How the user answered the overwrite confirmation of an existing file.
enum class OverwriteAnswer { Overwrite, Backup, Cancel };

struct OverwriteDecision {
    OverwriteAnswer answer = OverwriteAnswer::Cancel;
    BackupChoice backup = BackupChoice::Bak;
};

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
    // A file dialog; the full path chosen, or nothing on Cancel. In save
    // mode an existing file has already been confirmed (and backed up when
    // asked) through AskOverwrite.
    virtual std::optional<std::string> AskFilePath(const FileDialogRequest& request) = 0;
    // The result-file dialog, starting from the writer's state.
    virtual std::optional<ResultFileAnswer> AskResultFile(const ResultWriterState& state,
                                                          DirectoryHistory& history) = 0;
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
