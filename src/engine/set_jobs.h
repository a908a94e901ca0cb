// The sets of a compute with several threads: each set read becomes a job
// that a worker fits as soon as it is read, while the reading goes on. What
// a job's fit sends is held in a deferred host until the calling thread
// passes the jobs on, in reading order, to the real host.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/compute.h"
#include "records/host.h"
#include "records/records.h"

namespace quillon {

// A host that keeps the texts and message boxes sent to it, to pass them on
// later, in the same order, to the real host on the calling thread.
class DeferredHost final : public IComputeHost {
  public:
    void SendAnswer(AnswerHint hint, const std::string& text) override {
        m_events.push_back({Event::kAnswer, hint, MessageIcon::Information, text});
    }
    void ShowMessage(const std::string& text, MessageIcon icon) override {
        m_events.push_back({Event::kMessage, AnswerHint::Memo, icon, text});
    }
    void Beep() override { m_events.push_back({Event::kBeep, AnswerHint::Memo, {}, {}}); }
    // Only the compute itself exports, at its end, never a set's fit.
    void ExportResults(const ResultColumnList&) override {}

    void ReplayTo(IComputeHost& host) const;

  private:
    struct Event {
        enum Kind { kAnswer, kMessage, kBeep } kind;
        AnswerHint hint;
        MessageIcon icon;
        std::string text;
    };
    std::vector<Event> m_events;
};

// Report pieces held back until they can be passed on in reading order.
struct DeferredOutput {
    DeferredHost host;
    std::vector<MessageRecord> messages;

    // Passes everything on and empties this output.
    void ReplayTo(IComputeHost& target, std::vector<MessageRecord>& targetMessages);
};

struct SetJob;

// Fits one job: fills its fit output, its columns and its record from its
// set and session.
using SetJobFit = void (*)(SetJob& job);

// One set read by a compute with several threads: its input as it stood when
// the set ended, the texts read before it, and what its fit yields.
struct SetJob {
    DeferredOutput before;  // "Data invalid!" texts read since the previous set
    DataSet set;
    ComputeSession session;  // the settings and directive lists the set sees
    // The this-set directives as read: the fit consumes them from the
    // session, and a second fit needs them again.
    std::vector<InitialValueDirective> thisSetRead;

    // What the fit yields, filled by one worker.
    DeferredOutput fit;
    ResultColumnList fileColumns;
    ResultColumnList tableColumns;
    SetRecord record;
    bool done = false;  // guarded by the pool's lock

    // Fits again with directives a previous set left unconsumed ahead of its
    // own as read, as the sequential reading would have handed them over.
    void RefitWithCarriedDirectives(const std::vector<InitialValueDirective>& carried,
                                    SetJobFit fitJob);
};

// The jobs of a compute with several threads. Workers start on the first
// set and fit the sets while the reading goes on, each as soon as it is
// read; the calling thread adds them, then takes them back in reading order.
class SetJobPool {
  public:
    SetJobPool(unsigned threadCount, SetJobFit fitJob)
        : m_threadCount(threadCount), m_fitJob(fitJob) {}
    SetJobPool(const SetJobPool&) = delete;
    SetJobPool& operator=(const SetJobPool&) = delete;
    ~SetJobPool() { Halt(); }

    // Queues a set for fitting (calling thread only); the first one starts
    // the workers.
    void Add(std::unique_ptr<SetJob> job);
    // No more sets come: the workers end when the queue is empty.
    void Close();
    // No new set starts; returns when the sets being fitted are finished.
    void Halt();
    std::size_t Size() const;
    SetJob& At(std::size_t i);
    bool IsDone(std::size_t i) const;
    // Waits until job i is fitted.
    SetJob& WaitFor(std::size_t i);
    // Frees a job that has been passed on; no worker touches it any more.
    void Release(std::size_t i);
    // Halts the workers and frees every job.
    void Clear();

  private:
    void Work();

    unsigned m_threadCount;
    SetJobFit m_fitJob;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_finished;
    // A deque keeps each job where it is while more are added.
    std::deque<std::unique_ptr<SetJob>> m_jobs;
    std::size_t m_next = 0;
    int m_idleWorkers = 0;
    bool m_callerWaits = false;
    bool m_closed = false;
    bool m_halted = false;
    std::vector<std::jthread> m_workers;
};

}  // namespace quillon
