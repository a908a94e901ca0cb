#include "plot/fit_graph.h"

#include <QChart>
#include <QChartView>
#include <QGraphicsObject>
#include <QLegendMarker>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QMouseEvent>
#include <QPainter>
#include <QScatterSeries>
#include <QVBoxLayout>
#include <QValueAxis>
#include <QWheelEvent>
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace quillon::plot {
namespace {

constexpr std::array<QRgb, 8> kPalette{0x1f77b4, 0xd62728, 0x2ca02c, 0xff7f0e,
                                       0x9467bd, 0x8c564b, 0xe377c2, 0x17becf};

QColor PaletteColour(int index) {
    return QColor(kPalette[static_cast<std::size_t>(index) % kPalette.size()]);
}

// Rubber-band zoom (left drag), zoom out (right click), wheel zoom and pan
// with the middle button.
class ChartView : public QChartView {
  public:
    explicit ChartView(QChart* chart, QWidget* parent) : QChartView(chart, parent) {
        setRenderHint(QPainter::Antialiasing);
        setRubberBand(QChartView::RectangleRubberBand);
    }

  protected:
    void wheelEvent(QWheelEvent* event) override {
        chart()->zoom(event->angleDelta().y() > 0 ? 1.25 : 0.8);
        event->accept();
    }
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::MiddleButton) {
            m_panFrom = event->position();
            m_panning = true;
            event->accept();
            return;
        }
        QChartView::mousePressEvent(event);
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        if (m_panning) {
            const QPointF delta = event->position() - m_panFrom;
            chart()->scroll(-delta.x(), delta.y());
            m_panFrom = event->position();
            event->accept();
            return;
        }
        QChartView::mouseMoveEvent(event);
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (m_panning && event->button() == Qt::MiddleButton) {
            m_panning = false;
            event->accept();
            return;
        }
        QChartView::mouseReleaseEvent(event);
    }

  private:
    QPointF m_panFrom;
    bool m_panning = false;
};

}  // namespace

// The SD bars of one set's points, drawn as one item over the plot area:
// Qt Charts has no error-bar series, and a line series per bar makes a set
// of thousands of points unbearably slow. Positions come from the chart's
// own mapping through the data series, so zoom, pan and log axes apply.
class ErrorBarsItem : public QGraphicsObject {
  public:
    ErrorBarsItem(QChart* chart, QAbstractSeries* series, std::vector<QLineF> bars, QColor colour)
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

    const std::vector<QLineF>& Bars() const { return m_bars; }
    QRectF boundingRect() const override { return m_chart->plotArea(); }
    void paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) override {
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

  private:
    QChart* m_chart;
    QAbstractSeries* m_series;
    std::vector<QLineF> m_bars;  // in data coordinates: (x, y - SD) to (x, y + SD)
    QColor m_colour;
};

namespace {

// More points than this in one cloud are thinned for drawing: a chart of a
// million markers takes minutes and shows no more than the thinned one.
constexpr std::size_t kMaxDrawnPoints = 4000;

// The chosen points as one list, so the series takes them in one step
// instead of one change signal per point.
QList<QPointF> PointList(const std::vector<double>& x, const std::vector<double>& y,
                         const std::vector<std::size_t>& indices) {
    QList<QPointF> list;
    list.reserve(static_cast<qsizetype>(indices.size()));
    for (const std::size_t i : indices) {
        list.append(QPointF(x[i], y[i]));
    }
    return list;
}

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

void HideFromLegend(QChart& chart, QAbstractSeries* series) {
    for (QLegendMarker* marker : chart.legend()->markers(series)) {
        marker->setVisible(false);
    }
}

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

// A linear axis padded by 5 % each side, or a logarithmic one padded by a
// quarter of a decade.
QAbstractAxis* MakeAxis(const Extent& extent, bool log, const QString& title, int ticks = 6) {
    QAbstractAxis* axis = nullptr;
    if (log) {
        auto* logAxis = new QLogValueAxis;
        logAxis->setBase(10.0);
        logAxis->setLabelFormat("%g");
        logAxis->setRange(extent.lo / 1.8, extent.hi * 1.8);
        axis = logAxis;
    } else {
        auto* valueAxis = new QValueAxis;
        double lo = extent.Empty() ? 0.0 : extent.lo;
        double hi = extent.Empty() ? 1.0 : extent.hi;
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

// Calls f with the new range whenever the axis range changes.
template <typename F>
void OnRangeChanged(QAbstractAxis* axis, QObject* context, F f) {
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

}  // namespace

FitGraph::FitGraph(QWidget* parent)
    : QWidget(parent),
      m_mainView(new ChartView(new QChart, this)),
      m_residualView(new ChartView(new QChart, this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_mainView, 3);
    layout->addWidget(m_residualView, 1);
    m_residualView->setMinimumHeight(180);
    m_mainView->setMinimumHeight(240);
    Rebuild();
}

QChart* FitGraph::MainChart() const {
    return m_mainView->chart();
}

QChart* FitGraph::ResidualChart() const {
    return m_residualView->chart();
}

void FitGraph::ShowSets(const std::vector<SetPlotData>& sets) {
    m_sets = sets;
    Rebuild();
}

void FitGraph::SetAxisOptions(const AxisOptions& options) {
    m_options = options;
    Rebuild();
}

void FitGraph::ResetView() {
    Rebuild();
}

// Each drawing starts on new charts: Qt Charts leaves the labels of a removed
// axis in the scene, so reusing a chart piled up stale tick labels.
void FitGraph::FreshCharts() {
    m_errorBars.clear();  // owned by the old chart
    for (QChartView* view : {m_mainView, m_residualView}) {
        QChart* old = view->chart();
        view->setChart(new QChart);
        delete old;
    }
    MainChart()->legend()->setAlignment(Qt::AlignBottom);
    ResidualChart()->legend()->hide();
}

void FitGraph::Rebuild() {
    FreshCharts();
    MainChart()->setTitle(m_sets.size() == 1 ? QString::fromStdString(m_sets.front().title)
                                             : QStringLiteral("All sets"));
    const bool prefix = m_sets.size() > 1;
    int colour = 0;
    for (const SetPlotData& set : m_sets) {
        AddSet(set, prefix, colour);
        colour += 1 + static_cast<int>(set.curves.size());
    }
    AttachAxes();
}

void FitGraph::AddSet(const SetPlotData& set, bool prefixLegend, int colourIndex) {
    QChart& chart = *MainChart();
    QChart& residualChart = *ResidualChart();
    const QString prefix = prefixLegend ? QStringLiteral("Set %1 ").arg(set.setNumber) : QString();
    const bool logY = m_options.logY;

    const QColor dataColour =
        m_sets.size() > 1 ? PaletteColour(colourIndex).darker(130) : QColor(Qt::black);
    auto* points = new QScatterSeries;
    points->setName(prefix + QStringLiteral("data"));
    points->setMarkerSize(7.0);
    points->setColor(dataColour);
    points->setBorderColor(dataColour);
    std::vector<double> xs, ys;
    xs.reserve(set.points.size());
    ys.reserve(set.points.size());
    for (const DataPoint& p : set.points) {
        xs.push_back(p.X);
        ys.push_back(p.Y);
    }
    const std::vector<std::size_t> shown = DisplayIndices(xs, ys, kMaxDrawnPoints);
    points->replace(PointList(xs, ys, shown));
    if (shown.size() < set.points.size() / 2) {
        points->setMarkerSize(4.0);  // a thinned cloud: smaller markers keep it readable
    }
    chart.addSeries(points);

    if (set.errorBars) {
        std::vector<QLineF> bars;
        bars.reserve(shown.size());
        for (const std::size_t i : shown) {
            const DataPoint& p = set.points[i];
            const double lo = p.Y - std::abs(p.SD);
            if (logY && lo <= 0.0) {
                continue;
            }
            bars.emplace_back(p.X, lo, p.X, p.Y + std::abs(p.SD));
        }
        m_errorBars.push_back(new ErrorBarsItem(&chart, points, std::move(bars), dataColour));
    }

    int index = colourIndex + 1;
    for (const CurveData& curve : set.curves) {
        const QColor colour = PaletteColour(index++);
        auto* line = new QLineSeries;
        line->setName(prefix + QString::fromStdString(curve.legend) +
                      (curve.x.empty() ? QStringLiteral(" (no curve)") : QString()));
        line->setPen(QPen(colour, 2.0));
        QList<QPointF> samples;
        samples.reserve(static_cast<qsizetype>(curve.x.size()));
        for (std::size_t i = 0; i < curve.x.size(); ++i) {
            if (!logY || curve.y[i] > 0.0) {
                samples.append(QPointF(curve.x[i], curve.y[i]));
            }
        }
        line->replace(samples);
        chart.addSeries(line);

        auto* residuals = new QScatterSeries;
        residuals->setName(line->name());
        residuals->setMarkerSize(6.0);
        residuals->setColor(colour);
        residuals->setBorderColor(colour);
        residuals->replace(
            PointList(curve.residualX, curve.residuals,
                      DisplayIndices(curve.residualX, curve.residuals, kMaxDrawnPoints)));
        residualChart.addSeries(residuals);
    }
}

std::vector<QLineF> FitGraph::ErrorBars() const {
    std::vector<QLineF> bars;
    for (const ErrorBarsItem* item : m_errorBars) {
        bars.insert(bars.end(), item->Bars().begin(), item->Bars().end());
    }
    return bars;
}

// The Y range: the data with their bars, widened for the curves by at most
// twice the data's span (two decades on a log axis), so that a curve that
// runs away at the ends does not squash the data into a line.
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

void FitGraph::AttachAxes() {
    Extent x, dataY, curveY, r;
    bool weighted = !m_sets.empty();
    for (const SetPlotData& set : m_sets) {
        weighted = weighted && set.weightedResiduals;
        for (const DataPoint& p : set.points) {
            x.Add(p.X);
            dataY.Add(p.Y);
            if (set.errorBars) {
                // On a log axis a bar reaching zero or below is not drawn.
                const double lo = p.Y - std::abs(p.SD);
                if (!m_options.logY || lo > 0.0) {
                    dataY.Add(lo);
                }
                dataY.Add(p.Y + std::abs(p.SD));
            }
        }
        for (const CurveData& curve : set.curves) {
            for (double v : curve.y) {
                if (!m_options.logY || v > 0.0) {
                    curveY.Add(v);
                }
            }
            for (double v : curve.residuals) {
                r.Add(v);
            }
        }
    }
    r.Add(0.0);
    const Extent y = CombineYExtents(dataY, curveY, m_options.logY);
    m_logXShown = m_options.logX && x.Positive();
    m_logYShown = m_options.logY && y.Positive();

    QChart& chart = *MainChart();
    QChart& residualChart = *ResidualChart();
    QAbstractAxis* mainX = MakeAxis(x, m_logXShown, QStringLiteral("X"));
    QAbstractAxis* mainY = MakeAxis(y, m_logYShown, QStringLiteral("Y"));
    QAbstractAxis* resX = MakeAxis(x, m_logXShown, QStringLiteral("X"));
    QAbstractAxis* resY =
        MakeAxis(r, false, weighted ? QStringLiteral("(Y−f)/SD") : QStringLiteral("Y−f"), 3);
    chart.addAxis(mainX, Qt::AlignBottom);
    chart.addAxis(mainY, Qt::AlignLeft);
    residualChart.addAxis(resX, Qt::AlignBottom);
    residualChart.addAxis(resY, Qt::AlignLeft);

    // A zero line under the residuals, kept out of any legend.
    if (!x.Empty()) {
        auto* zero = new QLineSeries;
        zero->setPen(QPen(Qt::gray, 1.0, Qt::DashLine));
        zero->append(x.lo, 0.0);
        zero->append(x.hi, 0.0);
        residualChart.addSeries(zero);
    }
    // Markers of series hidden from the legend are rebuilt when a series is
    // added, so unnamed series are hidden again after all series are in.
    for (QAbstractSeries* series : chart.series()) {
        if (series->name().isEmpty()) {
            HideFromLegend(chart, series);
        }
        series->attachAxis(mainX);
        series->attachAxis(mainY);
    }
    for (QAbstractSeries* series : residualChart.series()) {
        series->attachAxis(resX);
        series->attachAxis(resY);
    }
    for (ErrorBarsItem* item : m_errorBars) {
        OnRangeChanged(mainX, item, [item] { item->update(); });
        OnRangeChanged(mainY, item, [item] { item->update(); });
    }
    SyncResidualX();
}

void FitGraph::SyncResidualX() {
    QAbstractAxis* mainX = XAxisOf(*MainChart());
    QAbstractAxis* resX = XAxisOf(*ResidualChart());
    if (mainX == nullptr || resX == nullptr) {
        return;
    }
    OnRangeChanged(mainX, resX, [resX](qreal lo, qreal hi) { resX->setRange(lo, hi); });
    OnRangeChanged(resX, mainX, [mainX](qreal lo, qreal hi) { mainX->setRange(lo, hi); });
}

}  // namespace quillon::plot
