// The fit workspace and its four methods on small hand-made models whose
// sums of squares, Jacobians and steps can be worked out by hand.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "fit/dfpowell.h"
#include "models/model_function.h"

namespace quillon {
namespace {

// Any method that fails to end kills the test program instead of hanging it.
class Workspace : public ::testing::Test {
  protected:
    void SetUp() override { alarm(60); }
    void TearDown() override { alarm(0); }
};

// A model given by a function of the parameters and x.
class LambdaModel : public CModelFunction {
  public:
    using Formula = std::function<double(const double*, double)>;
    LambdaModel(const std::vector<double>& x, const std::vector<double>& y,
                const std::vector<double>& w, std::vector<double> start, std::vector<double> steps,
                Formula formula)
        : CModelFunction(x.data(), y.data(), w.data(), static_cast<int>(x.size()), 1e-4,
                         static_cast<int>(start.size())),
          m_formula(std::move(formula)) {
        m_pParams = std::move(start);
        m_pSteps = std::move(steps);
        m_pSavedParams = m_pParams;
        m_pSavedSteps = m_pSteps;
    }
    double Value(double* params, double x) const override {
        if (onValue) {
            onValue(params, x);
        }
        return m_formula(params, x);
    }
    std::function<void(const double*, double)> onValue;

  private:
    Formula m_formula;
};

// Data and model together, so the arrays outlive the model.
struct Problem {
    std::vector<double> x, y, w;
    std::unique_ptr<LambdaModel> model;
    std::string log;
    Problem(std::vector<double> xs, std::vector<double> ys, std::vector<double> start,
            std::vector<double> steps, LambdaModel::Formula formula,
            std::vector<double> weights = {})
        : x(std::move(xs)), y(std::move(ys)), w(std::move(weights)) {
        if (w.empty()) {
            w.assign(x.size(), 1.0);
        }
        model = std::make_unique<LambdaModel>(x, y, w, std::move(start), std::move(steps),
                                              std::move(formula));
    }
    double A(int i) const { return model->Params()[static_cast<std::size_t>(i)]; }
    double H(int i) const { return model->Steps()[static_cast<std::size_t>(i)]; }
};

double Constant(const double* p, double) {
    return p[0];
}
double Line(const double* p, double x) {
    return p[0] + p[1] * x;
}

// Lines of the log that start with an iteration number, as those numbers.
std::vector<int> LogNumbers(const std::string& log) {
    std::vector<int> numbers;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);) {
        if (line.size() > 5 && line[4] == ':' && line.find_first_not_of(" 0123456789") == 4) {
            numbers.push_back(std::stoi(line.substr(0, 4)));
        }
    }
    return numbers;
}

void ExpectNumberedFromZero(const std::vector<int>& numbers) {
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        EXPECT_EQ(numbers[i], static_cast<int>(i));
    }
}

// The four methods, in the order of the method list.
const std::vector<MethodRun (DFPowell::*)()> kMethods{&DFPowell::Marquardt, &DFPowell::Expansion,
                                                      &DFPowell::Powell, &DFPowell::GradientSearch};

// A run's iterations are the numbered log lines, less the closing line a
// converged run adds.
void ExpectIterationsAsLogged(const MethodRun& run, const std::string& log) {
    const auto lines = static_cast<int>(LogNumbers(log).size());
    EXPECT_EQ(run.iterations, run.outcome == FitOutcome::Converged ? lines - 1 : lines);
}

const std::vector<double> kX3{0, 1, 2};
const std::vector<double> kY3{1, 2, 3};

// ---------------------------------------------------------------------------
// Sums of squares, derivatives and the inverse

TEST_F(Workspace, ZeroWeightRowContributesNothing) {
    const auto formula = Line;
    Problem with({0, 1, 2, 3}, {1, 3.5, 4.5, 100}, {0.5, 1.5}, {0.01, 0.02}, formula,
                 {1, 2, 0.5, 0});
    Problem without({0, 1, 2}, {1, 3.5, 4.5}, {0.5, 1.5}, {0.01, 0.02}, formula, {1, 2, 0.5});
    DFPowell a(*with.model, with.log, 100, 1e-3);
    DFPowell b(*without.model, without.log, 100, 1e-3);
    double pa[] = {0.5, 1.5};
    double pb[] = {0.5, 1.5};
    EXPECT_EQ(a.ChiSquare(pa, 0), b.ChiSquare(pb, 0));
    a.BuildCurvature();
    b.BuildCurvature();
    EXPECT_EQ(a.F0(), b.F0());
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(a.Alpha()[i], b.Alpha()[i]) << i;
    }
    EXPECT_EQ(a.Beta()[0], b.Beta()[0]);
    EXPECT_EQ(a.Beta()[1], b.Beta()[1]);
}

TEST_F(Workspace, ChiSquareIsTheWeightedSumInInputOrder) {
    Problem p({0, 1, 2}, {1, 2, 4}, {0, 1}, {0.1, 0.1}, Line, {1, 2, 0.5});
    DFPowell ws(*p.model, p.log, 100, 1e-3);
    double params[] = {1, 1};
    // Residuals (1-1)*1, (2-2)*2, (3-4)*0.5.
    EXPECT_DOUBLE_EQ(ws.ChiSquare(params, 0), 0.25);
    double other[] = {0, 0};
    EXPECT_DOUBLE_EQ(ws.ChiSquare(other, 2), 1 + 16 + 4);
}

TEST_F(Workspace, CurvatureAndHalfGradientByForwardDifferences) {
    // chi2(a0, a1) for the line through (0,1), (1,2), (2,3) from a = (0, 0)
    // with steps 1: J row 0 = (1,1,1), row 1 = (0,1,2).
    Problem p(kX3, kY3, {0, 0}, {1, 1}, Line);
    DFPowell ws(*p.model, p.log, 100, 1e-3);
    ws.BuildCurvature();
    EXPECT_DOUBLE_EQ(ws.F0(), 14);
    // chi2(1, 0) = 0 + 1 + 4 = 5; chi2(0, 1) = 1 + 1 + 1 = 3.
    EXPECT_DOUBLE_EQ(ws.Beta()[0], (5 - 14) * -0.5);
    EXPECT_DOUBLE_EQ(ws.Beta()[1], (3 - 14) * -0.5);
    EXPECT_DOUBLE_EQ(ws.Alpha()[0], 3);
    EXPECT_DOUBLE_EQ(ws.Alpha()[1], 3);
    EXPECT_DOUBLE_EQ(ws.Alpha()[2], 3);
    EXPECT_DOUBLE_EQ(ws.Alpha()[3], 5);
    ws.BuildWorkCurvature();
    EXPECT_DOUBLE_EQ(ws.Work()[0], 3);
    EXPECT_DOUBLE_EQ(ws.Work()[3], 5);
    ws.DampWork();
    EXPECT_DOUBLE_EQ(ws.Work()[0], 3 * 1.001);
    EXPECT_DOUBLE_EQ(ws.Work()[1], 3);
    EXPECT_DOUBLE_EQ(ws.Work()[3], 5 * 1.001);
}

// The curvature sums several rows at once; every element must still be the
// sum over the points in their order, for every parameter count (the last
// group of rows is then partly filled).
TEST_F(Workspace, CurvatureElementsAreTheOrderedSumsOfJacobianProducts) {
    const std::vector<double> x{0.5, 1.25, 2, 3.5, 4, 5.75, 7, 8.5, 9, 11};
    const std::vector<double> y{1, -2, 0.5, 3, -1, 2.5, 0, 1.5, -0.5, 4};
    const std::vector<double> w{1, 2, 0.5, 1, 3, 1, 0.25, 1, 2, 1};
    auto formula = [](const double* p, double xv, int m) {
        double sum = 0;
        for (int i = 0; i < m; ++i) {
            sum += std::sin(p[i] * (i + 1) + xv) * (1 + 0.1 * i);
        }
        return sum;
    };
    for (int m = 1; m <= 9; ++m) {
        std::vector<double> start, steps;
        for (int i = 0; i < m; ++i) {
            start.push_back(0.3 * i - 0.7);
            steps.push_back(1e-3 * (i + 2));
        }
        Problem p(
            x, y, start, steps,
            [m, formula](const double* a, double xv) { return formula(a, xv, m); }, w);
        DFPowell ws(*p.model, p.log, 100, 1e-3);
        ws.BuildCurvature();

        auto residuals = [&](const std::vector<double>& a) {
            std::vector<double> r;
            for (std::size_t j = 0; j < x.size(); ++j) {
                r.push_back((formula(a.data(), x[j], m) - y[j]) * w[j]);
            }
            return r;
        };
        const std::vector<double> r0 = residuals(start);
        std::vector<std::vector<double>> jac;
        for (int i = 0; i < m; ++i) {
            std::vector<double> row = start;
            row[static_cast<std::size_t>(i)] += steps[static_cast<std::size_t>(i)];
            const std::vector<double> r1 = residuals(row);
            std::vector<double> ji;
            for (std::size_t j = 0; j < x.size(); ++j) {
                ji.push_back((r1[j] - r0[j]) / steps[static_cast<std::size_t>(i)]);
            }
            jac.push_back(ji);
        }
        for (int i = 0; i < m; ++i) {
            for (int k = 0; k < m; ++k) {
                double sum = 0.0;
                for (std::size_t j = 0; j < x.size(); ++j) {
                    sum +=
                        jac[static_cast<std::size_t>(i)][j] * jac[static_cast<std::size_t>(k)][j];
                }
                EXPECT_EQ(ws.Alpha()[i * m + k], sum) << "m " << m << " at " << i << "," << k;
            }
        }
    }
}

// x selects a column of the basis: value = sum_i p_i * basis[i][x]. With
// steps 1 and y = 0 the Jacobian is the basis itself and work = B B^T.
LambdaModel::Formula BasisFormula(std::vector<std::vector<double>> basis) {
    return [basis](const double* p, double x) {
        double sum = 0;
        for (std::size_t i = 0; i < basis.size(); ++i) {
            sum += p[i] * basis[i][static_cast<std::size_t>(x)];
        }
        return sum;
    };
}

struct BasisProblem : Problem {
    explicit BasisProblem(const std::vector<std::vector<double>>& basis)
        : Problem(Indices(basis[0].size()), std::vector<double>(basis[0].size(), 0.0),
                  std::vector<double>(basis.size(), 0.0), std::vector<double>(basis.size(), 1.0),
                  BasisFormula(basis)) {}
    static std::vector<double> Indices(std::size_t n) {
        std::vector<double> x(n);
        for (std::size_t i = 0; i < n; ++i) {
            x[i] = static_cast<double>(i);
        }
        return x;
    }
};

TEST_F(Workspace, InvertsTwoByTwoAndThreeByThreeByHand) {
    // B B^T = [[1,1],[1,2]], inverse [[2,-1],[-1,1]].
    BasisProblem two({{1, 0}, {1, 1}});
    DFPowell ws2(*two.model, two.log, 100, 1e-3);
    ws2.BuildWorkCurvature();
    ASSERT_TRUE(ws2.InvertInPlace());
    const double want2[] = {2, -1, -1, 1};
    for (int i = 0; i < 4; ++i) {
        EXPECT_DOUBLE_EQ(ws2.Work()[i], want2[i]) << i;
    }
    // B B^T = [[1,1,1],[1,2,2],[1,2,3]], inverse [[2,-1,0],[-1,2,-1],[0,-1,1]].
    BasisProblem three({{1, 0, 0, 0}, {1, 1, 0, 0}, {1, 1, 1, 0}});
    DFPowell ws3(*three.model, three.log, 100, 1e-3);
    ws3.BuildWorkCurvature();
    ASSERT_TRUE(ws3.InvertInPlace());
    const double want3[] = {2, -1, 0, -1, 2, -1, 0, -1, 1};
    for (int i = 0; i < 9; ++i) {
        EXPECT_NEAR(ws3.Work()[i], want3[i], 1e-15) << i;
    }
    // A general one: [[4,2,0],[2,5,3],[0,3,10]] from rows (2,0,0),(1,2,0),(0,1.5,...)
    BasisProblem dense({{2, 0, 0}, {1, 2, 0}, {0, 1.5, std::sqrt(7.75)}});
    DFPowell wsd(*dense.model, dense.log, 100, 1e-3);
    wsd.BuildWorkCurvature();
    ASSERT_TRUE(wsd.InvertInPlace());
    // det = 4*(50-9) - 2*(20) = 124; adjugate / det.
    const double wantd[] = {41.0 / 124,  -20.0 / 124, 6.0 / 124,   -20.0 / 124, 40.0 / 124,
                            -12.0 / 124, 6.0 / 124,   -12.0 / 124, 16.0 / 124};
    for (int i = 0; i < 9; ++i) {
        EXPECT_NEAR(wsd.Work()[i], wantd[i], 1e-12) << i;
    }
}

TEST_F(Workspace, ZeroPivotFailsTheInversion) {
    // [[1,1],[1,1]]: the second pivot is 1 - 1 = 0.
    BasisProblem equal({{1, 0}, {1, 0}});
    DFPowell ws(*equal.model, equal.log, 100, 1e-3);
    ws.BuildWorkCurvature();
    EXPECT_FALSE(ws.InvertInPlace());
    // A zero first pivot.
    BasisProblem zero({{0, 0}, {1, 1}});
    DFPowell wz(*zero.model, zero.log, 100, 1e-3);
    wz.BuildWorkCurvature();
    EXPECT_FALSE(wz.InvertInPlace());
}

TEST_F(Workspace, OneParameterInverseIsOneOverAlpha) {
    Problem p({0, 1, 2}, {1, 2, 3}, {0}, {0.5}, Constant, {1, 2, 3});
    DFPowell ws(*p.model, p.log, 100, 1e-3);
    ws.BuildWorkCurvature();
    EXPECT_DOUBLE_EQ(ws.Work()[0], 14);  // 1 + 4 + 9
    ASSERT_TRUE(ws.InvertInPlace());
    EXPECT_EQ(ws.Work()[0], 1.0 / 14);
}

TEST_F(Workspace, FinishStatisticsGivesStandardErrorsAndChiSquarePerDof) {
    Problem p({0, 1, 2}, {1, 2, 3}, {2}, {0.25}, Constant, {1, 2, 3});
    DFPowell ws(*p.model, p.log, 100, 1e-3);
    // chi2 at 2 = 1 + 0 + 9 = 10 over 2 degrees of freedom.
    EXPECT_DOUBLE_EQ(ws.FinishStatistics(), 5);
    EXPECT_DOUBLE_EQ(p.H(0), std::sqrt(1.0 / 14));
}

TEST_F(Workspace, NoDegreesOfFreedomGivesNotANumber) {
    Problem p({0, 1}, {1, 2}, {0, 0}, {1, 1}, Line);
    DFPowell ws(*p.model, p.log, 100, 1e-3);
    const MethodRun run = ws.Marquardt();
    EXPECT_EQ(run.outcome, FitOutcome::Converged);
    EXPECT_TRUE(std::isnan(run.chisqDof));
    // The forward differences with steps 1 end half a unit below the line
    // through both points, (1, 1): J^T J da = -(2, 1) / 2.
    EXPECT_NEAR(p.A(0), 0.5, 1e-9);
    EXPECT_NEAR(p.A(1), 1, 1e-9);
}

TEST_F(Workspace, LogHeaderAndLinesHaveTheirExactFormats) {
    Problem p(kX3, kY3, {1.5, -0.000123}, {1, 1}, Line);
    DFPowell ws(*p.model, p.log, 100, 1e-3);
    ws.LogHeader(FitMethod::Marquardt);
    ws.LogLine(3);
    EXPECT_EQ(p.log,
              "Initial values of parameters:\n"
              "<a[  0] = 1.5>\n"
              "<a[  1] = -0.000123>\n"
              "\n"
              "Method: Marquardt method\n\n"
              "   n: Sum of sqrs    a[  0]      a[  1]   \n"
              "   3:     0.00000       1.5   -0.000123  \n");
    p.log.clear();
    for (FitMethod method : {FitMethod::Expansion, FitMethod::Powell, FitMethod::GradientSearch}) {
        ws.LogHeader(method);
    }
    EXPECT_NE(p.log.find("Method: Expansion method\n\n"), std::string::npos);
    EXPECT_NE(p.log.find("Method: Powell method\n\n"), std::string::npos);
    EXPECT_NE(p.log.find("Method: Gradient-search method\n\n"), std::string::npos);
}

TEST_F(Workspace, LogLineShowsTheChiSquareOfTheIteration) {
    Problem p(kX3, kY3, {0, 0}, {1, 1}, Line);
    DFPowell ws(*p.model, p.log, 100, 1e-3);
    ws.Marquardt();
    // chi2 at (0, 0) is 1 + 4 + 9.
    EXPECT_NE(p.log.find("   n: Sum of sqrs    a[  0]      a[  1]   \n"
                         "   0:    14.00000         0           0  \n"),
              std::string::npos)
        << p.log;
}

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
