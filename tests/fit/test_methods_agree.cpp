// On clean synthetic data every method that converges ends near the
// chi-square Marquardt reaches: within a few times chi_cut.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <set>

#include "engine/compute.h"
#include "support/recording_host.h"

namespace quillon {
namespace {

struct Family {
    int modelId;
    std::function<double(double)> f;
    double x0, dx;
    int n;
    // Methods known to stop elsewhere on this data (they converge by their
    // own test on the change of chi-square, not at Marquardt's minimum).
    std::set<std::string> elsewhere;
};

std::vector<std::string> Lines(const Family& family) {
    std::mt19937 random(3);
    std::normal_distribution<double> noise(0.0, 0.01);
    std::vector<std::string> lines;
    for (int i = 0; i < family.n; ++i) {
        const double x = family.x0 + family.dx * i;
        char line[64];
        std::snprintf(line, sizeof line, "%.9g %.9g", x, family.f(x) + noise(random));
        lines.emplace_back(line);
    }
    return lines;
}

TEST(MethodsAgree, ConvergedMethodsEndNearMarquardt) {
    const double pi = 3.141592653589793;
    const std::vector<Family> families{
        {10, [](double x) { return 2 * std::sin(0.5 * x + 1) + 1; }, 0, 0.25, 120, {}},
        {12, [pi](double x) { return 3 * std::sin(2 * pi * (x + 2) / 16) + 1; }, 0, 1, 128, {}},
        {17,
         [](double x) { return 2 * std::sin(0.8 * (x + 0.5)) * std::exp(-x / 10) + 1; },
         0,
         0.2,
         150,
         {"Powell", "Gradient-search"}},
        {21, [](double x) { return 5 / (1 + 2 / x); }, 0.2, 0.2, 40, {}},
        {22, [](double x) { return 10 / (1 + 3 * std::exp(-0.8 * x)); }, 0, 0.25, 48, {}},
        {23, [](double x) { return 5 / (1 + 4 / (x * x)); }, 0.2, 0.2, 40, {}},
        {29,
         [](double x) { return 4 * std::exp(-0.5 * std::pow((x - 5) / 1.2, 2)); },
         0,
         0.1,
         100,
         {}},
        {34,
         [](double x) { return 1 + 2 * std::pow(x, 1.5); },
         0.5,
         0.25,
         30,
         {"Powell", "Gradient-search"}},
        {38,
         [](double x) { return 4 / (1 + std::exp(5 - x)) + 1; },
         0,
         0.25,
         48,
         {"Gradient-search"}},
        {42, [](double x) { return 2 * std::exp(x / 3); }, 0, 0.1, 40, {}},
    };
    for (const Family& family : families) {
        ComputeSession session;
        session.settings.modelId = family.modelId;
        session.settings.method = FitMethod::All;
        testing::RecordingHost host;
        const ComputeRecord record = ComputeParameters(Lines(family), session, host);
        ASSERT_EQ(record.sets.size(), 1u) << family.modelId;
        const auto& fits = record.sets[0].fits;
        ASSERT_EQ(fits.size(), 4u) << family.modelId;
        ASSERT_EQ(fits[0].outcome, FitOutcome::Converged) << family.modelId << " Marquardt";
        const double marquardt = *fits[0].chisqDof * fits[0].dof;
        for (std::size_t m = 1; m < fits.size(); ++m) {
            if (fits[m].outcome != FitOutcome::Converged ||
                family.elsewhere.count(fits[m].method) != 0) {
                continue;
            }
            const double chisq = *fits[m].chisqDof * fits[m].dof;
            EXPECT_NEAR(chisq, marquardt, 10 * session.settings.convergence.chi_cut)
                << "model " << family.modelId << " " << fits[m].method;
        }
    }
}

}  // namespace
}  // namespace quillon
