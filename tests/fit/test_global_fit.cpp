#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "fit/block_normal_equations.h"
#include "fit/global_fit.h"
#include "workspace_problems.h"

namespace quillon {
namespace {

using testing::Problem;

// A random block system: per set a Jacobian of `rows` rows over `local`
// local and `shared` shared columns, with a random right-hand side; also
// the same system as one dense matrix (the shared columns first).
struct BlockSystem {
    std::vector<SetNormalBlock> blocks;
    std::vector<double> dense;  // size x size
    std::vector<double> rhs;
    int size = 0;
};

BlockSystem RandomSystem(int sets, int local, int shared, unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> normal;
    BlockSystem sys;
    sys.size = shared + sets * local;
    const auto n = static_cast<std::size_t>(sys.size);
    sys.dense.assign(n * n, 0.0);
    sys.rhs.assign(n, 0.0);
    for (int k = 0; k < sets; ++k) {
        const int rows = 3 * (local + shared);
        std::vector<std::vector<double>> jac(static_cast<std::size_t>(rows));
        std::vector<double> r(static_cast<std::size_t>(rows));
        for (int i = 0; i < rows; ++i) {
            r[static_cast<std::size_t>(i)] = normal(rng);
            for (int c = 0; c < sys.size; ++c) {
                const bool mine = c < shared || (c - shared) / local == k;
                jac[static_cast<std::size_t>(i)].push_back(mine ? normal(rng) : 0.0);
            }
        }
        // Dense sums over this set's rows; the blocks are cut from them.
        std::vector<double> part(n * n, 0.0);
        std::vector<double> g(n, 0.0);
        for (int i = 0; i < rows; ++i) {
            const auto& row = jac[static_cast<std::size_t>(i)];
            for (std::size_t a = 0; a < n; ++a) {
                g[a] -= row[a] * r[static_cast<std::size_t>(i)];
                for (std::size_t b = 0; b < n; ++b) {
                    part[a * n + b] += row[a] * row[b];
                }
            }
        }
        SetNormalBlock block;
        block.local = local;
        const auto s = static_cast<std::size_t>(shared);
        const auto l = static_cast<std::size_t>(local);
        const std::size_t first = s + static_cast<std::size_t>(k) * l;
        for (std::size_t a = 0; a < s; ++a) {
            block.sharedHalfGradient.push_back(g[a]);
            for (std::size_t b = 0; b < s; ++b) {
                block.sharedCurvature.push_back(part[a * n + b]);
            }
        }
        for (std::size_t a = 0; a < l; ++a) {
            block.halfGradient.push_back(g[first + a]);
            for (std::size_t b = 0; b < l; ++b) {
                block.curvature.push_back(part[(first + a) * n + first + b]);
            }
            for (std::size_t b = 0; b < s; ++b) {
                block.coupling.push_back(part[(first + a) * n + b]);
            }
        }
        sys.blocks.push_back(block);
        for (std::size_t i = 0; i < n * n; ++i) {
            sys.dense[i] += part[i];
        }
        for (std::size_t i = 0; i < n; ++i) {
            sys.rhs[i] += g[i];
        }
    }
    return sys;
}

struct SchurCase {
    int sets, local, shared;
    double lambda;
};

class SchurAgainstDense : public ::testing::TestWithParam<SchurCase> {};

TEST_P(SchurAgainstDense, SameStepAndSameCovariance) {
    const SchurCase c = GetParam();
    const BlockSystem sys = RandomSystem(c.sets, c.local, c.shared, 17);
    const auto n = static_cast<std::size_t>(sys.size);
    std::vector<double> damped = sys.dense;
    for (std::size_t i = 0; i < n; ++i) {
        damped[i * n + i] *= 1.0 + c.lambda;
    }
    ASSERT_TRUE(InvertGaussJordan(damped, sys.size));
    const BlockStep step = SolveBlockNormalEquations(sys.blocks, c.shared, c.lambda);
    ASSERT_TRUE(step.solved);
    for (std::size_t i = 0; i < n; ++i) {
        double expected = 0.0;
        for (std::size_t j = 0; j < n; ++j) {
            expected += damped[i * n + j] * sys.rhs[j];
        }
        const std::size_t s = static_cast<std::size_t>(c.shared);
        const double got = i < s ? step.shared[i]
                                 : step.local[(i - s) / static_cast<std::size_t>(c.local)]
                                             [(i - s) % static_cast<std::size_t>(c.local)];
        EXPECT_NEAR(got, expected, 1e-9 * (1.0 + std::fabs(expected))) << "component " << i;
    }
    std::vector<double> inverse = sys.dense;
    ASSERT_TRUE(InvertGaussJordan(inverse, sys.size));
    const BlockInverse blockInverse = InvertBlockNormalEquations(sys.blocks, c.shared);
    ASSERT_TRUE(blockInverse.inverted);
    const auto s = static_cast<std::size_t>(c.shared);
    for (std::size_t a = 0; a < s; ++a) {
        for (std::size_t b = 0; b < s; ++b) {
            EXPECT_NEAR(blockInverse.shared[a * s + b], inverse[a * n + b], 1e-9);
        }
    }
    for (std::size_t i = s; i < n; ++i) {
        const auto l = static_cast<std::size_t>(c.local);
        EXPECT_NEAR(blockInverse.localVariances[(i - s) / l][(i - s) % l], inverse[i * n + i],
                    1e-9);
    }
}

INSTANTIATE_TEST_SUITE_P(BlockNormalEquations, SchurAgainstDense,
                         ::testing::Values(SchurCase{3, 3, 1, 0.0}, SchurCase{3, 3, 1, 0.1},
                                           SchurCase{4, 2, 2, 1e-3}, SchurCase{1, 1, 3, 10.0}));

TEST(BlockNormalEquations, SingularLocalBlockNamesItsSet) {
    BlockSystem sys = RandomSystem(3, 2, 1, 5);
    std::fill(sys.blocks[1].curvature.begin(), sys.blocks[1].curvature.end(), 0.0);
    EXPECT_EQ(SolveBlockNormalEquations(sys.blocks, 1, 0.0).singularSet, 1);
    EXPECT_EQ(InvertBlockNormalEquations(sys.blocks, 1).singularSet, 1);
}

double Decay(const double* p, double x) {
    return p[0] * std::exp(-x / p[1]);
}

// Decays of several amplitudes with one lifetime, with noise of known SD.
std::unique_ptr<Problem> DecaySet(double amplitude, double lifetime, unsigned seed,
                                  std::vector<double> start) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0.0, 0.02);
    std::vector<double> x, y;
    for (int i = 0; i < 40; ++i) {
        x.push_back(0.1 * i);
        y.push_back(amplitude * std::exp(-x.back() / lifetime) + noise(rng));
    }
    std::vector<double> steps{1e-4, 1e-4};
    return std::make_unique<Problem>(x, y, std::move(start), steps, Decay,
                                     std::vector<double>(x.size(), 1.0 / 0.02));
}

TEST(GlobalFit, AllParametersSharedIsOneFitOfTheJoinedData) {
    // Two sets sharing both parameters are one fit of their points together,
    // with forward differences and with the precise (central) Jacobian alike.
    for (const bool precise : {false, true}) {
        auto a = DecaySet(2.0, 1.5, 1, {1.8, 1.2});
        auto b = DecaySet(2.0, 1.5, 2, {1.8, 1.2});
        GlobalFitProblem problem;
        problem.sets = {{a->model.get(), {}, {true, true}}, {b->model.get(), {}, {true, true}}};
        problem.sharedFree = {0, 1};
        problem.sharedStart = {1.8, 1.2};
        problem.chiCut = 1e-9;
        problem.precise = precise;
        const GlobalFitResult result = FitGlobal(problem);

        std::vector<double> x = a->x, y = a->y, w = a->w;
        x.insert(x.end(), b->x.begin(), b->x.end());
        y.insert(y.end(), b->y.begin(), b->y.end());
        w.insert(w.end(), b->w.begin(), b->w.end());
        Problem joined(x, y, {1.8, 1.2}, {1e-4, 1e-4}, Decay, w);
        ConvergenceSettings convergence;
        convergence.chi_cut = 1e-9;
        convergence.precise = precise;
        DFPowell workspace(*joined.model, joined.log, convergence);
        ASSERT_EQ(workspace.Marquardt().outcome, FitOutcome::Converged);

        ASSERT_EQ(result.outcome, FitOutcome::Converged) << precise;
        for (int i = 0; i < 2; ++i) {
            const auto at = static_cast<std::size_t>(i);
            EXPECT_NEAR(result.shared[at], joined.A(i), 1e-7) << precise;
            EXPECT_NEAR(std::sqrt(result.sharedCovariance[at * 2 + at]), joined.H(i), 1e-7)
                << precise;
        }
    }
}

TEST(GlobalFit, RecoversASharedLifetimeAndLeavesOutASingularSet) {
    auto a = DecaySet(1.0, 1.5, 3, {0.9, 1.4});
    auto b = DecaySet(2.0, 1.5, 4, {2.1, 1.6});
    auto c = DecaySet(3.0, 1.5, 5, {3.1, 1.5});
    // A set whose local amplitude has no effect on its values: singular.
    auto flat = std::make_unique<Problem>(
        a->x, a->y, std::vector<double>{1.0, 1.5}, std::vector<double>{1e-4, 1e-4},
        [](const double*, double) { return 0.5; }, a->w);
    GlobalFitProblem problem;
    for (Problem* p : {a.get(), b.get(), flat.get(), c.get()}) {
        problem.sets.push_back({p->model.get(), {0}, {true}});
    }
    problem.sharedFree = {1};
    problem.sharedStart = {1.3};
    const GlobalFitResult result = FitGlobal(problem);
    ASSERT_EQ(result.outcome, FitOutcome::Converged);
    EXPECT_EQ(result.singularSets, std::vector<int>{2});
    const double error = std::sqrt(result.sharedCovariance[0]);
    EXPECT_GT(error, 0.0);
    EXPECT_LT(std::fabs(result.shared[0] - 1.5), 4.0 * error);
    EXPECT_NEAR(a->A(1), result.shared[0], 1e-12);  // every set ends at the shared value
    EXPECT_NEAR(c->A(1), result.shared[0], 1e-12);
    EXPECT_NEAR(c->A(0), 3.0, 0.05);
}

TEST(GlobalFit, StopsWhenAsked) {
    auto a = DecaySet(1.0, 1.5, 3, {0.9, 1.4});
    GlobalFitProblem problem;
    problem.sets = {{a->model.get(), {0}, {true}}};
    problem.sharedFree = {1};
    problem.sharedStart = {1.3};
    problem.stopRequested = [] { return true; };
    EXPECT_TRUE(FitGlobal(problem).stopped);
}

TEST(GlobalFitBounds, StartsWithinTheBoundsAndPressesAgainstThem) {
    // The shared lifetime (1.5 in the data) may not exceed 1.2; set a's
    // amplitude (1.0) may not exceed 0.8. Started inside, and started above
    // the shared bound.
    for (const double start : {1.1, 3.0}) {
        auto a = DecaySet(1.0, 1.5, 3, {0.7, 1.0});
        auto b = DecaySet(2.0, 1.5, 4, {2.1, 1.0});
        GlobalFitProblem problem;
        problem.sets = {{a->model.get(), {0}, {true}}, {b->model.get(), {0}, {true}}};
        problem.sharedFree = {1};
        problem.sharedStart = {start};
        problem.sharedBounds = {ParameterBounds{0.0, 1.2}};
        problem.localBounds = {{ParameterBounds{0.0, 0.8}}, {std::nullopt}};
        const GlobalFitResult result = FitGlobal(problem);
        ASSERT_EQ(result.outcome, FitOutcome::Converged);
        EXPECT_LE(result.shared[0], 1.2);
        EXPECT_LE(a->A(0), 0.8);
        if (start > 1.2) {
            EXPECT_EQ(result.startNotes, std::vector<std::string>{
                                             "Start of a[1] moved into its bounds: 3 -> 1.1994\n"});
            continue;
        }
        EXPECT_TRUE(result.startNotes.empty());
        EXPECT_EQ(result.sharedPressed[0], 1.2);
        ASSERT_EQ(result.localPressed[0].size(), 1U);
        EXPECT_EQ(result.localPressed[0][0], 0.8);
        EXPECT_FALSE(result.localPressed[1][0]);  // unbounded: never pressed
        EXPECT_GT(result.localVariances[1][0], 0.0);
    }
}

TEST(GlobalFit, SharedStartIsTheInverseVarianceMeanOfTheSeparateValues) {
    struct Case {
        std::vector<double> values;
        std::vector<double> errors;
        double start;
    };
    const double nan = std::nan("");
    const Case cases[] = {
        // (1/1 + 2/4) / (1/1 + 1/4): the set with twice the error weighs a quarter.
        {{1.0, 2.0}, {1.0, 2.0}, 1.2},
        {{1.0, 2.0, 100.0}, {0.1, 0.1, 1e3}, 1.5 + (100.0 - 1.5) / 2e8},  // astray: barely moves it
        {{1.0, 2.0, 6.0}, {0.5, 0.0, 1.0}, 3.0},  // an error of 0: the plain mean
        {{1.0, 2.0, 6.0}, {0.5, nan, 1.0}, 3.0},  // one at a bound has none: the plain mean
        {{}, {}, 0.0},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(SharedStartFromSeparateFits(c.values, c.errors), c.start, 1e-12)
            << c.values.size();
    }
}

TEST(GlobalFit, LambdaAbnormalCarriesTheLambdaReached) {
    // Any step away from the start (or its difference step) gives NaN, so
    // every damped solve is rejected and lambda grows tenfold per pass.
    auto a = DecaySet(1.0, 1.5, 3, {0.9, 1.4});
    const auto model = [](const double* p, double x) {
        return p[1] == 1.4 || p[1] == 1.4 + 1e-4 ? 0.9 * std::exp(-x / p[1]) : std::nan("");
    };
    Problem nan(a->x, a->y, {0.9, 1.4}, {1e-4, 1e-4}, model, a->w);
    GlobalFitProblem problem;
    problem.sets = {{nan.model.get(), {}, {true}}};
    problem.sharedFree = {1};
    problem.sharedStart = {1.4};
    problem.nCut = 10;
    const GlobalFitResult result = FitGlobal(problem);
    EXPECT_EQ(result.outcome, FitOutcome::LambdaAbnormal);
    EXPECT_EQ(result.iterations, 1);
    EXPECT_NEAR(result.lambda, 1e-3 * std::pow(10.0, 10), 1.0);
}

}  // namespace
}  // namespace quillon
