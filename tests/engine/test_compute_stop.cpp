// Stopping a compute between sets and the progress it reports: a stopped
// compute gives exactly the beginning of the full report followed by one
// stopped line, and hands over no result columns.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "engine/compute.h"
#include "records/number_format.h"
#include "support/recording_host.h"

namespace quillon {
namespace {

constexpr int kLinear = 0;
constexpr int kBiasedSine = 12;

// Records progress and asks to stop once stopAfter sets have been announced.
class StopHost : public testing::RecordingHost {
  public:
    explicit StopHost(int stopAfter, bool wantsProgress = true)
        : m_stopAfter(stopAfter), m_wantsProgress(wantsProgress) {}
    bool StopRequested() override {
        ++stopChecks;
        return m_stopAfter >= 0 && static_cast<int>(progress.size()) >= m_stopAfter;
    }
    bool WantsProgress() const override { return m_wantsProgress; }
    void ReportProgress(int setIndex, int setCount) override {
        progress.emplace_back(setIndex, setCount);
    }

    std::vector<std::pair<int, int>> progress;
    int stopChecks = 0;

  private:
    int m_stopAfter;  // negative: never
    bool m_wantsProgress;
};

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end = text.find('\n'); end != std::string::npos;
         start = end + 1, end = text.find('\n', start)) {
        lines.push_back(text.substr(start, end - start));
    }
    lines.push_back(text.substr(start));
    return lines;
}

int CountOf(const std::string& text) {
    return CountComputeSets(SplitLines(text));
}

TEST(CountComputeSets, FollowsTheSetBoundariesOfTheReading) {
    EXPECT_EQ(CountOf(""), 0);
    EXPECT_EQ(CountOf("// memo only\n"), 0);
    EXPECT_EQ(CountOf("0 1\n1 2\n"), 1);                 // two points at the end make a set
    EXPECT_EQ(CountOf("0 1\n1 2\n\n0 1\n1 2\n2 3"), 2);  // a blank line ends a set
    EXPECT_EQ(CountOf("0 1\n\n\n1 2\n"), 1);             // one point does not; it joins the next
    EXPECT_EQ(CountOf("0 1\n1 2\n2 3\n// b\n0 1\n1 2\n"), 2);  // "//" after three points
    EXPECT_EQ(CountOf("0 1\n1 2\n// b\n0 1\n1 2\n2 3\n"), 1);  // "//" after two drops them
    EXPECT_EQ(CountOf("abc def\n0 1\nx\n\n"), 0);              // bad lines are not points
    EXPECT_EQ(CountOf("<a[0]=1>\n* framing 25\n0 1\n<<a[1]=2>>\n1 2\n\n"), 1);
}

// Sets named "// set k" with a bad line between some of them.
std::vector<std::string> NumberedSets(int count, int points, int modelId) {
    std::vector<std::string> lines;
    for (int k = 1; k <= count; ++k) {
        lines.push_back(Sprintf("// set %d (T=%d)", k, k));
        for (int i = 0; i < points; ++i) {
            const double y = modelId == kBiasedSine
                                 ? 3.0 * std::sin(0.39 * i + 0.1 * k) + 5.0 + 0.05 * ((i * k) % 7)
                                 : 1.5 * i + k + 0.1 * ((i * k) % 5);
            lines.push_back(Sprintf("%d %.9g 0.1", i, y));
        }
        if (k % 2 == 0) {
            lines.emplace_back("x");  // "Data invalid!" between sets
        }
    }
    return lines;
}

struct StopRun {
    ComputeSession session;
    StopHost host;
    ComputeRecord record;

    StopRun(int modelId, int stopAfter, bool wantsProgress = true)
        : host(stopAfter, wantsProgress) {
        session.settings.modelId = modelId;
        session.settings.method = modelId == kBiasedSine ? FitMethod::All : FitMethod::Marquardt;
        session.settings.output.enabled = true;
        session.settings.output.paramTable = true;
    }
    void Go(const std::vector<std::string>& lines, int jobs) {
        record = ComputeParameters(lines, session, host, nullptr, jobs);
    }
};

// The texts of stopped, less its last, begin the texts of full; the last
// one is the stopped line.
void ExpectPrefixAndStoppedLine(const StopRun& stopped, const StopRun& full) {
    const auto& answers = stopped.host.answers;
    ASSERT_FALSE(answers.empty());
    EXPECT_EQ(answers.back().first, AnswerHint::Warning);
    EXPECT_EQ(answers.back().second, kComputeStoppedText);
    ASSERT_LT(answers.size() - 1, full.host.answers.size());
    for (std::size_t i = 0; i + 1 < answers.size(); ++i) {
        EXPECT_EQ(answers[i], full.host.answers[i]) << "text " << i;
    }
    EXPECT_TRUE(stopped.record.stopped);
    EXPECT_FALSE(full.record.stopped);
    ASSERT_FALSE(stopped.record.messages.empty());
    EXPECT_EQ(stopped.record.messages.back().kind, "warning");
    // No result file and no parameter table for a part of the sets.
    EXPECT_EQ(stopped.host.exportCalls, 0);
    EXPECT_EQ(full.host.exportCalls, 1);
    EXPECT_EQ(stopped.host.waitDepth, 0);
}

TEST(ComputeStop, SequentialStopKeepsTheFinishedSetsOnly) {
    const auto lines = NumberedSets(5, 6, kLinear);
    StopRun full(kLinear, -1);
    full.Go(lines, 1);
    StopRun stopped(kLinear, 2);
    stopped.Go(lines, 1);
    ExpectPrefixAndStoppedLine(stopped, full);
    ASSERT_EQ(stopped.record.sets.size(), 2u);
    EXPECT_EQ(stopped.record.sets[1].setNumber, 2);
    EXPECT_NE(stopped.host.pane.find("// set 2 (T=2)"), std::string::npos);
    EXPECT_EQ(stopped.host.pane.find("// set 3"), std::string::npos);
    // Everything of set 2 is there: the full pane goes on with set 3's memo.
    const std::string before = stopped.host.pane.substr(
        0, stopped.host.pane.size() - std::string(kComputeStoppedText).size());
    EXPECT_EQ(full.host.pane.rfind(before, 0), 0u);
    EXPECT_EQ(full.host.pane.compare(before.size(), 9, "// set 3 "), 0);
}

TEST(ComputeStop, StopBeforeTheFirstSetLeavesTheHeaderAndTheStoppedLine) {
    StopRun stopped(kLinear, 0, false);
    stopped.Go(NumberedSets(3, 4, kLinear), 1);
    ASSERT_EQ(stopped.host.answers.size(), 2u);
    EXPECT_EQ(stopped.host.answers[0].first, AnswerHint::Header);
    EXPECT_EQ(stopped.host.answers[1].second, kComputeStoppedText);
    EXPECT_TRUE(stopped.record.sets.empty());
    EXPECT_TRUE(stopped.host.progress.empty());  // the host shows none
    EXPECT_EQ(stopped.host.exportCalls, 0);
}

// With several threads the sets already fitted when the stop comes are kept:
// the report is a prefix of the full one plus the stopped line, or, when
// every set was fitted by then, the full report itself.
void ExpectStoppedOrComplete(const StopRun& stopped, const StopRun& full, std::size_t atLeast) {
    const auto& sets = stopped.record.sets;
    ASSERT_GE(sets.size(), atLeast);
    for (std::size_t i = 0; i < sets.size(); ++i) {
        EXPECT_EQ(sets[i].setNumber, static_cast<int>(i) + 1);
        EXPECT_EQ(sets[i].fits.size(), full.record.sets[i].fits.size());
    }
    if (stopped.record.stopped) {
        ExpectPrefixAndStoppedLine(stopped, full);
        EXPECT_LT(sets.size(), full.record.sets.size());
    } else {
        EXPECT_EQ(stopped.host.answers, full.host.answers);
        EXPECT_EQ(stopped.host.exportCalls, 1);
        EXPECT_EQ(sets.size(), full.record.sets.size());
    }
}

TEST(ComputeStop, SeveralThreadsReplayTheFinishedSetsInOrderAndNothingAfter) {
    // Far more sets, each fitted with every method, than the workers can
    // fit while the first ones are passed on, so a stop early on leaves
    // some out.
    const auto lines = NumberedSets(40, 30, kBiasedSine);
    StopRun full(kBiasedSine, -1);
    full.Go(lines, 1);
    int leftOut = 0;
    for (int stopAfter : {0, 1, 3}) {
        StopRun stopped(kBiasedSine, stopAfter);
        stopped.Go(lines, 2);
        SCOPED_TRACE(stopAfter);
        ExpectStoppedOrComplete(stopped, full, static_cast<std::size_t>(stopAfter));
        leftOut += stopped.record.stopped ? 1 : 0;
    }
    EXPECT_GE(leftOut, 1);
}

TEST(ComputeStop, ProgressCountsEverySetAheadWhateverTheThreads) {
    const auto lines = NumberedSets(7, 5, kLinear);
    std::vector<std::pair<int, int>> expected;
    for (int k = 1; k <= 7; ++k) {
        expected.emplace_back(k, 7);
    }
    for (int jobs : {1, 2}) {
        StopRun run(kLinear, -1);
        run.Go(lines, jobs);
        EXPECT_EQ(run.host.progress, expected) << jobs;
        EXPECT_EQ(run.host.stopChecks, 7) << jobs;
        EXPECT_EQ(run.record.sets.size(), 7u);
    }
}

TEST(ComputeStop, ACountedSetMatchesAFittedSetOnMixedInput) {
    // Short sets, sets dropped by "//", single points joining the next set,
    // bad lines and a set ended by the end of the text.
    const std::string text =
        "// a\n0 1\n1 2\n// dropped\n0 1\n1 2\n2 3\nx\n\n5 5\n\n1 2\n2 3\n"
        "abc\n<a[0]=1>\n// c\n1 1 0.1\n2 2.1 0.1\n3 2.9 0.1\n4 4.2 0.1\n\n\n7 7\n8 8";
    StopRun run(kLinear, -1);
    run.Go(SplitLines(text), 1);
    EXPECT_EQ(static_cast<int>(run.record.sets.size()), CountOf(text));
    ASSERT_FALSE(run.host.progress.empty());
    EXPECT_EQ(run.host.progress.back(), std::make_pair(CountOf(text), CountOf(text)));
}

}  // namespace
}  // namespace quillon
