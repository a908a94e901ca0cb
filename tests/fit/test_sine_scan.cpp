// The period scan: on a sine without noise the best trial gives back its
// frequency, amplitude, phase, offset, slope and decay, whatever the terms,
// on sets between powers of two and on thinned large sets.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "fit/sine_scan.h"

namespace quillon {
namespace {

struct ScanCase {
    const char* name;
    SineScanTerms terms;
    double amplitude, omega, phase, offset, slope, decay;
    int points;
};

TEST(SineScan, BestTrialGivesBackTheSine) {
    const double inf = std::numeric_limits<double>::infinity();
    const ScanCase cases[] = {
        {"plain", {}, 2.0, 0.37, 0.8, 0.0, 0.0, inf, 150},
        {"offset", {.offset = true}, 3.0, 0.134, -2.5, 7.0, 0.0, inf, 200},
        {"slope", {.offset = true, .slope = true}, 1.5, 0.9, 1.2, -3.0, 0.02, inf, 97},
        {"damped", {.offset = true, .damped = true}, 4.0, 0.5, 0.3, 1.0, 0.0, 50.0, 120},
        {"thinned", {.offset = true}, 2.5, 0.5, 2.0, 4.0, 0.0, inf, 20000},
    };
    for (const ScanCase& c : cases) {
        std::vector<double> x, y;
        const double span = 100.0;
        for (int i = 0; i < c.points; ++i) {
            const double xi = 10.0 + span * i / (c.points - 1);
            const double damping = std::isfinite(c.decay) ? std::exp(-(xi - 10.0) / c.decay) : 1.0;
            x.push_back(xi);
            y.push_back(c.amplitude * std::sin(c.omega * xi + c.phase) * damping + c.offset +
                        c.slope * xi);
        }
        SineScanTerms terms = c.terms;
        terms.onset = 10.0;
        const std::vector<SineTrial> trials = ScanSine({x, y, {}}, terms, 3);
        ASSERT_FALSE(trials.empty()) << c.name;
        const SineTrial& best = trials.front();
        // The grid's step is half a cycle over the span; the exact solve at
        // the parabola's vertex lands within a small part of it.
        EXPECT_NEAR(best.omega, c.omega, 0.1 * 3.14159 / span) << c.name;
        EXPECT_NEAR(best.amplitude, c.amplitude, 0.15 * c.amplitude) << c.name;
        EXPECT_NEAR(best.offset + best.slope * 60.0, c.offset + c.slope * 60.0, 0.2) << c.name;
        for (std::size_t k = 1; k < trials.size(); ++k) {
            EXPECT_LE(best.squares, trials[k].squares) << c.name;
        }
    }
}

TEST(SineScan, WeightsDecideBetweenTwoSines) {
    // Two sines, each alone on half the points; the weights make the second
    // half count a hundred times more, so its frequency must win.
    std::vector<double> x, y, w;
    for (int i = 0; i < 200; ++i) {
        const double xi = i * 0.5;
        const bool second = i >= 100;
        x.push_back(xi);
        y.push_back(second ? std::sin(1.3 * xi) : std::sin(0.2 * xi));
        w.push_back(second ? 10.0 : 1.0);
    }
    const std::vector<SineTrial> trials = ScanSine({x, y, w}, {}, 1);
    ASSERT_EQ(trials.size(), 1U);
    EXPECT_NEAR(trials[0].omega, 1.3, 0.03);
}

TEST(SineScan, DataThatCannotShowAPeriodGiveNoTrial) {
    const std::vector<double> three{1.0, 2.0, 3.0};
    EXPECT_TRUE(ScanSine({three, three, {}}, {}, 3).empty());
    const std::vector<double> sameX(10, 4.0);
    const std::vector<double> y{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    EXPECT_TRUE(ScanSine({sameX, y, {}}, {}, 3).empty());
    std::vector<double> x(10);
    for (int i = 0; i < 10; ++i) {
        x[static_cast<std::size_t>(i)] = i;
    }
    EXPECT_TRUE(ScanSine({x, y, {}}, {}, 0).empty());
    // A flat Y has nothing to fit, but no trial may come out not a number.
    const std::vector<double> flat(10, 2.0);
    for (const SineTrial& t : ScanSine({x, flat, {}}, {.offset = true}, 3)) {
        EXPECT_FALSE(std::isnan(t.squares));
    }
}

}  // namespace
}  // namespace quillon
