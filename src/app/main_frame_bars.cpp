// The main window's tool bars (commands, method; the model bar has a file of
// its own) and its client area: the data pane and, in tabs beside it, the
// answer pane and the graph.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QSplitter>
#include <QTabWidget>
#include <QToolBar>

#include "app/commands.h"
#include "app/document.h"
#include "app/main_frame.h"
#include "app/views.h"
#include "models/catalogue.h"
#include "plot/graph_pane.h"

namespace quillon::app {
namespace {

constexpr int kDataPaneWidth = 360;  // pixels

QString Q(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

void CMainFrame::CreateToolBar() {
    m_toolBar = addToolBar("Main");
    m_toolBar->setObjectName("128");
    for (int id : ToolBarCommands()) {
        if (id == 0) {
            m_toolBar->addSeparator();
        } else {
            m_toolBar->addAction(m_actions.at(id));
        }
    }
    m_toolBar->addAction(m_actions.at(kIdStop));
}

void CMainFrame::CreateMethodBar() {
    m_methodBar = addToolBar("Methods of least squares");
    m_methodBar->setObjectName("137");
    m_methodBar->addWidget(new QLabel(" Method: ", m_methodBar));
    m_methodCombo = new QComboBox(m_methodBar);
    m_methodCombo->setObjectName(QString::number(kIdMethodCombo));
    for (int id = 0; id < kMethodCount; ++id) {
        m_methodCombo->addItem(Q(MethodName(static_cast<FitMethod>(id))));
    }
    m_methodCombo->setCurrentIndex(static_cast<int>(m_doc->Settings().method));
    m_methodCombo->setStatusTip(Q(StatusPrompt(kIdMethodCombo)));
    m_methodCombo->setToolTip(Q(ToolTip(kIdMethodCombo)));
    m_methodBar->addWidget(m_methodCombo);
    m_fileCheck = new QCheckBox("File", m_methodBar);
    m_fileCheck->setObjectName(QString::number(kIdFileCheck));
    m_fileCheck->setStatusTip(Q(StatusPrompt(kIdFileCheck)));
    m_fileCheck->setToolTip(Q(ToolTip(kIdFileCheck)));
    m_methodBar->addWidget(m_fileCheck);
}

void CMainFrame::CreateClient() {
    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_query = new CQueryView(m_splitter);
    m_resultTabs = new QTabWidget(m_splitter);
    m_ans = new CAnsView(m_resultTabs);
    m_ans->SetColours(m_doc->Colours());
    m_graph = new plot::GraphPane(m_resultTabs);
    m_resultTabs->addTab(m_ans, QStringLiteral("結果"));
    m_resultTabs->addTab(m_graph, QStringLiteral("グラフ"));
    m_resultTabs->setDocumentMode(true);
    // The graph is drawn only while its tab is in front.
    m_graph->SetActive(false);
    connect(m_resultTabs, &QTabWidget::currentChanged, this,
            [this] { m_graph->SetActive(m_resultTabs->currentWidget() == m_graph); });
    m_splitter->addWidget(m_query);
    m_splitter->addWidget(m_resultTabs);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({kDataPaneWidth, 740});
    setCentralWidget(m_splitter);
    m_query->setFocus();
}

}  // namespace quillon::app
