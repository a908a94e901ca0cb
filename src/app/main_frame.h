// CMainFrame: the main window with its menus, tool bar, model and method
// bars, status bar and the two panes in a splitter.
#pragma once

#include <QMainWindow>
#include <map>

class QAction;
class QCheckBox;
class QComboBox;
class QSplitter;
class QToolBar;

namespace quillon::app {

class CQuillon_LDoc;
class CQueryView;
class CAnsView;

class CMainFrame : public QMainWindow {
    Q_OBJECT
  public:
    explicit CMainFrame(QWidget* parent = nullptr);

    CQuillon_LDoc& Document() { return *m_doc; }
    CQueryView& QueryView() { return *m_query; }
    CAnsView& AnsView() { return *m_ans; }
    QAction* Action(int id) const;
    QComboBox* ModelCombo() const { return m_modelCombo; }
    QComboBox* MethodCombo() const { return m_methodCombo; }
    QCheckBox* FileCheck() const { return m_fileCheck; }

    // The command handlers, public so they can be driven directly.
    void OnCompute();
    void OnModelSelected(int index);
    void OnMethodSelected(int index);
    void OnFileToggled(bool checked);
    void OnConvergenceSettings();
    void OnWebPage();
    void OnAbout();
    void UpdateComputeEnabled();

  private:
    void CreateActions();
    void CreateMenus();
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

    CQuillon_LDoc* m_doc;
    CQueryView* m_query = nullptr;
    CAnsView* m_ans = nullptr;
    QSplitter* m_splitter = nullptr;
    QToolBar* m_toolBar = nullptr;
    QToolBar* m_modelBar = nullptr;
    QToolBar* m_methodBar = nullptr;
    QComboBox* m_modelCombo = nullptr;
    QComboBox* m_methodCombo = nullptr;
    QCheckBox* m_fileCheck = nullptr;
    std::map<int, QAction*> m_actions;
    QString m_findText;
};

}  // namespace quillon::app
