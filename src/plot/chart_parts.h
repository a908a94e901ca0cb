// The pieces the graph builds its charts from: the zoomable chart view, the
// SD bars item, the axis extents and the axes themselves.
#pragma once

#include <QChartView>
#include <QGraphicsObject>
#include <QLineF>
#include <QList>
#include <QPointF>
#include <cmath>
#include <functional>
#include <limits>
#include <vector>

class QAbstractAxis;
class QAbstractSeries;
class QChart;

namespace quillon::plot {

// Rubber-band zoom (left drag), zoom out (right click), wheel zoom and pan
// with the middle button.
class ChartView : public QChartView {
  public:
    explicit ChartView(QChart* chart, QWidget* parent);

  protected:
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    QPointF m_panFrom;
    bool m_panning = false;
};

// The SD bars of one set's points, drawn as one item over the plot area:
// Qt Charts has no error-bar series, and a line series per bar makes a set
// of thousands of points unbearably slow. Positions come from the chart's
// own mapping through the data series, so zoom, pan and log axes apply.
class ErrorBarsItem : public QGraphicsObject {
  public:
    ErrorBarsItem(QChart* chart, QAbstractSeries* series, std::vector<QLineF> bars, QColor colour);

    const std::vector<QLineF>& Bars() const { return m_bars; }
    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) override;

  private:
    QChart* m_chart;
    QAbstractSeries* m_series;
    std::vector<QLineF> m_bars;  // in data coordinates: (x, y - SD) to (x, y + SD)
    QColor m_colour;
};

// Many points drawn as one item, small dots of one colour: a scatter series
// makes a graphics item per marker, far too slow for the cloud of a
// thousand sets. Mapped through the anchor series like the SD bars.
class PointsItem : public QGraphicsObject {
  public:
    PointsItem(QChart* chart, QAbstractSeries* anchor, QList<QPointF> points, QColor colour,
               double size);

    qsizetype Count() const { return m_points.size(); }
    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) override;

  private:
    QChart* m_chart;
    QAbstractSeries* m_anchor;
    QList<QPointF> m_points;  // in data coordinates
    QColor m_colour;
    double m_size;
};

// Running minimum and maximum of the values an axis must show.
struct Extent {
    double lo = std::numeric_limits<double>::infinity();
    double hi = -std::numeric_limits<double>::infinity();

    void Add(double v) {
        if (std::isfinite(v)) {
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
    }
    bool Empty() const { return lo > hi; }
    bool Positive() const { return !Empty() && lo > 0.0; }
};

// The Y range: the data with their bars, widened for the curves by at most
// twice the data's span (two decades on a log axis), so that a curve that
// runs away at the ends does not squash the data into a line.
Extent CombineYExtents(const Extent& data, const Extent& curves, bool log);

// A linear axis padded by 5 % each side, or a logarithmic one padded by a
// quarter of a decade.
QAbstractAxis* MakeAxis(const Extent& extent, bool log, const QString& title, int ticks = 6);

// Calls f with the new range whenever the axis range changes.
void OnRangeChanged(QAbstractAxis* axis, QObject* context, std::function<void(qreal, qreal)> f);

QAbstractAxis* XAxisOf(const QChart& chart);

// The chosen points as one list, so the series takes them in one step
// instead of one change signal per point.
QList<QPointF> PointList(const std::vector<double>& x, const std::vector<double>& y,
                         const std::vector<std::size_t>& indices);

}  // namespace quillon::plot
