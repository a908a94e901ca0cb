// The compute on its own thread: progress in the status bar, Stop from the
// tool bar and by Esc, commands locked while it runs, and the same coloured
// report as a compute on the user-interface thread.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <atomic>
#include <chrono>
#include <functional>
#include <semaphore>

#include "app/commands.h"
#include "app/document.h"
#include "app/main_frame.h"
#include "app/views.h"
#include "engine/compute.h"
#include "plot/graph_pane.h"

namespace quillon::app {
namespace {

constexpr int kLogistic = 22;

// Runs the event loop until done() holds or five seconds have passed.
bool WaitUntil(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > 5000) {
            return false;
        }
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

// A nonlinear fit that writes one line per set and holds the first set
// until released, or with untilStopped until the compute is asked to stop
// (at most 20 s, so a failing test cannot hang).
class HeldFitter : public INonlinearFitter {
  public:
    std::vector<FitRecord> FitSet(const NonlinearSetInput& input, ComputeSession&,
                                  IComputeHost& host, ResultColumnList&,
                                  ResultColumnList&) override {
        host.SendAnswer(AnswerHint::Result, "fitted set " + std::to_string(input.setNumber) + "\n");
        ++entered;
        if (input.setNumber == 1 && untilStopped) {
            for (int ms = 0; ms < 20000 && !host.StopRequested(); ++ms) {
                QThread::msleep(1);
            }
        } else if (input.setNumber == 1) {
            (void)m_release.try_acquire_for(std::chrono::seconds(20));
        }
        return {FitRecord{}};
    }
    void Release() { m_release.release(); }

    std::atomic<int> entered{0};
    bool untilStopped = false;

  private:
    std::binary_semaphore m_release{0};
};

constexpr const char* kThreeSets =
    "// one\n0 1\n1 2\n2 3.5\n// two\n0 1\n1 2.5\n2 3\n// three\n0 2\n1 3\n2 4.5\n";

// A window computing three sets with the held fit, waiting in the first.
struct HeldCompute {
    CMainFrame frame;
    HeldFitter fitter;

    HeldCompute() {
        frame.Document().SetNonlinearFitter(&fitter);
        frame.Document().Settings().modelId = kLogistic;
        frame.QueryView().setPlainText(kThreeSets);
        frame.show();
        frame.activateWindow();
        (void)QTest::qWaitForWindowActive(&frame);
    }
    ~HeldCompute() {
        fitter.Release();
        frame.WaitForCompute();
    }
    bool StartAndHold() {
        frame.Action(kIdCompute)->trigger();
        return WaitUntil([this] {
            return fitter.entered == 1 &&
                   frame.ProgressLabel()->text() == "計算中: データセット 1 / 3";
        });
    }
    void FinishStopped() {
        fitter.Release();
        frame.WaitForCompute();
    }
    QString Pane() { return frame.AnsView().toPlainText(); }
};

TEST(ComputeWorker, ShowsProgressAndLocksTheCommandsWhileRunning) {
    HeldCompute run;
    ASSERT_TRUE(run.StartAndHold());
    CMainFrame& frame = run.frame;
    EXPECT_TRUE(frame.Computing());
    EXPECT_TRUE(frame.ProgressLabel()->isVisible());
    EXPECT_TRUE(frame.Action(kIdStop)->isEnabled());
    for (int id : {kIdCompute, kIdUndo, kIdCut, kIdPaste, kIdPasteSpecial, kIdReplace,
                   kIdConvergence, kIdHowToUse, kIdHelpTopics}) {
        EXPECT_FALSE(frame.Action(id)->isEnabled()) << id;
    }
    for (int id : {kIdCopy, kIdSelectAll, kIdFind, kIdAbout, kIdExit}) {
        EXPECT_TRUE(frame.Action(id)->isEnabled()) << id;
    }
    EXPECT_FALSE(frame.ModelCombo()->isEnabled());
    EXPECT_FALSE(frame.MethodCombo()->isEnabled());
    EXPECT_FALSE(frame.FileCheck()->isEnabled());
    EXPECT_FALSE(frame.StatisticsAction()->isEnabled());
    for (const char* name : {"SearchStarts", "Precise"}) {
        EXPECT_FALSE(frame.findChild<QAction*>(name)->isEnabled()) << name;
    }
    EXPECT_TRUE(frame.QueryView().isReadOnly());
    // Typing changes nothing, and a second compute does not start.
    QTest::keyClicks(&frame.QueryView(), "9 9");
    EXPECT_EQ(frame.QueryView().toPlainText(), kThreeSets);
    frame.OnCompute();
    EXPECT_EQ(run.fitter.entered, 1);
    // The report so far has arrived while the fit is held.
    EXPECT_TRUE(run.Pane().contains("// one\n"));

    run.fitter.Release();
    frame.WaitForCompute();
    EXPECT_FALSE(frame.Computing());
    EXPECT_EQ(run.fitter.entered, 3);
    EXPECT_TRUE(run.Pane().endsWith("fitted set 3\n"));
    EXPECT_FALSE(frame.ProgressLabel()->isVisible());
    EXPECT_FALSE(frame.Action(kIdStop)->isEnabled());
    for (int id : {kIdCompute, kIdUndo, kIdCut, kIdPaste, kIdConvergence, kIdHowToUse}) {
        EXPECT_TRUE(frame.Action(id)->isEnabled()) << id;
    }
    EXPECT_TRUE(frame.ModelCombo()->isEnabled());
    EXPECT_TRUE(frame.StatisticsAction()->isEnabled());
    EXPECT_TRUE(frame.findChild<QAction*>("Precise")->isEnabled());
    EXPECT_FALSE(frame.QueryView().isReadOnly());
    EXPECT_EQ(frame.Graph().SetSelector()->count(), 4);  // redrawn: three sets
}

void ExpectStoppedAfterTheFirstSet(HeldCompute& run) {
    run.FinishStopped();
    EXPECT_FALSE(run.frame.Computing());
    EXPECT_EQ(run.fitter.entered, 1);  // the held set finished, no other began
    const QString pane = run.Pane();
    EXPECT_TRUE(pane.contains("fitted set 1\n"));
    EXPECT_FALSE(pane.contains("// two"));
    EXPECT_TRUE(pane.endsWith(QString::fromUtf8(kComputeStoppedText.data())));
    EXPECT_TRUE(run.frame.Document().LastRecord().stopped);
    EXPECT_EQ(run.frame.Document().LastRecord().sets.size(), 1u);
    EXPECT_EQ(run.frame.Graph().SetSelector()->count(), 2);
    EXPECT_TRUE(run.frame.Action(kIdCompute)->isEnabled());
}

TEST(ComputeWorker, EscStopsAfterTheCurrentSet) {
    HeldCompute run;
    ASSERT_TRUE(run.StartAndHold());
    QTest::keyClick(&run.frame.QueryView(), Qt::Key_Escape);
    EXPECT_FALSE(run.frame.Action(kIdStop)->isEnabled());  // asked once
    EXPECT_EQ(run.frame.ProgressLabel()->text(), "中止しています…");
    ExpectStoppedAfterTheFirstSet(run);
}

TEST(ComputeWorker, ToolBarStopStopsAfterTheCurrentSet) {
    HeldCompute run;
    ASSERT_TRUE(run.StartAndHold());
    QToolBar* bar = run.frame.findChild<QToolBar*>("128");
    ASSERT_NE(bar, nullptr);
    auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(run.frame.Action(kIdStop)));
    ASSERT_NE(button, nullptr);
    button->click();
    ExpectStoppedAfterTheFirstSet(run);
}

TEST(ComputeWorker, ClosingStopsTheComputeAndThenCloses) {
    HeldCompute run;
    ASSERT_TRUE(run.StartAndHold());
    EXPECT_FALSE(run.frame.close());  // waits for the compute
    EXPECT_TRUE(run.frame.isVisible());
    run.fitter.Release();
    EXPECT_TRUE(WaitUntil([&run] { return !run.frame.isVisible(); }));
    EXPECT_EQ(run.fitter.entered, 1);
    EXPECT_TRUE(run.Pane().endsWith(QString::fromUtf8(kComputeStoppedText.data())));
}

TEST(ComputeWorker, DestroyingTheWindowDuringAComputeWaitsForIt) {
    HeldFitter fitter;
    fitter.untilStopped = true;
    auto frame = std::make_unique<CMainFrame>();
    frame->Document().SetNonlinearFitter(&fitter);
    frame->Document().Settings().modelId = kLogistic;
    frame->QueryView().setPlainText(kThreeSets);
    frame->Action(kIdCompute)->trigger();
    ASSERT_TRUE(WaitUntil([&fitter] { return fitter.entered == 1; }));
    frame.reset();  // stops after the first set and joins; nothing else runs
    EXPECT_EQ(fitter.entered, 1);
}

// Closes every message box, keeping its text.
class MessageBoxCloser {
  public:
    MessageBoxCloser() {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                texts << box->text();
                box->accept();
            }
        });
        m_timer.start(5);
    }
    QStringList texts;

  private:
    QTimer m_timer;
};

// The pane's text with the colour of every piece, and the message boxes.
struct ComputeOutcome {
    QString html;
    QString text;
    QStringList messages;
    std::size_t sets = 0;
};

ComputeOutcome RunInWindow(bool onWorker, int modelId, FitMethod method, const QString& data) {
    CMainFrame frame;
    frame.SetComputeOnWorker(onWorker);
    frame.Document().Settings().modelId = modelId;
    frame.Document().Settings().method = method;
    frame.QueryView().setPlainText(data);
    MessageBoxCloser closer;
    frame.Action(kIdCompute)->trigger();
    EXPECT_EQ(frame.Computing(), onWorker);
    frame.WaitForCompute();
    return {frame.AnsView().toHtml(), frame.AnsView().toPlainText(), closer.texts,
            frame.Document().LastRecord().sets.size()};
}

TEST(ComputeWorker, ReportIsTheSameWithAndWithoutTheWorkerThread) {
    // Converged, iteration-limited, flat (a message box) and invalid data,
    // every method: all the colours, in order.
    const QString data =
        "// rising (T=1)\n0 0.5 0.1\n1 1.2 0.1\n2 2.9 0.1\n3 5.6 0.1\n4 7.9 0.1\n5 9.1 0.1\n"
        "6 9.7 0.1\n7 9.9 0.1\n\nx\n// flat (T=2)\n0 1.5\n1 1.5\n2 1.5\n3 1.5\n\nabc def\n"
        "// noise (T=3)\n0 0.3\n1 -0.2\n2 0.5\n3 -0.4\n4 0.1\n5 0.6\n";
    const ComputeOutcome direct = RunInWindow(false, kLogistic, FitMethod::All, data);
    const ComputeOutcome worker = RunInWindow(true, kLogistic, FitMethod::All, data);
    EXPECT_EQ(worker.html, direct.html);
    EXPECT_EQ(worker.text, direct.text);
    EXPECT_EQ(worker.messages, direct.messages);
    EXPECT_FALSE(direct.messages.isEmpty());  // the flat set's message box
    EXPECT_EQ(worker.sets, 3u);
    EXPECT_TRUE(direct.text.contains("Data invalid!"));
}

}  // namespace
}  // namespace quillon::app
