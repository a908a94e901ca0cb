#include "records/point_team.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

namespace quillon {
namespace {

// The lent threads: helpers that sleep until a range is handed out, then
// take its blocks one after another from a shared counter, as does the
// thread that handed it out.
class PointTeam {
  public:
    explicit PointTeam(unsigned threadCount) {
        for (unsigned i = 1; i < threadCount; ++i) {
            m_helpers.emplace_back([this](const std::stop_token& stop) { HelperLoop(stop); });
        }
    }
    PointTeam(const PointTeam&) = delete;
    PointTeam& operator=(const PointTeam&) = delete;
    ~PointTeam() {
        for (std::jthread& helper : m_helpers) {
            helper.request_stop();
        }
        {
            const std::lock_guard lock(m_mutex);
            ++m_generation;  // a helper waiting for work sees the stop
        }
        m_wake.notify_all();
    }

    unsigned Threads() const { return static_cast<unsigned>(m_helpers.size()) + 1U; }

    // Runs the range on the team; false, with nothing run, when another
    // range is being worked on.
    bool TryRun(std::size_t count, std::size_t grain, const PointBlockBody& body) {
        if (m_busy.exchange(true)) {
            return false;
        }
        {
            const std::lock_guard lock(m_mutex);
            m_body = &body;
            m_count = count;
            m_grain = grain;
            m_blocks = (count + grain - 1) / grain;
            m_next.store(0);
            m_working = static_cast<unsigned>(m_helpers.size());
            ++m_generation;
        }
        m_wake.notify_all();
        TakeBlocks();
        {
            std::unique_lock lock(m_mutex);
            m_done.wait(lock, [this] { return m_working == 0; });
            m_body = nullptr;
        }
        m_busy.store(false);
        return true;
    }

  private:
    void TakeBlocks() {
        for (std::size_t block = m_next.fetch_add(1); block < m_blocks;
             block = m_next.fetch_add(1)) {
            const std::size_t first = block * m_grain;
            (*m_body)(first, std::min(m_count, first + m_grain));
        }
    }

    void HelperLoop(const std::stop_token& stop) {
        unsigned seen = 0;
        for (;;) {
            {
                std::unique_lock lock(m_mutex);
                m_wake.wait(lock, [&] { return m_generation != seen; });
                seen = m_generation;
                if (stop.stop_requested()) {
                    return;
                }
            }
            TakeBlocks();
            {
                const std::lock_guard lock(m_mutex);
                if (--m_working == 0) {
                    m_done.notify_one();
                }
            }
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    std::atomic<bool> m_busy{false};
    // The range being worked on; set under the lock before the helpers wake.
    const PointBlockBody* m_body = nullptr;
    std::size_t m_count = 0;
    std::size_t m_grain = 1;
    std::size_t m_blocks = 0;
    std::atomic<std::size_t> m_next{0};
    unsigned m_working = 0;  // helpers not yet through the current range
    unsigned m_generation = 0;
    // Last, so the helpers are joined before the state they use goes.
    std::vector<std::jthread> m_helpers;
};

std::mutex g_scopeMutex;
// The team lent now. A fit holds its own reference while it runs a range,
// so a scope that ends meanwhile cannot take the team away under it.
std::atomic<std::shared_ptr<PointTeam>> g_team;

}  // namespace

PointTeamScope::PointTeamScope(unsigned threadCount) {
    if (threadCount < 2) {
        return;
    }
    const std::lock_guard lock(g_scopeMutex);
    if (g_team.load()) {
        return;
    }
    g_team.store(std::make_shared<PointTeam>(threadCount));
    m_owner = true;
}

PointTeamScope::~PointTeamScope() {
    if (!m_owner) {
        return;
    }
    const std::lock_guard lock(g_scopeMutex);
    g_team.store(nullptr);
}

bool RunOnPointTeam(std::size_t count, std::size_t grain, PointBlockBody body) {
    const std::shared_ptr<PointTeam> team = g_team.load();
    return team && team->TryRun(count, grain, body);
}

void AssignPoints(PointArray& array, std::size_t count, double value) {
    array.resize(count);
    double* data = array.data();
    ForPointBlocks(count, [&](std::size_t first, std::size_t last) {
        std::fill(data + first, data + last, value);
    });
}

unsigned PointTeamThreads() {
    const std::shared_ptr<PointTeam> team = g_team.load();
    return team ? team->Threads() : 1U;
}

}  // namespace quillon
