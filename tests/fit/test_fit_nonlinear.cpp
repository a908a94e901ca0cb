// The nonlinear fit driver through the compute command: logs, outcome
// messages, parameter blocks, directives, ALL runs and result columns.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "engine/compute.h"
#include "fit/convergence.h"
#include "fit/dfpowell.h"
#include "fit/fit_nonlinear.h"
#include "records/number_format.h"
#include "support/recording_host.h"

namespace quillon {
namespace {

using testing::RecordingHost;

constexpr int kLogistic = 22;  // Y = A0 / (1 + A1 exp(-A2 X))

struct FitRun {
    ComputeSession session;
    RecordingHost host;
    ComputeRecord record;

    explicit FitRun(int modelId, FitMethod method = FitMethod::Marquardt) {
        session.settings.modelId = modelId;
        session.settings.method = method;
    }
    const ComputeRecord& Go(const std::vector<std::string>& lines) {
        alarm(120);  // a fit that does not end fails the test program
        record = ComputeParameters(lines, session, host);
        alarm(0);
        return record;
    }
    // The logs of the method runs, in order (memos that hold a method line).
    std::vector<std::string> Logs() const {
        std::vector<std::string> logs;
        for (const std::string& text : host.TextsOf(AnswerHint::Memo)) {
            if (text.find("Method: ") != std::string::npos) {
                logs.push_back(text);
            }
        }
        return logs;
    }
    // The outcome texts with their hints, in order.
    std::vector<std::pair<AnswerHint, std::string>> Outcomes() const {
        std::vector<std::pair<AnswerHint, std::string>> outcomes;
        for (const auto& [hint, text] : host.answers) {
            if (hint == AnswerHint::Result || hint == AnswerHint::Warning ||
                hint == AnswerHint::Error) {
                outcomes.emplace_back(hint, text);
            }
        }
        return outcomes;
    }
};

// Twelve points of 10 / (1 + 3 exp(-0.8 x)), rounded to six decimals.
std::vector<std::string> LogisticLines(const std::string& sd = "") {
    std::vector<std::string> lines{"// logistic"};
    for (int i = 0; i < 12; ++i) {
        const double x = i;
        lines.push_back(Sprintf("%g %.6f%s", x, 10 / (1 + 3 * std::exp(-0.8 * x)), sd.c_str()));
    }
    return lines;
}

// The same with a little deterministic scatter, so chi-square is not zero.
std::vector<std::string> NoisyLogisticLines(const std::string& sd = "") {
    std::vector<std::string> lines{"// noisy logistic"};
    for (int i = 0; i < 12; ++i) {
        const double x = i;
        const double y = 10 / (1 + 3 * std::exp(-0.8 * x)) + ((i * 7) % 5 - 2) * 0.05;
        lines.push_back(Sprintf("%g %.6f%s", x, y, sd.c_str()));
    }
    return lines;
}

std::string FirstInitialValue(const std::string& log) {
    const std::size_t start = log.find("<a[  0] = ");
    return log.substr(start, log.find('\n', start) - start);
}

// ---------------------------------------------------------------------------
// Outcome texts and marks

TEST(FitOutcomeText, EveryOutcomeHasItsText) {
    EXPECT_EQ(FitOutcomeMessage(FitOutcome::Converged, 10000, 0), "収束しました。\n");
    EXPECT_EQ(FitOutcomeMessage(FitOutcome::NotConverged, 10000, 0),
              "収束しませんでした。\n初期値や誤差水準を検討して下さい。\n");
    EXPECT_EQ(FitOutcomeMessage(FitOutcome::Singular, 10000, 0),
              "特異点\n初期値や誤差水準を検討して下さい。\n");
    EXPECT_EQ(FitOutcomeMessage(FitOutcome::OutOfRange, 10000, 0),
              "範囲外\n初期値や誤差水準を検討して下さい。\n");
    EXPECT_EQ(FitOutcomeMessage(FitOutcome::IterationLimit, 12345, 0),
              "計算回数が 12345 を越えました。\n");
    EXPECT_EQ(FitOutcomeMessage(FitOutcome::LambdaAbnormal, 10000, 1e7),
              "lambda が異常な値 1e+007 になりました。\n");
    EXPECT_EQ(FitOutcomeMessage(FitOutcome::LambdaAbnormal, 10000,
                                std::numeric_limits<double>::infinity()),
              "lambda が異常な値 inf になりました。\n");
    EXPECT_EQ(FitOutcomeMessage(static_cast<FitOutcome>(2), 10000, 0), "原因不明の異常終了\n");
    EXPECT_EQ(FitOutcomeMessage(static_cast<FitOutcome>(-5), 10000, 0), "原因不明の異常終了\n");
}

TEST(FitOutcomeText, StatusMarksAroundTheLimit) {
    EXPECT_EQ(StatusMark(FitOutcome::Converged, std::nextafter(1.0, 0.0), 1.0), "");
    EXPECT_EQ(StatusMark(FitOutcome::Converged, 1.0, 1.0), "*");
    EXPECT_EQ(StatusMark(FitOutcome::Converged, 5.0, 1.0), "*");
    EXPECT_EQ(StatusMark(FitOutcome::IterationLimit, 0.0, 1.0), "!");
    for (int outcome : {0, -1, -2, -4, 7}) {
        EXPECT_EQ(StatusMark(static_cast<FitOutcome>(outcome), 0.0, 1.0), "?") << outcome;
    }
    EXPECT_EQ(MethodMark(FitMethod::Marquardt), "_Marq");
    EXPECT_EQ(MethodMark(FitMethod::Expansion), "_Exp");
    EXPECT_EQ(MethodMark(FitMethod::Powell), "_Pow");
    EXPECT_EQ(MethodMark(FitMethod::GradientSearch), "_Grad");
    EXPECT_EQ(MethodMark(FitMethod::All), "");
}

// ---------------------------------------------------------------------------
// Convergence settings

TEST(ConvergenceSettings, DefaultsAndTheDerivedStep) {
    ConvergenceSettings settings;
    EXPECT_EQ(settings.n_cut, 10000);
    EXPECT_EQ(settings.chi_cut, 0.001);
    EXPECT_EQ(settings.ChisqDof_Lim, 1.0);
    EXPECT_EQ(settings.f_ER, 1000.0);
    EXPECT_DOUBLE_EQ(settings.ER(), 1e-4);
    settings.f_ER = 1e-7;
    EXPECT_DOUBLE_EQ(settings.ER(), 1e-14);
    settings.f_ER = 1000000;
    EXPECT_DOUBLE_EQ(settings.ER(), 0.1);
    EXPECT_EQ(kDefaultConvergence.n_cut, 10000);
    EXPECT_EQ(kDefaultConvergence.f_ER, 1000.0);
}

TEST(ConvergenceSettings, RangesAreInclusive) {
    ConvergenceSettings settings;
    EXPECT_FALSE(ValidateConvergence(settings));
    settings.n_cut = 9;
    ASSERT_TRUE(ValidateConvergence(settings));
    EXPECT_EQ(ValidateConvergence(settings)->field, ConvergenceField::NCut);
    settings.n_cut = 10;
    EXPECT_FALSE(ValidateConvergence(settings));
    settings.n_cut = 1000000000;
    EXPECT_FALSE(ValidateConvergence(settings));
    settings = {};
    for (double f : {1e-7, 1e6}) {
        settings.f_ER = f;
        EXPECT_FALSE(ValidateConvergence(settings)) << f;
    }
    for (double f : {0.9e-7, 1.0000001e6, std::nan("")}) {
        settings.f_ER = f;
        ASSERT_TRUE(ValidateConvergence(settings)) << f;
        EXPECT_EQ(ValidateConvergence(settings)->field, ConvergenceField::FEr);
    }
    settings = {};
    settings.chi_cut = 1e-10;
    settings.ChisqDof_Lim = 1000;
    EXPECT_FALSE(ValidateConvergence(settings));
    settings.chi_cut = 1001;
    EXPECT_EQ(ValidateConvergence(settings)->field, ConvergenceField::ChiCut);
}

TEST(ConvergenceSettings, FieldsAreCheckedInTheDialogOrder) {
    ConvergenceSettings settings{5, 0.0, 0.0, 0.0};
    EXPECT_EQ(ValidateConvergence(settings)->field, ConvergenceField::ChiCut);
    settings.chi_cut = 0.001;
    EXPECT_EQ(ValidateConvergence(settings)->field, ConvergenceField::ChisqDofLim);
    settings.ChisqDof_Lim = 1;
    EXPECT_EQ(ValidateConvergence(settings)->field, ConvergenceField::NCut);
    EXPECT_NE(ValidateConvergence(settings)->message.find("n_cut"), std::string::npos);
    settings.n_cut = 10;
    EXPECT_EQ(ValidateConvergence(settings)->field, ConvergenceField::FEr);
}

// ---------------------------------------------------------------------------
// One method on one set

TEST(FitDriver, ConvergedFitSendsLogThenResultWithTheParameterBlock) {
    FitRun run(kLogistic);
    run.Go(LogisticLines());
    ASSERT_EQ(run.record.sets.size(), 1u);
    ASSERT_EQ(run.record.sets[0].fits.size(), 1u);
    const FitRecord& fit = run.record.sets[0].fits[0];
    EXPECT_EQ(fit.method, "Marquardt");
    EXPECT_EQ(fit.outcome, FitOutcome::Converged);
    EXPECT_NEAR(fit.parameters.at(0), 10, 1e-3);
    EXPECT_NEAR(fit.parameters.at(1), 3, 1e-2);
    EXPECT_NEAR(fit.parameters.at(2), 0.8, 1e-3);
    ASSERT_EQ(run.Logs().size(), 1u);
    const std::string log = run.Logs()[0];
    EXPECT_EQ(log.rfind("Initial values of parameters:\n<a[  0] = ", 0), 0u) << log;
    EXPECT_NE(log.find("\nMethod: Marquardt method\n\n   n: Sum of sqrs "), std::string::npos);
    const auto outcomes = run.Outcomes();
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(outcomes[0].first, AnswerHint::Result);
    std::string block = "収束しました。\nParameters fit_aj +/- sigma_aj:\n";
    for (int j = 0; j < 3; ++j) {
        block += Sprintf("  a[%d]: %lf +/- %lf\n", j, fit.parameters[j], fit.errors[j]);
    }
    block += Sprintf(
        "  Chi-square per degree of freedom: %lf\n  Degree of freedom: 9\n  Number of "
        "points: 12\n\n",
        *fit.chisqDof);
    EXPECT_EQ(outcomes[0].second, block);
    EXPECT_EQ(fit.message, "収束しました。\n");
    EXPECT_EQ(fit.dof, 9);
    EXPECT_EQ(fit.points, 12);
}

TEST(FitDriver, ErrorsAreScaledByChiSquarePerDofOnlyWithoutWeights) {
    FitRun plain(kLogistic);
    plain.Go(NoisyLogisticLines());
    FitRun weighted(kLogistic);
    weighted.Go(NoisyLogisticLines(" 1"));  // every point with SD 1: same numbers
    const FitRecord& p = plain.record.sets.at(0).fits.at(0);
    const FitRecord& w = weighted.record.sets.at(0).fits.at(0);
    ASSERT_EQ(p.outcome, FitOutcome::Converged);
    ASSERT_EQ(w.outcome, FitOutcome::Converged);
    EXPECT_EQ(p.parameters, w.parameters);
    ASSERT_EQ(*p.chisqDof, *w.chisqDof);
    const double scale = std::sqrt(*p.chisqDof);
    EXPECT_GT(std::fabs(scale - 1), 0.1) << "the scatter must make a difference";
    for (int j = 0; j < 3; ++j) {
        EXPECT_DOUBLE_EQ(p.errors[j], w.errors[j] * scale) << j;
        EXPECT_NE(plain.Outcomes()[0].second.find(
                      Sprintf("  a[%d]: %lf +/- %lf\n", j, p.parameters[j], p.errors[j])),
                  std::string::npos);
        EXPECT_NE(weighted.Outcomes()[0].second.find(
                      Sprintf("  a[%d]: %lf +/- %lf\n", j, w.parameters[j], w.errors[j])),
                  std::string::npos);
    }
}

TEST(FitDriver, IterationLimitIsAWarningWithParameters) {
    FitRun run(kLogistic,
               FitMethod::GradientSearch);  // Gradient-search does not converge in ten steps here
    run.session.settings.convergence.n_cut = 10;
    run.session.settings.convergence.chi_cut = 1e-10;
    run.session.settings.convergence.f_ER = 1.0;  // fine differences for a tight fit
    run.session.settings.output.enabled = true;
    run.Go(NoisyLogisticLines());
    const auto outcomes = run.Outcomes();
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(outcomes[0].first, AnswerHint::Warning);
    EXPECT_EQ(outcomes[0].second.rfind("計算回数が 10 を越えました。\nParameters fit_aj", 0), 0u);
    const FitRecord& fit = run.record.sets.at(0).fits.at(0);
    EXPECT_EQ(fit.outcome, FitOutcome::IterationLimit);
    EXPECT_EQ(fit.parameters.size(), 3u);
    EXPECT_NE(run.host.Column("!a_1_Grad"), nullptr);
    EXPECT_NE(run.host.Column("!x_1_Grad"), nullptr);
    // Ten numbered log lines, 0 to 9, and no closing line.
    EXPECT_NE(run.Logs()[0].find("\n   9:"), std::string::npos);
    EXPECT_EQ(run.Logs()[0].find("\n  10:"), std::string::npos);
}

TEST(FitDriver, FailedMethodIsAnErrorWithoutParameters) {
    // A constant tail after a step: Powell's Gram matrix cannot be inverted
    // when a derivative vector vanishes. Use the singular case through a
    // model whose step changes nothing: the logistic with A2 = 0 and
    // A1 fixed at 0 makes every derivative but A0's vanish.
    FitRun run(kLogistic);
    run.session.settings.output.enabled = true;
    std::vector<std::string> lines{"<a[1]=0>", "<a[2]=0>"};
    for (const std::string& line : NoisyLogisticLines()) {
        lines.push_back(line);
    }
    run.Go(lines);
    const FitRecord& fit = run.record.sets.at(0).fits.at(0);
    ASSERT_NE(fit.outcome, FitOutcome::Converged);
    ASSERT_NE(fit.outcome, FitOutcome::IterationLimit);
    const auto outcomes = run.Outcomes();
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(outcomes[0].first, AnswerHint::Error);
    EXPECT_EQ(outcomes[0].second, fit.message);
    if (fit.outcome != FitOutcome::LambdaAbnormal) {
        EXPECT_EQ(fit.message, FitOutcomeMessage(fit.outcome, 10000, 0.0));
    }
    EXPECT_EQ(outcomes[0].second.find("Parameters"), std::string::npos);
    EXPECT_TRUE(fit.parameters.empty());
    EXPECT_FALSE(fit.chisqDof);
    const std::vector<std::string> names = run.host.ColumnNames();
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(names[0], "?a_1_Marq");
}

// ---------------------------------------------------------------------------
// Directives

TEST(FitDriver, DirectivesOutOfRangeAreIgnoredAndThisSetWins) {
    FitRun run(kLogistic);
    run.Go({"<<a[0]=5>>", "<<a[1]=6>>", "<<a[3]=99>>", "<a[0]=7>", "<a[-1]=1>", "<a[0]=8>",
            "// first", "0 1", "1 2", "2 4", "3 5", "", "// second", "0 1", "1 2", "2 4", "3 5"});
    const std::vector<std::string> logs = run.Logs();
    ASSERT_EQ(logs.size(), 2u);
    EXPECT_NE(logs[0].find("<a[  0] = 8>\n<a[  1] = 6>\n<a[  2] = "), std::string::npos) << logs[0];
    EXPECT_EQ(logs[0].find("= 99>"), std::string::npos);
    EXPECT_NE(logs[1].find("<a[  0] = 5>\n<a[  1] = 6>\n<a[  2] = "), std::string::npos) << logs[1];
    EXPECT_TRUE(run.session.directives.thisSet.empty());
    EXPECT_EQ(run.session.directives.laterSets.size(), 3u);
}

// ---------------------------------------------------------------------------
// ALL

TEST(FitDriver, AllRunsFourMethodsInOrderEachFromTheEstimates) {
    FitRun run(kLogistic, FitMethod::All);
    run.session.settings.output.enabled = true;
    run.Go([] {
        std::vector<std::string> lines{"<a[0]=9.5>"};
        for (const std::string& l : NoisyLogisticLines()) {
            lines.push_back(l);
        }
        return lines;
    }());
    const SetRecord& set = run.record.sets.at(0);
    ASSERT_EQ(set.fits.size(), 4u);
    const char* names[] = {"Marquardt", "Expansion", "Powell", "Gradient-search"};
    const char* marks[] = {"_Marq", "_Exp", "_Pow", "_Grad"};
    const std::vector<std::string> logs = run.Logs();
    ASSERT_EQ(logs.size(), 4u);
    const auto outcomes = run.Outcomes();
    ASSERT_EQ(outcomes.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(set.fits[i].method, names[i]);
        EXPECT_EQ(set.fits[i].outcome, FitOutcome::Converged) << names[i];
        EXPECT_NE(logs[i].find(std::string("Method: ") + names[i] + " method\n"),
                  std::string::npos);
        EXPECT_EQ(outcomes[i].first, AnswerHint::Result);
        EXPECT_EQ(outcomes[i].second.rfind("収束しました。\nParameters fit_aj", 0), 0u);
        EXPECT_NE(run.host.Column(std::string("a_1") + marks[i]), nullptr) << marks[i];
        // Every method stops once an iteration gains less than chi_cut; the
        // steepest descent gains little per step well before the minimum.
        EXPECT_NEAR(*set.fits[i].chisqDof * 9, *set.fits[0].chisqDof * 9, 10 * 0.001) << names[i];
    }
    // The directive reaches only the first method.
    EXPECT_EQ(FirstInitialValue(logs[0]), "<a[  0] = 9.5>");
    for (int i = 1; i < 4; ++i) {
        EXPECT_EQ(FirstInitialValue(logs[i]), FirstInitialValue(logs[1])) << i;
        EXPECT_NE(FirstInitialValue(logs[i]), "<a[  0] = 9.5>") << i;
    }
    // No parameter table in an ALL run: only the per-method columns.
    for (const std::string& name : run.host.ColumnNames()) {
        EXPECT_TRUE(
            name.find("_Marq") != std::string::npos || name.find("_Exp") != std::string::npos ||
            name.find("_Pow") != std::string::npos || name.find("_Grad") != std::string::npos)
            << name;
    }
}

// ---------------------------------------------------------------------------
// Result columns

TEST(FitDriver, ParameterColumnHoldsParametersChiSquareDofAndCount) {
    FitRun run(kLogistic);
    run.session.settings.output.enabled = true;
    run.Go(NoisyLogisticLines());
    const FitRecord& fit = run.record.sets.at(0).fits.at(0);
    const CResultColumn* column = run.host.Column("*a_1_Marq");
    const CResultColumn* plain = run.host.Column("a_1_Marq");
    // chi2 per dof is tiny, far below the limit 1.
    ASSERT_EQ(column, nullptr);
    ASSERT_NE(plain, nullptr);
    ASSERT_EQ(plain->values.size(), 6u);
    for (int j = 0; j < 3; ++j) {
        EXPECT_EQ(plain->values[j], fit.parameters[j]);
    }
    EXPECT_EQ(plain->values[3], *fit.chisqDof);
    EXPECT_EQ(plain->values[4], 9);
    EXPECT_EQ(plain->values[5], 12);
    const CResultColumn* x = run.host.Column("x_1_Marq");
    const CResultColumn* y = run.host.Column("y_1_Marq");
    ASSERT_NE(x, nullptr);
    ASSERT_NE(y, nullptr);
    ASSERT_EQ(x->values.size(), 101u);
    ASSERT_EQ(y->values.size(), 101u);
    EXPECT_EQ(x->values.front(), 0);
    EXPECT_NEAR(x->values.back(), 11, 1e-9);
    const auto& a = fit.parameters;
    for (std::size_t k = 0; k < 101; k += 25) {
        const double xv = x->values[k];
        EXPECT_DOUBLE_EQ(y->values[k], a[0] / (1 + a[1] * std::exp(-a[2] * xv))) << k;
    }
}

TEST(FitDriver, StatusPrefixAtExactlyTheLimitIsAStar) {
    FitRun first(kLogistic);
    first.Go(NoisyLogisticLines());
    const double chisqDof = *first.record.sets.at(0).fits.at(0).chisqDof;

    FitRun at(kLogistic);
    at.session.settings.output.enabled = true;
    at.session.settings.convergence.ChisqDof_Lim = chisqDof;
    at.Go(NoisyLogisticLines());
    EXPECT_NE(at.host.Column("*a_1_Marq"), nullptr);
    EXPECT_NE(at.host.Column("*x_1_Marq"), nullptr);
    EXPECT_NE(at.host.Column("*y_1_Marq"), nullptr);

    FitRun above(kLogistic);
    above.session.settings.output.enabled = true;
    above.session.settings.convergence.ChisqDof_Lim = std::nextafter(chisqDof, 1.0);
    above.Go(NoisyLogisticLines());
    EXPECT_NE(above.host.Column("a_1_Marq"), nullptr);
    EXPECT_EQ(above.host.Column("*a_1_Marq"), nullptr);
}

// ---------------------------------------------------------------------------
// Staged and periodic models

TEST(FitDriver, StagedSineEndsWithFiveParameters) {
    FitRun run(35, FitMethod::All);
    std::vector<std::string> lines{"// staged"};
    for (int i = 0; i < 60; ++i) {
        const double x = i * 0.25;
        const double phase = x / 5.0 + 0.1;
        lines.push_back(Sprintf("%g %.8f", x, 2 + 3 * std::sin(kTwoPi * phase)));
    }
    run.Go(lines);
    const SetRecord& set = run.record.sets.at(0);
    ASSERT_EQ(set.fits.size(), 4u);
    for (const FitRecord& fit : set.fits) {
        if (!fit.parameters.empty()) {
            EXPECT_EQ(fit.parameters.size(), 5u) << fit.method;
        }
    }
    // The pre-fit log comes first, with four parameters.
    const std::vector<std::string> logs = run.Logs();
    ASSERT_EQ(logs.size(), 5u);
    EXPECT_NE(logs[0].find("<a[  3] = "), std::string::npos);
    EXPECT_EQ(logs[0].find("<a[  4] = "), std::string::npos);
    // Every method of the ALL run starts from the same saved second stage.
    for (int i = 1; i < 5; ++i) {
        EXPECT_NE(logs[i].find("<a[  4] = "), std::string::npos);
        const std::string head = logs[i].substr(0, logs[i].find("\nMethod:"));
        EXPECT_EQ(head, logs[1].substr(0, logs[1].find("\nMethod:"))) << i;
    }
    EXPECT_EQ(set.fits[0].outcome, FitOutcome::Converged);
}

// ---------------------------------------------------------------------------
// Bad data

TEST(FitDriver, FlatDataGivesAMessageBoxAndNothingElseForThatSet) {
    FitRun run(kLogistic);
    run.Go({"// flat", "0 2", "1 2", "2 2", "3 2", "", "// next", "0 1", "1 2", "2 4", "3 5"});
    ASSERT_EQ(run.host.messages.size(), 1u);
    EXPECT_EQ(run.host.messages[0].first, "Data point invalid/flat!\n");
    ASSERT_EQ(run.record.sets.size(), 2u);
    EXPECT_TRUE(run.record.sets[0].fits.empty());
    EXPECT_EQ(run.record.sets[1].fits.size(), 1u);
    EXPECT_EQ(run.Logs().size(), 1u);
    EXPECT_EQ(run.Outcomes().size(), 1u);
}

TEST(FitDriver, TwoPointsForThreeParametersStillReportAndGoOn) {
    FitRun run(kLogistic);
    run.Go({"// two", "0 1", "1 2", "", "// next", "0 1", "1 2", "2 4", "3 5"});
    ASSERT_EQ(run.record.sets.size(), 2u);
    const FitRecord& two = run.record.sets[0].fits.at(0);
    EXPECT_EQ(two.dof, -1);
    EXPECT_EQ(run.Outcomes().at(0).second.rfind(FitOutcomeMessage(two.outcome, 10000, 0), 0), 0u);
    if (two.chisqDof) {
        EXPECT_TRUE(std::isnan(*two.chisqDof)) << "no degrees of freedom: not a number";
    }
    EXPECT_EQ(run.record.sets[1].fits.size(), 1u);
}

TEST(FitDriver, NotANumberOrInfinityInTheDataEndsWithAnOutcome) {
    FitRun run(kLogistic, FitMethod::All);
    run.Go({"// bad", "0 1", "1 nan", "2 3", "3 inf", "4 5", "", "// next", "0 1", "1 2", "2 4",
            "3 5"});
    ASSERT_EQ(run.record.sets.size(), 2u);
    EXPECT_EQ(run.record.sets[0].fits.size(), 4u);
    EXPECT_NE(run.record.sets[0].fits[0].outcome, FitOutcome::Converged);
    EXPECT_EQ(run.record.sets[1].fits.size(), 4u);
    EXPECT_EQ(run.Outcomes().size(), 8u);
}

}  // namespace
}  // namespace quillon

namespace quillon {
namespace {

// Negative estimates give negative steps; they must still move their
// parameter, so the fit of a falling power law with a negative offset works.
TEST(FitDriver, NegativeEstimatesStillGiveUsableSteps) {
    std::vector<std::string> lines;
    for (int i = 0; i < 12; ++i) {
        const double x = 0.5 + 0.5 * i;
        lines.push_back(std::to_string(x) + " " + std::to_string(-4.0 - 3.0 * std::pow(x, 1.5)));
    }
    FitRun run(34);
    run.session.settings.convergence.chi_cut = 1e-10;
    run.session.settings.convergence.f_ER = 1.0;  // fine differences for a tight fit
    const ComputeRecord& record = run.Go(lines);
    ASSERT_EQ(record.sets.size(), 1u);
    const FitRecord& fit = record.sets[0].fits.at(0);
    ASSERT_EQ(fit.outcome, FitOutcome::Converged) << fit.message;
    EXPECT_NEAR(fit.parameters[0], -4.0, 1e-3);
    EXPECT_NEAR(fit.parameters[1], -3.0, 1e-3);
    EXPECT_NEAR(fit.parameters[2], 1.5, 1e-4);
}

}  // namespace
}  // namespace quillon
