// The point team: a range is covered exactly once whichever threads take
// its blocks, small ranges and busy or absent teams stay on the calling
// thread, and only one scope lends threads at a time.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "records/point_team.h"

namespace quillon {
namespace {

// Counts how often each item was handed out and which threads took part.
struct Coverage {
    explicit Coverage(std::size_t count) : hits(count) {}
    std::vector<std::atomic<int>> hits;
    std::mutex mutex;
    std::set<std::thread::id> threads;
    std::atomic<int> calls{0};

    void Take(std::size_t first, std::size_t last) {
        ++calls;
        {
            const std::lock_guard lock(mutex);
            threads.insert(std::this_thread::get_id());
        }
        for (std::size_t i = first; i < last; ++i) {
            ++hits[i];
        }
    }
    bool EachOnce() const {
        for (const std::atomic<int>& h : hits) {
            if (h.load() != 1) {
                return false;
            }
        }
        return true;
    }
};

TEST(PointTeam, WithoutLentThreadsTheRangeIsOneCallOnThisThread) {
    EXPECT_EQ(PointTeamThreads(), 1U);
    Coverage coverage(100000);
    ForPointBlocks(coverage.hits.size(),
                   [&](std::size_t first, std::size_t last) { coverage.Take(first, last); });
    EXPECT_TRUE(coverage.EachOnce());
    EXPECT_EQ(coverage.calls.load(), 1);
    EXPECT_EQ(coverage.threads, std::set{std::this_thread::get_id()});

    int calls = 0;
    ForPointBlocks(0, [&](std::size_t, std::size_t) { ++calls; });
    EXPECT_EQ(calls, 0);  // an empty range calls nothing
}

TEST(PointTeam, OneThreadScopeLendsNothing) {
    const PointTeamScope scope(1);
    EXPECT_EQ(PointTeamThreads(), 1U);
}

struct RangeCase {
    std::size_t count;
    std::size_t grain;
    std::size_t minimum;
    int expectedCalls;  // 0: more than one, blocks of at most grain
};

class PointTeamRanges : public ::testing::TestWithParam<RangeCase> {};

TEST_P(PointTeamRanges, EveryItemOnceInBlocksOfTheGrain) {
    const RangeCase c = GetParam();
    const PointTeamScope scope(3);
    ASSERT_EQ(PointTeamThreads(), 3U);
    Coverage coverage(c.count);
    std::atomic<std::size_t> widest{0};
    ForPointBlocks(c.count, c.grain, c.minimum, [&](std::size_t first, std::size_t last) {
        coverage.Take(first, last);
        std::size_t w = widest.load();
        while (last - first > w && !widest.compare_exchange_weak(w, last - first)) {
        }
    });
    EXPECT_TRUE(coverage.EachOnce());
    if (c.expectedCalls > 0) {
        EXPECT_EQ(coverage.calls.load(), c.expectedCalls);
    } else {
        EXPECT_EQ(static_cast<std::size_t>(coverage.calls.load()),
                  (c.count + c.grain - 1) / c.grain);
        EXPECT_LE(widest.load(), c.grain);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, PointTeamRanges,
    ::testing::Values(RangeCase{kPointTeamMinimum - 1, 16384, kPointTeamMinimum, 1},  // too small
                      RangeCase{kPointTeamMinimum, 16384, kPointTeamMinimum, 0},
                      RangeCase{100003, 16384, kPointTeamMinimum, 0},  // a short last block
                      RangeCase{7, 1, 2, 0},                           // one item per block
                      RangeCase{10, 10, 2, 1},   // one block only: no hand-over
                      RangeCase{10, 0, 2, 1}));  // no grain: one call

TEST(PointTeam, LentThreadsTakePartInALargeRange) {
    const PointTeamScope scope(2);
    Coverage coverage(64);
    // Each block waits (up to a few seconds) for a second thread to show
    // up, so the helper surely takes blocks however late it wakes.
    ForPointBlocks(coverage.hits.size(), 1, 2, [&](std::size_t first, std::size_t last) {
        coverage.Take(first, last);
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < until) {
            {
                const std::lock_guard lock(coverage.mutex);
                if (coverage.threads.size() > 1) {
                    break;
                }
            }
            std::this_thread::yield();
        }
    });
    EXPECT_TRUE(coverage.EachOnce());
    EXPECT_EQ(coverage.threads.size(), 2U);
}

TEST(PointTeam, ARangeStartedInsideARangeRunsOnItsOwnThread) {
    const PointTeamScope scope(2);
    Coverage outer(8);
    std::atomic<bool> innerOnCaller{true};
    std::atomic<int> innerCalls{0};
    ForPointBlocks(outer.hits.size(), 1, 2, [&](std::size_t first, std::size_t last) {
        outer.Take(first, last);
        const std::thread::id self = std::this_thread::get_id();
        Coverage inner(kPointTeamMinimum * 2);
        ForPointBlocks(inner.hits.size(), [&](std::size_t a, std::size_t b) {
            ++innerCalls;
            if (std::this_thread::get_id() != self) {
                innerOnCaller = false;
            }
            inner.Take(a, b);
        });
        EXPECT_TRUE(inner.EachOnce());
    });
    EXPECT_TRUE(outer.EachOnce());
    EXPECT_TRUE(innerOnCaller.load());
    EXPECT_EQ(innerCalls.load(), 8);  // one call per outer block: the team was busy
}

TEST(PointTeam, OnlyTheFirstScopeLendsAndItsEndTakesTheThreadsBack) {
    {
        const PointTeamScope first(4);
        EXPECT_EQ(PointTeamThreads(), 4U);
        {
            const PointTeamScope second(2);
            EXPECT_EQ(PointTeamThreads(), 4U);
        }
        EXPECT_EQ(PointTeamThreads(), 4U);  // the second ending took nothing away
    }
    EXPECT_EQ(PointTeamThreads(), 1U);
    const PointTeamScope again(2);
    EXPECT_EQ(PointTeamThreads(), 2U);
}

// A point array is filled whole, large or small, with the team or without,
// and refilled to a new size as asked.
TEST(PointTeam, AssignedPointArraysHoldTheValueEverywhere) {
    for (const unsigned threads : {1U, 3U}) {
        const PointTeamScope scope(threads);
        for (const std::size_t count :
             {std::size_t{0}, std::size_t{5}, kPointTeamMinimum * 3 + 7}) {
            PointArray array;
            AssignPoints(array, count, 1.5);
            ASSERT_EQ(array.size(), count);
            EXPECT_EQ(std::count(array.begin(), array.end(), 1.5), static_cast<long>(count))
                << threads << " threads, " << count << " points";
            AssignPoints(array, count / 2, -2.0);
            ASSERT_EQ(array.size(), count / 2);
            EXPECT_EQ(std::count(array.begin(), array.end(), -2.0), static_cast<long>(count / 2));
        }
    }
}

// Mapping pages ahead changes no byte, whatever the span's alignment and
// size, on the team or alone.
TEST(PointTeam, PrefaultingKeepsTheContent) {
    std::vector<unsigned char> bytes(std::size_t{9} << 20);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<unsigned char>(i * 7 + 3);
    }
    const std::vector<unsigned char> before = bytes;
    for (const unsigned threads : {1U, 3U}) {
        const PointTeamScope scope(threads);
        PrefaultForWriting(bytes.data() + 1, bytes.size() - 2);
        PrefaultForWriting(bytes.data() + 4095, 10);
        PrefaultForWriting(bytes.data(), 0);
        EXPECT_TRUE(bytes == before) << threads << " threads";
    }
}

// The ordered pass sees every block once, in point order, after the block
// is done, so a sum it forms has the bits of one plain pass; with or
// without lent threads, and for ranges below the team's minimum.
TEST(PointTeam, OrderedPassAddsInPointOrder) {
    const auto term = [](std::size_t i) {
        return 1.0 / (1.0 + static_cast<double>(i % 977)) + 1e-9 * static_cast<double>(i);
    };
    for (const unsigned threads : {1U, 2U, 3U}) {
        const PointTeamScope scope(threads);
        for (const std::size_t count :
             {std::size_t{1}, kPointTeamMinimum - 1, kPointTeamMinimum * 4 + 123}) {
            double plain = 0.0;
            for (std::size_t i = 0; i < count; ++i) {
                plain += term(i) * term(i);
            }
            // Zeros until the body writes: an ordered pass that ran ahead of
            // a block would add them.
            std::vector<double> terms(count, 0.0);
            double ordered = 0.0;
            std::size_t expectedFirst = 0;
            bool inOrder = true;
            ForPointBlocksThenInOrder(
                count,
                [&](std::size_t first, std::size_t last) {
                    for (std::size_t i = first; i < last; ++i) {
                        terms[i] = term(i);
                    }
                },
                [&](std::size_t first, std::size_t last) {
                    inOrder = inOrder && first == expectedFirst && last > first;
                    expectedFirst = last;
                    for (std::size_t i = first; i < last; ++i) {
                        ordered += terms[i] * terms[i];
                    }
                });
            EXPECT_TRUE(inOrder) << threads << " threads, " << count << " points";
            EXPECT_EQ(expectedFirst, count);
            EXPECT_EQ(std::memcmp(&ordered, &plain, sizeof plain), 0)
                << threads << " threads, " << count << " points";
        }
    }
}

}  // namespace
}  // namespace quillon
