#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "engine/compute.h"
#include "engine/global_report.h"
#include "records/number_format.h"
#include "support/recording_host.h"

namespace quillon {
namespace {

using testing::RecordingHost;

// A titration set of model 21, A0 / (1 + A1 / X), with SDs: the lines of
// its memo, the directives given (which apply from this set on) and points.
std::vector<std::string> TitrationSet(double a0, double a1, unsigned seed,
                                      const std::vector<std::string>& directives = {}) {
    const double sd = 0.02;
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0.0, sd);
    std::vector<std::string> lines{Sprintf("// titration (T=%lg)", 20.0 + seed)};
    lines.insert(lines.end(), directives.begin(), directives.end());
    for (int i = 1; i <= 15; ++i) {
        const double x = 0.25 * i;
        lines.push_back(Sprintf("%lg %.10lg %lg", x, a0 / (1.0 + a1 / x) + noise(rng), sd));
    }
    return lines;
}

std::vector<std::string> Joined(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> lines;
    for (const auto& part : parts) {
        lines.insert(lines.end(), part.begin(), part.end());
    }
    return lines;
}

struct GlobalRun {
    ComputeSession session;
    RecordingHost host;
    ComputeRecord record;
    explicit GlobalRun(const std::vector<std::string>& lines, int jobs = 1, int modelId = 21,
                       double chiCut = 0.001, const std::string& formula = {}) {
        session.settings.modelId = modelId;
        session.settings.formula = formula;
        session.settings.convergence.chi_cut = chiCut;
        session.settings.convergence.precise = chiCut < 1e-3;
        record = ComputeParameters(lines, session, host, nullptr, jobs);
    }
};

const std::vector<std::string> kShareA1{"<<a[1] shared>>"};

TEST(GlobalCompute, SeparateBlocksUnchangedAndTheJointBlockFollows) {
    const auto sets =
        Joined({TitrationSet(2.0, 0.8, 1), TitrationSet(3.0, 0.8, 2), TitrationSet(4.0, 0.8, 3)});
    const GlobalRun plain(sets);
    const GlobalRun shared(Joined({kShareA1, sets}));
    ASSERT_FALSE(plain.record.global);
    ASSERT_TRUE(shared.record.global);
    ASSERT_TRUE(shared.host.pane.starts_with(plain.host.pane));
    const std::string block = shared.host.pane.substr(plain.host.pane.size());
    EXPECT_TRUE(block.starts_with("Global fit\n")) << block;

    const GlobalFitRecord& g = *shared.record.global;
    EXPECT_EQ(g.outcome, FitOutcome::Converged);
    ASSERT_EQ(g.shared.size(), 1U);
    EXPECT_EQ(g.shared[0].index, 1);
    EXPECT_LT(std::fabs(g.shared[0].value - 0.8), 4.0 * g.shared[0].error);
    EXPECT_EQ(g.points, 45);
    EXPECT_EQ(g.dof, 45 - (1 + 3));  // one shared and one local per set
    ASSERT_EQ(g.sets.size(), 3U);
    for (const GlobalSetRecord& set : g.sets) {
        EXPECT_EQ(set.parameters[1], g.shared[0].value);
        EXPECT_EQ(set.errors[1], g.shared[0].error);
    }
    // The joint error is below each separate one: three sets inform it.
    for (const SetRecord& set : shared.record.sets) {
        EXPECT_LT(g.shared[0].error, set.fits[0].errors[1]);
    }
    EXPECT_TRUE(g.leftOut.empty());
}

TEST(GlobalCompute, HeldLocalAndSetsLeftOutAreCountedAndListed) {
    std::vector<std::string> flat{"// flat", "1 1 0.1", "2 1 0.1", "3 1 0.1"};
    const auto lines =
        Joined({TitrationSet(2.0, 0.8, 1), TitrationSet(3.0, 0.8, 2, kShareA1),
                TitrationSet(3.0, 0.8, 4, {"<a[0] = 3 fixed>"}), flat, TitrationSet(4.0, 0.8, 3)});
    const GlobalRun run(lines);
    ASSERT_TRUE(run.record.global);
    const GlobalFitRecord& g = *run.record.global;
    ASSERT_EQ(g.leftOut.size(), 2U);
    EXPECT_EQ(g.leftOut[0].setNumber, 1);  // before the sharing began
    EXPECT_EQ(g.leftOut[1].setNumber, 4);  // no separate fit
    EXPECT_EQ(g.points, 45);
    EXPECT_EQ(g.dof, 45 - (1 + 1 + 0 + 1));  // set 3 holds its only local parameter
    EXPECT_NE(run.host.pane.find("Left out: set 1 (shares no parameter), set 4 (no separate fit)"),
              std::string::npos)
        << run.host.pane;
}

TEST(GlobalCompute, SameReportAndRecordForAnyThreadCount) {
    std::vector<std::string> lines = kShareA1;
    for (unsigned k = 1; k <= 12; ++k) {
        const auto set = TitrationSet(1.0 + k, 0.8, k);
        lines.insert(lines.end(), set.begin(), set.end());
    }
    const GlobalRun one(lines, 1);
    const GlobalRun three(lines, 3);
    EXPECT_EQ(one.host.pane, three.host.pane);
    ASSERT_TRUE(one.record.global && three.record.global);
    EXPECT_EQ(one.record.global->shared[0].value, three.record.global->shared[0].value);
}

TEST(GlobalCompute, LinesThatShareNothingJointly) {
    struct Case {
        std::vector<std::string> lines;
        int modelId;
        const char* expected;  // in the answer pane
    };
    const auto set = TitrationSet(2.0, 0.8, 1);
    const Case cases[] = {
        {Joined({{"<<a[5] shared>>"}, set}), 21, "Shared parameter invalid! <<a[5] shared>>\n"},
        {Joined({{"<<a[1] shared>>"}, set}), 0, "the linear models are solved in closed form"},
        {Joined({{"<<a[1] = 1 [0, 2] shared>>"},
                 set,
                 TitrationSet(3.0, 0.8, 2, {"<a[1] = 3 [2.5, 4]>"})}),
         21, "bounds that exclude each other"},
    };
    for (const Case& c : cases) {
        const GlobalRun run(c.lines, 1, c.modelId);
        EXPECT_FALSE(run.record.global);
        EXPECT_NE(run.host.pane.find(c.expected), std::string::npos) << run.host.pane;
    }
}

TEST(GlobalCompute, NoSetThatCanTakePartIsSaidSo) {
    const std::vector<std::string> lines{"<<a[1] shared>>", "// flat", "1 1", "2 1", "3 1"};
    const GlobalRun run(lines);
    ASSERT_TRUE(run.record.global);
    EXPECT_TRUE(run.record.global->sets.empty());
    ASSERT_EQ(run.record.global->leftOut.size(), 1U);
    EXPECT_NE(run.host.pane.find("Global fit\nNo set could take part.\nLeft out: set 1"),
              std::string::npos)
        << run.host.pane;
}

TEST(GlobalCompute, LocalEndsTheSharingAndStartValueIsTaken) {
    const auto lines = Joined({{"<<a[1] = 0.7 shared>>"},
                               TitrationSet(2.0, 0.8, 1),
                               TitrationSet(3.0, 0.8, 2),
                               TitrationSet(4.0, 0.5, 3, {"<<a[1] local>>"})});
    const GlobalRun run(lines);
    ASSERT_TRUE(run.record.global);
    const GlobalFitRecord& g = *run.record.global;
    EXPECT_EQ(g.sets.size(), 2U) << run.host.pane;
    ASSERT_EQ(g.leftOut.size(), 1U);
    EXPECT_EQ(g.leftOut[0].setNumber, 3);
    // "= 0.7 shared" is a plain start for the separate fits, as before.
    EXPECT_NE(run.host.pane.find("<a[  1] = 0.7>"), std::string::npos);
}

// Asks to stop at its stopAt-th question (1-based); one question comes
// before each set is fitted, the next ones before each joint iteration.
class StopAtHost : public RecordingHost {
  public:
    explicit StopAtHost(int stopAt) : m_stopAt(stopAt) {}
    bool StopRequested() override { return ++questions >= m_stopAt; }
    int questions = 0;

  private:
    int m_stopAt;
};

TEST(GlobalCompute, StopDuringTheJointFitEndsItAsAStoppedCompute) {
    std::vector<std::string> lines{"<<a[1] = 0.3 shared>>"};  // a start several steps away
    for (unsigned k = 1; k <= 3; ++k) {
        const auto set = TitrationSet(1.0 + k, 0.8, k);
        lines.insert(lines.end(), set.begin(), set.end());
    }
    for (const int stopAt : {4, 5}) {  // before the first joint iteration, and the second
        ComputeSession session;
        session.settings.modelId = 21;
        StopAtHost host(stopAt);
        const ComputeRecord record = ComputeParameters(lines, session, host, nullptr, 1);
        EXPECT_EQ(host.questions, stopAt);  // asked no more once told to stop
        EXPECT_TRUE(record.stopped);
        EXPECT_FALSE(record.global);
        EXPECT_EQ(record.sets.size(), 3U);  // the separate fits stay
        EXPECT_EQ(host.pane.find("Global fit"), std::string::npos);
        EXPECT_TRUE(host.pane.ends_with("Compute stopped by the user.\n")) << host.pane;
    }
}

TEST(GlobalReport, LambdaAbnormalNamesTheLambdaReached) {
    GlobalFitRecord record;
    record.outcome = FitOutcome::LambdaAbnormal;
    record.iterations = 3;
    record.lambda = 1e7;
    const std::string block = GlobalFitBlock(record, 10000, false);
    EXPECT_NE(block.find("lambda が異常な値 1e+007 になりました。\n  Iterations: 3\n"),
              std::string::npos)
        << block;
}

const auto kThreeTitrations =
    Joined({TitrationSet(2.0, 0.8, 1), TitrationSet(3.0, 0.8, 2), TitrationSet(4.0, 0.8, 3)});

TEST(GlobalComputeBounds, SharedBoundedAwayFromItsOptimumEndsAtTheBoundAndIsMarked) {
    // The sets agree on A1 near 0.8; an upper bound of 0.6 stops it there.
    // The line's start lies above the bound: the separate fits and the joint
    // one begin inside it, and the block says so.
    const GlobalRun run(Joined({{"<<a[1] = 0.9 shared [0, 0.6]>>"}, kThreeTitrations}));
    ASSERT_TRUE(run.record.global) << run.host.pane;
    const GlobalFitRecord& g = *run.record.global;
    ASSERT_EQ(g.outcome, FitOutcome::Converged) << run.host.pane;
    ASSERT_EQ(g.shared.size(), 1U);
    EXPECT_EQ(g.shared[0].atBound, 0.6);
    EXPECT_EQ(g.shared[0].value, 0.6);
    EXPECT_TRUE(std::isnan(g.shared[0].error));
    EXPECT_EQ(g.dof, 45 - (1 + 3));  // a parameter at its bound still counts as fitted
    for (const GlobalSetRecord& set : g.sets) {
        EXPECT_EQ(set.parameters[1], 0.6);
        EXPECT_TRUE(std::isnan(set.errors[1]));
        EXPECT_GT(set.errors[0], 0.0);
    }
    EXPECT_NE(
        run.host.pane.find("Global fit\nStart of a[1] moved into its bounds: 0.9 -> 0.5997\n"),
        std::string::npos)
        << run.host.pane;
    EXPECT_NE(run.host.pane.find("Shared parameters fit_aj +/- sigma_aj:\n  a[1]: 0.600000 (at "
                                 "bound 0.6)\n"),
              std::string::npos)
        << run.host.pane;
}

TEST(GlobalComputeBounds, BoundsThatStayClearGiveTheUnboundedAnswer) {
    // Bounds on the shared parameter, and on one set's local one, that the
    // fit never reaches: the same optimum as without them. The precise
    // gradient lets both reach it, rather than stop short where the forward
    // differences of each scale would.
    const double chiCut = 1e-12;
    const GlobalRun plain(Joined({{"<<a[1] = 0.7 shared>>"}, kThreeTitrations}), 1, 21, chiCut);
    const GlobalRun bounded(Joined({{"<<a[1] = 0.7 shared [0.1, 5]>>"},
                                    TitrationSet(2.0, 0.8, 1),
                                    TitrationSet(3.0, 0.8, 2, {"<a[0] = 3 [0, ]>"}),
                                    TitrationSet(4.0, 0.8, 3)}),
                            1, 21, chiCut);
    ASSERT_TRUE(plain.record.global && bounded.record.global);
    const GlobalFitRecord& p = *plain.record.global;
    const GlobalFitRecord& b = *bounded.record.global;
    ASSERT_EQ(b.outcome, FitOutcome::Converged) << bounded.host.pane;
    EXPECT_TRUE(b.leftOut.empty());  // the set with a bounded local takes part
    ASSERT_EQ(b.sets.size(), 3U);
    ASSERT_TRUE(b.shared[0].bounds);  // the bound is in force
    EXPECT_EQ(b.shared[0].bounds->lower, 0.1);
    EXPECT_FALSE(b.shared[0].atBound);
    EXPECT_NEAR(b.shared[0].value, p.shared[0].value, 1e-8);
    EXPECT_NEAR(b.shared[0].error, p.shared[0].error, 1e-8);
    EXPECT_NEAR(b.chisq, p.chisq, 1e-8);
    for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_NEAR(b.sets[k].parameters[0], p.sets[k].parameters[0], 1e-8) << k;
        EXPECT_NEAR(b.sets[k].errors[0], p.sets[k].errors[0], 1e-8) << k;
    }
    EXPECT_EQ(b.sets[1].atBound.size(), 2U);  // marked only where a local is bounded
    EXPECT_TRUE(b.sets[0].atBound.empty());
}

TEST(GlobalComputeBounds, BoundedLocalEndsAtItsBoundInTheJointFit) {
    // Set 2's amplitude (3 in its data) may not exceed 2.5: its separate fit
    // ends on the bound, where the joint fit starts it. The catalogue model
    // and the same formula with its exact derivatives end alike, whatever
    // the scatter.
    for (const unsigned seed : {2U, 5U, 6U, 7U, 8U, 9U}) {
        const auto lines = Joined({kShareA1, TitrationSet(2.0, 0.8, 1),
                                   TitrationSet(3.0, 0.8, seed, {"<a[0] = 2 [0, 2.5]>"}),
                                   TitrationSet(4.0, 0.8, 3)});
        const GlobalRun model(lines);
        const GlobalRun formula(lines, 1, 21, 0.001, "A0/(1+A1/X)");
        for (const GlobalRun* run : {&model, &formula}) {
            ASSERT_TRUE(run->record.global);
            const GlobalFitRecord& g = *run->record.global;
            ASSERT_EQ(g.sets.size(), 3U) << run->host.pane;
            ASSERT_EQ(g.sets[1].atBound.size(), 2U);
            EXPECT_EQ(g.sets[1].atBound[0], 2.5) << seed;
            EXPECT_EQ(g.sets[1].parameters[0], 2.5);
            EXPECT_TRUE(std::isnan(g.sets[1].errors[0]));
            EXPECT_NE(run->host.pane.find(": a[0] 2.500000 (at bound 2.5), chi2/dof"),
                      std::string::npos)
                << run->host.pane;
        }
        EXPECT_NEAR(formula.record.global->chisq, model.record.global->chisq,
                    1e-3 * model.record.global->chisq)
            << seed;
    }
}

}  // namespace
}  // namespace quillon
