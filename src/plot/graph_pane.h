// GraphPane: the graph with its controls — the set selector ("All sets" and
// one entry per fitted set), log axes, reset view and export.
#pragma once

#include <QWidget>

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

    // Replaces what the pane shows with a compute's sets. The selection is
    // kept when the same set number is still there, else all sets are shown.
    void ShowRecord(const ComputeRecord& record, const PlotModel& model);
    // Forgets every set (before a compute, so nothing stale stays).
    void Clear();

    QComboBox* SetSelector() const { return m_selector; }
    FitGraph* Graph() const { return m_graph; }
    QPushButton* ExportButton() const { return m_export; }
    // The set number shown, 0 for all sets.
    int SelectedSet() const;
    // Asks for a file name and writes the graph there.
    void ExportWithDialog();

  private:
    void ShowSelection();
    void ApplyAxisOptions();

    QComboBox* m_selector;
    QCheckBox* m_logX;
    QCheckBox* m_logY;
    QPushButton* m_reset;
    QPushButton* m_export;
    FitGraph* m_graph;
    ComputeRecord m_record;
    PlotModel m_model;
};

}  // namespace quillon::plot
