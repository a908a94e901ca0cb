// The document's file commands: new, open, append, save, save as, close
// without saving, the save-changes question, and the result file of a
// compute. They ask the user through IFileUi and read and write through the
// engine's document and result-file functions.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "app/file_ui.h"
#include "app/recent_files.h"
#include "files/dir_history.h"
#include "files/overwrite.h"
#include "files/result_writer.h"
#include "files/safe_file.h"
#include "files/text_codec.h"
#include "records/host.h"

namespace quillon::app {

class CQueryView;

inline constexpr const char* kDocumentFilter =
    "Data files(*.txt;*.bol)|*.txt;*.bol|Data files(*.txt)|*.txt|Data  files(*.bol)|*.bol|All "
    "Files(*.*)|*.*||";
inline constexpr const char* kNewDocumentName = "新規.bol";
inline constexpr const char* kGraphFilter =
    "PNG 画像(*.png)|*.png|SVG 図(*.svg)|*.svg|PDF 文書(*.pdf)|*.pdf||";

// Renders the graph in the format a path's suffix names into bytes; false
// with the reason when it cannot.
using GraphRenderer =
    std::function<bool(const std::string& path, std::string& bytes, std::string& error)>;

// How the last load came about; the initial update acts on it.
enum class LoadMode { Open = 0, Append = 1, New = 2 };

// The document's file state.
struct DocumentFileState {
    std::string m_strPathName;   // the document's path
    std::string m_strSavedPath;  // the path to keep after a load
    // Whether the path names the document's own file (opened or saved);
    // a new document's path is only the default name in the current folder.
    bool hasOwnFile = false;
    bool m_bCloseNoSave = false;
    LoadMode loadMode = LoadMode::Open;
    TextEncoding encoding = TextEncoding::Utf8;  // the file's, for the save
    bool hadBom = false;
};

class FileCommands {
  public:
    FileCommands(CQueryView& view, IFileUi& ui, DirectoryHistory& documentHistory,
                 DirectoryHistory& resultHistory, RecentFiles& recent);

    void OnFileNew();
    void OnFileOpen();
    void OnAppend();
    bool OnFileSave();
    bool OnFileSaveAs();
    void OnCloseNoSave();
    // Opens a file as the document (command line, recent list, a drop),
    // after the save-changes question; a relative path is taken in the
    // current folder. A file that fails to open leaves the recent list.
    bool OpenPath(const std::string& path);
    // The save-changes question for a modified document; false: the user
    // cancelled (also in the Save As dialog of a document without a file of
    // its own) and the command must stop.
    bool MaybeSave();
    // After a compute with the File switch on: the result-file dialog and
    // the write, reported through host.
    void ExportResults(const ResultColumnList& columns, int modelId, IComputeHost& host);
    // The same with the model named by its display string (a formula's).
    void ExportResults(const ResultColumnList& columns, std::string_view modelDisplay,
                       IComputeHost& host);
    // The graph's Export: the save dialog with the result folders' history
    // and the overwrite question (with its backup), then the rendered bytes
    // written atomically. False when cancelled or not written (told).
    bool ExportGraph(const GraphRenderer& render);

    const DocumentFileState& State() const { return m_state; }
    std::string Title() const;
    bool IsModified() const;
    ResultWriterState& WriterState() { return m_writer; }

  private:
    void OnNewDocument();
    bool OpenDocument(const std::string& path);
    void InitialUpdate(std::string text);
    bool SaveTo(const std::string& path);
    bool ConfirmOverwrite(const std::string& fullPath);
    // The backup chosen in the overwrite question for path, to run as the
    // save's last step; empty when none was chosen for that path.
    BeforeReplace TakePendingBackup(const std::string& path);
    void SetModified(bool modified);

    CQueryView& m_view;
    IFileUi& m_ui;
    DirectoryHistory& m_documentHistory;
    DirectoryHistory& m_resultHistory;
    RecentFiles& m_recent;
    DocumentFileState m_state;
    std::string m_prevText;      // the pane's text before an append
    ResultWriterState m_writer;  // the result writer's choices, for the window's life
    struct PendingBackup {
        std::string path;
        OverwriteInfo info;
        BackupChoice choice;
    };
    std::optional<PendingBackup> m_pendingBackup;
};

}  // namespace quillon::app
