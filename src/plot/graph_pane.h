// GraphPane: the graph with its controls — the set selector (all sets and
// one entry per fitted set), log axes, the 95 % bands, reset view and export. It draws only
// while it is active (its tab in front): a compute's graph waits until the
// pane is next shown.
#pragma once

#include <QWidget>
#include <functional>

#include "plot/plot_data.h"
#include "records/records.h"

class QCheckBox;
class QComboBox;
class QPushButton;

namespace quillon::plot {

class FitGraph;

class GraphPane : public QWidget {
    Q_OBJECT
  public:
    explicit GraphPane(QWidget* parent = nullptr);

    // Replaces what the pane shows with a compute's sets. The set picked
    // last is shown again when its number is still there, else all sets.
    void ShowRecord(const ComputeRecord& record, const PlotModel& model);
    // Forgets every set (before a compute, so nothing stale stays); the
    // picked set number is kept for the next record.
    void Clear();
    // Inactive, the pane keeps the record and draws it when made active.
    void SetActive(bool active);
    bool Active() const { return m_active; }

    QComboBox* SetSelector() const { return m_selector; }
    FitGraph* Graph() const { return m_graph; }
    QPushButton* ExportButton() const { return m_export; }
    QCheckBox* BandsBox() const { return m_bands; }
    // The set number shown, 0 for all sets.
    int SelectedSet() const;
    // What Export does; without one, a plain file dialog and the writer.
    void SetExporter(std::function<void(FitGraph& graph)> exporter) {
        m_exporter = std::move(exporter);
    }
    // Asks for a file name and writes the graph there.
    void ExportWithDialog();

  private:
    void FillSelector();
    void OnSelectionPicked();
    void ShowSelection();
    void ApplyAxisOptions();

    QComboBox* m_selector;
    QCheckBox* m_logX;
    QCheckBox* m_logY;
    QCheckBox* m_bands;  // draws the confidence (and prediction) bands
    QPushButton* m_reset;
    QPushButton* m_export;
    FitGraph* m_graph;
    ComputeRecord m_record;
    PlotModel m_model;
    int m_pickedSet = 0;  // the user's pick, kept across computes
    bool m_active = true;
    bool m_stale = false;  // the record changed while the pane was inactive
    std::function<void(FitGraph&)> m_exporter;
};

}  // namespace quillon::plot
