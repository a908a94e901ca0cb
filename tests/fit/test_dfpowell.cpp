// The fit workspace's sums of squares, derivatives, inversion, statistics
// and log on small hand-made models.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "fit/dfpowell.h"
#include "workspace_problems.h"

namespace quillon {
namespace {

using testing::Constant;
using testing::kX3;
using testing::kY3;
using testing::LambdaModel;
using testing::Line;
using testing::Problem;
using testing::Workspace;

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

}  // namespace
}  // namespace quillon
