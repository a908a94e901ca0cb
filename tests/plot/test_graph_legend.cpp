// Many sets on one graph: a colour per set shared by its points and curves,
// a line style per method, a legend that names every set readably, and a
// bounded drawing however many sets there are.
#include <gtest/gtest.h>

#include <QChart>
#include <QLineSeries>
#include <QScatterSeries>
#include <set>

#include "engine/compute.h"
#include "plot/fit_graph.h"
#include "plot/graph_export.h"
#include "plot/graph_legend.h"
#include "plot/graph_style.h"
#include "support/recording_host.h"

namespace quillon::plot {
namespace {

const char* const kMethods[] = {"Marquardt", "Expansion", "Powell", "Gradient-search"};

// Sets of three points, each fitted by the four methods.
std::vector<SetPlotData> FittedSets(int count, const std::string& longMemo = {}) {
    std::vector<SetPlotData> sets;
    for (int n = 1; n <= count; ++n) {
        SetPlotData set;
        set.setNumber = n;
        set.title = n == 7 && !longMemo.empty() ? longMemo : "sample " + std::to_string(n);
        set.points = {{0, 1.0 * n, 1}, {1, 2.0 * n, 1}, {2, 3.0 * n, 1}};
        for (const char* method : kMethods) {
            set.curves.push_back({std::string(method) + ": 収束しました",
                                  {0, 2},
                                  {1.0 * n, 3.0 * n},
                                  {0, 1, 2},
                                  {0.1, -0.1, 0.0},
                                  method});
        }
        sets.push_back(std::move(set));
    }
    return sets;
}

TEST(GraphStyle, TwelveColoursThenOtherMarkers) {
    std::set<QRgb> colours;
    for (int n = 1; n <= kSetColourCount; ++n) {
        colours.insert(StyleOfSet(n).colour.rgb());
        EXPECT_EQ(StyleOfSet(n).marker, StyleOfSet(1).marker) << n;
    }
    EXPECT_EQ(colours.size(), static_cast<std::size_t>(kSetColourCount));
    EXPECT_EQ(StyleOfSet(13).colour, StyleOfSet(1).colour);
    EXPECT_NE(StyleOfSet(13).marker, StyleOfSet(1).marker);
    EXPECT_NE(StyleOfSet(25).marker, StyleOfSet(13).marker);
}

TEST(GraphStyle, EachMethodHasItsLineStyle) {
    std::set<Qt::PenStyle> styles;
    for (const char* method : kMethods) {
        styles.insert(LineStyleOfMethod(method));
    }
    EXPECT_EQ(styles.size(), 4u);
    EXPECT_EQ(LineStyleOfMethod("linear"), LineStyleOfMethod("Marquardt"));
}

TEST(GraphLegend, TwentySetsAndFourMethodsAreEachNamedReadably) {
    const std::string memo =
        "run 7 of the long calibration series measured at the north station (T=25.5)";
    FitGraph graph;
    graph.resize(900, 700);
    graph.ShowSets(FittedSets(20, memo));
    const QStringList shown = graph.Legend()->ShownTexts();
    const QStringList tips = graph.Legend()->ToolTips();
    ASSERT_EQ(shown.size(), 24);  // a row per set, then one per method
    for (int n = 1; n <= 20; ++n) {
        const QString& text = shown[n - 1];
        EXPECT_TRUE(text.startsWith(QStringLiteral("%1: ").arg(n))) << text.toStdString();
        EXPECT_GT(text.size(), 8) << text.toStdString();
    }
    // The long memo is shortened in the middle and whole in the tool tip.
    const QString seventh = shown[6];
    EXPECT_TRUE(seventh.contains(QChar(0x2026))) << seventh.toStdString();
    EXPECT_TRUE(seventh.startsWith("7: run 7"));
    EXPECT_TRUE(seventh.endsWith("5.5)"));
    EXPECT_TRUE(tips[6].startsWith(QString::fromStdString("7: " + memo + "\n")));
    EXPECT_EQ(shown.mid(20), (QStringList{"Marquardt", "Expansion", "Powell", "Gradient-search"}));
    EXPECT_TRUE(graph.Legend()->Note().isEmpty());
}

TEST(FitGraph, ASetsPointsAndCurvesShareItsColourAndMethodsTheirStyles) {
    FitGraph graph;
    graph.ShowSets(FittedSets(3));
    const auto series = graph.MainChart()->series();
    std::vector<QScatterSeries*> points;
    std::vector<QLineSeries*> lines;
    for (QAbstractSeries* s : series) {
        if (auto* scatter = qobject_cast<QScatterSeries*>(s)) {
            points.push_back(scatter);
        } else if (auto* line = qobject_cast<QLineSeries*>(s)) {
            lines.push_back(line);
        }
    }
    ASSERT_EQ(points.size(), 3u);
    ASSERT_EQ(lines.size(), 12u);
    for (std::size_t set = 0; set < 3; ++set) {
        std::set<Qt::PenStyle> styles;
        for (std::size_t m = 0; m < 4; ++m) {
            const QPen pen = lines[set * 4 + m]->pen();
            EXPECT_EQ(pen.color(), points[set]->color()) << set << " " << m;
            styles.insert(pen.style());
        }
        EXPECT_EQ(styles.size(), 4u);
    }
    EXPECT_NE(points[0]->color(), points[1]->color());
}

TEST(FitGraph, AThousandSetsDrawABoundedNumberOfSeries) {
    FitGraph graph;
    graph.ShowSets(FittedSets(1000));
    const std::size_t apart = FitGraph::kMaxSetsApart;
    // The sets drawn apart with their four curves, and one anchor of the
    // cloud of all other points.
    EXPECT_EQ(graph.MainChart()->series().size(), static_cast<qsizetype>(apart * 5 + 1));
    EXPECT_LE(graph.ResidualChart()->series().size(), static_cast<qsizetype>(apart * 4 + 2));
    EXPECT_TRUE(graph.Legend()->Note().contains("1000")) << graph.Legend()->Note().toStdString();
    // Rows: the sets drawn apart, the cloud, the methods.
    EXPECT_EQ(graph.Legend()->ShownTexts().size(), static_cast<qsizetype>(apart + 1 + 4));
    graph.ShowSets(FittedSets(apart));
    EXPECT_TRUE(graph.Legend()->Note().isEmpty());
    EXPECT_EQ(graph.MainChart()->series().size(), static_cast<qsizetype>(apart * 5));
}

// All sets of a compute: the sets drawn apart get their sampled curves, the
// others (the cloud) only their residuals; a set picked alone has its curve.
TEST(SelectSets, SetsOfTheCloudHaveResidualsButNoSampledCurve) {
    std::vector<std::string> lines;
    const int count = static_cast<int>(FitGraph::kMaxSetsApart) + 3;
    for (int n = 1; n <= count; ++n) {
        lines.push_back("// set " + std::to_string(n));
        for (int x = 0; x < 4; ++x) {
            lines.push_back(std::to_string(x) + " " +
                            std::to_string(n + 2 * x + (x == 2 ? 0.1 : 0)));
        }
    }
    ComputeSession session;
    quillon::testing::RecordingHost host;
    const ComputeRecord record = ComputeParameters(lines, session, host, nullptr, 1);
    const std::vector<SetPlotData> all = SelectSets(record, {0, 20.0}, 0);
    ASSERT_EQ(all.size(), static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < all.size(); ++i) {
        ASSERT_EQ(all[i].curves.size(), 1u);
        EXPECT_EQ(all[i].curves[0].residuals.size(), 4u) << i;
        EXPECT_EQ(all[i].curves[0].x.empty(), i >= FitGraph::kMaxSetsApart) << i;
    }
    const std::vector<SetPlotData> last = SelectSets(record, {0, 20.0}, count);
    ASSERT_EQ(last.size(), 1u);
    EXPECT_FALSE(last[0].curves[0].x.empty());
}

}  // namespace
}  // namespace quillon::plot
