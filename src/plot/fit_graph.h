// FitGraph: the data, the fitted curves and, under them, the weighted
// residuals of one set or of all sets, drawn with Qt Charts. The two charts
// share the X range: zooming one moves the other.
#pragma once

#include <QLineF>
#include <QWidget>
#include <vector>

#include "plot/plot_data.h"

class QChart;
class QChartView;
class QLineSeries;
class QScatterSeries;

namespace quillon::plot {

class ErrorBarsItem;

struct AxisOptions {
    bool logX = false;
    bool logY = false;
};

class FitGraph : public QWidget {
    Q_OBJECT
  public:
    explicit FitGraph(QWidget* parent = nullptr);

    // Replaces everything drawn with these sets.
    void ShowSets(const std::vector<SetPlotData>& sets);
    void SetAxisOptions(const AxisOptions& options);
    const AxisOptions& Options() const { return m_options; }
    // Back to the full range of the data after zooming or panning.
    void ResetView();

    QChart* MainChart() const;
    QChart* ResidualChart() const;
    // True when the axes asked for as logarithmic could be made so (every
    // value on them is positive).
    bool LogXShown() const { return m_logXShown; }
    bool LogYShown() const { return m_logYShown; }
    // The SD bars drawn, in data coordinates, of every set shown.
    std::vector<QLineF> ErrorBars() const;

  private:
    void FreshCharts();
    void Rebuild();
    void AddSet(const SetPlotData& set, bool prefixLegend, int colourIndex);
    void AttachAxes();
    void SyncResidualX();

    QChartView* m_mainView;
    QChartView* m_residualView;
    std::vector<SetPlotData> m_sets;
    std::vector<ErrorBarsItem*> m_errorBars;  // owned by the current main chart
    AxisOptions m_options;
    bool m_logXShown = false;
    bool m_logYShown = false;
};

}  // namespace quillon::plot
