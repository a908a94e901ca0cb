// CMainFrame: the main window with its menus, tool bar, model and method
// bars, status bar and the two panes in a splitter.
#pragma once

#include <QMainWindow>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "app/recent_files.h"
#include "files/dir_history.h"
#include "records/records.h"

class QAction;
class QMenu;
class QSettings;
class QCheckBox;
class QComboBox;
class QLabel;
class QSplitter;
class QTabWidget;
class QToolBar;

namespace quillon::plot {
class GraphPane;
}

namespace quillon::app {

class CQuillon_LDoc;
class CQueryView;
class CAnsView;
class FileCommands;
class FormulaEntry;
class IFileUi;

class CMainFrame : public QMainWindow {
    Q_OBJECT
  public:
    // ui answers the file commands' questions (without one they are not
    // offered); settings keep the folder histories and the recent files
    // (without them the user's settings).
    explicit CMainFrame(IFileUi* ui = nullptr, QSettings* settings = nullptr,
                        QWidget* parent = nullptr);
    ~CMainFrame() override;

    CQuillon_LDoc& Document() { return *m_doc; }
    CQueryView& QueryView() { return *m_query; }
    CAnsView& AnsView() { return *m_ans; }
    // The graph, in a tab beside the answer pane; redrawn after every compute.
    plot::GraphPane& Graph() { return *m_graph; }
    QTabWidget* ResultTabs() const { return m_resultTabs; }
    QAction* Action(int id) const;
    QComboBox* ModelCombo() const { return m_modelCombo; }
    QComboBox* MethodCombo() const { return m_methodCombo; }
    // The formula entry beside the model bar; a formula in it is fitted
    // instead of the model bar's choice.
    FormulaEntry* Formula() const { return m_formulaEntry; }
    QCheckBox* FileCheck() const { return m_fileCheck; }
    // The checkable Settings-menu item that switches the statistics block on.
    QAction* StatisticsAction() const { return m_statisticsAction; }
    FileCommands* Files() const { return m_files.get(); }
    DirectoryHistory& DocumentHistory() { return m_documentHistory; }
    DirectoryHistory& ResultHistory() { return m_resultHistory; }
    RecentFiles& Recent() { return m_recent; }
    // The settings the window keeps its state in.
    QSettings& Settings() { return *m_settings; }

    // Writes both folder histories and the recent files to the settings.
    void SaveHistories();
    void UpdateTitle();

    // The command handlers, public so they can be driven directly.
    // Starts the compute; on its own thread unless SetComputeOnWorker(false).
    void OnCompute();
    void OnStop();
    void OnModelSelected(int index);
    void OnMethodSelected(int index);
    void OnFileToggled(bool checked);
    void OnConvergenceSettings();
    void OnWebPage();
    void OnAbout();
    void UpdateComputeEnabled();

    // Whether a compute runs on its own thread (the default) or on the
    // user-interface thread, blocking the window until it ends.
    void SetComputeOnWorker(bool onWorker) { m_computeOnWorker = onWorker; }
    bool Computing() const;
    // Runs the event loop until the running compute has ended.
    void WaitForCompute();
    // The status-bar field showing "set k of N" while a compute runs.
    QLabel* ProgressLabel() const { return m_progress; }

  signals:
    // A compute has ended and the window is ready for commands again.
    void computeEnded();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void ConnectFileCommands();
    void FillRecentMenu();
    void CreateActions();
    void CreateMenus();
    // One checkable switch of the Settings menu: its text, object name,
    // status tip, settings key and what it sets.
    struct SettingToggle {
        const char* text;
        const char* objectName;
        const char* tip;
        const char* key;
        std::function<void(FitSettings&, bool)> apply;
    };
    QAction* CreateSettingToggle(QMenu& menu, const SettingToggle& toggle);
    void CreateStatisticsToggle(QMenu& settingsMenu);
    void CreateToolBar();
    void CreateModelBar();
    void CreateMethodBar();
    void CreateClient();
    void ConnectCommands();
    void ConnectEditCommands();
    void Print();
    void PrintPreview();
    void PrinterSetup();
    void Find(bool askForText);
    void Replace();
    QWidget* FocusedPane() const;
    void CreateStopAction();
    void LockForCompute();
    void UnlockAfterCompute();
    void OnComputeProgress(int setIndex, int setCount);
    void OnComputeFinished();
    void ShowComputedGraph();
    // The bars' widgets that a running compute disables.
    std::vector<QWidget*> ModelAndMethodWidgets() const;

    CQuillon_LDoc* m_doc;
    CQueryView* m_query = nullptr;
    CAnsView* m_ans = nullptr;
    QTabWidget* m_resultTabs = nullptr;
    plot::GraphPane* m_graph = nullptr;
    QSplitter* m_splitter = nullptr;
    QToolBar* m_toolBar = nullptr;
    QToolBar* m_modelBar = nullptr;
    QToolBar* m_methodBar = nullptr;
    QComboBox* m_modelCombo = nullptr;
    QComboBox* m_methodCombo = nullptr;
    FormulaEntry* m_formulaEntry = nullptr;
    QCheckBox* m_fileCheck = nullptr;
    QAction* m_statisticsAction = nullptr;
    QAction* m_searchStartsAction = nullptr;
    QAction* m_preciseAction = nullptr;
    std::map<int, QAction*> m_actions;
    QString m_findText;
    std::unique_ptr<QSettings> m_ownedSettings;
    QSettings* m_settings;
    DirectoryHistory m_documentHistory{kDocumentHistoryName};
    DirectoryHistory m_resultHistory{kResultHistoryName};
    RecentFiles m_recent;
    std::unique_ptr<FileCommands> m_files;
    QMenu* m_fileMenu = nullptr;
    std::vector<QAction*> m_recentActions;
    QLabel* m_progress = nullptr;
    bool m_computeOnWorker = true;
    bool m_closeAfterCompute = false;
    std::map<QAction*, bool> m_enabledBeforeCompute;
};

}  // namespace quillon::app
