// Held and bounded parameters through the compute: a held parameter never
// moves and leaves the degrees of freedom, a bound is never crossed, a fit
// that presses against a bound ends on it without a fake error, and bad
// bounds are reported and dropped.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "engine/compute.h"
#include "records/number_format.h"
#include "support/recording_host.h"

namespace quillon {
namespace {

using testing::RecordingHost;

constexpr int kLogistic = 22;    // Y = A0 / (1 + A1 exp(-A2 X))
constexpr int kPeriodSine = 12;  // Y = A0 sin(2 pi (X + A2) / A1) + A3
constexpr int kStagedSine = 35;  // the same, then an asymmetry A4
constexpr int kPoints = 20;

const FitMethod kMethods[] = {FitMethod::Marquardt, FitMethod::Expansion, FitMethod::Powell,
                              FitMethod::GradientSearch};

// 10 / (1 + 3 exp(-0.5 x)) with SD 0.05, and a little deterministic scatter
// unless exact.
std::vector<std::string> Logistic(const std::string& directive, bool exact = false) {
    std::vector<std::string> lines{directive};
    for (int i = 1; i <= kPoints; ++i) {
        const double x = 0.5 * i;
        const double scatter = exact ? 0.0 : ((i * 7) % 5 - 2) * 0.03;
        lines.push_back(Sprintf("%g %.9f 0.05", x, 10 / (1 + 3 * std::exp(-0.5 * x)) + scatter));
    }
    return lines;
}

struct Fit {
    ComputeSession session;
    RecordingHost host;
    ComputeRecord record;

    Fit(const std::vector<std::string>& lines, FitMethod method = FitMethod::Marquardt,
        int model = kLogistic, int jobs = 1, const std::string& formula = "") {
        session.settings.modelId = model;
        session.settings.formula = formula;
        session.settings.method = method;
        session.settings.statistics = true;
        alarm(120);  // a fit that does not end fails the test program
        record = ComputeParameters(lines, session, host, nullptr, jobs);
        alarm(0);
    }
    const FitRecord& First() const { return record.sets.at(0).fits.at(0); }
    double ChiSquare(const FitRecord& f) const { return *f.chisqDof * f.dof; }
};

// The logged values of one parameter (its title, as "a[  2]") in every
// iteration table of a log that has a column for it.
std::vector<double> LoggedValues(const std::string& log, const std::string& title) {
    std::vector<double> values;
    std::istringstream in(log);
    std::string line;
    int column = -1;
    while (std::getline(in, line)) {
        if (line.find("Sum of sqrs") != std::string::npos) {
            const std::size_t at = line.find(title);
            column = at == std::string::npos ? -1 : static_cast<int>((at - 17) / 12);
            continue;
        }
        if (column < 0 || line.size() < 17 || line[4] != ':') {
            continue;
        }
        std::istringstream fields(line.substr(17));
        double v = 0.0;
        for (int k = 0; k <= column; ++k) {
            fields >> v;
        }
        values.push_back(v);
    }
    return values;
}

TEST(HeldParameter, NeverMovesAndLeavesTheDegreesOfFreedomInEveryMethod) {
    for (const FitMethod method : kMethods) {
        const Fit fit(Logistic("<a[2] = 0.5 fixed>", true), method);
        const FitRecord& f = fit.First();
        SCOPED_TRACE(f.method);
        ASSERT_EQ(f.outcome, FitOutcome::Converged) << fit.host.pane;
        EXPECT_EQ(f.parameters[2], 0.5);
        EXPECT_EQ(f.errors[2], 0.0);
        EXPECT_EQ(f.dof, kPoints - 2);
        // Exact data: the truth, within the methods' finite-difference
        // precision (a small part of a standard error).
        EXPECT_NEAR(f.parameters[0], 10.0, 0.3 * f.errors[0]);
        EXPECT_NEAR(f.parameters[1], 3.0, 0.3 * f.errors[1]);
        ASSERT_TRUE(f.constraints);
        EXPECT_EQ(f.constraints->fixed, (std::vector<bool>{false, false, true}));
        // The iteration table has columns for the free parameters only.
        EXPECT_NE(fit.host.pane.find("   n: Sum of sqrs    a[  0]      a[  1]   \n"),
                  std::string::npos);
        EXPECT_NE(fit.host.pane.find("<a[  2] = 0.5 fixed>\n"), std::string::npos);
        EXPECT_NE(fit.host.pane.find("  a[2]: 0.500000 +/- 0.000000 (fixed)\n"), std::string::npos);
        // The statistics: the held row of the covariance is 0; AIC counts
        // the two fitted parameters.
        const FitStatistics& stats = *f.statistics;
        for (int j = 0; j < 3; ++j) {
            EXPECT_EQ(stats.covariance[6 + j], 0.0);
        }
        EXPECT_NEAR(stats.aic, fit.ChiSquare(f) + 4.0, 1e-9);
    }
}

TEST(HeldParameter, EveryMethodOfAnAllRunHoldsIt) {
    const Fit fit(Logistic("<a[1] = 3.2 fixed>"), FitMethod::All);
    ASSERT_EQ(fit.record.sets.at(0).fits.size(), 4u);
    for (const FitRecord& f : fit.record.sets[0].fits) {
        ASSERT_FALSE(f.parameters.empty()) << f.method;
        EXPECT_EQ(f.parameters[1], 3.2) << f.method;
    }
}

TEST(HeldParameter, ALaterSetsLineHoldsUntilAnotherReplacesIt) {
    std::vector<std::string> lines = Logistic("<<a[2] = 0.5 fixed>>");
    const std::vector<std::string> second = Logistic("<<a[2] = 0.6>>");
    lines.push_back("");
    lines.insert(lines.end(), second.begin(), second.end());
    lines.push_back("");
    lines.insert(lines.end(), second.begin() + 1, second.end());
    const Fit fit(lines);
    ASSERT_EQ(fit.record.sets.size(), 3u);
    EXPECT_EQ(fit.record.sets[0].fits[0].parameters[2], 0.5);
    for (int s = 1; s < 3; ++s) {
        const FitRecord& f = fit.record.sets[static_cast<std::size_t>(s)].fits[0];
        EXPECT_FALSE(f.constraints) << s;
        EXPECT_NE(f.parameters[2], 0.6) << s;
        EXPECT_EQ(f.dof, kPoints - 3) << s;
    }
}

TEST(HeldParameter, EveryParameterHeldReportsTheChiSquareThereAndFitsNothing) {
    const Fit fit(Logistic("<<a[0] = 10 fixed>>\n"), FitMethod::Marquardt);
    std::vector<std::string> lines = Logistic("<<a[0] = 10 fixed>>");
    lines.insert(lines.begin(), {"<<a[1] = 3 fixed>>", "<<a[2] = 0.5 fixed>>"});
    const Fit all(lines);
    const FitRecord& f = all.First();
    EXPECT_EQ(f.message, "Every parameter is fixed: nothing was fitted.\n");
    EXPECT_EQ(f.dof, kPoints);
    double chi = 0.0;
    for (int i = 1; i <= kPoints; ++i) {
        const double r = ((i * 7) % 5 - 2) * 0.03 / 0.05;
        chi += r * r;
    }
    EXPECT_NEAR(*f.chisqDof, chi / kPoints, 1e-6);
    EXPECT_EQ(f.errors, (std::vector<double>{0.0, 0.0, 0.0}));
    EXPECT_EQ(all.host.pane.find("Method:"), std::string::npos);
}

TEST(Bounds, AnInactiveBoundChangesNeitherTheOptimumNorTheErrors) {
    const Fit plain(Logistic("<a[2] = 0.4>"));
    for (const char* line : {"<a[2] = 0.4 [0, 2]>", "<a[2] = 0.4 [0.1, ]>", "<a[2] = 0.4 [,1]>"}) {
        const Fit bounded(Logistic(line));
        const FitRecord& p = plain.First();
        const FitRecord& b = bounded.First();
        SCOPED_TRACE(line);
        ASSERT_EQ(b.outcome, FitOutcome::Converged);
        EXPECT_EQ(b.dof, p.dof);
        for (std::size_t j = 0; j < 3; ++j) {
            // The same optimum within the methods' precision, a small part of
            // a standard error ...
            EXPECT_NEAR(b.parameters[j], p.parameters[j], 0.15 * p.errors[j]);
            // ... and errors mapped back to the parameter's own scale.
            EXPECT_NEAR(b.errors[j], p.errors[j], 2e-2 * p.errors[j]);
        }
        EXPECT_EQ(b.constraints->atBound, (std::vector<bool>{false, false, false}));
    }
}

TEST(Bounds, NeverCrossedAndAnActiveOneEndsOnTheBoundWithoutAnError) {
    // The data want A2 = 0.5; [0, 0.4] and [ , 0.4] hold it below.
    const Fit reference(Logistic("<a[2] = 0.4 fixed>"));
    const double best = reference.ChiSquare(reference.First());
    for (const char* line : {"<a[2] = 0.3 [0, 0.4]>", "<a[2] = 0.3 [ , 0.4]>"}) {
        for (const FitMethod method : kMethods) {
            const Fit fit(Logistic(line), method);
            const FitRecord& f = fit.First();
            SCOPED_TRACE(std::string(line) + " " + f.method);
            const std::vector<double> logged = LoggedValues(fit.host.pane, "a[  2]");
            EXPECT_FALSE(logged.empty());
            for (const double a2 : logged) {
                EXPECT_LE(a2, 0.4);
            }
            if (f.parameters.empty()) {
                continue;  // the method gave up; it still never crossed
            }
            EXPECT_LE(f.parameters[2], 0.4);
            if (method == FitMethod::Expansion) {
                continue;  // undamped steps may end anywhere inside
            }
            EXPECT_TRUE(f.constraints->atBound[2]) << fit.host.pane;
            EXPECT_TRUE(std::isnan(f.errors[2]));
            EXPECT_NE(fit.host.pane.find("  a[2]: 0.400000 (at bound 0.4)\n"), std::string::npos);
            EXPECT_EQ(f.dof, kPoints - 3);  // a parameter at a bound was still fitted
            // The optimum on the bound, within the methods' precision.
            EXPECT_LE(fit.ChiSquare(f), best * (1 + 1e-4));
        }
    }
}

TEST(Bounds, AStartOutsideMovesToTheNearestBoundAndTheLogSaysSo) {
    const Fit fit(Logistic("<a[0] = 30 [5, 12]>"));
    EXPECT_NE(fit.host.pane.find("<a[  0] = 12 [5, 12]>\n"), std::string::npos) << fit.host.pane;
    EXPECT_NE(fit.host.pane.find("Start of a[0] moved into its bounds: 30 -> 12\n"),
              std::string::npos);
    const Fit plain(Logistic("// no directive"));
    EXPECT_NEAR(fit.First().parameters[0], plain.First().parameters[0],
                0.15 * plain.First().errors[0]);
}

TEST(Bounds, AMalformedBoundIsReportedAndDroppedWhileTheValueCounts) {
    for (const char* line : {"<a[2] = 0.45 [0.4, 0]>", "<a[2] = 0.45 [0, x]>", "<a[2] = 0.45 [0"}) {
        const Fit fit(Logistic(line));
        SCOPED_TRACE(line);
        ASSERT_EQ(fit.record.messages.size(), 1u);
        EXPECT_EQ(fit.record.messages[0].text.rfind("Bound invalid! (", 0), 0u);
        EXPECT_NE(fit.record.messages[0].text.find(line), std::string::npos);
        EXPECT_FALSE(fit.First().constraints);
        EXPECT_NE(fit.host.pane.find("<a[  2] = 0.45>\n"), std::string::npos);
    }
}

TEST(Constraints, ThePreFitAndTheStagedModelHonourThem) {
    std::vector<std::string> lines{"<<a[1] = 23 fixed>>", "<<a[4] = 0 [-0.2, 0.2]>>"};
    for (int i = 0; i < 120; ++i) {
        const double x = 0.7 * i;
        lines.push_back(Sprintf("%g %.9f", x,
                                2 * std::sin(2 * 3.141592653589793 * (x + 3) / 22.5) + 0.5 +
                                    0.05 * ((i * 13) % 7 - 3)));
    }
    const Fit periodic(lines, FitMethod::Marquardt, kPeriodSine);
    EXPECT_EQ(periodic.First().parameters.at(1), 23.0);
    const Fit staged(lines, FitMethod::All, kStagedSine);
    for (const FitRecord& f : staged.record.sets.at(0).fits) {
        if (f.parameters.empty()) {
            continue;
        }
        EXPECT_EQ(f.parameters[1], 23.0) << f.method;
        EXPECT_LE(std::fabs(f.parameters[4]), 0.2) << f.method;
    }
}

TEST(Constraints, AFormulaKeepsItsExactDerivativesThroughTheMaps) {
    const std::string logistic = "A0/(1+A1*exp(-A2*X))";
    std::vector<std::string> held = Logistic("<a[2] = 0.5 fixed>", true);
    held.insert(held.begin(), {"<a[0] = 9>", "<a[1] = 2.5>"});
    const Fit exact(held, FitMethod::Marquardt, kLogistic, 1, logistic);
    const FitRecord& f = exact.First();
    ASSERT_EQ(f.outcome, FitOutcome::Converged) << exact.host.pane;
    EXPECT_EQ(f.parameters[2], 0.5);
    EXPECT_NEAR(f.parameters[0], 10.0, 1e-7);  // exact data, exact derivatives
    EXPECT_NEAR(f.parameters[1], 3.0, 1e-7);

    std::vector<std::string> bounded = Logistic("<a[2] = 0.3 [0.1, 0.4]>", true);
    bounded.insert(bounded.begin(), {"<a[0] = 9 [0, ]>", "<a[1] = 2.5>"});
    std::vector<std::string> atBound = Logistic("<a[2] = 0.4 fixed>", true);
    atBound.insert(atBound.begin(), {"<a[0] = 9>", "<a[1] = 2.5>"});
    const Fit b(bounded, FitMethod::Marquardt, kLogistic, 1, logistic);
    const Fit reference(atBound, FitMethod::Marquardt, kLogistic, 1, logistic);
    ASSERT_TRUE(b.First().constraints);
    EXPECT_TRUE(b.First().constraints->atBound[2]) << b.host.pane;
    // The optimum held at the bound, within the convergence tolerance.
    EXPECT_NEAR(b.ChiSquare(b.First()), reference.ChiSquare(reference.First()), 1e-3);
}

TEST(Constraints, AnyNumberOfThreadsGivesTheSameReport) {
    std::vector<std::string> lines = Logistic("<<a[2] = 0.45 [0, 0.48]>>");
    for (int s = 0; s < 3; ++s) {
        const std::vector<std::string> more = Logistic(s == 1 ? "<a[0] = 9 fixed>" : "// next");
        lines.push_back("");
        lines.insert(lines.end(), more.begin(), more.end());
    }
    const Fit one(lines, FitMethod::Marquardt, kLogistic, 1);
    const Fit three(lines, FitMethod::Marquardt, kLogistic, 3);
    EXPECT_EQ(one.host.pane, three.host.pane);
    EXPECT_EQ(one.record.sets.size(), 4u);
}

}  // namespace
}  // namespace quillon
