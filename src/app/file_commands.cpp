#include "app/file_commands.h"

#include <filesystem>
#include <utility>

#include "app/views.h"
#include "files/document_text.h"
#include "files/overwrite.h"
#include "files/read_file.h"
#include "models/catalogue.h"
#include "records/number_format.h"

namespace quillon::app {
namespace {

namespace fs = std::filesystem;

std::string FileNamePart(const std::string& path) {
    return fs::path(path).filename().string();
}

std::string FolderPart(const std::string& path) {
    return fs::path(path).parent_path().string();
}

std::string CurrentFolder() {
    std::error_code ec;
    const fs::path cwd = fs::current_path(ec);
    return ec ? std::string("/") : WithTrailingSlash(cwd.string());
}

// The absolute form of path, taken in the current folder, without "."
// steps. ".." steps stay: folding them by name could pass a symbolic link
// and name another file than the one the system opens.
std::string AbsolutePath(const std::string& path) {
    std::error_code ec;
    const fs::path absolute = path.empty() ? fs::path() : fs::absolute(path, ec);
    if (absolute.empty() || ec) {
        return path;
    }
    fs::path result;
    for (const fs::path& step : absolute) {
        if (!step.empty() && step != ".") {
            result /= step;
        }
    }
    return result.string();
}

}  // namespace

FileCommands::FileCommands(CQueryView& view, IFileUi& ui, DirectoryHistory& documentHistory,
                           DirectoryHistory& resultHistory, RecentFiles& recent)
    : m_view(view),
      m_ui(ui),
      m_documentHistory(documentHistory),
      m_resultHistory(resultHistory),
      m_recent(recent) {}

std::string FileCommands::Title() const {
    return m_state.m_strPathName.empty() ? std::string() : FileNamePart(m_state.m_strPathName);
}

bool FileCommands::IsModified() const {
    return m_view.document()->isModified();
}

void FileCommands::SetModified(bool modified) {
    m_view.document()->setModified(modified);
}

bool FileCommands::MaybeSave() {
    if (m_state.m_bCloseNoSave || !IsModified()) {
        return true;
    }
    switch (m_ui.AskSaveChanges(Title())) {
        case SaveChangesAnswer::Yes:
            // Never write the default name unasked: a new document gets its
            // name, overwrite question and backup in the Save As dialog.
            if (!m_state.hasOwnFile) {
                return OnFileSaveAs();
            }
            return SaveTo(m_state.m_strPathName);
        case SaveChangesAnswer::No:
            return true;
        case SaveChangesAnswer::Cancel:
            break;
    }
    return false;
}

void FileCommands::OnFileNew() {
    if (!MaybeSave()) {
        return;
    }
    OnNewDocument();
}

void FileCommands::OnNewDocument() {
    m_state.m_strPathName = CurrentFolder() + kNewDocumentName;
    m_state.m_strSavedPath = m_state.m_strPathName;
    m_state.hasOwnFile = false;
    m_state.loadMode = LoadMode::New;
    m_state.encoding = TextEncoding::Utf8;
    m_state.hadBom = false;
    InitialUpdate({});
}

void FileCommands::OnFileOpen() {
    m_state.loadMode = LoadMode::Open;
    FileDialogRequest request;
    request.openMode = true;
    request.title = "ファイル読み込み(Point file)";
    request.filter = kDocumentFilter;
    request.history = &m_documentHistory;
    if (const auto path = m_ui.AskFilePath(request)) {
        OpenPath(*path);
    }
}

bool FileCommands::OpenPath(const std::string& path) {
    if (!MaybeSave()) {
        return false;
    }
    m_state.loadMode = LoadMode::Open;
    // Relative paths (the command line's) are resolved here, once: the
    // save, its overwrite question and backup and the recent list all need
    // the file's folder.
    const std::string absolute = AbsolutePath(path);
    if (OpenDocument(absolute)) {
        return true;
    }
    // A file that no longer opens is not offered again, in either spelling;
    // the settings keep the list as it is when the window closes.
    m_recent.Remove(path);
    m_recent.Remove(absolute);
    return false;
}

void FileCommands::OnAppend() {
    const DocumentFileState before = m_state;
    m_state.m_strSavedPath = m_state.m_strPathName;
    m_state.loadMode = LoadMode::Append;
    m_prevText = m_view.toPlainText().toStdString();
    FileDialogRequest request;
    request.openMode = true;
    request.title = "追加読み込み(Point data only)";
    request.filter = kDocumentFilter;
    request.history = &m_documentHistory;
    const auto path = m_ui.AskFilePath(request);
    if (!path || !OpenDocument(*path)) {
        m_state = before;  // nothing was appended
    }
}

bool FileCommands::OpenDocument(const std::string& path) {
    const FileReadResult read = ReadFileBytes(path);
    if (!read.ok) {
        m_ui.Warn(std::string(kDocumentOpenFailedMessage) + "\n" + path + ": " + read.reason);
        return false;
    }
    const DocumentText loaded = LoadDocumentText(read.bytes);
    if (loaded.binary) {
        m_ui.Warn(std::string(kDocumentOpenFailedMessage) + "\n" + path +
                  ": バイナリファイルです (binary data, not a text file)");
        return false;
    }
    if (m_state.loadMode == LoadMode::Open) {
        m_state.m_strPathName = path;
        m_recent.Add(path);
        m_state.m_strSavedPath = path;
        m_state.hasOwnFile = true;
        m_state.encoding = loaded.encoding;
        m_state.hadBom = loaded.hadBom;
    }
    InitialUpdate(loaded.text);
    return true;
}

void FileCommands::InitialUpdate(std::string text) {
    const LoadMode mode = m_state.loadMode;
    if (mode != LoadMode::New) {
        // The platform's reset clears the path; the saved one comes back.
        m_state.m_strPathName = m_state.m_strSavedPath;
    }
    bool modified = IsModified();
    if (mode == LoadMode::Append) {
        text = AppendDocumentText(m_prevText, text);
        modified = modified || text != m_prevText;
    }
    m_view.setPlainText(QString::fromStdString(text));
    if (mode == LoadMode::Open) {
        modified = false;
    } else if (mode == LoadMode::New) {
        modified = false;
    }
    SetModified(modified);
    m_state.loadMode = LoadMode::Open;
}

BeforeReplace FileCommands::TakePendingBackup(const std::string& path) {
    std::optional<PendingBackup> pending = std::exchange(m_pendingBackup, std::nullopt);
    if (!pending || pending->path != path) {
        return {};
    }
    return BackupWhenReplacing(std::move(pending->info), pending->choice);
}

bool FileCommands::SaveTo(const std::string& path) {
    const SaveTextOutcome outcome =
        SaveText(path, m_view.toPlainText().toStdString(), m_state.encoding, m_state.hadBom,
                 SystemFileCalls(), TakePendingBackup(path));
    if (!outcome.ok) {
        m_ui.Warn(outcome.message);
        return false;
    }
    SetModified(false);
    m_state.m_strPathName = path;
    m_state.hasOwnFile = true;
    m_recent.Add(path);
    return true;
}

bool FileCommands::ConfirmOverwrite(const std::string& fullPath) {
    m_pendingBackup.reset();
    const std::optional<FileStatus> status = QueryFileStatus(fullPath);
    if (!status) {
        return true;  // nothing there to overwrite
    }
    const std::optional<OverwriteInfo> info =
        Fill(FileNamePart(fullPath), FolderPart(fullPath), *status);
    if (!info) {
        m_ui.Warn(std::string(kUnsuitableTargetMessage));
        return false;
    }
    const OverwriteDecision decision = m_ui.AskOverwrite(*info);
    FileActionResult result;
    switch (decision.answer) {
        case OverwriteAnswer::Cancel:
            return false;
        case OverwriteAnswer::Backup:
            // The move itself waits until the new file is complete, so a
            // failed write leaves the old file under its own name.
            if (BackupNameIsUnsuitable(*info, decision.backup)) {
                result.status = FileActionStatus::Unsuitable;
            } else {
                m_pendingBackup = PendingBackup{fullPath, *info, decision.backup};
            }
            break;
        case OverwriteAnswer::Overwrite:
            result = PrepareOverwrite(*info);
            break;
    }
    if (result.status == FileActionStatus::Unsuitable) {
        m_ui.Warn(std::string(kUnsuitableTargetMessage));
        return false;
    }
    if (result.status == FileActionStatus::Failed) {
        m_ui.Warn(info->m_strFullPath + ": " + result.reason);
        return false;
    }
    return true;
}

bool FileCommands::OnFileSave() {
    const std::string& path = m_state.m_strPathName;
    if (!IsModified()) {
        m_ui.Beep();
        m_ui.Inform(Sprintf("このファイル\n%s\nはまだ更新されていません。\n", path));
        return false;
    }
    std::error_code ec;
    if (path.empty() || !fs::exists(path, ec)) {
        m_ui.Beep();
        m_ui.Inform(
            Sprintf("このファイル\n%s\nはまだ存在しません。\nメニューの [ファイル] -> "
                    "[名前を付けて保存] を実行してください。",
                    path));
        return false;
    }
    if (!ConfirmOverwrite(path)) {
        return false;
    }
    return SaveTo(path);
}

bool FileCommands::OnFileSaveAs() {
    if (!IsModified()) {
        m_ui.Beep();
        if (!m_ui.AskYesNo("このファイルはまだ更新されていません。\nそれでも、保存しますか？")) {
            return false;
        }
        SetModified(true);
    }
    FileDialogRequest request;
    request.openMode = false;
    request.title = "保存するファイル名の指定";
    request.filter = kDocumentFilter;
    request.initialName = Title();
    request.okCaption = "保存";
    request.extensionFollowsType = true;
    request.history = &m_documentHistory;
    request.confirm = [this](const std::string& fullPath) { return ConfirmOverwrite(fullPath); };
    const auto path = m_ui.AskFilePath(request);
    if (!path) {
        return false;
    }
    return SaveTo(*path);
}

void FileCommands::OnCloseNoSave() {
    m_state.m_bCloseNoSave = true;
    OnFileNew();
    m_state.m_bCloseNoSave = false;
}

void FileCommands::ExportResults(const ResultColumnList& columns, int modelId, IComputeHost& host) {
    ExportResults(columns, ModelDisplayString(modelId), host);
}

void FileCommands::ExportResults(const ResultColumnList& columns, std::string_view modelDisplay,
                                 IComputeHost& host) {
    const auto answer = m_ui.AskResultFile(
        m_writer, m_resultHistory,
        [this](const std::string& fullPath) { return ConfirmOverwrite(fullPath); });
    if (!answer) {
        return;
    }
    m_writer = answer->state;
    ResultWriteOptions options;
    options.beforeReplace = TakePendingBackup(answer->path);
    WriteResultFile(answer->path, FileExtension(answer->path), columns, modelDisplay, m_writer,
                    host, options);
}

bool FileCommands::ExportGraph(const GraphRenderer& render) {
    FileDialogRequest request;
    request.openMode = false;
    request.title = "グラフの書き出し";
    request.filter = kGraphFilter;
    request.initialName = "graph.png";
    request.okCaption = "保存(&S)";
    request.extensionFollowsType = true;
    request.history = &m_resultHistory;
    request.confirm = [this](const std::string& fullPath) { return ConfirmOverwrite(fullPath); };
    const auto path = m_ui.AskFilePath(request);
    if (!path) {
        return false;
    }
    std::string bytes, error;
    if (!render(*path, bytes, error)) {
        m_pendingBackup.reset();
        m_ui.Warn(error);
        return false;
    }
    const FileWriteResult written =
        SaveFileAtomically(*path, bytes, TakePendingBackup(*path), SystemFileCalls());
    if (!written.ok) {
        m_ui.Warn(*path + ": " + written.reason);
    }
    return written.ok;
}

}  // namespace quillon::app
