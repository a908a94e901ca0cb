#include "plot/fit_graph.h"

#include <QAreaSeries>
#include <QChart>
#include <QHBoxLayout>
#include <QLineSeries>
#include <QScatterSeries>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "plot/chart_parts.h"
#include "plot/graph_legend.h"
#include "plot/graph_style.h"

namespace quillon::plot {
namespace {

// More points than this in one cloud are thinned for drawing: a chart of a
// million markers takes minutes and shows no more than the thinned one.
constexpr std::size_t kMaxDrawnPoints = 4000;
// Up to this many sets on one graph keep full-size markers.
constexpr std::size_t kFewSets = 6;
// The sets beyond those drawn apart: small grey markers behind the others.
const QColor kCloudColour(0xb4, 0xb4, 0xb4);
const QColor kMethodSampleColour(0x40, 0x40, 0x40);

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

QString CurveName(const CurveData& curve) {
    return Q(curve.legend) + (curve.x.empty() ? QStringLiteral(" (no curve)") : QString());
}

// A scatter series on the chart. The chart's theme and every colour change
// restyle each marker already there, so the points come last.
QScatterSeries* AddScatter(QChart& chart, const QColor& colour, QScatterSeries::MarkerShape shape,
                           double size, const QList<QPointF>& points) {
    auto* series = new QScatterSeries;
    chart.addSeries(series);
    series->setMarkerShape(shape);
    series->setMarkerSize(size);
    series->setColor(colour);
    series->setBorderColor(colour);
    series->replace(points);
    return series;
}

// How much of the set's colour the bands keep: the confidence band is a
// light wash under the curve, the prediction band's lines a little darker.
constexpr int kBandAlpha = 48;
constexpr int kPredictionAlpha = 150;

// The points of lower/upper that a drawing can show: finite, and positive
// on a log Y axis.
bool BandPointShown(double lower, double upper, bool logY) {
    return std::isfinite(lower) && std::isfinite(upper) && (!logY || lower > 0.0);
}

// The confidence band as a translucent area between its bounds.
void AddConfidenceArea(QChart& chart, const CurveData& curve, const CurveBands& bands,
                       QColor colour, bool logY) {
    auto* area = new QAreaSeries;
    auto* upper = new QLineSeries(area);
    auto* lower = new QLineSeries(area);
    for (std::size_t i = 0; i < curve.x.size() && i < bands.lower.size(); ++i) {
        if (BandPointShown(bands.lower[i], bands.upper[i], logY)) {
            upper->append(curve.x[i], bands.upper[i]);
            lower->append(curve.x[i], bands.lower[i]);
        }
    }
    area->setUpperSeries(upper);
    area->setLowerSeries(lower);
    colour.setAlpha(kBandAlpha);
    chart.addSeries(area);
    area->setBrush(colour);
    area->setPen(Qt::NoPen);
}

// The prediction band as two thin dashed lines.
void AddPredictionLines(QChart& chart, const CurveData& curve, const CurveBands& bands,
                        QColor colour, bool logY) {
    colour.setAlpha(kPredictionAlpha);
    for (const std::vector<double>* bound : {&bands.predictionLower, &bands.predictionUpper}) {
        QList<QPointF> points;
        for (std::size_t i = 0; i < curve.x.size() && i < bound->size(); ++i) {
            if (BandPointShown((*bound)[i], (*bound)[i], logY)) {
                points.append(QPointF(curve.x[i], (*bound)[i]));
            }
        }
        auto* line = new QLineSeries;
        chart.addSeries(line);
        line->setPen(QPen(colour, 1.0, Qt::DashLine));
        line->replace(points);
    }
}

// "3: memo" and, as its tool tip, the memo and every run's outcome.
LegendEntry SetEntry(const SetPlotData& set) {
    const SetStyle style = StyleOfSet(set.setNumber);
    QString tip = QStringLiteral("%1: %2").arg(set.setNumber).arg(Q(set.title));
    for (const CurveData& curve : set.curves) {
        tip += QStringLiteral("\n") + CurveName(curve);
    }
    return {style.colour, style.marker, Qt::SolidLine,
            QStringLiteral("%1: %2").arg(set.setNumber).arg(Q(set.title)), tip};
}

// One set: its points, then each run with its outcome. Several sets: one
// row per set drawn apart, one per method (its line style), the cloud.
std::vector<LegendEntry> LegendEntries(const std::vector<SetPlotData>& sets, std::size_t apart) {
    std::vector<LegendEntry> entries;
    if (sets.size() == 1) {
        const SetStyle style = StyleOfSet(sets.front().setNumber);
        entries.push_back({style.colour, style.marker, std::nullopt, QStringLiteral("データ"), {}});
        for (const CurveData& curve : sets.front().curves) {
            entries.push_back({style.colour,
                               std::nullopt,
                               LineStyleOfMethod(curve.method),
                               CurveName(curve),
                               {}});
        }
        return entries;
    }
    std::vector<std::string> methods;
    for (std::size_t i = 0; i < sets.size(); ++i) {
        if (i < apart) {
            entries.push_back(SetEntry(sets[i]));
        }
        for (const CurveData& curve : sets[i].curves) {
            if (std::find(methods.begin(), methods.end(), curve.method) == methods.end()) {
                methods.push_back(curve.method);
            }
        }
    }
    if (sets.size() > apart) {
        entries.push_back({kCloudColour,
                           QScatterSeries::MarkerShapeCircle,
                           std::nullopt,
                           QStringLiteral("他の %1 セットのデータ").arg(sets.size() - apart),
                           {}});
    }
    for (const std::string& method : methods) {
        entries.push_back(
            {kMethodSampleColour, std::nullopt, LineStyleOfMethod(method), Q(method), {}});
    }
    return entries;
}

// What the bands drawn are, for the legend's note; empty without bands.
QString BandNote(const std::vector<SetPlotData>& sets) {
    bool confidence = false;
    bool prediction = false;
    double level = 0.0;
    for (const SetPlotData& set : sets) {
        for (const CurveBands& bands : set.bands) {
            confidence = confidence || !bands.lower.empty();
            prediction = prediction || !bands.predictionLower.empty();
            level = set.bandLevel;
        }
    }
    if (!confidence) {
        return {};
    }
    const QString percent = QString::number(level, 'g', 6);
    QString note = QStringLiteral("薄い帯: 当てはめ曲線の %1% 信頼帯").arg(percent);
    if (prediction) {
        note += QStringLiteral("。細い破線: SD のないセットの %1% 予測帯").arg(percent);
    }
    return note;
}

}  // namespace

FitGraph::FitGraph(QWidget* parent)
    : QWidget(parent),
      m_mainView(new ChartView(new QChart, this)),
      m_residualView(new ChartView(new QChart, this)),
      m_legend(new GraphLegend(this)) {
    auto* charts = new QVBoxLayout;
    charts->setContentsMargins(0, 0, 0, 0);
    charts->setSpacing(0);
    charts->addWidget(m_mainView, 3);
    charts->addWidget(m_residualView, 1);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(charts, 1);
    layout->addWidget(m_legend);
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

void FitGraph::ShowSets(const std::vector<SetPlotData>& sets, const QString& title) {
    m_sets = sets;
    m_title = title;
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
    m_overlays.clear();
    for (QChartView* view : {m_mainView, m_residualView}) {
        QChart* old = view->chart();
        view->setChart(new QChart);
        delete old;
    }
    // The legend is the column beside the charts.
    MainChart()->legend()->hide();
    ResidualChart()->legend()->hide();
}

void FitGraph::Rebuild() {
    FreshCharts();
    MainChart()->setTitle(!m_title.isEmpty()   ? m_title
                          : m_sets.size() == 1 ? Q(m_sets.front().title)
                          : m_sets.empty()     ? QString()
                                               : QStringLiteral("全データセット"));
    if (DrawsCloud()) {
        AddCloud();
    }
    const std::size_t apart = std::min(m_sets.size(), kMaxSetsApart);
    for (std::size_t i = 0; i < apart; ++i) {
        AddSetPoints(m_sets[i]);
        AddSetCurves(m_sets[i]);
    }
    AttachAxes();
    ShowLegend();
}

void FitGraph::ShowLegend() {
    QString note;
    if (DrawsCloud()) {
        note = QStringLiteral(
                   "%1 セットのうち、曲線と色分けは最初の %2 セットのみ。"
                   "ほかのセットはセレクターで選ぶ。")
                   .arg(m_sets.size())
                   .arg(kMaxSetsApart);
    }
    const QString bands = BandNote(m_sets);
    note = note.isEmpty() || bands.isEmpty() ? note + bands : note + QStringLiteral("\n") + bands;
    m_legend->SetEntries(LegendEntries(m_sets, kMaxSetsApart), note);
}

// The points and the residuals of the sets beyond those drawn apart, each
// as one thinned series.
void FitGraph::AddCloud() {
    std::vector<double> xs, ys, rx, ry;
    for (std::size_t i = kMaxSetsApart; i < m_sets.size(); ++i) {
        for (const DataPoint& p : m_sets[i].points) {
            xs.push_back(p.X);
            ys.push_back(p.Y);
        }
        for (const CurveData& curve : m_sets[i].curves) {
            rx.insert(rx.end(), curve.residualX.begin(), curve.residualX.end());
            ry.insert(ry.end(), curve.residuals.begin(), curve.residuals.end());
        }
    }
    AddPointsItem(*MainChart(), PointList(xs, ys, DisplayIndices(xs, ys, kMaxDrawnPoints)),
                  kCloudColour, 3.5);
    AddPointsItem(*ResidualChart(), PointList(rx, ry, DisplayIndices(rx, ry, kMaxDrawnPoints)),
                  kCloudColour, 3.5);
}

void FitGraph::AddPointsItem(QChart& chart, QList<QPointF> points, const QColor& colour,
                             double size) {
    auto* anchor = new QScatterSeries;
    chart.addSeries(anchor);
    m_overlays.emplace_back(&chart,
                            new PointsItem(&chart, anchor, std::move(points), colour, size));
}

void FitGraph::AddSetPoints(const SetPlotData& set) {
    const SetStyle style = StyleOfSet(set.setNumber);
    std::vector<double> xs, ys;
    xs.reserve(set.points.size());
    ys.reserve(set.points.size());
    for (const DataPoint& p : set.points) {
        xs.push_back(p.X);
        ys.push_back(p.Y);
    }
    const std::vector<std::size_t> shown = DisplayIndices(xs, ys, kMaxDrawnPoints);
    // A thinned cloud or many sets on one graph: smaller markers keep the
    // curves readable.
    const bool crowded = shown.size() < set.points.size() / 2 || m_sets.size() > kFewSets;
    const double size = crowded ? 4.5 : 7.0;
    QScatterSeries* points =
        AddScatter(*MainChart(), style.colour, style.marker, size, PointList(xs, ys, shown));
    points->setName(Q(set.title));
    if (!set.errorBars) {
        return;
    }
    std::vector<QLineF> bars;
    bars.reserve(shown.size());
    for (const std::size_t i : shown) {
        const DataPoint& p = set.points[i];
        const double lo = p.Y - std::abs(p.SD);
        if (m_options.logY && lo <= 0.0) {
            continue;
        }
        bars.emplace_back(p.X, lo, p.X, p.Y + std::abs(p.SD));
    }
    m_errorBars.push_back(new ErrorBarsItem(MainChart(), points, std::move(bars), style.colour));
    m_overlays.emplace_back(MainChart(), m_errorBars.back());
}

void FitGraph::AddSetCurves(const SetPlotData& set) {
    const SetStyle style = StyleOfSet(set.setNumber);
    for (std::size_t k = 0; k < set.curves.size(); ++k) {
        const CurveData& curve = set.curves[k];
        // The bands lie under the curve they belong to.
        const CurveBands* bands = k < set.bands.size() ? &set.bands[k] : nullptr;
        if (bands != nullptr && !bands->lower.empty()) {
            AddConfidenceArea(*MainChart(), curve, *bands, style.colour, m_options.logY);
        }
        if (bands != nullptr && !bands->predictionLower.empty()) {
            AddPredictionLines(*MainChart(), curve, *bands, style.colour, m_options.logY);
        }
        auto* line = new QLineSeries;
        line->setName(CurveName(curve));
        QList<QPointF> samples;
        samples.reserve(static_cast<qsizetype>(curve.x.size()));
        for (std::size_t i = 0; i < curve.x.size(); ++i) {
            if (!m_options.logY || curve.y[i] > 0.0) {
                samples.append(QPointF(curve.x[i], curve.y[i]));
            }
        }
        MainChart()->addSeries(line);
        line->setPen(QPen(style.colour, 2.0, LineStyleOfMethod(curve.method)));
        line->replace(samples);
        QScatterSeries* residuals = AddScatter(
            *ResidualChart(), style.colour, style.marker, m_sets.size() > kFewSets ? 4.0 : 6.0,
            PointList(curve.residualX, curve.residuals,
                      DisplayIndices(curve.residualX, curve.residuals, kMaxDrawnPoints)));
        residuals->setName(line->name());
    }
}

std::vector<QLineF> FitGraph::ErrorBars() const {
    std::vector<QLineF> bars;
    for (const ErrorBarsItem* item : m_errorBars) {
        bars.insert(bars.end(), item->Bars().begin(), item->Bars().end());
    }
    return bars;
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

    // A zero line under the residuals.
    if (!x.Empty()) {
        auto* zero = new QLineSeries;
        zero->setPen(QPen(Qt::gray, 1.0, Qt::DashLine));
        zero->append(x.lo, 0.0);
        zero->append(x.hi, 0.0);
        residualChart.addSeries(zero);
    }
    for (QAbstractSeries* series : chart.series()) {
        series->attachAxis(mainX);
        series->attachAxis(mainY);
    }
    for (QAbstractSeries* series : residualChart.series()) {
        series->attachAxis(resX);
        series->attachAxis(resY);
    }
    for (const auto& [owner, item] : m_overlays) {
        QGraphicsObject* overlay = item;
        for (QAbstractAxis* axis : owner->axes()) {
            OnRangeChanged(axis, overlay, [overlay](qreal, qreal) { overlay->update(); });
        }
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
