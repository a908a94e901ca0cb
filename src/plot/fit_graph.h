// FitGraph: the data, the fitted curves and, under them, the weighted
// residuals of one set or of all sets, drawn with Qt Charts, with the
// legend in a column beside them. The two charts share the X range: zooming
// one moves the other.
#pragma once

#include <QLineF>
#include <QWidget>
#include <vector>

#include "plot/plot_data.h"

class QChart;
class QChartView;
class QGraphicsObject;

namespace quillon::plot {

class ErrorBarsItem;
class GraphLegend;

struct AxisOptions {
    bool logX = false;
    bool logY = false;
};

class FitGraph : public QWidget {
    Q_OBJECT
  public:
    // With more sets than this, their points are drawn as one thinned cloud
    // and only the curves of the first this many sets: a graph of a
    // thousand sets then draws as fast as one of a few.
    static constexpr std::size_t kMaxSetsApart = 24;

    explicit FitGraph(QWidget* parent = nullptr);

    // Replaces everything drawn with these sets, under title; an empty title
    // is the set's own for one set, the all-sets title for several.
    void ShowSets(const std::vector<SetPlotData>& sets, const QString& title = {});
    void SetAxisOptions(const AxisOptions& options);
    const AxisOptions& Options() const { return m_options; }
    // Back to the full range of the data after zooming or panning.
    void ResetView();

    QChart* MainChart() const;
    QChart* ResidualChart() const;
    GraphLegend* Legend() const { return m_legend; }
    // True when the axes asked for as logarithmic could be made so (every
    // value on them is positive).
    bool LogXShown() const { return m_logXShown; }
    bool LogYShown() const { return m_logYShown; }
    // The SD bars drawn, in data coordinates, of every set shown.
    std::vector<QLineF> ErrorBars() const;

  private:
    void FreshCharts();
    void Rebuild();
    bool DrawsCloud() const { return m_sets.size() > kMaxSetsApart; }
    void AddCloud();
    // A painted cloud on the chart, mapped through an empty series.
    void AddPointsItem(QChart& chart, QList<QPointF> points, const QColor& colour, double size);
    void AddSetPoints(const SetPlotData& set);
    void AddSetCurves(const SetPlotData& set);
    void ShowLegend();
    void AttachAxes();
    void SyncResidualX();

    QChartView* m_mainView;
    QChartView* m_residualView;
    GraphLegend* m_legend;
    std::vector<SetPlotData> m_sets;
    QString m_title;  // the title given with the sets; empty for the usual one
    std::vector<ErrorBarsItem*> m_errorBars;  // owned by the current main chart
    // Every item drawn over a chart (bars, clouds), repainted on zoom.
    std::vector<std::pair<QChart*, QGraphicsObject*>> m_overlays;
    AxisOptions m_options;
    bool m_logXShown = false;
    bool m_logYShown = false;
};

}  // namespace quillon::plot
