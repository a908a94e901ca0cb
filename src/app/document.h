// CQuillon_LDoc: the document's state for the window (model, method, fixed C,
// settings, colours, directive lists through the compute session) and the
// compute command, which reports to the views through the host interface.
#pragma once

#include <QObject>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "core/compute.h"
#include "core/records/host.h"

namespace quillon::app {

class CQuillon_LDoc;

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

    ComputeSession& Session() { return m_session; }
    FitSettings& Settings() { return m_session.settings; }
    const AnswerColours& Colours() const { return m_colours; }

    // Runs one compute over the data pane's lines.
    void ComputeParameters(const std::vector<std::string>& lines, QWidget* messageParent);
    // What the last compute fitted, for the graph.
    const ComputeRecord& LastRecord() const { return m_lastRecord; }
    // Sends the how-to-use text to the views.
    void ShowHowToUse();

    // What a compute's result columns are handed to.
    using Exporter = std::function<void(const ResultColumnList&, int modelId, IComputeHost&)>;
    void SetExporter(Exporter exporter) { m_exporter = std::move(exporter); }

  signals:
    void answer(int hint, const QString& text);

  private:
    friend class QtComputeHost;
    ComputeSession m_session;
    ComputeRecord m_lastRecord;
    AnswerColours m_colours;
    Exporter m_exporter;
};

}  // namespace quillon::app
