// The document's file commands driven with prepared answers instead of
// dialogs: a fake of the file questions and a window that asks it.
#pragma once

#include <QSettings>
#include <QTemporaryDir>
#include <deque>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/file_commands.h"
#include "app/file_ui.h"
#include "app/main_frame.h"
#include "app/views.h"

namespace quillon::app::testing {

class FakeFileUi : public IFileUi {
  public:
    std::optional<std::string> AskFilePath(const FileDialogRequest& request) override {
        requests.push_back(request);
        if (paths.empty()) {
            return std::nullopt;
        }
        std::optional<std::string> path = paths.front();
        paths.pop_front();
        if (path && !request.openMode && request.confirm && !request.confirm(*path)) {
            return std::nullopt;  // the dialog stayed open and was then cancelled
        }
        return path;
    }
    std::optional<ResultFileAnswer> AskResultFile(const ResultWriterState& state, DirectoryHistory&,
                                                  const ConfirmPath& confirm) override {
        if (resultPaths.empty()) {
            return std::nullopt;
        }
        ResultFileAnswer answer{resultPaths.front(), state};
        resultPaths.pop_front();
        if (!confirm(answer.path)) {
            return std::nullopt;
        }
        return answer;
    }
    OverwriteDecision AskOverwrite(const OverwriteInfo& info) override {
        overwriteShown.push_back(info);
        OverwriteDecision d = overwrite.empty() ? OverwriteDecision{} : overwrite.front();
        if (!overwrite.empty()) {
            overwrite.pop_front();
        }
        return d;
    }
    SaveChangesAnswer AskSaveChanges(const std::string& title) override {
        saveChangesAsked.push_back(title);
        SaveChangesAnswer a = saveChanges.empty() ? SaveChangesAnswer::Cancel : saveChanges.front();
        if (!saveChanges.empty()) {
            saveChanges.pop_front();
        }
        return a;
    }
    bool AskYesNo(const std::string& text) override {
        questions.push_back(text);
        const bool a = !yesNo.empty() && yesNo.front();
        if (!yesNo.empty()) {
            yesNo.pop_front();
        }
        return a;
    }
    void Inform(const std::string& text) override { informed.push_back(text); }
    void Warn(const std::string& text) override { warned.push_back(text); }
    void Beep() override { ++beeps; }

    std::deque<std::optional<std::string>> paths;
    std::deque<std::string> resultPaths;
    std::deque<OverwriteDecision> overwrite;
    std::deque<SaveChangesAnswer> saveChanges;
    std::deque<bool> yesNo;
    std::vector<FileDialogRequest> requests;
    std::vector<OverwriteInfo> overwriteShown;
    std::vector<std::string> saveChangesAsked, questions, informed, warned;
    int beeps = 0;
};

inline std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// A window with prepared answers and its own settings file.
struct Window {
    QTemporaryDir dir;
    FakeFileUi ui;
    std::unique_ptr<QSettings> settings;
    std::unique_ptr<CMainFrame> frame;

    Window() {
        settings = std::make_unique<QSettings>(dir.filePath("settings.ini"), QSettings::IniFormat);
        frame = std::make_unique<CMainFrame>(&ui, settings.get());
    }
    std::string Path(const std::string& name) const {
        return dir.filePath(name.c_str()).toStdString();
    }
    FileCommands& Files() { return *frame->Files(); }
    std::string Text() { return frame->QueryView().toPlainText().toStdString(); }
    void Type(const std::string& text) {
        frame->QueryView().setPlainText(QString::fromStdString(text));
        frame->QueryView().document()->setModified(true);
    }
    void Open(const std::string& path) {
        ui.paths.push_back(path);
        Files().OnFileOpen();
    }
};

}  // namespace quillon::app::testing
