// The charts offscreen: the series drawn for a set, the set selector, the
// shared X range, log axes and the exported files.
#include <gtest/gtest.h>

#include <cmath>

#include <QApplication>
#include <QChart>
#include <QComboBox>
#include <QFile>
#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>
#include <QGraphicsTextItem>
#include <QGraphicsView>
#include <QImage>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QPushButton>
#include <QScatterSeries>
#include <QTemporaryDir>
#include <QValueAxis>

#include "engine/compute.h"
#include "plot/fit_graph.h"
#include "plot/graph_export.h"
#include "plot/graph_legend.h"
#include "plot/graph_pane.h"
#include "support/recording_host.h"

namespace quillon::plot {
namespace {

ComputeRecord Compute(const std::vector<std::string>& lines, int modelId,
                      FitMethod method = FitMethod::Marquardt) {
    ComputeSession session;
    session.settings.modelId = modelId;
    session.settings.method = method;
    testing::RecordingHost host;
    return ComputeParameters(lines, session, host, nullptr, 1);
}

// Series of one kind in a chart, in the order they were added.
template <class T>
std::vector<T*> SeriesOf(QChart* chart) {
    std::vector<T*> found;
    for (QAbstractSeries* series : chart->series()) {
        if (auto* s = qobject_cast<T*>(series)) {
            found.push_back(s);
        }
    }
    return found;
}

// The legend's rows as their tool tips give them in full.
QStringList LegendTexts(const FitGraph& graph) {
    return graph.Legend()->ToolTips();
}

SetPlotData TwoCurveSet(bool withSds) {
    SetPlotData set;
    set.setNumber = 1;
    set.title = "two";
    set.points = {{1, 2, 0.5}, {2, 4, 0.5}, {3, 5, 0.5}};
    set.errorBars = withSds;
    set.weightedResiduals = withSds;
    set.curves = {
        {"Marquardt: 収束しました", {1, 2, 3}, {2, 3.5, 5}, {1, 2, 3}, {0, 1, 0}, "Marquardt"},
        {"Powell: 特異点", {}, {}, {}, {}, "Powell"}};
    return set;
}

QByteArray Head(const QString& path, int n) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.read(n);
}

TEST(FitGraph, OneDataSeriesErrorBarsAndOneCurvePerRun) {
    FitGraph graph;
    graph.ShowSets({TwoCurveSet(true)});
    const auto scatters = SeriesOf<QScatterSeries>(graph.MainChart());
    ASSERT_EQ(scatters.size(), 1u);
    EXPECT_EQ(scatters[0]->count(), 3);
    // Two curves; the three SD bars are drawn over the plot.
    const auto lines = SeriesOf<QLineSeries>(graph.MainChart());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0]->count(), 3);
    const std::vector<QLineF> bars = graph.ErrorBars();
    ASSERT_EQ(bars.size(), 3u);
    EXPECT_EQ(bars[0], QLineF(1, 1.5, 1, 2.5));
    EXPECT_EQ(bars[2], QLineF(3, 4.5, 3, 5.5));
    EXPECT_EQ(LegendTexts(graph),
              (QStringList{"データ", "Marquardt: 収束しました", "Powell: 特異点 (no curve)"}));
    EXPECT_EQ(graph.MainChart()->title(), "two");
}

TEST(FitGraph, NoErrorBarsWithoutSds) {
    FitGraph graph;
    graph.ShowSets({TwoCurveSet(false)});
    EXPECT_EQ(SeriesOf<QLineSeries>(graph.MainChart()).size(), 2u);
    EXPECT_TRUE(graph.ErrorBars().empty());
}

TEST(FitGraph, ResidualsOfEachRunUnderTheCurves) {
    FitGraph graph;
    graph.ShowSets({TwoCurveSet(true)});
    const auto residuals = SeriesOf<QScatterSeries>(graph.ResidualChart());
    ASSERT_EQ(residuals.size(), 2u);
    ASSERT_EQ(residuals[0]->count(), 3);
    EXPECT_EQ(residuals[0]->at(1), QPointF(2, 1));
    EXPECT_EQ(residuals[1]->count(), 0);
    const auto* axis = qobject_cast<QValueAxis*>(graph.ResidualChart()->axes(Qt::Vertical)[0]);
    ASSERT_NE(axis, nullptr);
    EXPECT_EQ(axis->titleText(), "(Y−f)/SD");
    graph.ShowSets({TwoCurveSet(false)});
    axis = qobject_cast<QValueAxis*>(graph.ResidualChart()->axes(Qt::Vertical)[0]);
    EXPECT_EQ(axis->titleText(), "Y−f");
}

TEST(FitGraph, ZoomingTheMainChartMovesTheResidualXRange) {
    FitGraph graph;
    graph.ShowSets({TwoCurveSet(true)});
    auto* mainX = qobject_cast<QValueAxis*>(graph.MainChart()->axes(Qt::Horizontal)[0]);
    auto* resX = qobject_cast<QValueAxis*>(graph.ResidualChart()->axes(Qt::Horizontal)[0]);
    ASSERT_NE(mainX, nullptr);
    ASSERT_NE(resX, nullptr);
    EXPECT_EQ(resX->min(), mainX->min());
    mainX->setRange(1.5, 2.5);
    EXPECT_DOUBLE_EQ(resX->min(), 1.5);
    EXPECT_DOUBLE_EQ(resX->max(), 2.5);
    resX->setRange(1.2, 1.8);
    EXPECT_DOUBLE_EQ(mainX->max(), 1.8);
    graph.ResetView();
    mainX = qobject_cast<QValueAxis*>(graph.MainChart()->axes(Qt::Horizontal)[0]);
    EXPECT_LT(mainX->min(), 1.0);
    EXPECT_GT(mainX->max(), 3.0);
}

TEST(FitGraph, LogAxesOnlyWhenEveryValueIsPositive) {
    FitGraph graph;
    graph.ShowSets({TwoCurveSet(true)});
    graph.SetAxisOptions({true, true});
    EXPECT_TRUE(graph.LogXShown());
    EXPECT_TRUE(graph.LogYShown());
    EXPECT_NE(qobject_cast<QLogValueAxis*>(graph.MainChart()->axes(Qt::Horizontal)[0]), nullptr);
    EXPECT_NE(qobject_cast<QLogValueAxis*>(graph.ResidualChart()->axes(Qt::Horizontal)[0]),
              nullptr);
    SetPlotData negative = TwoCurveSet(true);
    negative.points[0].X = -1.0;
    negative.points[0].Y = -3.0;
    graph.ShowSets({negative});
    EXPECT_FALSE(graph.LogXShown());
    EXPECT_FALSE(graph.LogYShown());
    EXPECT_NE(qobject_cast<QValueAxis*>(graph.MainChart()->axes(Qt::Horizontal)[0]), nullptr);
}

// A curve that runs far past the data widens the Y axis only so far; the
// bars are drawn where the chart maps them, and on a log Y axis a bar that
// would reach zero or below is left out.
TEST(FitGraph, YRangeFollowsTheDataAndBarsAreDrawn) {
    FitGraph graph;
    graph.resize(600, 500);
    SetPlotData set = TwoCurveSet(true);
    set.points[1].SD = 1.5;  // a bar much taller than its marker
    set.curves[0].y = {2, 3.5, -1e9};
    graph.ShowSets({set});
    graph.show();
    QCoreApplication::processEvents();
    const auto* y = qobject_cast<QValueAxis*>(graph.MainChart()->axes(Qt::Vertical)[0]);
    ASSERT_NE(y, nullptr);
    EXPECT_GT(y->min(), -30.0);  // data 1.5..5.5, so at least 1.5 - 2 * 4 before rounding
    EXPECT_LT(y->min(), 1.5);

    QImage image(graph.size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    graph.render(&image);
    QChart* chart = graph.MainChart();
    const QPointF onBar = chart->mapToPosition(QPointF(2, 4 + 1.2), chart->series()[0]);
    QGraphicsView* view = chart->scene()->views().at(0);
    const QPoint at = view->viewport()->mapTo(&graph, view->mapFromScene(onBar));
    bool dark = false;
    for (int dx = -1; dx <= 1; ++dx) {
        dark = dark || qGray(image.pixel(at.x() + dx, at.y())) < 128;
    }
    EXPECT_TRUE(dark) << "no bar drawn at " << at.x() << "," << at.y();

    set.points[0].SD = 5.0;  // would reach below zero
    graph.ShowSets({set});
    graph.SetAxisOptions({false, true});
    ASSERT_TRUE(graph.LogYShown());
    EXPECT_EQ(graph.ErrorBars().size(), 2u);
}

// Redrawing leaves nothing of the last drawing behind: the scene holds as
// many labels after the tenth redraw as after the second.
TEST(FitGraph, RedrawingLeavesNoStaleLabels) {
    FitGraph graph;
    graph.resize(600, 500);
    graph.show();
    const auto visibleTexts = [&graph] {
        QCoreApplication::processEvents();
        int count = 0;
        for (QGraphicsItem* item : graph.MainChart()->scene()->items()) {
            const bool text = dynamic_cast<QGraphicsTextItem*>(item) != nullptr ||
                              dynamic_cast<QGraphicsSimpleTextItem*>(item) != nullptr;
            count += text && item->isVisible() ? 1 : 0;
        }
        return count;
    };
    SetPlotData set = TwoCurveSet(true);
    graph.ShowSets({set});
    const int first = visibleTexts();
    for (int i = 0; i < 10; ++i) {
        set.points[2].Y = 5.0 + i;  // other ranges, other tick labels
        graph.ShowSets({set});
        graph.SetAxisOptions({i % 2 == 1, false});
    }
    set.points[2].Y = 5.0;
    graph.SetAxisOptions({false, false});
    graph.ShowSets({set});
    EXPECT_EQ(visibleTexts(), first);
}

ComputeRecord TwoSets() {
    return Compute({"// first", "0 1", "1 3", "2 5.1", "", "// 東京 (T=3)", "0 2 0.5", "1 4 0.5",
                    "2 6.5 0.5", "3 8 0.5"},
                   0);
}

TEST(GraphPane, SelectorListsAllSetsAndEachMemo) {
    GraphPane pane;
    pane.show();
    pane.ShowRecord(TwoSets(), {0, 20.0});
    QComboBox* selector = pane.SetSelector();
    ASSERT_EQ(selector->count(), 3);
    EXPECT_EQ(selector->itemText(0), "全データセット");
    EXPECT_EQ(selector->itemText(1), "1: first");
    EXPECT_EQ(selector->itemText(2), "2: 東京 (T=3)");
    EXPECT_EQ(pane.SelectedSet(), 0);
    // All sets: two data series, a legend row per set naming its runs.
    EXPECT_EQ(SeriesOf<QScatterSeries>(pane.Graph()->MainChart()).size(), 2u);
    EXPECT_TRUE(LegendTexts(*pane.Graph()).contains("2: 東京 (T=3)\nlinear: fitted"));
}

TEST(GraphPane, SwitchingSetsRedrawsTheGraph) {
    GraphPane pane;
    pane.ShowRecord(TwoSets(), {0, 20.0});
    pane.SetSelector()->setCurrentIndex(2);
    EXPECT_EQ(pane.SelectedSet(), 2);
    const auto data = SeriesOf<QScatterSeries>(pane.Graph()->MainChart());
    ASSERT_EQ(data.size(), 1u);
    EXPECT_EQ(data[0]->count(), 4);
    // Set 2 has SDs: four error bars and one curve.
    EXPECT_EQ(SeriesOf<QLineSeries>(pane.Graph()->MainChart()).size(), 1u);
    EXPECT_EQ(pane.Graph()->ErrorBars().size(), 4u);
    pane.SetSelector()->setCurrentIndex(1);
    EXPECT_EQ(SeriesOf<QScatterSeries>(pane.Graph()->MainChart())[0]->count(), 3);
    EXPECT_EQ(SeriesOf<QLineSeries>(pane.Graph()->MainChart()).size(), 1u);
    EXPECT_TRUE(pane.Graph()->ErrorBars().empty());
}

// Two decays sharing their rate (model 42), fitted separately and jointly.
ComputeRecord SharedDecays() {
    std::vector<std::string> lines{"// a", "<<a[1] shared>>"};
    for (const double amplitude : {2.0, 3.0}) {
        if (amplitude > 2.0) {
            lines.push_back("// b");
        }
        for (int i = 0; i < 8; ++i) {
            const double x = 0.5 * i;
            const double wobble = (i % 2 == 0 ? 0.01 : -0.01) * amplitude;
            lines.push_back(std::to_string(x) + " " +
                            std::to_string(amplitude * std::exp(-x / 1.5) + wobble) + " 0.02");
        }
    }
    return Compute(lines, 42);
}

TEST(GraphPane, GlobalFitIsOfferedAndDrawsEachSetWithItsJointCurve) {
    GraphPane pane;
    pane.show();
    pane.ShowRecord(TwoSets(), {0, 20.0});
    EXPECT_EQ(pane.SetSelector()->findText("Global fit"), -1);  // nothing shared
    const ComputeRecord record = SharedDecays();
    ASSERT_TRUE(record.global);
    pane.ShowRecord(record, {42, 20.0});
    const int global = pane.SetSelector()->findText("Global fit");
    ASSERT_EQ(global, 3);
    EXPECT_EQ(pane.Graph()->MainChart()->title(), "全データセット");
    pane.SetSelector()->setCurrentIndex(global);
    EXPECT_EQ(pane.SelectedSet(), kGlobalFitSelection);
    // The global view has its own title, the selector entry's words.
    EXPECT_EQ(pane.Graph()->MainChart()->title(), "Global fit");
    EXPECT_EQ(SeriesOf<QScatterSeries>(pane.Graph()->MainChart()).size(), 2u);
    EXPECT_EQ(SeriesOf<QLineSeries>(pane.Graph()->MainChart()).size(), 2u);
    // The curve is the joint one: at X = 0 it is the set's joint amplitude.
    const std::vector<SetPlotData> sets = SelectSets(record, {42, 20.0}, kGlobalFitSelection);
    ASSERT_EQ(sets.size(), 2u);
    ASSERT_EQ(sets[1].curves.size(), 1u);
    EXPECT_EQ(sets[1].curves[0].method, "Global");
    EXPECT_NEAR(sets[1].curves[0].y.front(), record.global->sets[1].parameters[0], 1e-9);
    pane.SetSelector()->setCurrentIndex(1);
    EXPECT_EQ(pane.Graph()->MainChart()->title(), QString::fromStdString(SetTitle(record.sets[0])));
}

TEST(GraphPane, NewComputeReplacesEverythingShown) {
    GraphPane pane;
    pane.ShowRecord(TwoSets(), {0, 20.0});
    pane.SetSelector()->setCurrentIndex(2);
    pane.ShowRecord(Compute({"// only", "0 1", "1 2", "2 3", "3 4.5", "4 5"}, 0), {0, 20.0});
    ASSERT_EQ(pane.SetSelector()->count(), 2);
    EXPECT_EQ(pane.SelectedSet(), 0);  // set 2 is gone
    const auto data = SeriesOf<QScatterSeries>(pane.Graph()->MainChart());
    ASSERT_EQ(data.size(), 1u);
    EXPECT_EQ(data[0]->count(), 5);
    pane.Clear();
    EXPECT_EQ(pane.SetSelector()->count(), 1);
    EXPECT_TRUE(SeriesOf<QScatterSeries>(pane.Graph()->MainChart()).empty());
    EXPECT_FALSE(pane.ExportButton()->isEnabled());
}

TEST(GraphPane, KeepsTheSelectedSetAcrossComputes) {
    GraphPane pane;
    pane.ShowRecord(TwoSets(), {0, 20.0});
    pane.SetSelector()->setCurrentIndex(1);
    pane.ShowRecord(TwoSets(), {0, 20.0});
    EXPECT_EQ(pane.SelectedSet(), 1);
    EXPECT_EQ(SeriesOf<QScatterSeries>(pane.Graph()->MainChart()).size(), 1u);
}

class Export : public ::testing::Test {
  protected:
    QString Path(const char* name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

TEST_F(Export, WidgetToPngSvgAndPdfWithTheirSignatures) {
    FitGraph graph;
    graph.resize(800, 600);
    graph.ShowSets({TwoCurveSet(true)});
    QString error;
    ASSERT_TRUE(ExportWidget(graph, Path("g.png"), error)) << error.toStdString();
    ASSERT_TRUE(ExportWidget(graph, Path("g.svg"), error)) << error.toStdString();
    ASSERT_TRUE(ExportWidget(graph, Path("g.PDF"), error)) << error.toStdString();
    EXPECT_EQ(Head(Path("g.png"), 8), QByteArray("\x89PNG\r\n\x1a\n"));
    EXPECT_EQ(Head(Path("g.pdf"), 5), QByteArray());  // the name keeps its case
    EXPECT_EQ(Head(Path("g.PDF"), 5), QByteArray("%PDF-"));
    const QByteArray svg = Head(Path("g.svg"), 400);
    EXPECT_TRUE(svg.startsWith("<?xml")) << svg.constData();
    EXPECT_TRUE(svg.contains("<svg"));
    EXPECT_GT(QFile(Path("g.png")).size(), 10000);
    EXPECT_GT(QFile(Path("g.PDF")).size(), 1000);
}

TEST_F(Export, OtherSuffixesAreRefused) {
    FitGraph graph;
    QString error;
    EXPECT_FALSE(ExportWidget(graph, Path("g.jpg"), error));
    EXPECT_TRUE(error.contains(".png, .svg or .pdf"));
    EXPECT_FALSE(QFile::exists(Path("g.jpg")));
}

TEST_F(Export, RecordToFileDrawsTheChosenSet) {
    std::string error;
    const ComputeRecord record = TwoSets();
    const std::string png = Path("all.png").toStdString();
    ASSERT_TRUE(PlotRecordToFile(record, {0, 20.0}, 0, png, error)) << error;
    EXPECT_EQ(Head(Path("all.png"), 4), QByteArray("\x89PNG"));
    ASSERT_TRUE(PlotRecordToFile(record, {0, 20.0}, 2, Path("two.svg").toStdString(), error));
    EXPECT_FALSE(PlotRecordToFile(record, {0, 20.0}, 3, Path("three.pdf").toStdString(), error));
    EXPECT_EQ(error, "no set 3 was fitted");
    EXPECT_FALSE(QFile::exists(Path("three.pdf")));
}

}  // namespace
}  // namespace quillon::plot

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
