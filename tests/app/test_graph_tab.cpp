// The graph tab of the window: redrawn from every compute, never stale.
#include <gtest/gtest.h>

#include <QAction>
#include <QAreaSeries>
#include <QChart>
#include <QCheckBox>
#include <QComboBox>
#include <QLineSeries>
#include <QScatterSeries>
#include <QTabWidget>

#include "app/commands.h"
#include "app/main_frame.h"
#include "app/views.h"
#include "plot/fit_graph.h"
#include "plot/graph_legend.h"
#include "plot/graph_pane.h"

namespace quillon::app {
namespace {

template <class T>
int CountSeries(QChart* chart) {
    int n = 0;
    for (QAbstractSeries* series : chart->series()) {
        n += qobject_cast<T*>(series) != nullptr ? 1 : 0;
    }
    return n;
}

TEST(GraphTab, SitsBesideTheAnswerPane) {
    CMainFrame frame;
    ASSERT_EQ(frame.ResultTabs()->count(), 2);
    EXPECT_EQ(frame.ResultTabs()->widget(0), static_cast<QWidget*>(&frame.AnsView()));
    EXPECT_EQ(frame.ResultTabs()->widget(1), static_cast<QWidget*>(&frame.Graph()));
    EXPECT_EQ(frame.ResultTabs()->currentIndex(), 0);
}

TEST(GraphTab, ComputeDrawsEachSetAndSwitchingSetsRedraws) {
    CMainFrame frame;
    frame.QueryView().setPlainText(
        "// 試料 A (T=20)\n0 0.1 0.05\n1 2.1 0.05\n2 3.9 0.05\n3 6.1 0.05\n"
        "// 試料 B (T=40)\n0 0.3\n1 2.5\n2 4.7\n");
    frame.Action(kIdCompute)->trigger();
    frame.WaitForCompute();
    plot::GraphPane& graph = frame.Graph();
    frame.ResultTabs()->setCurrentWidget(&graph);  // drawn while in front
    QComboBox* selector = graph.SetSelector();
    ASSERT_EQ(selector->count(), 3);
    EXPECT_EQ(selector->itemText(1), "1: 試料 A (T=20)");
    EXPECT_EQ(selector->itemText(2), "2: 試料 B (T=40)");

    selector->setCurrentIndex(1);
    // Every redraw is on a new chart.
    EXPECT_EQ(CountSeries<QScatterSeries>(graph.Graph()->MainChart()), 1);
    EXPECT_EQ(CountSeries<QLineSeries>(graph.Graph()->MainChart()), 1);  // one line
    EXPECT_EQ(graph.Graph()->ErrorBars().size(), 4u);
    selector->setCurrentIndex(2);
    EXPECT_EQ(CountSeries<QLineSeries>(graph.Graph()->MainChart()), 1);
    EXPECT_TRUE(graph.Graph()->ErrorBars().empty());  // set B gave no SDs
}

TEST(GraphTab, SharedLinesAddTheGlobalBlockAndItsGraph) {
    CMainFrame frame;
    frame.ModelCombo()->setCurrentIndex(42);  // A0*exp(X/A1), as a user picks it
    emit frame.ModelCombo()->activated(42);
    frame.QueryView().setPlainText(
        "// a\n<<a[1] shared>>\n0 2.01 0.02\n1 1.03 0.02\n2 0.53 0.02\n3 0.26 0.02\n"
        "// b\n0 2.98 0.02\n1 1.52 0.02\n2 0.81 0.02\n3 0.40 0.02\n");
    frame.Action(kIdCompute)->trigger();
    frame.WaitForCompute();
    EXPECT_TRUE(frame.AnsView().toPlainText().contains("Global fit\n"));
    plot::GraphPane& graph = frame.Graph();
    frame.ResultTabs()->setCurrentWidget(&graph);
    QComboBox* selector = graph.SetSelector();
    ASSERT_EQ(selector->count(), 4);
    EXPECT_EQ(selector->itemText(3), "Global fit");
    selector->setCurrentIndex(3);
    EXPECT_EQ(CountSeries<QScatterSeries>(graph.Graph()->MainChart()), 2);
    EXPECT_EQ(CountSeries<QLineSeries>(graph.Graph()->MainChart()), 2);
}

TEST(GraphTab, NextComputeReplacesTheSets) {
    CMainFrame frame;
    frame.QueryView().setPlainText("// one\n0 1\n1 3\n2 5\n// two\n0 2\n1 4\n2 6.5\n");
    frame.ResultTabs()->setCurrentWidget(&frame.Graph());
    frame.Action(kIdCompute)->trigger();
    frame.WaitForCompute();
    ASSERT_EQ(frame.Graph().SetSelector()->count(), 3);
    frame.QueryView().setPlainText("// only\n0 1\n1 3\n2 5.5\n3 7\n");
    frame.Action(kIdCompute)->trigger();
    frame.WaitForCompute();
    QComboBox* selector = frame.Graph().SetSelector();
    ASSERT_EQ(selector->count(), 2);
    EXPECT_EQ(selector->itemText(1), "1: only");
    EXPECT_EQ(CountSeries<QScatterSeries>(frame.Graph().Graph()->MainChart()), 1);
}

TEST(GraphTab, DrawsOnlyWhileInFrontAndCatchesUpWhenShown) {
    CMainFrame frame;
    frame.QueryView().setPlainText("// one\n0 1\n1 3\n2 5\n");
    frame.Action(kIdCompute)->trigger();
    frame.WaitForCompute();
    QChart* chart = frame.Graph().Graph()->MainChart();
    EXPECT_EQ(frame.Graph().SetSelector()->count(), 2);  // the selector is filled at once
    EXPECT_EQ(CountSeries<QScatterSeries>(chart), 0);
    frame.ResultTabs()->setCurrentWidget(&frame.Graph());
    EXPECT_EQ(CountSeries<QScatterSeries>(frame.Graph().Graph()->MainChart()), 1);
    // Back on the report, a new compute is drawn only when the graph is shown.
    frame.ResultTabs()->setCurrentIndex(0);
    frame.QueryView().setPlainText("// a\n0 1\n1 3\n2 5\n// b\n0 2\n1 4\n2 6.5\n");
    frame.Action(kIdCompute)->trigger();
    frame.WaitForCompute();
    EXPECT_EQ(CountSeries<QScatterSeries>(frame.Graph().Graph()->MainChart()), 0);
    frame.ResultTabs()->setCurrentWidget(&frame.Graph());
    EXPECT_EQ(CountSeries<QScatterSeries>(frame.Graph().Graph()->MainChart()), 2);
}

TEST(GraphTab, ThePickedSetStaysPickedWhileItExists) {
    CMainFrame frame;
    const QString threeSets =
        "// one\n0 1\n1 3\n2 5\n// two\n0 2\n1 4\n2 6.5\n// three\n0 1\n1 1.5\n2 2.5\n";
    frame.QueryView().setPlainText(threeSets);
    frame.ResultTabs()->setCurrentWidget(&frame.Graph());
    const auto compute = [&frame] {
        frame.Action(kIdCompute)->trigger();
        frame.WaitForCompute();
    };
    compute();
    QComboBox* selector = frame.Graph().SetSelector();
    selector->setCurrentIndex(2);
    compute();
    EXPECT_EQ(frame.Graph().SelectedSet(), 2);
    EXPECT_EQ(selector->currentText(), "2: two");
    EXPECT_EQ(CountSeries<QScatterSeries>(frame.Graph().Graph()->MainChart()), 1);
    // Set 2 gone: all sets, and they stay shown when it comes back.
    frame.QueryView().setPlainText("// only\n0 1\n1 3\n2 5.5\n");
    compute();
    EXPECT_EQ(frame.Graph().SelectedSet(), 0);
    frame.QueryView().setPlainText(threeSets);
    compute();
    EXPECT_EQ(frame.Graph().SelectedSet(), 0);
    EXPECT_EQ(CountSeries<QScatterSeries>(frame.Graph().Graph()->MainChart()), 3);
}

// The 信頼帯 box: off at first; on, each curve gets its band (and, for a
// set without SDs, the prediction band's two lines); it stays on across a
// compute and off takes them away.
TEST(GraphTab, BandsBoxTogglesTheBandsAndSurvivesACompute) {
    CMainFrame frame;
    frame.QueryView().setPlainText(
        "// weighted\n0 0.1 0.05\n1 2.1 0.05\n2 3.9 0.05\n3 6.1 0.05\n"
        "// plain\n0 0.3\n1 2.5\n2 4.7\n3 6.2\n");
    frame.ResultTabs()->setCurrentWidget(&frame.Graph());
    const auto compute = [&frame] {
        frame.Action(kIdCompute)->trigger();
        frame.WaitForCompute();
    };
    compute();
    plot::GraphPane& graph = frame.Graph();
    QCheckBox* bands = graph.BandsBox();
    EXPECT_EQ(bands->text(), "信頼帯");
    ASSERT_FALSE(bands->isChecked());
    const auto main = [&graph] { return graph.Graph()->MainChart(); };
    EXPECT_EQ(CountSeries<QAreaSeries>(main()), 0);
    EXPECT_EQ(CountSeries<QLineSeries>(main()), 2);

    EXPECT_TRUE(graph.Graph()->Legend()->Note().isEmpty());
    bands->setChecked(true);
    EXPECT_EQ(CountSeries<QAreaSeries>(main()), 2);
    EXPECT_EQ(CountSeries<QLineSeries>(main()), 2 + 2);  // the plain set's prediction lines
    const QString note = graph.Graph()->Legend()->Note();
    EXPECT_TRUE(note.contains("95% 信頼帯") && note.contains("95% 予測帯")) << note.toStdString();
    graph.SetSelector()->setCurrentIndex(1);  // the weighted set alone
    EXPECT_EQ(CountSeries<QAreaSeries>(main()), 1);
    EXPECT_EQ(CountSeries<QLineSeries>(main()), 1);
    EXPECT_FALSE(graph.Graph()->Legend()->Note().contains("予測帯"));

    compute();
    EXPECT_TRUE(bands->isChecked());
    EXPECT_EQ(CountSeries<QAreaSeries>(main()), 1);
    bands->setChecked(false);
    EXPECT_EQ(CountSeries<QAreaSeries>(main()), 0);
    EXPECT_TRUE(graph.Graph()->Legend()->Note().isEmpty());
}

}  // namespace
}  // namespace quillon::app
