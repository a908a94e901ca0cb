#include "plot/chart_parts.h"

#include <QChart>
#include <QLogValueAxis>
#include <QMouseEvent>
#include <QPainter>
#include <QValueAxis>
#include <QWheelEvent>
#include <algorithm>

namespace quillon::plot {
namespace {

// The tick spacing, 1, 2 or 5 times a power of ten, that puts about
// `ticks` ticks on a span.
double RoundTickInterval(double span, int ticks) {
    if (!(span > 0.0) || !std::isfinite(span)) {
        return 1.0;
    }
    const double raw = span / ticks;
    const double decade = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double step : {1.0, 2.0, 5.0}) {
        if (raw <= step * decade * 1.5) {
            return step * decade;
        }
    }
    return 10.0 * decade;
}

}  // namespace

ChartView::ChartView(QChart* chart, QWidget* parent) : QChartView(chart, parent) {
    setRenderHint(QPainter::Antialiasing);
    setRubberBand(QChartView::RectangleRubberBand);
}

void ChartView::wheelEvent(QWheelEvent* event) {
    chart()->zoom(event->angleDelta().y() > 0 ? 1.25 : 0.8);
    event->accept();
}

void ChartView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::MiddleButton) {
        m_panFrom = event->position();
        m_panning = true;
        event->accept();
        return;
    }
    QChartView::mousePressEvent(event);
}

void ChartView::mouseMoveEvent(QMouseEvent* event) {
    if (m_panning) {
        const QPointF delta = event->position() - m_panFrom;
        chart()->scroll(-delta.x(), delta.y());
        m_panFrom = event->position();
        event->accept();
        return;
    }
    QChartView::mouseMoveEvent(event);
}

void ChartView::mouseReleaseEvent(QMouseEvent* event) {
    if (m_panning && event->button() == Qt::MiddleButton) {
        m_panning = false;
        event->accept();
        return;
    }
    QChartView::mouseReleaseEvent(event);
}

ErrorBarsItem::ErrorBarsItem(QChart* chart, QAbstractSeries* series, std::vector<QLineF> bars,
                             QColor colour)
    : QGraphicsObject(chart),
      m_chart(chart),
      m_series(series),
      m_bars(std::move(bars)),
      m_colour(std::move(colour)) {
    // Above the grid and axes, under the series' markers (Qt Charts
    // stacks grid, axes and series at z 2, 3 and 4 within the chart).
    setZValue(3.5);
    connect(chart, &QChart::plotAreaChanged, this, [this] {
        prepareGeometryChange();
        update();
    });
}

QRectF ErrorBarsItem::boundingRect() const {
    return m_chart->plotArea();
}

void ErrorBarsItem::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) {
    constexpr double kCapHalfWidth = 3.0;
    painter->save();
    painter->setClipRect(m_chart->plotArea());
    painter->setPen(QPen(m_colour, 1.0));
    for (const QLineF& bar : m_bars) {
        const QPointF lo = m_chart->mapToPosition(bar.p1(), m_series);
        const QPointF hi = m_chart->mapToPosition(bar.p2(), m_series);
        painter->drawLine(lo, hi);
        painter->drawLine(QPointF(lo.x() - kCapHalfWidth, lo.y()),
                          QPointF(lo.x() + kCapHalfWidth, lo.y()));
        painter->drawLine(QPointF(hi.x() - kCapHalfWidth, hi.y()),
                          QPointF(hi.x() + kCapHalfWidth, hi.y()));
    }
    painter->restore();
}

PointsItem::PointsItem(QChart* chart, QAbstractSeries* anchor, QList<QPointF> points, QColor colour,
                       double size)
    : QGraphicsObject(chart),
      m_chart(chart),
      m_anchor(anchor),
      m_points(std::move(points)),
      m_colour(std::move(colour)),
      m_size(size) {
    setZValue(3.6);  // over the SD bars, under the series
    connect(chart, &QChart::plotAreaChanged, this, [this] {
        prepareGeometryChange();
        update();
    });
}

QRectF PointsItem::boundingRect() const {
    return m_chart->plotArea();
}

void PointsItem::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) {
    const QRectF area = m_chart->plotArea();
    const double r = m_size / 2.0;
    // Small squares in one call: tens of thousands of ellipses take the
    // painter a good part of a second, squares of this size look the same.
    QList<QRectF> squares;
    squares.reserve(m_points.size());
    for (const QPointF& point : m_points) {
        const QPointF at = m_chart->mapToPosition(point, m_anchor);
        if (area.contains(at)) {
            squares.append(QRectF(at.x() - r, at.y() - r, m_size, m_size));
        }
    }
    painter->save();
    painter->setClipRect(area);
    painter->setPen(Qt::NoPen);
    painter->setBrush(m_colour);
    painter->drawRects(squares);
    painter->restore();
}

Extent CombineYExtents(const Extent& data, const Extent& curves, bool log) {
    if (data.Empty()) {
        return curves;
    }
    Extent y = data;
    if (curves.Empty()) {
        return y;
    }
    if (log && data.Positive()) {
        constexpr double kDecades = 100.0;
        y.Add(std::max(curves.lo, data.lo / kDecades));
        y.Add(std::min(curves.hi, data.hi * kDecades));
    } else {
        const double span = data.hi - data.lo;
        y.Add(span > 0.0 ? std::max(curves.lo, data.lo - 2.0 * span) : curves.lo);
        y.Add(span > 0.0 ? std::min(curves.hi, data.hi + 2.0 * span) : curves.hi);
    }
    return y;
}

QAbstractAxis* MakeAxis(const Extent& extent, bool log, const QString& title, int ticks) {
    QAbstractAxis* axis = nullptr;
    if (log) {
        auto* logAxis = new QLogValueAxis;
        logAxis->setBase(10.0);
        logAxis->setLabelFormat("%g");
        logAxis->setRange(extent.lo / 1.8, extent.hi * 1.8);
        axis = logAxis;
    } else {
        auto* valueAxis = new QValueAxis;
        const double lo = extent.Empty() ? 0.0 : extent.lo;
        const double hi = extent.Empty() ? 1.0 : extent.hi;
        const double pad = hi > lo ? (hi - lo) * 0.05 : std::max(std::abs(lo) * 0.05, 0.5);
        valueAxis->setRange(lo - pad, hi + pad);
        // Ticks at round values inside the padded range; rounding the range
        // itself to whole ticks could leave a fifth of the plot empty.
        valueAxis->setTickType(QValueAxis::TicksDynamic);
        valueAxis->setTickAnchor(0.0);
        valueAxis->setTickInterval(RoundTickInterval(hi + pad - (lo - pad), ticks));
        valueAxis->setLabelFormat("%g");
        axis = valueAxis;
    }
    axis->setTitleText(title);
    return axis;
}

void OnRangeChanged(QAbstractAxis* axis, QObject* context, std::function<void(qreal, qreal)> f) {
    if (auto* v = qobject_cast<QValueAxis*>(axis)) {
        QObject::connect(v, &QValueAxis::rangeChanged, context, f);
    } else if (auto* l = qobject_cast<QLogValueAxis*>(axis)) {
        QObject::connect(l, &QLogValueAxis::rangeChanged, context, f);
    }
}

QAbstractAxis* XAxisOf(const QChart& chart) {
    const auto axes = chart.axes(Qt::Horizontal);
    return axes.isEmpty() ? nullptr : axes.first();
}

QList<QPointF> PointList(const std::vector<double>& x, const std::vector<double>& y,
                         const std::vector<std::size_t>& indices) {
    QList<QPointF> list;
    list.reserve(static_cast<qsizetype>(indices.size()));
    for (const std::size_t i : indices) {
        list.append(QPointF(x[i], y[i]));
    }
    return list;
}

}  // namespace quillon::plot
