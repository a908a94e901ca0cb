#include <gtest/gtest.h>

#include <random>

#include "engine/compute.h"
#include "support/recording_host.h"

namespace quillon {
namespace {

FitRecord MakeFitRecord(const char* method, FitOutcome outcome, const char* message) {
    FitRecord record;
    record.method = method;
    record.outcome = outcome;
    record.message = message;
    return record;
}

using testing::RecordingHost;

// A nonlinear fit that records what it was given and consumes the this-set
// directives, as the real driver does.
class FakeNonlinearFitter : public INonlinearFitter {
  public:
    std::vector<FitRecord> FitSet(const NonlinearSetInput& input, ComputeSession& session,
                                  IComputeHost& host, ResultColumnList&,
                                  ResultColumnList&) override {
        Call call;
        call.x = input.x;
        call.y = input.y;
        call.w = input.w;
        call.setNumber = input.setNumber;
        call.weighted = input.weighted;
        call.directives = session.directives;
        calls.push_back(call);
        session.directives.thisSet.clear();
        host.SendAnswer(AnswerHint::Result, "fitted\n");
        return {MakeFitRecord("Marquardt", FitOutcome::Converged, "fitted\n")};
    }

    struct Call {
        std::vector<double> x, y, w;
        int setNumber = 0;
        bool weighted = false;
        DirectiveLists directives;
    };
    std::vector<Call> calls;
};

struct Compute {
    ComputeSession session;
    RecordingHost host;
    FakeNonlinearFitter fitter;
    ComputeRecord record;

    explicit Compute(int modelId = 0, FitMethod method = FitMethod::Marquardt) {
        session.settings.modelId = modelId;
        session.settings.method = method;
    }
    Compute& WithFile() {
        session.settings.output.enabled = true;
        return *this;
    }
    const ComputeRecord& Run(const std::vector<std::string>& lines) {
        record = ComputeParameters(lines, session, host, &fitter);
        return record;
    }
};

constexpr const char* kWorkedExample =
    "Model function: Y = a + b*X; linear\n"
    "\n"
    "// test\n"
    "  a +/- a_sig = 1 +/- 0 \n"
    "  b +/- b_sig = 2 +/- 0 \n"
    "  Chi-square per degree of freedom: 0\n"
    "  Sigma for y  = 0\n"
    "  Degree of freedom: 1\n"
    "  Number of points: 3\n"
    "\n";

TEST(ComputeReport, WorkedExampleInKindsAndOrder) {
    Compute c;
    c.Run({"// test", "0,\t1", "1,\t3", "2,\t5"});
    EXPECT_EQ(c.host.pane, kWorkedExample);
    ASSERT_EQ(c.host.answers.size(), 3u);
    EXPECT_EQ(c.host.answers[0].first, AnswerHint::Header);
    EXPECT_EQ(c.host.answers[1], std::make_pair(AnswerHint::Memo, std::string("// test\n")));
    EXPECT_EQ(c.host.answers[2].first, AnswerHint::Result);
    EXPECT_EQ(c.session.header, "Model function: Y = a + b*X; linear\n");
    EXPECT_EQ(c.host.exportCalls, 0);  // File switch off: no file
    EXPECT_EQ(c.host.waitShown, 1);
    EXPECT_EQ(c.host.waitDepth, 0);
}

TEST(ComputeSets, TextWithoutMemoIsOneSetFittedAtTheEnd) {
    Compute c;
    const auto& record = c.Run({"0 1", "1 3", "2 5", "3 7", "4 9"});
    ASSERT_EQ(record.sets.size(), 1u);
    EXPECT_EQ(record.sets[0].memo, "");
    EXPECT_EQ(record.sets[0].fits[0].points, 5);
}

TEST(ComputeSets, RecordKeepsEachSetsPointsAndWhetherEveryPointHadAnSd) {
    Compute c;
    const auto& record = c.Run({"// a", "0 1 0.5", "1 3 0.25", "", "// b", "0 2", "1 4 2", "2 6"});
    ASSERT_EQ(record.sets.size(), 2u);
    const SetRecord& a = record.sets[0];
    ASSERT_EQ(a.points.size(), 2u);
    EXPECT_DOUBLE_EQ(a.points[1].X, 1.0);
    EXPECT_DOUBLE_EQ(a.points[1].Y, 3.0);
    EXPECT_DOUBLE_EQ(a.points[1].SD, 0.25);
    EXPECT_TRUE(a.weighted);
    const SetRecord& b = record.sets[1];
    ASSERT_EQ(b.points.size(), 3u);
    EXPECT_DOUBLE_EQ(b.points[1].SD, 2.0);
    EXPECT_DOUBLE_EQ(b.points[2].SD, 1.0);
    EXPECT_FALSE(b.weighted);
}

TEST(ComputeSets, MemoLinesBeforeTheFirstPointAllBelongToTheSet) {
    Compute c;
    const auto& record = c.Run({"// one", "// two", "0 1", "1 3", "2 5", "// trailing"});
    ASSERT_EQ(record.sets.size(), 1u);
    EXPECT_EQ(record.sets[0].memo, "// one\n// two\n");
    EXPECT_EQ(c.host.pane.find("trailing"), std::string::npos);
}

TEST(ComputeSets, BlankLineAfterOnePointDoesNotEndTheSet) {
    Compute c;
    const auto& record = c.Run({"0 1", "", "1 3", "2 5"});
    ASSERT_EQ(record.sets.size(), 1u);
    EXPECT_EQ(record.sets[0].fits[0].points, 3);
}

TEST(ComputeSets, BlankLineEndsASetOfTwoAndEmptiesTheMemo) {
    Compute c(28);
    const auto& record = c.Run({"// first", "1 2", "2 4", "", "1 3", "2 6", "3 9"});
    ASSERT_EQ(record.sets.size(), 2u);
    EXPECT_EQ(record.sets[0].memo, "// first\n");
    EXPECT_EQ(record.sets[0].fits[0].outcome, FitOutcome::Converged);
    EXPECT_EQ(record.sets[1].memo, "");
    EXPECT_EQ(record.sets[1].setNumber, 2);
}

TEST(ComputeSets, TwoPointsBeforeMemoAreDiscardedAndTheNoteJoinsTheNextLinearMemo) {
    Compute c;
    const auto& record = c.Run({"// a", "0 1", "1 2", "// b", "// c", "0 1", "1 3", "2 5"});
    ASSERT_EQ(record.sets.size(), 1u);
    EXPECT_EQ(record.sets[0].setNumber, 1);  // the discarded set took no number
    // The "// b" line itself is dropped; "// c" joins the memo.
    EXPECT_EQ(record.sets[0].memo, "// a\nData invalid!\n// c\n");
    EXPECT_TRUE(c.host.TextsOf(AnswerHint::Error).empty());
}

TEST(ComputeSets, TwoPointsBeforeMemoAreShownAtOnceForNonlinearModels) {
    Compute c(12);
    const auto& record = c.Run({"// a", "0 1", "1 2", "// b", "0 1", "1 3", "2 5", "3 1"});
    ASSERT_EQ(c.host.TextsOf(AnswerHint::Error).size(), 1u);
    EXPECT_EQ(c.host.TextsOf(AnswerHint::Error)[0], "// a\nData invalid!\n");
    ASSERT_EQ(record.sets.size(), 1u);
    EXPECT_EQ(record.sets[0].memo, "");  // "// b" was dropped, the memo emptied
    EXPECT_EQ(record.messages.size(), 1u);
}

TEST(ComputeSets, SetNeedsTwoPointsAtTheEndAndThreeBeforeAMemo) {
    Compute twoAtEnd;
    EXPECT_EQ(twoAtEnd.Run({"1 2", "2 4"}).sets.size(), 1u);  // fitted, fails for a + b*X
    EXPECT_EQ(twoAtEnd.host.TextsOf(AnswerHint::Error).back(), "Abnormal data!!\n");
    Compute oneAtEnd;
    EXPECT_TRUE(oneAtEnd.Run({"// x", "1 2"}).sets.empty());
    EXPECT_EQ(oneAtEnd.host.pane, "Model function: Y = a + b*X; linear\n\n");
}

TEST(ComputeSets, OnePointWithoutSdMakesTheSetUnweighted) {
    Compute c(12);
    c.Run({"0 1 0.5", "1 3 0.25", "2 5", "3 7 2"});
    ASSERT_EQ(c.fitter.calls.size(), 1u);
    const auto& call = c.fitter.calls[0];
    EXPECT_FALSE(call.weighted);
    EXPECT_EQ(call.x, (std::vector<double>{0, 1, 2, 3}));
    EXPECT_EQ(call.w, (std::vector<double>{2.0, 4.0, 1.0, 0.5}));
}

TEST(ComputeSets, ZeroSdCountsAsNoSd) {
    Compute c(12);
    c.Run({"1 1 1", "3, 4, 0", "5 6 2"});
    ASSERT_EQ(c.fitter.calls.size(), 1u);
    EXPECT_FALSE(c.fitter.calls[0].weighted);
    EXPECT_EQ(c.fitter.calls[0].w[1], 1.0);
}

TEST(ComputeSets, WeightedFlagStartsAgainWithEachSet) {
    Compute c(12);
    c.Run({"1 1", "2 2", "3 3", "// next", "1 1 1", "2 2 1", "3 5 1"});
    ASSERT_EQ(c.fitter.calls.size(), 2u);
    EXPECT_FALSE(c.fitter.calls[0].weighted);
    EXPECT_TRUE(c.fitter.calls[1].weighted);
}

TEST(ComputeErrors, SingleCharacterLineShowsTheMemoAndEmptiesIt) {
    Compute c;
    const auto& record = c.Run({"// m", " ", "0 1", "1 3", "2 5"});
    EXPECT_EQ(c.host.TextsOf(AnswerHint::Error), std::vector<std::string>{"// m\nData invalid!\n"});
    EXPECT_EQ(record.sets[0].memo, "");
}

TEST(ComputeErrors, BadPointLineEchoesTheLineAndKeepsThePoints) {
    Compute c;
    const auto& record = c.Run({"// m", "0 1", "abc def", "1 3", "2 5"});
    EXPECT_EQ(c.host.TextsOf(AnswerHint::Error),
              std::vector<std::string>{"// m\nData invalid!\nabc def\n\n"});
    ASSERT_EQ(record.sets.size(), 1u);
    EXPECT_EQ(record.sets[0].fits[0].points, 3);
    EXPECT_EQ(record.sets[0].memo, "");
}

TEST(ComputeErrors, ErrorsAppearBetweenTheSetsAroundThem) {
    Compute c;
    c.Run({"0 1", "1 3", "2 5", "// second", "x", "0 1", "1 3", "2 6"});
    const std::string& pane = c.host.pane;
    const auto firstResult = pane.find("Number of points: 3");
    const auto error = pane.find("// second\nData invalid!\n");
    const auto secondResult = pane.rfind("Number of points: 3");
    EXPECT_LT(firstResult, error);
    EXPECT_LT(error, secondResult);
}

TEST(ComputeDirectives, ListsFillAndTheThisSetListIsConsumedPerSet) {
    Compute c(12);
    c.Run({"0 1", "1 2", "2 0", "// two", "0 1", "<a[1]=2>", "1 2", "<<a[0]=3>>", "2 0", "// three",
           "<a[1]=5>", "0 1", "1 2", "2 0"});
    ASSERT_EQ(c.fitter.calls.size(), 3u);
    EXPECT_TRUE(c.fitter.calls[0].directives.thisSet.empty());
    ASSERT_EQ(c.fitter.calls[1].directives.thisSet.size(), 1u);
    EXPECT_EQ(c.fitter.calls[1].directives.thisSet[0].index, 1);
    ASSERT_EQ(c.fitter.calls[1].directives.laterSets.size(), 1u);
    ASSERT_EQ(c.fitter.calls[2].directives.thisSet.size(), 1u);
    EXPECT_DOUBLE_EQ(c.fitter.calls[2].directives.thisSet[0].value, 5.0);
    EXPECT_EQ(c.fitter.calls[2].directives.laterSets.size(), 1u);
}

TEST(ComputeDirectives, DirectiveOfADiscardedOrLinearSetWaitsForTheNextNonlinearFit) {
    Compute c(12);
    c.Run({"0 1", "<a[0]=1>", "// next", "0 1", "1 2", "2 0"});
    ASSERT_EQ(c.fitter.calls.size(), 1u);
    EXPECT_EQ(c.fitter.calls[0].directives.thisSet.size(), 1u);

    Compute linear;
    linear.Run({"<a[0]=1>", "0 1", "1 2", "2 0"});
    EXPECT_EQ(linear.session.directives.thisSet.size(), 1u);
}

TEST(ComputeDirectives, ANewComputeStartsWithEmptyLists) {
    Compute c(12);
    c.Run({"<<a[0]=3>>", "<a[1]=1>", "0 1", "1 2"});
    c.Run({"0 1", "1 2", "2 0"});
    ASSERT_EQ(c.fitter.calls.size(), 2u);
    EXPECT_TRUE(c.fitter.calls[1].directives.laterSets.empty());
    EXPECT_TRUE(c.fitter.calls[1].directives.thisSet.empty());
}

TEST(ComputeOptions, FramingLineSetsTheRateUntilChangedAgain) {
    Compute c;
    c.Run({"* Framing rate: 500", "0 1", "1 2"});
    EXPECT_DOUBLE_EQ(c.session.settings.framingRate, 500.0);
    c.Run({"* other option", "0 1", "1 2"});
    EXPECT_DOUBLE_EQ(c.session.settings.framingRate, 500.0);
}

TEST(ComputeRuns, SecondRunReplacesThePaneAndHeader) {
    Compute c;
    c.Run({"0 1", "1 3", "2 5"});
    c.session.settings.modelId = 28;
    c.Run({"1 2", "2 4"});
    EXPECT_EQ(c.host.pane.rfind("Model function: Y = b*X; linear", 0), 0u);
    EXPECT_EQ(c.host.pane.find("a + b*X"), std::string::npos);
}

TEST(ComputeRuns, NothingToFitGivesTheHeaderAlone) {
    Compute c;
    c.WithFile().Run({""});
    EXPECT_EQ(c.host.pane, "Model function: Y = a + b*X; linear\n\n");
    EXPECT_EQ(c.host.exportCalls, 0);
}

TEST(ComputeRuns, EnablingRuleNeedsMoreThanTwoLines) {
    EXPECT_FALSE(CanCompute(2));
    EXPECT_TRUE(CanCompute(3));
}

TEST(ComputeRuns, ThreePointLinesFormOneSet) {
    Compute c;
    EXPECT_EQ(c.Run({"0 1", "1 3", "2 5"}).sets.size(), 1u);
}

TEST(ParameterTable, LabelsFromMemosAndLinearNames) {
    Compute c;
    c.WithFile().Run({"// (T=10)", "0 1", "1 3", "2 5", "// (T=20)", "0 2", "1 5", "2 8"});
    ASSERT_EQ(c.host.exportCalls, 1);
    const auto names = c.host.ColumnNames();
    ASSERT_GE(names.size(), 4u);
    const std::vector<std::string> tail(names.end() - 4, names.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"T", "a(y-intercept)", "T", "b(slope)"}));
    const auto& columns = c.host.exported;
    EXPECT_EQ(columns[columns.size() - 4].values, (std::vector<double>{10, 20}));
    EXPECT_EQ(columns[columns.size() - 3].values, (std::vector<double>{1, 2}));
    EXPECT_EQ(columns[columns.size() - 1].values, (std::vector<double>{2, 3}));
    // Per set: Param, x, y; the Linear_ columns only feed the table.
    EXPECT_EQ(names[0], "Param_1");
    EXPECT_EQ(names[1], "x_1");
    EXPECT_EQ(names[2], "y_1");
    EXPECT_EQ(names[3], "Param_2");
    EXPECT_EQ(c.host.Column("Linear_1"), nullptr);
}

TEST(ParameterTable, MemosWithoutParenthesesGiveNumberLabels) {
    Compute c;
    c.WithFile().Run({"// a", "0 1", "1 3", "2 5", "// b", "0 2", "1 5", "2 8"});
    const auto& columns = c.host.exported;
    ASSERT_GE(columns.size(), 4u);
    EXPECT_EQ(columns[columns.size() - 4].name, "No.");
    EXPECT_EQ(columns[columns.size() - 4].values, (std::vector<double>{1, 2}));
}

TEST(ParameterTable, NoTableWithAllOrWithoutTheSwitch) {
    Compute all(0, FitMethod::All);
    all.WithFile().Run({"0 1", "1 3", "2 5"});
    EXPECT_EQ(all.host.ColumnNames(), (std::vector<std::string>{"Param_1", "x_1", "y_1"}));

    Compute off;
    off.session.settings.output.paramTable = false;
    off.WithFile().Run({"0 1", "1 3", "2 5"});
    EXPECT_EQ(off.host.ColumnNames(), (std::vector<std::string>{"Param_1", "x_1", "y_1"}));
}

TEST(ParameterTable, FailedLinearFitAddsALabelButNoParameter) {
    Compute c;
    c.WithFile().Run({"// (T=1)", "1 1", "1 2", "1 3", "// (T=2)", "0 1", "1 3", "2 5"});
    ASSERT_NE(c.host.Column("T"), nullptr);
    EXPECT_EQ(c.host.Column("T")->values, (std::vector<double>{1, 2}));
    EXPECT_EQ(c.host.Column("a(y-intercept)")->values, (std::vector<double>{1}));
}

TEST(ParameterTable, ContentsChooseParametersOrCurve) {
    Compute params;
    params.session.settings.output.contents = ResultContents::Parameters;
    params.WithFile().Run({"0 1", "1 3", "2 5"});
    EXPECT_EQ(params.host.ColumnNames(),
              (std::vector<std::string>{"Param_1", "No.", "a(y-intercept)", "No.", "b(slope)"}));
    Compute curve;
    curve.session.settings.output.contents = ResultContents::Curve;
    curve.WithFile().Run({"0 1", "1 3", "2 5"});
    EXPECT_EQ(curve.host.ColumnNames()[0], "x_1");
    EXPECT_EQ(curve.host.Column("Param_1"), nullptr);
}

TEST(ComputeRobustness, RandomBytesNeverBreakTheRun) {
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> length(0, 40);
    for (int model : {0, 28, 12}) {
        for (int round = 0; round < 200; ++round) {
            std::vector<std::string> lines;
            for (int l = 0; l < 20; ++l) {
                std::string line;
                const int n = length(random);
                for (int k = 0; k < n; ++k) {
                    // Favour the characters the grammar looks at.
                    const int b = byte(random);
                    line += b < 60 ? "0123456789 ,\t.-+e/<>*a[]=()"[b % 28] : static_cast<char>(b);
                }
                lines.push_back(line);
            }
            Compute c(model);
            c.WithFile().Run(lines);
            EXPECT_EQ(c.host.waitDepth, 0);
        }
    }
}

}  // namespace
}  // namespace quillon
