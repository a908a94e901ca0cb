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
namespace {

// The level of the bands the check box draws, in percent.
constexpr double kPaneBandLevel = 95.0;

}  // namespace

GraphPane::GraphPane(QWidget* parent)
    : QWidget(parent),
      m_selector(new QComboBox(this)),
      m_logX(new QCheckBox(QStringLiteral("対数 X"), this)),
      m_logY(new QCheckBox(QStringLiteral("対数 Y"), this)),
      m_bands(new QCheckBox(QStringLiteral("信頼帯"), this)),
      m_reset(new QPushButton(QStringLiteral("全体表示"), this)),
      m_export(new QPushButton(QStringLiteral("書き出し..."), this)),
      m_graph(new FitGraph(this)) {
    setObjectName("GraphPane");
    m_selector->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_selector->setMinimumContentsLength(16);
    m_selector->setMaxVisibleItems(24);
    m_logX->setToolTip(QStringLiteral("X 軸を対数目盛にする（X がすべて正のとき）"));
    m_logY->setToolTip(QStringLiteral("Y 軸を対数目盛にする（Y がすべて正のとき）"));
    m_bands->setToolTip(
        QStringLiteral("当てはめ曲線の 95% 信頼帯を描く（SD のないセットは予測帯も破線で）"));
    m_reset->setToolTip(
        QStringLiteral("データ全体の表示に戻す。拡大: 範囲をドラッグまたはホイール、移動: "
                       "中ボタン、縮小: 右クリック"));
    m_export->setToolTip(QStringLiteral("グラフを PNG、SVG または PDF に書き出す"));
    auto* controls = new QHBoxLayout;
    controls->addWidget(m_selector, 1);
    controls->addWidget(m_logX);
    controls->addWidget(m_logY);
    controls->addWidget(m_bands);
    controls->addWidget(m_reset);
    controls->addWidget(m_export);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(controls);
    layout->addWidget(m_graph, 1);
    Clear();

    connect(m_selector, &QComboBox::currentIndexChanged, this, &GraphPane::OnSelectionPicked);
    connect(m_logX, &QCheckBox::toggled, this, &GraphPane::ApplyAxisOptions);
    connect(m_logY, &QCheckBox::toggled, this, &GraphPane::ApplyAxisOptions);
    connect(m_bands, &QCheckBox::toggled, this, &GraphPane::ShowSelection);
    connect(m_reset, &QPushButton::clicked, m_graph, &FitGraph::ResetView);
    connect(m_export, &QPushButton::clicked, this, &GraphPane::ExportWithDialog);
}

void GraphPane::ShowRecord(const ComputeRecord& record, const PlotModel& model) {
    m_record = record;
    m_model = model;
    FillSelector();
    const int keep = m_selector->findData(m_pickedSet);
    {
        const QSignalBlocker block(m_selector);
        m_selector->setCurrentIndex(keep < 0 ? 0 : keep);
    }
    if (keep < 0) {
        m_pickedSet = 0;  // that set is gone: all sets from now on
    }
    ShowSelection();
}

void GraphPane::Clear() {
    m_record = {};
    FillSelector();
    // Empty charts cost nothing to draw, so even an inactive pane lets go of
    // the last drawing at once.
    m_graph->ShowSets({});
    m_stale = false;
    m_export->setEnabled(false);
}

void GraphPane::FillSelector() {
    const QSignalBlocker block(m_selector);
    m_selector->clear();
    m_selector->addItem(QStringLiteral("全データセット"), 0);
    for (const SetRecord& set : m_record.sets) {
        m_selector->addItem(
            QStringLiteral("%1: %2").arg(set.setNumber).arg(QString::fromStdString(SetTitle(set))),
            set.setNumber);
    }
    if (m_record.global) {
        m_selector->addItem(QString::fromUtf8(kGlobalFitTitle), kGlobalFitSelection);
    }
    m_selector->setCurrentIndex(0);
}

void GraphPane::SetActive(bool active) {
    m_active = active;
    if (m_active && m_stale) {
        ShowSelection();
    }
}

int GraphPane::SelectedSet() const {
    return m_selector->currentIndex() < 0 ? 0 : m_selector->currentData().toInt();
}

void GraphPane::OnSelectionPicked() {
    m_pickedSet = SelectedSet();
    ShowSelection();
}

void GraphPane::ShowSelection() {
    m_export->setEnabled(!m_record.sets.empty());
    if (!m_active) {
        m_stale = true;
        return;
    }
    m_stale = false;
    PlotModel model = m_model;
    model.bandLevel = m_bands->isChecked() ? kPaneBandLevel : 0.0;
    const int selected = SelectedSet();
    m_graph->ShowSets(SelectSets(m_record, model, selected), GraphTitle(selected));
}

void GraphPane::ApplyAxisOptions() {
    m_graph->SetAxisOptions({m_logX->isChecked(), m_logY->isChecked()});
}

void GraphPane::ExportWithDialog() {
    if (m_exporter) {
        m_exporter(*m_graph);
        return;
    }
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("グラフの書き出し"), QString(),
        QStringLiteral("PNG 画像 (*.png);;SVG 図 (*.svg);;PDF 文書 (*.pdf)"));
    if (path.isEmpty()) {
        return;
    }
    QString error;
    if (!ExportWidget(*m_graph, path, error)) {
        QMessageBox::warning(this, QStringLiteral("グラフの書き出し"), error);
    }
}

}  // namespace quillon::plot
