#include "app/compute_worker.h"

#include <QMetaObject>

namespace quillon::app {

// The compute's host on the compute thread: every call goes to the window's
// host through the event queue of the user-interface thread, which keeps
// their order. Message boxes and the result-file dialog are answered there
// before the compute goes on.
class ComputeWorker::ForwardingHost final : public IComputeHost {
  public:
    explicit ForwardingHost(ComputeWorker& worker) : m_worker(worker) {}

    void SendAnswer(AnswerHint hint, const std::string& text) override {
        m_worker.QueueAnswer(hint, text);
    }
    void ShowMessage(const std::string& text, MessageIcon icon) override {
        IComputeHost& ui = m_worker.m_uiHost;
        m_worker.PostAndWait([&ui, &text, icon] { ui.ShowMessage(text, icon); });
    }
    void Beep() override {
        IComputeHost& ui = m_worker.m_uiHost;
        m_worker.Post([&ui] { ui.Beep(); });
    }
    // The columns stay where they are: the compute waits until the window
    // has written or declined them.
    void ExportResults(const ResultColumnList& columns) override {
        IComputeHost& ui = m_worker.m_uiHost;
        m_worker.PostAndWait([&ui, &columns] { ui.ExportResults(columns); });
    }
    // The window shows its own busy cursor while the compute runs.
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}

    bool StopRequested() override { return m_worker.m_stop.load(std::memory_order_relaxed); }
    bool WantsProgress() const override { return true; }
    void ReportProgress(int setIndex, int setCount) override {
        ComputeWorker& worker = m_worker;
        worker.Post([&worker, setIndex, setCount] { emit worker.progress(setIndex, setCount); });
    }

  private:
    ComputeWorker& m_worker;
};

ComputeWorker::ComputeWorker(IComputeHost& uiHost, AnswerBlockSink sink, QObject* parent)
    : QObject(parent), m_uiHost(uiHost), m_sink(std::move(sink)) {}

ComputeWorker::~ComputeWorker() {
    RequestStop();
    {
        const std::lock_guard lock(m_mutex);
        m_abandoned = true;
    }
    m_answered.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void ComputeWorker::Start(std::vector<std::string> lines, ComputeSession session,
                          INonlinearFitter* nonlinear, int jobs) {
    m_session = std::move(session);
    m_record = {};
    m_stop.store(false, std::memory_order_relaxed);
    m_thread = std::thread([this, lines = std::move(lines), nonlinear, jobs]() mutable {
        Run(std::move(lines), nonlinear, jobs);
    });
}

void ComputeWorker::Run(std::vector<std::string> lines, INonlinearFitter* nonlinear, int jobs) {
    ForwardingHost host(*this);
    m_record = ComputeParameters(lines, m_session, host, nonlinear, jobs);
    Post([this] { OnRunEnded(); });
}

void ComputeWorker::OnRunEnded() {
    m_thread.join();  // the thread's last act was to post this call
    emit finished();
}

void ComputeWorker::QueueAnswer(AnswerHint hint, const std::string& text) {
    {
        const std::lock_guard lock(m_answerMutex);
        m_answers.push_back({hint, text});
        if (m_deliveryPosted) {
            return;  // the delivery on its way takes this piece too
        }
        m_deliveryPosted = true;
    }
    QMetaObject::invokeMethod(
        this, [this] { DeliverAnswers(); }, Qt::QueuedConnection);
}

void ComputeWorker::DeliverAnswers() {
    AnswerBlock block;
    {
        const std::lock_guard lock(m_answerMutex);
        block.swap(m_answers);
        m_deliveryPosted = false;
    }
    if (block.empty()) {
        return;
    }
    if (m_sink) {
        m_sink(std::move(block));
        return;
    }
    for (const AnswerPiece& piece : block) {
        m_uiHost.SendAnswer(piece.hint, piece.text);
    }
}

// Every other call first delivers the report text sent before it, so the
// window shows the text in front of a message box or the end of the run.
void ComputeWorker::Post(std::function<void()> call) {
    QMetaObject::invokeMethod(
        this,
        [this, call = std::move(call)] {
            DeliverAnswers();
            call();
        },
        Qt::QueuedConnection);
}

void ComputeWorker::PostAndWait(std::function<void()> call) {
    std::uint64_t ticket = 0;
    {
        const std::lock_guard lock(m_mutex);
        if (m_abandoned) {
            return;
        }
        ticket = ++m_posted;
    }
    Post([this, call = std::move(call), ticket] {
        call();
        {
            const std::lock_guard lock(m_mutex);
            m_returned = ticket;
        }
        m_answered.notify_all();
    });
    std::unique_lock lock(m_mutex);
    m_answered.wait(lock, [this, ticket] { return m_returned >= ticket || m_abandoned; });
}

}  // namespace quillon::app
