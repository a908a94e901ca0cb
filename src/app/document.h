// CQuillon_LDoc: the document's state for the window (model, method, fixed C,
// settings, colours, directive lists through the compute session) and the
// compute command, which reports to the views through the host interface.
#pragma once

#include <QObject>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/answer_piece.h"
#include "engine/compute.h"
#include "records/host.h"

namespace quillon::app {

class CQuillon_LDoc;
class ComputeWorker;

// The window's side of the compute host: report text to the answer pane,
// message boxes, the wait cursor.
class QtComputeHost : public IComputeHost {
  public:
    QtComputeHost(CQuillon_LDoc& doc, QWidget* parent) : m_doc(doc), m_parent(parent) {}
    void SendAnswer(AnswerHint hint, const std::string& text) override;
    void ShowMessage(const std::string& text, MessageIcon icon) override;
    void Beep() override;
    // Hands the columns to the document's exporter (the result-file dialog
    // and writer); without one the save is declined, as Cancel would.
    void ExportResults(const ResultColumnList& columns) override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;

  private:
    CQuillon_LDoc& m_doc;
    QWidget* m_parent;
};

class CQuillon_LDoc : public QObject {
    Q_OBJECT
  public:
    explicit CQuillon_LDoc(QObject* parent = nullptr);
    ~CQuillon_LDoc() override;

    ComputeSession& Session() { return m_session; }
    FitSettings& Settings() { return m_session.settings; }
    const AnswerColours& Colours() const { return m_colours; }

    // Runs one compute over the data pane's lines on this thread.
    void ComputeParameters(const std::vector<std::string>& lines, QWidget* messageParent);
    // Starts one compute on a thread of its own; the report reaches the
    // views as from ComputeParameters, and computeFinished() follows. The
    // settings must not change until then.
    void StartCompute(std::vector<std::string> lines, QWidget* messageParent);
    bool Computing() const { return m_worker != nullptr; }
    // The running compute stops before its next set.
    void StopCompute();
    // A fit in place of the built-in driver, for the next computes (the
    // tests hold a fit with it); null: the driver.
    void SetNonlinearFitter(INonlinearFitter* fitter) { m_fitter = fitter; }
    // What the last compute fitted, for the graph.
    const ComputeRecord& LastRecord() const { return m_lastRecord; }
    // Sends the how-to-use text to the views.
    void ShowHowToUse();

    // What a compute's result columns are handed to.
    using Exporter =
        std::function<void(const ResultColumnList&, const FitSettings&, IComputeHost&)>;
    void SetExporter(Exporter exporter) { m_exporter = std::move(exporter); }

  signals:
    void answer(int hint, const QString& text);
    // Report text of a compute on its own thread, in blocks.
    void answers(const quillon::app::AnswerBlock& block);
    // Set setIndex of setCount of a compute started by StartCompute is next.
    void computeProgress(int setIndex, int setCount);
    void computeFinished();

  private:
    friend class QtComputeHost;
    void OnWorkerFinished();

    ComputeSession m_session;
    ComputeRecord m_lastRecord;
    AnswerColours m_colours;
    Exporter m_exporter;
    INonlinearFitter* m_fitter = nullptr;
    // Of the compute running on its own thread; the worker goes first.
    std::unique_ptr<QtComputeHost> m_workerUiHost;
    std::unique_ptr<ComputeWorker> m_worker;
};

}  // namespace quillon::app
