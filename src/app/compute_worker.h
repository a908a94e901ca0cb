// ComputeWorker: runs one compute on a thread of its own so the window stays
// responsive, and passes everything the compute sends on to the window's
// host on the user-interface thread, in the order it was sent. Report text
// travels in blocks: whatever arrived while the window was busy goes over in
// one piece.
#pragma once

#include <QObject>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/answer_piece.h"
#include "engine/compute.h"
#include "records/host.h"

namespace quillon::app {

class ComputeWorker : public QObject {
    Q_OBJECT
  public:
    // uiHost receives the report pieces, message boxes and result columns on
    // the thread that owns this object; it must outlive the worker. With a
    // sink, report text goes to the sink in blocks instead of piece by piece
    // to uiHost.
    explicit ComputeWorker(IComputeHost& uiHost, AnswerBlockSink sink = {},
                           QObject* parent = nullptr);
    // Stops a compute still running and waits for it; calls not yet passed
    // on to the window are dropped.
    ~ComputeWorker() override;
    ComputeWorker(const ComputeWorker&) = delete;
    ComputeWorker& operator=(const ComputeWorker&) = delete;

    // Starts the compute of lines with a copy of the session; nonlinear, when
    // given, stands in for the built-in fit driver.
    void Start(std::vector<std::string> lines, ComputeSession session,
               INonlinearFitter* nonlinear = nullptr, int jobs = 0);
    // The compute stops before its next set.
    void RequestStop() { m_stop.store(true, std::memory_order_relaxed); }
    bool Running() const { return m_thread.joinable(); }

    // After finished(): what the compute produced and the session as it left
    // it (directive lists, framing rate, header).
    ComputeRecord& Record() { return m_record; }
    ComputeSession& Session() { return m_session; }

  signals:
    void progress(int setIndex, int setCount);
    void finished();

  private:
    class ForwardingHost;

    void Run(std::vector<std::string> lines, INonlinearFitter* nonlinear, int jobs);
    // Runs call on the user-interface thread after everything posted before.
    void Post(std::function<void()> call);
    // As Post, and waits until the call has returned (or the worker is being
    // destroyed).
    void PostAndWait(std::function<void()> call);
    void OnRunEnded();
    // Keeps a piece for the next block; posts a delivery when none waits.
    void QueueAnswer(AnswerHint hint, const std::string& text);
    // On the user-interface thread: hands over every piece queued so far.
    void DeliverAnswers();

    IComputeHost& m_uiHost;
    AnswerBlockSink m_sink;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    ComputeSession m_session;
    ComputeRecord m_record;

    // The hand-shake of PostAndWait.
    std::mutex m_mutex;
    std::condition_variable m_answered;
    std::uint64_t m_posted = 0;    // calls waited for, counted on the compute thread
    std::uint64_t m_returned = 0;  // of them, those that have returned
    bool m_abandoned = false;

    // Report pieces not yet delivered, and whether a delivery is posted.
    std::mutex m_answerMutex;
    AnswerBlock m_answers;
    bool m_deliveryPosted = false;
};

}  // namespace quillon::app
