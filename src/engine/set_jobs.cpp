#include "engine/set_jobs.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace quillon {

void DeferredHost::ReplayTo(IComputeHost& host) const {
    for (const Event& event : m_events) {
        switch (event.kind) {
            case Event::kAnswer:
                host.SendAnswer(event.hint, event.text);
                break;
            case Event::kMessage:
                host.ShowMessage(event.text, event.icon);
                break;
            case Event::kBeep:
                host.Beep();
                break;
        }
    }
}

void DeferredOutput::ReplayTo(IComputeHost& target, std::vector<MessageRecord>& targetMessages) {
    host.ReplayTo(target);
    std::move(messages.begin(), messages.end(), std::back_inserter(targetMessages));
    *this = {};
}

void SetJob::RefitWithCarriedDirectives(const std::vector<InitialValueDirective>& carried,
                                        SetJobFit fitJob) {
    auto& thisSet = session.directives.thisSet;
    thisSet = carried;
    thisSet.insert(thisSet.end(), thisSetRead.begin(), thisSetRead.end());
    fit = {};
    fileColumns.clear();
    tableColumns.clear();
    fitJob(*this);
}

void SetJobPool::Add(std::unique_ptr<SetJob> job) {
    bool wake = false;
    {
        const std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
        wake = m_idleWorkers > 0;
    }
    // Waking only a worker that waits spares a system call per set.
    if (wake) {
        m_wake.notify_one();
    }
    if (m_workers.empty()) {
        m_workers.reserve(m_threadCount);
        for (unsigned t = 0; t < m_threadCount; ++t) {
            m_workers.emplace_back([this] { Work(); });
        }
    }
}

void SetJobPool::Close() {
    {
        const std::lock_guard lock(m_mutex);
        m_closed = true;
    }
    m_wake.notify_all();
}

void SetJobPool::Halt() {
    {
        const std::lock_guard lock(m_mutex);
        m_halted = true;
    }
    m_wake.notify_all();
    m_workers.clear();  // joins
}

std::size_t SetJobPool::Size() const {
    const std::lock_guard lock(m_mutex);
    return m_jobs.size();
}

SetJob& SetJobPool::At(std::size_t i) {
    const std::lock_guard lock(m_mutex);
    return *m_jobs[i];
}

bool SetJobPool::IsDone(std::size_t i) const {
    const std::lock_guard lock(m_mutex);
    return m_jobs[i]->done;
}

SetJob& SetJobPool::WaitFor(std::size_t i) {
    std::unique_lock lock(m_mutex);
    m_callerWaits = true;
    m_finished.wait(lock, [this, i] { return m_jobs[i]->done; });
    m_callerWaits = false;
    return *m_jobs[i];
}

void SetJobPool::Release(std::size_t i) {
    std::unique_ptr<SetJob> released;
    {
        const std::lock_guard lock(m_mutex);
        released = std::move(m_jobs[i]);
    }
}

void SetJobPool::Clear() {
    Halt();
    m_jobs.clear();
}

void SetJobPool::Work() {
    for (;;) {
        SetJob* job = nullptr;
        {
            std::unique_lock lock(m_mutex);
            ++m_idleWorkers;
            m_wake.wait(lock, [this] { return m_halted || m_closed || m_next < m_jobs.size(); });
            --m_idleWorkers;
            if (m_halted || m_next >= m_jobs.size()) {
                return;  // halted, or closed with every set taken
            }
            job = m_jobs[m_next++].get();
        }
        m_fitJob(*job);
        bool wake = false;
        {
            // Marked under the lock: once it is seen done the job may be
            // freed, so the worker does not touch it after this.
            const std::lock_guard lock(m_mutex);
            job->done = true;
            wake = m_callerWaits;
        }
        if (wake) {
            m_finished.notify_all();
        }
    }
}

}  // namespace quillon
