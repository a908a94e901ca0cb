// The four methods of the fit workspace on small hand-made models: outcomes,
// parameters, statistics and the numbering of their logs.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "fit/dfpowell.h"
#include "workspace_problems.h"

namespace quillon {
namespace {

using testing::Constant;
using testing::ExpectIterationsAsLogged;
using testing::ExpectNumberedFromZero;
using testing::kMethods;
using testing::kX3;
using testing::kY3;
using testing::LambdaModel;
using testing::Line;
using testing::LogNumbers;
using testing::Problem;
using testing::Workspace;

// ---------------------------------------------------------------------------
// A parameter whose step changes nothing

LambdaModel::Formula InertSecond() {
    return [](const double* p, double x) { return p[0] + 0 * p[1] * x; };
}

TEST_F(Workspace, InertParameterIsSingularInTheInvertingMethods) {
    // Powell's Gram matrix is not a number: reported as not converged before
    // its first iteration.
    const struct {
        MethodRun (DFPowell::*method)();
        FitOutcome outcome;
        int iterations;
    } cases[] = {{&DFPowell::Marquardt, FitOutcome::Singular, 1},
                 {&DFPowell::Expansion, FitOutcome::Singular, 1},
                 {&DFPowell::Powell, FitOutcome::NotConverged, 0}};
    for (const auto& c : cases) {
        Problem p(kX3, kY3, {0, 5}, {0.1, 0.1}, InertSecond());
        DFPowell ws(*p.model, p.log, 100, 1e-3);
        const MethodRun run = (ws.*c.method)();
        SCOPED_TRACE(p.log.substr(p.log.find("Method: ")));
        EXPECT_EQ(run.outcome, c.outcome);
        EXPECT_EQ(run.iterations, c.iterations);
        EXPECT_TRUE(std::isnan(run.chisqDof)) << "no statistics";
        EXPECT_EQ(p.H(1), 0.1) << "steps untouched";
    }
}

// ---------------------------------------------------------------------------
// Marquardt

TEST_F(Workspace, MarquardtFitsALineAndNumbersItsLog) {
    Problem p({0, 1, 2, 3}, {1, 3.5, 4.5, 7}, {0, 0}, {1e-3, 1e-3}, Line);
    DFPowell ws(*p.model, p.log, 10000, 1e-9);
    const MethodRun run = ws.Marquardt();
    ASSERT_EQ(run.outcome, FitOutcome::Converged);
    // Least squares: b = 1.9, a = 1.15; residuals -0.15, 0.45, -0.45, 0.15.
    // The one-sided differences stop where the forward difference of chi2
    // vanishes: J^T J da = -diag(J^T J) h / 2 = -(2, 7) * 1e-3, so
    // da = (0.7, -0.8) * 1e-3 and chi2 rises by da^T J^T J da = 4.2e-6.
    EXPECT_NEAR(p.A(0), 1.15 + 0.7e-3, 1e-9);
    EXPECT_NEAR(p.A(1), 1.9 - 0.8e-3, 1e-9);
    EXPECT_NEAR(run.chisqDof, (0.45 + 4.2e-6) / 2, 1e-12);
    // Standard errors from (J^T J)^-1 = [[14,-6],[-6,4]]/20.
    EXPECT_NEAR(p.H(0), std::sqrt(14.0 / 20), 1e-6);
    EXPECT_NEAR(p.H(1), std::sqrt(4.0 / 20), 1e-6);
    const std::vector<int> numbers = LogNumbers(p.log);
    ASSERT_GE(numbers.size(), 2u);
    ExpectNumberedFromZero(numbers);
    ExpectIterationsAsLogged(run, p.log);
    EXPECT_EQ(p.log.rfind("Method: Marquardt method"), p.log.find("Method:"));
    EXPECT_NEAR(ws.ChisqPrev(), 0.45 + 4.2e-6, 1e-12);
}

// chi2 does not change along the step: a step function of a0 whose two
// sides are equally far from the data.
TEST_F(Workspace, MarquardtAcceptsAnUnchangedChiSquareAndConverges) {
    const auto step = [](const double* p, double) { return p[0] < 0.5 ? 0.0 : 1.0; };
    Problem p({0, 1}, {0.5, 0.5}, {0.4999}, {0.001}, step);
    DFPowell ws(*p.model, p.log, 10, 1e-3);
    const MethodRun run = ws.Marquardt();
    EXPECT_EQ(run.outcome, FitOutcome::Converged);
    EXPECT_EQ(LogNumbers(p.log), (std::vector<int>{0, 1}));
    ExpectIterationsAsLogged(run, p.log);
    EXPECT_EQ(p.A(0), 0.4999);
    EXPECT_DOUBLE_EQ(run.chisqDof, 0.5);
}

// Every evaluation returns a larger value than the last one, so no trial
// point is ever better than the point it started from.
TEST_F(Workspace, MarquardtThatCanNeverLowerChiSquareEndsWithInfiniteLambda) {
    auto calls = std::make_shared<double>(0);
    const auto drifting = [calls](const double* p, double) { return p[0] + (*calls += 1); };
    Problem p({0, 1, 2}, {0, 0, 0}, {1}, {0.1}, drifting);
    DFPowell ws(*p.model, p.log, 10000, 1e-3);
    const MethodRun run = ws.Marquardt();
    EXPECT_EQ(run.outcome, FitOutcome::LambdaAbnormal);
    EXPECT_TRUE(std::isinf(run.lambda)) << run.lambda;
    EXPECT_TRUE(std::isnan(run.chisqDof));
    EXPECT_EQ(LogNumbers(p.log), (std::vector<int>{0}));
    ExpectIterationsAsLogged(run, p.log);
}

TEST_F(Workspace, MarquardtLambdaStaysFiniteWithAShortLimit) {
    auto calls = std::make_shared<double>(0);
    const auto drifting = [calls](const double* p, double) { return p[0] + (*calls += 1); };
    Problem p({0, 1, 2}, {0, 0, 0}, {1}, {0.1}, drifting);
    DFPowell ws(*p.model, p.log, 10, 1e-3);
    const MethodRun run = ws.Marquardt();
    EXPECT_EQ(run.outcome, FitOutcome::LambdaAbnormal);
    // Ten rejections from 0.001.
    EXPECT_NEAR(run.lambda, 1e7, 1e-3);
    EXPECT_EQ(p.A(0), 1) << "no rejected step is kept";
}

TEST_F(Workspace, MarquardtStopsAtTheIterationLimit) {
    // Converges only to within 1e-10 of chi2 after several steps; a limit of
    // one outer iteration ends it first.
    Problem p({0, 1, 2, 3}, {1, 3.5, 4.5, 7}, {100, -50}, {1e-3, 1e-3}, Line);
    DFPowell ws(*p.model, p.log, 1, 1e-10);
    const MethodRun run = ws.Marquardt();
    EXPECT_EQ(run.outcome, FitOutcome::IterationLimit);
    EXPECT_EQ(LogNumbers(p.log), (std::vector<int>{0}));
    ExpectIterationsAsLogged(run, p.log);
    EXPECT_TRUE(std::isfinite(run.chisqDof));
}

TEST_F(Workspace, NonPositiveLimitRunsNoIteration) {
    Problem p(kX3, kY3, {0, 0}, {1, 1}, Line);
    DFPowell ws(*p.model, p.log, 0, 1e-3);
    // Nothing moves, so every method ends with chi2 at the start over one
    // degree of freedom.
    for (const auto& method : kMethods) {
        const MethodRun run = (ws.*method)();
        EXPECT_EQ(run.outcome, FitOutcome::IterationLimit);
        EXPECT_EQ(run.iterations, 0);
        EXPECT_DOUBLE_EQ(run.chisqDof, 14.0 / 1);
    }
    EXPECT_TRUE(LogNumbers(p.log).empty());
}

// ---------------------------------------------------------------------------
// Expansion

// g(a0) of one parameter with g(0) = 1 and g(1) = 0: from a0 = 0 with step
// 1 the Gauss-Newton step goes to 0.5, where chi2 is 2 g(0.5)^2.
LambdaModel::Formula Bump(double middle) {
    return [middle](const double* p, double) {
        if (p[0] < 0.25) {
            return 1.0;
        }
        return p[0] < 0.75 ? middle : 0.0;
    };
}

TEST_F(Workspace, ExpansionTakesAStepThatRaisesChiSquareBelowTheCut) {
    // chi2 goes from 2 to 2 * 1.0001^2, a rise of 0.0004 < 0.001.
    Problem p({0, 1}, {0, 0}, {0}, {1}, Bump(1.0001));
    DFPowell ws(*p.model, p.log, 100, 1e-3);
    const MethodRun run = ws.Expansion();
    EXPECT_EQ(run.outcome, FitOutcome::Converged);
    EXPECT_EQ(p.A(0), 0.5);
    EXPECT_EQ(LogNumbers(p.log), (std::vector<int>{0, 1}));
    ExpectIterationsAsLogged(run, p.log);
    EXPECT_NE(p.log.find("   0:     2.00000         0  \n   1:     2.00040       0.5  \n"),
              std::string::npos)
        << p.log;
    EXPECT_DOUBLE_EQ(run.chisqDof, 2 * 1.0001 * 1.0001);
}

TEST_F(Workspace, ExpansionDoesNotStopOnARiseAboveTheCut) {
    // A rise of 0.04 is taken and the iteration goes on: from 0.5 the step
    // reaches 1, and from there every derivative is zero.
    Problem p({0, 1}, {0, 0}, {0}, {1}, Bump(1.01));
    DFPowell ws(*p.model, p.log, 100, 1e-3);
    const MethodRun run = ws.Expansion();
    EXPECT_EQ(run.outcome, FitOutcome::Singular);
    EXPECT_NEAR(p.A(0), 1, 1e-12);
    EXPECT_EQ(LogNumbers(p.log), (std::vector<int>{0, 1, 2}));
    ExpectIterationsAsLogged(run, p.log);
}

TEST_F(Workspace, ExpansionSolvesALinearProblemInOneStep) {
    Problem p({0, 1, 2, 3}, {1, 3.5, 4.5, 7}, {0, 0}, {1, 1}, Line);
    DFPowell ws(*p.model, p.log, 100, 1e-6);
    const MethodRun run = ws.Expansion();
    EXPECT_EQ(run.outcome, FitOutcome::Converged);
    // Steps 1 put the forward-difference solution (0.7, -0.8) off the least
    // squares line (see the Marquardt case); a linear model gets there in one
    // step, and the second step changes nothing.
    EXPECT_NEAR(p.A(0), 1.15 + 0.7, 1e-12);
    EXPECT_NEAR(p.A(1), 1.9 - 0.8, 1e-12);
    EXPECT_EQ(LogNumbers(p.log), (std::vector<int>{0, 1, 2}));
    ExpectIterationsAsLogged(run, p.log);
}

// ---------------------------------------------------------------------------
// Gradient-search

// Y = 2 exp(-0.7 x) at ten points, without noise.
struct Decay : Problem {
    Decay(std::vector<double> start, std::vector<double> steps)
        : Problem(Xs(), Ys(), std::move(start), std::move(steps),
                  [](const double* p, double t) { return p[0] * std::exp(p[1] * t); }) {}
    static std::vector<double> Xs() {
        std::vector<double> xs;
        for (int i = 0; i < 10; ++i) {
            xs.push_back(i * 0.3);
        }
        return xs;
    }
    static std::vector<double> Ys() {
        std::vector<double> ys;
        for (double t : Xs()) {
            ys.push_back(2 * std::exp(-0.7 * t));
        }
        return ys;
    }
};

TEST_F(Workspace, GradientSearchConvergesAndEndsWithTheNextNumber) {
    Decay p({1.5, -0.5}, {1.5e-4, 0.5e-4});
    DFPowell ws(*p.model, p.log, 10000, 1e-8);
    const MethodRun run = ws.GradientSearch();
    EXPECT_EQ(run.outcome, FitOutcome::Converged);
    EXPECT_NEAR(p.A(0), 2, 0.02);
    EXPECT_NEAR(p.A(1), -0.7, 0.02);
    EXPECT_LT(run.chisqDof, 1e-5);
    const std::vector<int> numbers = LogNumbers(p.log);
    ASSERT_GE(numbers.size(), 2u);
    ExpectNumberedFromZero(numbers);
    ExpectIterationsAsLogged(run, p.log);
    EXPECT_NE(p.log.find("Method: Gradient-search method\n\n"), std::string::npos);
}

TEST_F(Workspace, GradientSearchEndsOnAFlatSurface) {
    const auto flat = [](const double*, double) { return 1.0; };
    Problem p(kX3, kY3, {0, 0}, {0.1, 0.1}, flat);
    DFPowell ws(*p.model, p.log, 10000, 1e-3);
    const MethodRun run = ws.GradientSearch();
    EXPECT_NE(run.outcome, FitOutcome::Converged);
    EXPECT_EQ(LogNumbers(p.log), (std::vector<int>{0}));
    ExpectIterationsAsLogged(run, p.log);
    EXPECT_EQ(p.A(0), 0);
}

TEST_F(Workspace, GradientSearchEndsOnResidualsThatAreNotNumbers) {
    const auto nan = [](const double* p, double) {
        return p[0] * std::numeric_limits<double>::quiet_NaN();
    };
    Problem p(kX3, kY3, {1}, {0.1}, nan);
    DFPowell ws(*p.model, p.log, 10000, 1e-3);
    const MethodRun run = ws.GradientSearch();
    EXPECT_NE(run.outcome, FitOutcome::Converged);
    EXPECT_LE(LogNumbers(p.log).size(), 1u);
    ExpectIterationsAsLogged(run, p.log);
}

TEST_F(Workspace, GradientSearchEndsWhenNoStepLowersChiSquare) {
    // chi2 = 3 a0^4 is smallest at the start; the forward difference still
    // points away, so every step along it raises chi2 until the step is lost.
    const auto square = [](const double* p, double) { return p[0] * p[0]; };
    Problem p(kX3, {0, 0, 0}, {0}, {0.1}, square);
    DFPowell ws(*p.model, p.log, 10000, 1e-3);
    const MethodRun run = ws.GradientSearch();
    EXPECT_NE(run.outcome, FitOutcome::Converged);
    EXPECT_EQ(p.A(0), 0);
}

TEST_F(Workspace, GradientSearchStopsAtTheIterationLimit) {
    Problem p({0, 1, 2, 3}, {1, 3.5, 4.5, 7}, {100, -50}, {0.01, 0.01}, Line);
    DFPowell ws(*p.model, p.log, 3, 1e-10);
    const MethodRun run = ws.GradientSearch();
    EXPECT_EQ(run.outcome, FitOutcome::IterationLimit);
    EXPECT_EQ(LogNumbers(p.log), (std::vector<int>{0, 1, 2}));
    ExpectIterationsAsLogged(run, p.log);
}

// ---------------------------------------------------------------------------
// Powell

TEST_F(Workspace, PowellFirstLinePointIsHalfTheGaussNewtonStep) {
    Problem p({0, 1, 2}, {1, 2, 3}, {0}, {0.01}, Constant);
    std::vector<double> evaluated;
    p.model->onValue = [&](const double* params, double x) {
        if (x == 0) {
            evaluated.push_back(params[0]);
        }
    };
    DFPowell ws(*p.model, p.log, 10000, 1e-6);
    const MethodRun run = ws.Powell();
    EXPECT_EQ(run.outcome, FitOutcome::Converged);
    // gamma = (1,1,1)/sqrt(3), d = 1/sqrt(3), G = 1.005, rhs = 6/sqrt(3): the
    // direction is 2/1.005 and the first line point half of it.
    ASSERT_GE(evaluated.size(), 3u);
    EXPECT_EQ(evaluated[0], 0);
    EXPECT_EQ(evaluated[1], 0.01);
    EXPECT_NEAR(evaluated[2], 0.5 * 2 / 1.005, 1e-12);
    EXPECT_NEAR(p.A(0), 2, 1e-3);
}

TEST_F(Workspace, PowellWithOneParameterConverges) {
    Problem p({0, 1, 2}, {1, 2, 3}, {10}, {1e-4}, Constant, {1, 1, 2});
    DFPowell ws(*p.model, p.log, 10000, 1e-6);
    const MethodRun run = ws.Powell();
    EXPECT_EQ(run.outcome, FitOutcome::Converged);
    // Weighted mean (1 + 2 + 4*3) / 6.
    // chi2 changes by 6 da^2: a change below 1e-6 leaves da below 4e-4.
    EXPECT_NEAR(p.A(0), 2.5, 5e-4);
    const std::vector<int> numbers = LogNumbers(p.log);
    ASSERT_GE(numbers.size(), 3u) << "at least one direction was replaced";
    ExpectNumberedFromZero(numbers);
    ExpectIterationsAsLogged(run, p.log);
    EXPECT_NEAR(p.H(0), 1 / std::sqrt(6.0), 1e-9);
}

TEST_F(Workspace, PowellConvergesOnALine) {
    Problem p({0, 1, 2, 3}, {1, 3.5, 4.5, 7}, {0, 0}, {1e-3, 1e-3}, Line);
    DFPowell ws(*p.model, p.log, 10000, 1e-9);
    const MethodRun run = ws.Powell();
    EXPECT_EQ(run.outcome, FitOutcome::Converged);
    EXPECT_NEAR(p.A(0), 1.15, 1e-3);
    EXPECT_NEAR(p.A(1), 1.9, 1e-3);
    EXPECT_NEAR(run.chisqDof * 2, 0.45, 1e-6);
    ExpectNumberedFromZero(LogNumbers(p.log));
    ExpectIterationsAsLogged(run, p.log);
}

TEST_F(Workspace, PowellConvergesOnACurvedProblem) {
    Decay p({1.5, -0.5}, {1.5e-4, 0.5e-4});
    DFPowell ws(*p.model, p.log, 10000, 1e-12);
    const MethodRun run = ws.Powell();
    EXPECT_EQ(run.outcome, FitOutcome::Converged);
    EXPECT_NEAR(p.A(0), 2, 1e-3);
    EXPECT_NEAR(p.A(1), -0.7, 1e-3);
}

}  // namespace
}  // namespace quillon
