#include "plot/graph_pane.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "plot/fit_graph.h"
#include "plot/graph_export.h"

namespace quillon::plot {

GraphPane::GraphPane(QWidget* parent)
    : QWidget(parent),
      m_selector(new QComboBox(this)),
      m_logX(new QCheckBox(tr("Log X"), this)),
      m_logY(new QCheckBox(tr("Log Y"), this)),
      m_reset(new QPushButton(tr("Reset view"), this)),
      m_export(new QPushButton(tr("Export..."), this)),
      m_graph(new FitGraph(this)) {
    setObjectName("GraphPane");
    m_selector->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_selector->setMinimumContentsLength(16);
    m_reset->setToolTip(tr("Zoom: drag a rectangle or turn the wheel; pan: middle button"));
    auto* controls = new QHBoxLayout;
    controls->addWidget(m_selector, 1);
    controls->addWidget(m_logX);
    controls->addWidget(m_logY);
    controls->addWidget(m_reset);
    controls->addWidget(m_export);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(controls);
    layout->addWidget(m_graph, 1);
    Clear();

    connect(m_selector, &QComboBox::currentIndexChanged, this, &GraphPane::ShowSelection);
    connect(m_logX, &QCheckBox::toggled, this, &GraphPane::ApplyAxisOptions);
    connect(m_logY, &QCheckBox::toggled, this, &GraphPane::ApplyAxisOptions);
    connect(m_reset, &QPushButton::clicked, m_graph, &FitGraph::ResetView);
    connect(m_export, &QPushButton::clicked, this, &GraphPane::ExportWithDialog);
}

void GraphPane::ShowRecord(const ComputeRecord& record, const PlotModel& model) {
    const int previous = SelectedSet();
    m_record = record;
    m_model = model;
    const QSignalBlocker block(m_selector);
    m_selector->clear();
    m_selector->addItem(tr("All sets"), 0);
    for (const SetRecord& set : m_record.sets) {
        m_selector->addItem(
            QStringLiteral("%1: %2").arg(set.setNumber).arg(QString::fromStdString(SetTitle(set))),
            set.setNumber);
    }
    const int keep = m_selector->findData(previous);
    m_selector->setCurrentIndex(keep < 0 ? 0 : keep);
    ShowSelection();
}

void GraphPane::Clear() {
    ShowRecord({}, m_model);
}

int GraphPane::SelectedSet() const {
    return m_selector->currentIndex() < 0 ? 0 : m_selector->currentData().toInt();
}

void GraphPane::ShowSelection() {
    m_graph->ShowSets(SelectSets(m_record, m_model, SelectedSet()));
    m_export->setEnabled(!m_record.sets.empty());
}

void GraphPane::ApplyAxisOptions() {
    m_graph->SetAxisOptions({m_logX->isChecked(), m_logY->isChecked()});
}

void GraphPane::ExportWithDialog() {
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Export Graph"), QString(),
        tr("PNG image (*.png);;SVG drawing (*.svg);;PDF document (*.pdf)"));
    if (path.isEmpty()) {
        return;
    }
    QString error;
    if (!ExportWidget(*m_graph, path, error)) {
        QMessageBox::warning(this, tr("Export Graph"), error);
    }
}

}  // namespace quillon::plot
