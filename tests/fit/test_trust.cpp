// The opt-in remedies for fits that go wrong: the start search finds the
// least-squares minimum of periodic sets where the estimate misleads the
// fit, the precise gradient reaches the exact optimum, and the flag on a
// suspect fit fires on a bad fit and stays quiet on a good one.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "engine/compute.h"
#include "records/number_format.h"
#include "support/recording_host.h"

namespace quillon {
namespace {

using testing::RecordingHost;

// A fixed pseudo-random sequence, so every run fits the same sets.
class Noise {
  public:
    explicit Noise(unsigned seed) : m_state(seed) {}
    // Roughly normal: the sum of four uniforms, centred and scaled.
    double Next() {
        double sum = 0.0;
        for (int i = 0; i < 4; ++i) {
            m_state = m_state * 6364136223846793005ULL + 1442695040888963407ULL;
            sum += static_cast<double>(m_state >> 11) / 9007199254740992.0;
        }
        return (sum - 2.0) * std::sqrt(3.0);
    }

  private:
    unsigned long long m_state;
};

using Curve = double (*)(const std::vector<double>& a, double x);

struct SyntheticSet {
    std::vector<std::string> lines;
    double chiSquareAtTruth = 0.0;
};

SyntheticSet MakeSet(Curve f, const std::vector<double>& truth, int points, double spacing,
                     double sd, Noise& noise) {
    SyntheticSet set;
    set.lines.push_back("// synthetic");
    for (int i = 0; i < points; ++i) {
        const double x = i * spacing;
        const double e = sd * noise.Next();
        set.lines.push_back(Sprintf("%.17g %.17g %.17g", x, f(truth, x) + e, sd));
        set.chiSquareAtTruth += (e / sd) * (e / sd);
    }
    return set;
}

struct FitRun {
    ComputeSession session;
    RecordingHost host;
    ComputeRecord record;

    FitRun(const std::vector<std::string>& lines, int model, bool search, bool precise = false,
           bool flag = false, int jobs = 1) {
        session.settings.modelId = model;
        session.settings.searchStarts = search;
        session.settings.convergence.precise = precise;
        session.settings.flagSuspect = flag || search || precise;
        alarm(120);  // a fit that does not end fails the test program
        record = ComputeParameters(lines, session, host, nullptr, jobs);
        alarm(0);
    }
    const FitRecord& First() const { return record.sets.at(0).fits.at(0); }
    double ChiSquare() const { return *First().chisqDof * First().dof; }
};

double PeriodSine(const std::vector<double>& a, double x) {
    return a[0] * std::sin(6.283185307179586 * (x + a[2]) / a[1]) + a[3];
}
double ShiftSine(const std::vector<double>& a, double x) {
    return a[0] * std::sin(a[1] * (x + a[2])) + (a.size() > 3 ? a[3] : 0.0);
}
double PhaseSine(const std::vector<double>& a, double x) {
    return a[0] * std::sin(a[1] * x + a[2]) + (a.size() > 3 ? a[3] : 0.0);
}
double DampedShiftSine(const std::vector<double>& a, double x) {
    return a[0] * std::sin(a[1] * (x + a[2])) * std::exp(-x / a[3]) + a[4];
}
double SlopedPeriodSine(const std::vector<double>& a, double x) {
    return PeriodSine(a, x) + a[4] * x;
}

// Sets between powers of two, where the estimate's window counts the cycles
// over fewer points than it spans: the plain fit ends in another minimum on
// some of them, the searched one on none.
TEST(StartSearch, PeriodicSetsEndAtTheLeastSquaresMinimum) {
    Noise noise(20261209);
    int plainMissed = 0;
    int flaggedBySearch = 0;
    for (int k = 0; k < 24; ++k) {
        const double period = 20.0 + 40.0 * ((k * 7) % 24) / 24.0;
        const std::vector<double> truth{3.0, period, period * 0.3, (k % 2 ? 4.0 : -6.0)};
        const SyntheticSet set = MakeSet(PeriodSine, truth, 150 + 5 * k, 1.0, 0.3, noise);
        const FitRun plain(set.lines, 12, false);
        const FitRun searched(set.lines, 12, true);
        ASSERT_EQ(searched.First().outcome, FitOutcome::Converged) << k;
        EXPECT_LE(searched.ChiSquare(), set.chiSquareAtTruth * (1 + 1e-9)) << "set " << k;
        EXPECT_TRUE(searched.First().searchedStart);
        const bool plainAtMinimum =
            plain.First().chisqDof && plain.ChiSquare() <= set.chiSquareAtTruth * (1 + 1e-9);
        plainMissed += plainAtMinimum ? 0 : 1;
        flaggedBySearch +=
            searched.host.pane.find("Suspect fit: from the estimate alone") != std::string::npos;
    }
    // The sets the estimate leads astray are flagged, and only with a note
    // that names the better minimum the search found.
    EXPECT_GT(flaggedBySearch, 0);
    EXPECT_LE(flaggedBySearch, plainMissed);
    // The sets are hard for the estimate; a search that only took it over
    // would miss these too.
    EXPECT_GT(plainMissed, 0);
}

struct FormCase {
    int model;
    Curve curve;
    std::vector<double> truth;
};

// Every way a periodic model writes its sine takes the scan's trial.
TEST(StartSearch, EveryPeriodicFormReachesTheMinimum) {
    const FormCase cases[] = {
        {1, ShiftSine, {2.0, 0.21, 3.0}},
        {2, ShiftSine, {2.0, 0.33, 1.0, 5.0}},
        {9, PhaseSine, {1.5, 0.27, 0.7}},
        {10, PhaseSine, {1.5, 0.12, -1.0, -3.0}},
        {17, DampedShiftSine, {4.0, 0.3, 1.0, 60.0, 2.0}},
        {41, SlopedPeriodSine, {2.0, 33.0, 5.0, 1.0, 0.03}},
    };
    Noise noise(7);
    for (const FormCase& c : cases) {
        const SyntheticSet set = MakeSet(c.curve, c.truth, 130, 1.0, 0.2, noise);
        const FitRun searched(set.lines, c.model, true, true);
        ASSERT_TRUE(searched.First().chisqDof.has_value()) << "model " << c.model;
        EXPECT_LE(searched.ChiSquare(), set.chiSquareAtTruth * (1 + 1e-9)) << "model " << c.model;
    }
}

TEST(StartSearch, ValuesTheUserGaveStartAsGiven) {
    Noise noise(3);
    SyntheticSet set = MakeSet(PeriodSine, {3.0, 40.0, 10.0, 1.0}, 150, 1.0, 0.3, noise);
    set.lines.insert(set.lines.begin(), "<<a[1] = 41.5>>");
    const FitRun searched(set.lines, 12, true);
    const std::string& pane = searched.host.pane;
    const auto line = pane.find("Start values from the search");
    ASSERT_NE(line, std::string::npos) << pane;
    EXPECT_NE(pane.find("<a[  1] = 41.5>", line), std::string::npos) << pane;
}

TEST(StartSearch, SameReportWithAnyNumberOfThreads) {
    Noise noise(11);
    std::vector<std::string> lines;
    for (int k = 0; k < 6; ++k) {
        const SyntheticSet set =
            MakeSet(PeriodSine, {2.0, 25.0 + 5 * k, 3.0, 0.5}, 170, 1.0, 0.3, noise);
        lines.insert(lines.end(), set.lines.begin(), set.lines.end());
    }
    const FitRun one(lines, 12, true, true, true, 1);
    const FitRun three(lines, 12, true, true, true, 3);
    EXPECT_EQ(one.host.pane, three.host.pane);
}

TEST(StartSearch, NoFiniteCandidateKeepsTheEstimateAndSaysSo) {
    ComputeSession session;
    session.settings.formula = "sqrt(-1 - A0*A0) * X";  // never finite
    session.settings.searchStarts = true;
    RecordingHost host;
    const std::vector<std::string> lines{"1 2", "2 3", "3 5", "4 4"};
    alarm(60);
    const ComputeRecord record = ComputeParameters(lines, session, host, nullptr, 1);
    alarm(0);
    EXPECT_NE(host.pane.find("Start search: no candidate gave a finite chi-square"),
              std::string::npos)
        << host.pane;
    ASSERT_EQ(record.sets.size(), 1U);
    EXPECT_FALSE(record.sets[0].fits.at(0).searchedStart);
}

// A problem linear in its free parameters (the sine's amplitude and
// offset, with its frequency and shift held) has an exact least-squares
// optimum; the precise gradient reaches it, the forward difference of
// chi-square stops short.
TEST(PreciseGradient, ReachesTheExactOptimumOfALinearProblem) {
    Noise noise(5);
    const std::vector<double> truth{2.0, 0.4, 1.0, 3.0};
    SyntheticSet set = MakeSet(ShiftSine, truth, 60, 0.5, 0.1, noise);
    set.lines.insert(set.lines.begin(), {"<<a[1] = 0.4 fixed>>", "<<a[2] = 1 fixed>>"});
    // The normal equations of y = A0 s + A3 with s = sin(0.4 (x + 1)).
    double ss = 0, s1 = 0, n = 0, sy = 0, y1 = 0;
    for (std::size_t i = 3; i < set.lines.size(); ++i) {
        double x = 0, y = 0, sd = 0;
        ASSERT_EQ(std::sscanf(set.lines[i].c_str(), "%lf %lf %lf", &x, &y, &sd), 3);
        const double s = std::sin(0.4 * (x + 1.0));
        ss += s * s;
        s1 += s;
        n += 1;
        sy += s * y;
        y1 += y;
    }
    const double det = ss * n - s1 * s1;
    const double a0 = (sy * n - s1 * y1) / det;
    const double a3 = (ss * y1 - s1 * sy) / det;
    auto relative = [](double v, double ref) { return std::fabs(v - ref) / std::fabs(ref); };

    FitRun precise(set.lines, 1 + 1, false, true);  // model 2: A0 sin(A1 (X + A2)) + A3
    const FitRecord& fit = precise.First();
    ASSERT_EQ(fit.outcome, FitOutcome::Converged);
    EXPECT_LT(relative(fit.parameters[0], a0), 1e-8);
    EXPECT_LT(relative(fit.parameters[3], a3), 1e-8);
}

TEST(PreciseGradient, MichaelisMentenWithoutNoiseEndsAtTheTruth) {
    std::vector<std::string> lines;
    for (double x : {0.5, 1.0, 2.0, 3.0, 5.0, 8.0, 12.0, 20.0}) {
        lines.push_back(Sprintf("%.17g %.17g", x, 10.0 * x / (x + 2.5)));
    }
    const FitRun plain(lines, 21, false);
    const FitRun precise(lines, 21, false, true);
    EXPECT_GT(std::fabs(plain.First().parameters[0] - 10.0), 1e-4);  // the bias it mends
    EXPECT_LT(std::fabs(precise.First().parameters[0] - 10.0), 1e-4);
}

// The flag: off without a switch, quiet on a good fit, a note in the
// warning colour on a weighted fit far above its SDs.
TEST(SuspectFlag, FiresOnlyOnFitsThatLookWrong) {
    struct Case {
        const char* name;
        double sdScale;  // the SDs written, against the true scatter
        bool flag;
        std::optional<bool> suspect;
    };
    const Case cases[] = {{"good", 1.0, true, false},
                          {"SDs ten times too small", 0.1, true, true},
                          {"not flagged", 0.1, false, std::nullopt}};
    for (const Case& c : cases) {
        Noise noise(17);
        std::vector<std::string> lines;
        for (int i = 1; i <= 30; ++i) {
            const double x = 0.5 * i;
            const double y = 10.0 / (1.0 + 3.0 * std::exp(-0.5 * x)) + 0.05 * noise.Next();
            lines.push_back(Sprintf("%g %.12g %g", x, y, 0.05 * c.sdScale));
        }
        const FitRun run(lines, 22, false, false, c.flag);
        EXPECT_EQ(run.First().suspect, c.suspect) << c.name;
        const std::vector<std::string> warnings = run.host.TextsOf(AnswerHint::Warning);
        const bool noted = !warnings.empty() && warnings.back().starts_with("Suspect fit:");
        EXPECT_EQ(noted, c.suspect.value_or(false)) << c.name;
    }
}

}  // namespace
}  // namespace quillon
