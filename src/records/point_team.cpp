#include "records/point_team.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
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

    // Runs the range on the team, then, when after is given, after on
    // each block in block order on this thread as soon as the block and
    // every one before it are done; false, with nothing run, when another
    // range is being worked on.
    bool TryRun(std::size_t count, std::size_t grain, const PointBlockBody& body,
                const PointBlockBody* after) {
        if (m_busy.exchange(true)) {
            return false;
        }
        const std::size_t blocks = (count + grain - 1) / grain;
        if (after != nullptr && m_doneCapacity < blocks) {
            m_blockDone = std::make_unique<std::atomic<bool>[]>(blocks);
            m_doneCapacity = blocks;
        }
        for (std::size_t b = 0; after != nullptr && b < blocks; ++b) {
            m_blockDone[b].store(false, std::memory_order_relaxed);
        }
        {
            const std::lock_guard lock(m_mutex);
            m_body = &body;
            m_marksDone = after != nullptr;
            m_count = count;
            m_grain = grain;
            m_blocks = blocks;
            m_next.store(0);
            m_working = static_cast<unsigned>(m_helpers.size());
            ++m_generation;
        }
        m_wake.notify_all();
        if (after != nullptr) {
            TakeBlocksInOrder(*after);
        } else {
            TakeBlocks();
        }
        {
            std::unique_lock lock(m_mutex);
            m_done.wait(lock, [this] { return m_working == 0; });
            m_body = nullptr;
        }
        m_busy.store(false);
        return true;
    }

  private:
    void RunBlock(std::size_t block) {
        const std::size_t first = block * m_grain;
        (*m_body)(first, std::min(m_count, first + m_grain));
        if (m_marksDone) {
            m_blockDone[block].store(true, std::memory_order_release);
        }
    }

    void TakeBlocks() {
        for (std::size_t block = m_next.fetch_add(1); block < m_blocks;
             block = m_next.fetch_add(1)) {
            RunBlock(block);
        }
    }

    // The calling thread: passes the finished blocks to after in order,
    // and takes blocks of its own while the next one in order is not done.
    void TakeBlocksInOrder(const PointBlockBody& after) {
        std::size_t ordered = 0;
        while (ordered < m_blocks) {
            if (m_blockDone[ordered].load(std::memory_order_acquire)) {
                const std::size_t first = ordered * m_grain;
                after(first, std::min(m_count, first + m_grain));
                ++ordered;
                continue;
            }
            const std::size_t block = m_next.fetch_add(1);
            if (block < m_blocks) {
                RunBlock(block);
            } else {
                std::this_thread::yield();  // a helper is finishing the next one
            }
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
    // For a range with an ordered pass: which blocks are done.
    bool m_marksDone = false;
    std::unique_ptr<std::atomic<bool>[]> m_blockDone;
    std::size_t m_doneCapacity = 0;
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
    return team && team->TryRun(count, grain, body, nullptr);
}

bool RunOnPointTeamInOrder(std::size_t count, std::size_t grain, PointBlockBody body,
                           PointBlockBody after) {
    const std::shared_ptr<PointTeam> team = g_team.load();
    return team && team->TryRun(count, grain, body, &after);
}

void PrefaultForWriting(void* data, std::size_t bytes) {
    // Whole pages inside the span only: a page it shares with other data
    // faults in as usual.
    static const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t begin = (start + page - 1) / page * page;
    const std::uintptr_t end = (start + bytes) / page * page;
    if (bytes == 0 || end <= begin) {
        return;
    }
    // Pieces on 2 MiB boundaries, so that each transparent huge page is
    // mapped by one thread.
    constexpr std::uintptr_t kPiece = std::uintptr_t{1} << 21;
    const std::uintptr_t base = begin / kPiece * kPiece;
    const std::size_t pieces = (end - base + kPiece - 1) / kPiece;
    ForPointBlocks(pieces, 1, 2, [&](std::size_t first, std::size_t last) {
        const std::uintptr_t from = std::max(begin, base + first * kPiece);
        const std::uintptr_t to = std::min(end, base + last * kPiece);
        madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE);
    });
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
