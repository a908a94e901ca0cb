#include "app/main_frame.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFormLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTextDocument>
#include <QToolBar>
#include <QUrl>
#include <algorithm>
#include <iterator>

#include <QCloseEvent>
#include <QGuiApplication>
#include <QSessionManager>
#include <QSettings>

#include "app/commands.h"
#include "app/dialogs.h"
#include "app/document.h"
#include "app/file_commands.h"
#include "app/formula_entry.h"
#include "app/settings_store.h"
#include "app/views.h"
#include "models/catalogue.h"
#include "models/formula_model.h"
#include "models/model_registry.h"
#include "plot/fit_graph.h"
#include "plot/graph_export.h"
#include "plot/graph_pane.h"

namespace quillon::app {
namespace {

// Commands that neither change the document or the settings nor start a
// compute: they stay offered while a compute runs.
constexpr int kCommandsDuringCompute[] = {
    kIdCopy,  kIdSelectAll,    kIdFind,       kIdFindNext, kIdToolBar, kIdStatusBar,
    kIdPrint, kIdPrintPreview, kIdPrintSetup, kIdWebPage,  kIdAbout,   kIdExit,
};

bool OfferedDuringCompute(int id) {
    return std::find(std::begin(kCommandsDuringCompute), std::end(kCommandsDuringCompute), id) !=
           std::end(kCommandsDuringCompute);
}

QString Q(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QList<QKeySequence> Shortcuts(std::string_view text) {
    QList<QKeySequence> keys;
    for (const QString& part : Q(text).split("; ", Qt::SkipEmptyParts)) {
        keys.append(QKeySequence(part));
    }
    return keys;
}

// Icons for the tool bar from the style's standard set.
QIcon ToolIcon(int id, const QStyle* style) {
    switch (id) {
        case kIdNew:
            return style->standardIcon(QStyle::SP_FileIcon);
        case kIdOpen:
            return style->standardIcon(QStyle::SP_DialogOpenButton);
        case kIdSave:
            return style->standardIcon(QStyle::SP_DialogSaveButton);
        case kIdCut:
            return QIcon::fromTheme("edit-cut");
        case kIdCopy:
            return QIcon::fromTheme("edit-copy");
        case kIdPaste:
            return QIcon::fromTheme("edit-paste");
        case kIdUndo:
            return style->standardIcon(QStyle::SP_ArrowBack);
        case kIdPrint:
            return QIcon::fromTheme("document-print");
        case kIdAbout:
            return style->standardIcon(QStyle::SP_MessageBoxQuestion);
        default:
            return {};
    }
}

// The graph in the format its path's suffix names, as bytes.
bool RenderGraph(plot::FitGraph& graph, const std::string& path, std::string& bytes,
                 std::string& error) {
    const auto format = plot::FormatOfPath(QString::fromStdString(path));
    QByteArray data;
    if (!format || !plot::RenderWidget(graph, *format, data)) {
        error = path + (format ? ": the graph could not be drawn"
                               : ": the graph is written as .png, .svg or .pdf");
        return false;
    }
    bytes.assign(data.constData(), static_cast<std::size_t>(data.size()));
    return true;
}

}  // namespace

CMainFrame::CMainFrame(IFileUi* ui, QSettings* settings, QWidget* parent)
    : QMainWindow(parent), m_doc(new CQuillon_LDoc(this)) {
    setObjectName("CMainFrame");
    if (settings == nullptr) {
        m_ownedSettings = std::make_unique<QSettings>(kOrganisation, kApplication);
        settings = m_ownedSettings.get();
    }
    m_settings = settings;
    {
        QSettingsStore histories(*m_settings, kHistorySection);
        m_documentHistory.Load(histories);
        m_resultHistory.Load(histories);
        m_recent.Load(QSettingsStore(*m_settings, kRecentSection));
    }
    setWindowTitle("Quillon_L");
    CreateActions();
    CreateMenus();
    CreateToolBar();
    CreateMethodBar();
    CreateModelBar();
    statusBar()->showMessage("レディ");
    m_progress = new QLabel(statusBar());
    m_progress->setObjectName("progress");
    // Permanent, so status prompts of menu items do not hide it.
    statusBar()->addPermanentWidget(m_progress);
    m_progress->hide();
    CreateClient();
    ConnectCommands();
    if (ui != nullptr) {
        m_files = std::make_unique<FileCommands>(*m_query, *ui, m_documentHistory, m_resultHistory,
                                                 m_recent);
        ConnectFileCommands();
        m_files->OnFileNew();
    }
    m_doc->ShowHowToUse();
    UpdateComputeEnabled();
    UpdateTitle();
    // At the end of the user's session the histories are kept as on close.
    connect(qApp, &QGuiApplication::commitDataRequest, this,
            [this](QSessionManager&) { SaveHistories(); });
    resize(1100, 700);
}

CMainFrame::~CMainFrame() {
    if (Computing()) {
        // The document stops the compute and waits for it as it goes.
        QApplication::restoreOverrideCursor();
    }
}

void CMainFrame::SaveHistories() {
    QSettingsStore histories(*m_settings, kHistorySection);
    m_documentHistory.Save(histories);
    m_resultHistory.Save(histories);
    QSettingsStore recent(*m_settings, kRecentSection);
    m_recent.Save(recent);
    m_settings->sync();
}

void CMainFrame::UpdateTitle() {
    const std::string title = m_files ? m_files->Title() : std::string();
    // "*" ahead of the name while the document has unsaved changes.
    const QString mark = m_files && m_files->IsModified() ? QStringLiteral("*") : QString();
    setWindowTitle(title.empty() ? QString("Quillon_L")
                                 : mark + QString::fromStdString(title) + " - Quillon_L");
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (Computing()) {
        // The compute stops after its current set; the window closes then,
        // asking about unsaved changes as always.
        m_closeAfterCompute = true;
        OnStop();
        event->ignore();
        return;
    }
    if (m_files && !m_files->MaybeSave()) {
        event->ignore();
        return;
    }
    SaveHistories();
    event->accept();
}

void CMainFrame::ConnectFileCommands() {
    auto command = [this](int id, auto member) {
        QAction* action = m_actions.at(id);
        action->setEnabled(true);
        connect(action, &QAction::triggered, this, [this, member] {
            ((*m_files).*member)();
            UpdateTitle();
        });
    };
    command(kIdNew, &FileCommands::OnFileNew);
    command(kIdOpen, &FileCommands::OnFileOpen);
    command(kIdAppend, &FileCommands::OnAppend);
    command(kIdSave, &FileCommands::OnFileSave);
    command(kIdSaveAs, &FileCommands::OnFileSaveAs);
    command(kIdCloseNoSave, &FileCommands::OnCloseNoSave);
    connect(m_query, &CQueryView::fileDropped, this, [this](const QString& path) {
        if (Computing()) {
            return;  // the document stays as the compute read it
        }
        m_files->OpenPath(path.toStdString());
        UpdateTitle();
    });
    m_doc->SetExporter([this](const ResultColumnList& columns, const FitSettings& settings,
                              IComputeHost& host) {
        m_files->ExportResults(columns, ModelDisplayText(settings.modelId, settings.formula), host);
    });
    m_graph->SetExporter([this](plot::FitGraph& graph) {
        m_files->ExportGraph(
            [&graph](const std::string& path, std::string& bytes, std::string& error) {
                return RenderGraph(graph, path, bytes, error);
            });
    });
    connect(m_query->document(), &QTextDocument::modificationChanged, this,
            &CMainFrame::UpdateTitle);
    connect(m_fileMenu, &QMenu::aboutToShow, this, &CMainFrame::FillRecentMenu);
    FillRecentMenu();
}

void CMainFrame::FillRecentMenu() {
    for (QAction* action : m_recentActions) {
        m_fileMenu->removeAction(action);
        action->deleteLater();
    }
    m_recentActions.clear();
    QAction* placeholder = m_actions.at(kIdRecentFiles);
    const auto& paths = m_recent.Paths();
    placeholder->setVisible(paths.empty());
    int number = 1;
    for (const std::string& path : paths) {
        auto* action = new QAction(QString("&%1 %2").arg(number).arg(QString::fromStdString(path)),
                                   m_fileMenu);
        action->setObjectName(QString::number(kIdRecentFiles + number - 1));
        action->setEnabled(!Computing());
        connect(action, &QAction::triggered, this, [this, path] {
            m_files->OpenPath(path);
            UpdateTitle();
        });
        m_fileMenu->insertAction(placeholder, action);
        m_recentActions.push_back(action);
        ++number;
    }
}

QAction* CMainFrame::Action(int id) const {
    const auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second;
}

void CMainFrame::CreateActions() {
    for (const MenuCommand& command : MenuCommands()) {
        if (command.id == 0) {
            continue;
        }
        auto* action = new QAction(Q(command.text), this);
        action->setObjectName(QString::number(command.id));
        action->setShortcuts(Shortcuts(command.shortcuts));
        action->setStatusTip(Q(StatusPrompt(command.id)));
        action->setIcon(ToolIcon(command.id, style()));
        // Tool buttons without an icon show the name alone, without the
        // mnemonic and accelerator text.
        const QString text = Q(command.text);
        action->setIconText(text.left(text.indexOf('(')).trimmed());
        m_actions[command.id] = action;
    }
    auto* compute = new QAction("[>>]", this);
    compute->setObjectName(QString::number(kIdCompute));
    compute->setStatusTip(Q(StatusPrompt(kIdCompute)));
    compute->setToolTip(Q(ToolTip(kIdCompute)));
    m_actions[kIdCompute] = compute;
    for (int id : {kIdHowToUse, kIdAppend, kIdConvergence, kIdWebPage, kIdCloseNoSave}) {
        m_actions[id]->setToolTip(Q(ToolTip(id)));
    }
    CreateStopAction();
    // Next and previous pane.
    auto* nextPane = new QAction(this);
    nextPane->setShortcuts({QKeySequence("F6"), QKeySequence("Shift+F6")});
    connect(nextPane, &QAction::triggered, this,
            [this] { (m_query->hasFocus() ? static_cast<QWidget*>(m_ans) : m_query)->setFocus(); });
    addAction(nextPane);
}

// Stop: offered only while a compute runs, on the tool bar and by Esc (also
// with the tool bar hidden).
void CMainFrame::CreateStopAction() {
    auto* stop = new QAction(style()->standardIcon(QStyle::SP_BrowserStop), "中止", this);
    stop->setObjectName(QString::number(kIdStop));
    stop->setShortcut(QKeySequence(Qt::Key_Escape));
    stop->setStatusTip("実行中の計算を、いま計算中のデータセットの後で中止する。");
    stop->setToolTip("Stop (Esc)");
    stop->setEnabled(false);
    connect(stop, &QAction::triggered, this, &CMainFrame::OnStop);
    addAction(stop);
    m_actions[kIdStop] = stop;
}

void CMainFrame::CreateMenus() {
    const auto titles = MenuTitles();
    std::vector<QMenu*> menus;
    for (std::string_view title : titles) {
        menus.push_back(menuBar()->addMenu(Q(title)));
    }
    m_fileMenu = menus.front();
    for (const MenuCommand& command : MenuCommands()) {
        QMenu* menu = menus[static_cast<std::size_t>(command.menu)];
        if (command.id == 0) {
            menu->addSeparator();
        } else {
            menu->addAction(m_actions.at(command.id));
        }
    }
    CreateStatisticsToggle(*menus.at(3));
}

// A checkable item of the Settings menu for one switch of the fit
// settings, kept in the per-user settings from one run to the next.
QAction* CMainFrame::CreateSettingToggle(QMenu& menu, const SettingToggle& toggle) {
    QAction* action = menu.addAction(QString::fromUtf8(toggle.text));
    action->setObjectName(toggle.objectName);
    action->setStatusTip(QString::fromUtf8(toggle.tip));
    action->setCheckable(true);
    const bool stored = m_settings->value(toggle.key, false).toBool();
    toggle.apply(m_doc->Settings(), stored);
    action->setChecked(stored);
    connect(action, &QAction::toggled, this, [this, toggle](bool checked) {
        toggle.apply(m_doc->Settings(), checked);
        m_settings->setValue(toggle.key, checked);
    });
    return action;
}

void CMainFrame::CreateStatisticsToggle(QMenu& settingsMenu) {
    m_statisticsAction = CreateSettingToggle(
        settingsMenu, {"統計量を表示(&T)", "Statistics",
                       "パラメータの後に相関行列、95% 信頼区間、R²、AIC、BIC を表示する。",
                       kStatisticsSetting, [](FitSettings& s, bool on) { s.statistics = on; }});
    // Either remedy also flags the fits that look wrong.
    auto flag = [](FitSettings& s) { s.flagSuspect = s.searchStarts || s.convergence.precise; };
    m_searchStartsAction = CreateSettingToggle(
        settingsMenu,
        {"初期値を探索(&I)", "SearchStarts",
         "計算の前によりよい初期値を探索する（正弦波は周期を走査）。疑わしい結果に注記する。",
         kSearchStartsSetting, [flag](FitSettings& s, bool on) {
             s.searchStarts = on;
             flag(s);
         }});
    m_preciseAction = CreateSettingToggle(
        settingsMenu,
        {"精密な勾配(&G)", "Precise",
         "ヤコビアンを中心差分で求め、勾配をそこから計算する。疑わしい結果に注記する。",
         kPreciseSetting, [flag](FitSettings& s, bool on) {
             s.convergence.precise = on;
             flag(s);
         }});
}

void CMainFrame::ConnectCommands() {
    connect(m_doc, &CQuillon_LDoc::answer, this, [this](int hint, const QString& text) {
        m_ans->OnAnswer(static_cast<AnswerHint>(hint), text.toStdString());
    });
    connect(m_doc, &CQuillon_LDoc::answers, m_ans, &CAnsView::OnAnswers);
    connect(m_actions.at(kIdCompute), &QAction::triggered, this, &CMainFrame::OnCompute);
    connect(m_doc, &CQuillon_LDoc::computeProgress, this, &CMainFrame::OnComputeProgress);
    connect(m_doc, &CQuillon_LDoc::computeFinished, this, &CMainFrame::OnComputeFinished);
    connect(m_query, &QPlainTextEdit::blockCountChanged, this, &CMainFrame::UpdateComputeEnabled);
    connect(m_modelCombo, &QComboBox::activated, this, &CMainFrame::OnModelSelected);
    connect(m_methodCombo, &QComboBox::activated, this, &CMainFrame::OnMethodSelected);
    connect(m_fileCheck, &QCheckBox::clicked, this, &CMainFrame::OnFileToggled);
    connect(m_actions.at(kIdHowToUse), &QAction::triggered, m_doc, &CQuillon_LDoc::ShowHowToUse);
    connect(m_actions.at(kIdHelpTopics), &QAction::triggered, m_doc, &CQuillon_LDoc::ShowHowToUse);
    connect(m_actions.at(kIdConvergence), &QAction::triggered, this,
            &CMainFrame::OnConvergenceSettings);
    connect(m_actions.at(kIdWebPage), &QAction::triggered, this, &CMainFrame::OnWebPage);
    connect(m_actions.at(kIdAbout), &QAction::triggered, this, &CMainFrame::OnAbout);
    connect(m_actions.at(kIdExit), &QAction::triggered, this, &QWidget::close);
    connect(m_actions.at(kIdPrint), &QAction::triggered, this, &CMainFrame::Print);
    connect(m_actions.at(kIdPrintPreview), &QAction::triggered, this, &CMainFrame::PrintPreview);
    connect(m_actions.at(kIdPrintSetup), &QAction::triggered, this, &CMainFrame::PrinterSetup);

    QAction* toolBarToggle = m_actions.at(kIdToolBar);
    toolBarToggle->setCheckable(true);
    toolBarToggle->setChecked(true);
    connect(toolBarToggle, &QAction::toggled, m_toolBar, &QWidget::setVisible);
    QAction* statusToggle = m_actions.at(kIdStatusBar);
    statusToggle->setCheckable(true);
    statusToggle->setChecked(true);
    connect(statusToggle, &QAction::toggled, statusBar(), &QWidget::setVisible);

    // The document's file commands come with the file dialogs; until then
    // they are shown but not offered.
    for (int id :
         {kIdNew, kIdOpen, kIdSave, kIdSaveAs, kIdAppend, kIdCloseNoSave, kIdRecentFiles}) {
        m_actions.at(id)->setEnabled(false);
    }
    ConnectEditCommands();
}

void CMainFrame::UpdateComputeEnabled() {
    m_actions.at(kIdCompute)->setEnabled(!Computing() && CanCompute(m_query->LineCount()));
}

bool CMainFrame::Computing() const {
    return m_doc->Computing();
}

void CMainFrame::OnCompute() {
    if (Computing() || !CanCompute(m_query->LineCount())) {
        return;
    }
    if (!m_formulaEntry->ApplyTo(m_doc->Settings(), this)) {
        return;  // a formula that does not compile: nothing is computed
    }
    m_graph->Clear();  // nothing of the last compute stays while this one runs
    if (!m_computeOnWorker) {
        m_doc->ComputeParameters(m_query->Lines(), this);
        ShowComputedGraph();
        return;
    }
    LockForCompute();
    m_doc->StartCompute(m_query->Lines(), this);
}

void CMainFrame::OnStop() {
    if (!Computing()) {
        return;
    }
    m_doc->StopCompute();
    m_actions.at(kIdStop)->setEnabled(false);
    m_progress->setText("中止しています…");
}

void CMainFrame::WaitForCompute() {
    if (!Computing()) {
        return;
    }
    QEventLoop loop;
    connect(this, &CMainFrame::computeEnded, &loop, &QEventLoop::quit);
    loop.exec();
}

// While a compute runs, nothing may change the document or the settings or
// start another compute; the data pane stays readable but not editable.
void CMainFrame::LockForCompute() {
    m_enabledBeforeCompute.clear();
    for (const auto& [id, action] : m_actions) {
        if (id != kIdStop && !OfferedDuringCompute(id)) {
            m_enabledBeforeCompute[action] = action->isEnabled();
            action->setEnabled(false);
        }
    }
    std::vector<QAction*> others(m_recentActions.begin(), m_recentActions.end());
    others.insert(others.end(), {m_statisticsAction, m_searchStartsAction, m_preciseAction});
    for (QAction* action : others) {
        m_enabledBeforeCompute[action] = action->isEnabled();
        action->setEnabled(false);
    }
    for (QWidget* widget : ModelAndMethodWidgets()) {
        widget->setEnabled(false);
    }
    m_query->setReadOnly(true);
    m_query->setAcceptDrops(false);
    m_actions.at(kIdStop)->setEnabled(true);
    m_progress->setText("計算中…");
    m_progress->show();
    QApplication::setOverrideCursor(Qt::BusyCursor);
}

void CMainFrame::UnlockAfterCompute() {
    QApplication::restoreOverrideCursor();
    m_progress->hide();
    m_progress->clear();
    m_actions.at(kIdStop)->setEnabled(false);
    m_query->setReadOnly(false);
    m_query->setAcceptDrops(true);
    for (QWidget* widget : ModelAndMethodWidgets()) {
        widget->setEnabled(true);
    }
    for (const auto& [action, enabled] : m_enabledBeforeCompute) {
        action->setEnabled(enabled);
    }
    m_enabledBeforeCompute.clear();
    UpdateComputeEnabled();
}

void CMainFrame::OnComputeProgress(int setIndex, int setCount) {
    if (m_actions.at(kIdStop)->isEnabled()) {
        m_progress->setText(QString("計算中: データセット %1 / %2").arg(setIndex).arg(setCount));
    }
}

void CMainFrame::OnComputeFinished() {
    UnlockAfterCompute();
    ShowComputedGraph();
    emit computeEnded();
    if (m_closeAfterCompute) {
        m_closeAfterCompute = false;
        close();
    }
}

void CMainFrame::ShowComputedGraph() {
    const FitSettings& settings = m_doc->Settings();
    m_graph->ShowRecord(m_doc->LastRecord(),
                        {settings.modelId, settings.fixedCDegrees, settings.formula});
}

void CMainFrame::OnMethodSelected(int index) {
    m_doc->Settings().method = static_cast<FitMethod>(index);
}

void CMainFrame::OnFileToggled(bool checked) {
    OutputSettings& output = m_doc->Settings().output;
    if (!checked) {
        output.enabled = false;
        return;
    }
    output.enabled = true;
    COutputSettingsDlg dialog(output, m_doc->Settings().method, m_query->LineCount(), this);
    if (dialog.exec() != QDialog::Accepted) {
        return;  // Cancel: the File box stays checked
    }
    output = dialog.Settings();
    m_fileCheck->setChecked(output.enabled);
    if (dialog.RunRequested()) {
        OnCompute();
    }
}

void CMainFrame::OnConvergenceSettings() {
    CConvergenceDlg dialog(m_doc->Settings().convergence, this);
    if (dialog.exec() == QDialog::Accepted) {
        // The precise gradient is a switch of the Settings menu, not of the dialog.
        const bool precise = m_doc->Settings().convergence.precise;
        m_doc->Settings().convergence = dialog.Values();
        m_doc->Settings().convergence.precise = precise;
    }
}

void CMainFrame::OnWebPage() {
    if (!QDesktopServices::openUrl(QUrl(Q(kWebPageAddress)))) {
        QApplication::beep();
        QMessageBox::information(this, windowTitle(), "インターネットに接続してください。\n");
    }
}

void CMainFrame::OnAbout() {
    CAboutDlg dialog(this);
    dialog.exec();
}

}  // namespace quillon::app
