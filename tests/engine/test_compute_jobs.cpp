// A compute whose sets are fitted on several threads gives the host exactly
// what the one-thread compute gives: every text in reading order, the
// message boxes, the result columns, the parameter table and the records.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "engine/compute.h"
#include "records/number_format.h"
#include "support/recording_host.h"

namespace quillon {
namespace {

using testing::RecordingHost;

constexpr int kLinear = 0;
constexpr int kThroughOrigin = 28;
constexpr int kBiasedSine = 12;
constexpr int kLogistic = 22;

// A small deterministic generator, so both runs read the same text.
class Noise {
  public:
    double Next() {
        m_state = m_state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(m_state >> 11) / 9007199254740992.0 - 0.5;
    }

  private:
    unsigned long long m_state = 20261208;
};

void AddSineSet(std::vector<std::string>& lines, Noise& noise, int points, bool withSd) {
    const double a0 = 2.0 + 2.0 * noise.Next();
    const double a1 = 30.0 + 10.0 * noise.Next();
    for (int i = 0; i < points; ++i) {
        const double y = a0 * std::sin(2.0 * 3.14159265358979 * i / a1) + 4.0 + 0.3 * noise.Next();
        lines.push_back(withSd ? Sprintf("%d %.9g 0.2", i, y) : Sprintf("%d\t%.9g", i, y));
    }
}

void AddLogisticSet(std::vector<std::string>& lines, Noise& noise, int points) {
    for (int i = 0; i < points; ++i) {
        const double y = 10.0 / (1.0 + 20.0 * std::exp(-0.5 * i)) + 0.2 * noise.Next();
        lines.push_back(Sprintf("%d, %.9g, 0.1", i, y));
    }
}

// Sets of every kind with directives, bad lines, flat and short sets, a
// label per set and directives left at the end.
std::vector<std::string> MixedInput(int modelId, int rounds = 14) {
    Noise noise;
    std::vector<std::string> lines{"// mixed input (T=1)", "* Framing rate: 25", "<<a[1]=30>>"};
    auto addSet = [&](int points, bool withSd) {
        if (modelId == kLogistic) {
            AddLogisticSet(lines, noise, points);
        } else {
            AddSineSet(lines, noise, points, withSd);
        }
    };
    for (int k = 0; k < rounds; ++k) {
        switch (k % 7) {
            case 0:
                addSet(60, true);
                lines.emplace_back("");
                break;
            case 1:  // a flat set: the nonlinear fit stops before the directive
                lines.emplace_back("<a[0]=2.5>");
                lines.push_back(Sprintf("// flat (T=%d)", k));
                for (int i = 0; i < 6; ++i) {
                    lines.push_back(Sprintf("%d 1.5", i));
                }
                lines.emplace_back("");
                break;
            case 2:
                lines.push_back(Sprintf("// unweighted (T=%d)", k));
                addSet(50, false);
                lines.emplace_back("x");
                lines.emplace_back("abc def");
                addSet(10, true);
                break;
            case 3:
                lines.emplace_back("// two points only");
                lines.emplace_back("0 1");
                lines.emplace_back("1 2");
                lines.push_back(Sprintf("// pure noise (T=%d)", k));
                lines.emplace_back("<a[0]=-3>");
                for (int i = 0; i < 30; ++i) {
                    lines.push_back(Sprintf("%d %.9g 0.01", i, noise.Next()));
                }
                lines.emplace_back("");
                break;
            case 4:
                lines.emplace_back("<<a[2]=1.5>>");
                addSet(80, true);
                lines.emplace_back("");
                lines.emplace_back("");
                break;
            case 5:  // one point does not make a set; a blank line does not end it
                lines.emplace_back("5 5");
                lines.emplace_back("");
                addSet(40, true);
                lines.push_back(Sprintf("// after (T=%d)", k));
                break;
            default:
                lines.emplace_back("<a[3]=4>");
                addSet(45, true);
                lines.emplace_back("");
                break;
        }
    }
    lines.emplace_back("<a[0]=9>");
    return lines;
}

struct JobsRun {
    ComputeSession session;
    RecordingHost host;
    ComputeRecord record;

    JobsRun(int modelId, FitMethod method, bool file, int nCut) {
        session.settings.modelId = modelId;
        session.settings.method = method;
        session.settings.output.enabled = file;
        session.settings.convergence.n_cut = nCut;
    }
    void Go(const std::vector<std::string>& lines, int jobs) {
        alarm(300);  // a fit that does not end fails the test program
        record = ComputeParameters(lines, session, host, nullptr, jobs);
        alarm(0);
    }
};

// Bitwise, so NaN columns compare equal to themselves.
bool SameBits(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

bool SameBits(const std::optional<double>& a, const std::optional<double>& b) {
    return a.has_value() == b.has_value() && (!a || std::memcmp(&*a, &*b, sizeof(double)) == 0);
}

void ExpectSameColumns(const ResultColumnList& a, const ResultColumnList& b) {
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].name, b[i].name);
        EXPECT_TRUE(SameBits(a[i].values, b[i].values)) << a[i].name;
    }
}

void ExpectSameRecords(const ComputeRecord& a, const ComputeRecord& b) {
    ASSERT_EQ(a.sets.size(), b.sets.size());
    for (std::size_t i = 0; i < a.sets.size(); ++i) {
        const SetRecord& sa = a.sets[i];
        const SetRecord& sb = b.sets[i];
        EXPECT_EQ(sa.setNumber, sb.setNumber);
        EXPECT_EQ(sa.memo, sb.memo);
        EXPECT_EQ(sa.label.name, sb.label.name);
        EXPECT_EQ(sa.label.value, sb.label.value);
        // Every fitted set keeps its points, refitted sets included.
        EXPECT_GE(sa.points.size(), 2u) << sa.setNumber;
        ASSERT_EQ(sa.points.size(), sb.points.size()) << sa.setNumber;
        for (std::size_t k = 0; k < sa.points.size(); ++k) {
            EXPECT_EQ(sa.points[k].X, sb.points[k].X);
            EXPECT_EQ(sa.points[k].Y, sb.points[k].Y);
            EXPECT_EQ(sa.points[k].SD, sb.points[k].SD);
        }
        EXPECT_EQ(sa.weighted, sb.weighted);
        ASSERT_EQ(sa.fits.size(), sb.fits.size());
        for (std::size_t f = 0; f < sa.fits.size(); ++f) {
            EXPECT_EQ(sa.fits[f].method, sb.fits[f].method);
            EXPECT_EQ(sa.fits[f].outcome, sb.fits[f].outcome);
            EXPECT_EQ(sa.fits[f].message, sb.fits[f].message);
            EXPECT_TRUE(SameBits(sa.fits[f].parameters, sb.fits[f].parameters));
            EXPECT_TRUE(SameBits(sa.fits[f].errors, sb.fits[f].errors));
            EXPECT_TRUE(SameBits(sa.fits[f].chisqDof, sb.fits[f].chisqDof));
            EXPECT_TRUE(SameBits(sa.fits[f].sigmaY, sb.fits[f].sigmaY));
            EXPECT_EQ(sa.fits[f].dof, sb.fits[f].dof);
            EXPECT_EQ(sa.fits[f].points, sb.fits[f].points);
        }
    }
    ASSERT_EQ(a.messages.size(), b.messages.size());
    for (std::size_t i = 0; i < a.messages.size(); ++i) {
        EXPECT_EQ(a.messages[i].kind, b.messages[i].kind);
        EXPECT_EQ(a.messages[i].text, b.messages[i].text);
    }
}

bool SameDirectives(const std::vector<InitialValueDirective>& a,
                    const std::vector<InitialValueDirective>& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].index != b[i].index || a[i].value != b[i].value) {
            return false;
        }
    }
    return true;
}

struct Case {
    int modelId;
    FitMethod method;
    bool file;
    int nCut;
};

class ComputeJobs : public ::testing::TestWithParam<Case> {};

void ExpectSameRuns(const JobsRun& one, const JobsRun& four) {
    EXPECT_EQ(one.host.answers, four.host.answers);
    EXPECT_EQ(one.host.pane, four.host.pane);
    EXPECT_EQ(one.host.messages, four.host.messages);
    EXPECT_EQ(one.host.exportCalls, four.host.exportCalls);
    EXPECT_EQ(four.host.waitDepth, 0);
    ExpectSameColumns(one.host.exported, four.host.exported);
    ExpectSameRecords(one.record, four.record);
    EXPECT_TRUE(SameDirectives(one.session.directives.thisSet, four.session.directives.thisSet));
    EXPECT_TRUE(
        SameDirectives(one.session.directives.laterSets, four.session.directives.laterSets));
    EXPECT_EQ(one.session.settings.framingRate, four.session.settings.framingRate);
}

TEST_P(ComputeJobs, FourThreadsGiveWhatOneThreadGives) {
    const Case c = GetParam();
    const std::vector<std::string> lines = MixedInput(c.modelId);
    JobsRun one(c.modelId, c.method, c.file, c.nCut);
    JobsRun four(c.modelId, c.method, c.file, c.nCut);
    one.Go(lines, 1);
    four.Go(lines, 4);
    ASSERT_GT(one.record.sets.size(), 8U);  // the input really has many sets
    ExpectSameRuns(one, four);
}

INSTANTIATE_TEST_SUITE_P(MixedInput, ComputeJobs,
                         ::testing::Values(Case{kBiasedSine, FitMethod::Marquardt, true, 10000},
                                           Case{kBiasedSine, FitMethod::All, true, 10000},
                                           Case{kBiasedSine, FitMethod::Marquardt, false, 10000},
                                           Case{kBiasedSine, FitMethod::Marquardt, true, 12},
                                           Case{kLogistic, FitMethod::Marquardt, true, 10000},
                                           Case{kLogistic, FitMethod::All, false, 10000},
                                           Case{kLinear, FitMethod::Marquardt, true, 10000},
                                           Case{kThroughOrigin, FitMethod::Marquardt, true,
                                                10000}));

// Hundreds of sets: the sets fitted are passed on while the reading goes on
// and the reading waits for the fitting, which must change nothing.
TEST(ComputeJobs, ManySetsPassedOnDuringTheReadingGiveWhatOneThreadGives) {
    const std::vector<std::string> lines = MixedInput(kLogistic, 7 * 90);
    JobsRun one(kLogistic, FitMethod::Marquardt, true, 10000);
    JobsRun three(kLogistic, FitMethod::Marquardt, true, 10000);
    one.Go(lines, 1);
    three.Go(lines, 3);
    ASSERT_GT(one.record.sets.size(), 600U);
    ExpectSameRuns(one, three);
}

// The directive before a flat set reaches the next set, whose fit starts
// from it; with several threads that set is fitted again with it.
TEST(ComputeJobs, DirectiveBeforeAFlatSetReachesTheNextSet) {
    const std::vector<std::string> lines = MixedInput(kBiasedSine);
    JobsRun four(kBiasedSine, FitMethod::Marquardt, false, 10000);
    four.Go(lines, 4);
    ASSERT_FALSE(four.host.messages.empty());
    EXPECT_EQ(four.host.messages[0].first, "Data point invalid/flat!\n");
    JobsRun dropped(kBiasedSine, FitMethod::Marquardt, false, 10000);
    std::vector<std::string> without = lines;
    for (std::string& line : without) {
        if (line == "<a[0]=2.5>") {
            line.clear();  // a blank line between sets changes nothing else
        }
    }
    dropped.Go(without, 4);
    // The unweighted set after the first flat one (set 2) starts elsewhere.
    ASSERT_GT(four.record.sets.size(), 2U);
    EXPECT_NE(four.host.answers, dropped.host.answers);
}

// The set after a flat one has a this-set directive of its own: with
// several threads its second fit starts from the directive the flat set
// left and from its own, as the one-thread reading hands both over.
TEST(ComputeJobs, RefittedSetKeepsItsOwnDirectives) {
    Noise noise;
    std::vector<std::string> lines{"<a[1]=30>"};
    for (int i = 0; i < 6; ++i) {
        lines.push_back(Sprintf("%d 1.5", i));  // flat: the directive is left
    }
    lines.emplace_back("");
    lines.emplace_back("<a[0]=2.5>");
    AddSineSet(lines, noise, 60, true);
    JobsRun one(kBiasedSine, FitMethod::Marquardt, false, 10000);
    JobsRun four(kBiasedSine, FitMethod::Marquardt, false, 10000);
    one.Go(lines, 1);
    four.Go(lines, 4);
    ASSERT_EQ(one.record.sets.size(), 2U);
    EXPECT_NE(one.host.pane.find("<a[  0] = 2.5>\n<a[  1] = 30>"), std::string::npos);
    ExpectSameRuns(one, four);
}

// One set large enough that its fit shares the per-point work among the
// threads: every text, record and column must still be the one-thread one,
// through each way a model is evaluated (a sine with its cached terms and
// FFT estimate, a point-by-point model, the sawtooth that normalises its
// parameters, a formula with exact derivatives, bounds, central differences).
struct LargeSetCase {
    const char* name;
    int modelId;
    FitMethod method;
    const char* formula;
    const char* directive;
    bool precise;
    int points = 40000;  // above the size from which points are shared
};

std::vector<std::string> LargeSet(int modelId, const char* directive, int points) {
    Noise noise;
    std::vector<std::string> lines{"// one large set"};
    for (std::string_view rest = directive; !rest.empty();) {
        const std::size_t end = std::min(rest.find('\n'), rest.size());
        lines.emplace_back(rest.substr(0, end));
        rest.remove_prefix(std::min(end + 1, rest.size()));
    }
    for (int i = 0; i < points; ++i) {
        // Past 65536 points the lines are scanned ahead in chunks: a bad
        // line and a new set inside a chunk must read as line by line.
        if (i == 100000) {
            lines.emplace_back("1.5 not a point");
        } else if (i == 120000) {
            lines.emplace_back("// second part");
        }
        const double x = 0.01 * i;
        double y = 0.0;
        if (modelId == kLogistic) {
            y = 10.0 / (1.0 + 20.0 * std::exp(-0.05 * x)) + 0.2 * noise.Next();
        } else {
            y = 3.0 * std::sin(2.0 * 3.14159265358979 * (x + 1.3) / 47.0) + 4.0 +
                0.3 * noise.Next();
        }
        lines.push_back(Sprintf("%.9g %.9g 0.3", x, y));
    }
    return lines;
}

class LargeSetJobs : public ::testing::TestWithParam<LargeSetCase> {};

TEST_P(LargeSetJobs, ThreeThreadsGiveWhatOneThreadGives) {
    const LargeSetCase c = GetParam();
    const std::vector<std::string> lines = LargeSet(c.modelId, c.directive, c.points);
    JobsRun one(c.modelId, c.method, true, 10000);
    JobsRun three(c.modelId, c.method, true, 10000);
    for (JobsRun* run : {&one, &three}) {
        run->session.settings.formula = c.formula;
        run->session.settings.convergence.precise = c.precise;
    }
    one.Go(lines, 1);
    three.Go(lines, 3);
    ASSERT_EQ(one.record.sets.size(), c.points > 120000 ? 2U : 1U);
    ASSERT_FALSE(one.record.sets[0].fits.empty());
    // The fit really ran, and as far as a converged fit goes.
    EXPECT_FALSE(one.record.sets[0].fits[0].parameters.empty()) << one.host.pane;
    ExpectSameRuns(one, three);
}

INSTANTIATE_TEST_SUITE_P(
    OneLargeSet, LargeSetJobs,
    ::testing::Values(
        LargeSetCase{"BiasedSineAllMethods", kBiasedSine, FitMethod::All, "", "", false},
        LargeSetCase{"BiasedSineBounded", kBiasedSine, FitMethod::Marquardt, "",
                     "<<a[1] = 45 [40, 50]>>", false},
        LargeSetCase{"BiasedSinePrecise", kBiasedSine, FitMethod::Marquardt, "", "", true},
        LargeSetCase{"LogisticPointByPoint", kLogistic, FitMethod::Marquardt, "", "", false},
        LargeSetCase{"SawtoothNormalising", 19, FitMethod::Marquardt, "", "", false},
        LargeSetCase{"Formula", kLogistic, FitMethod::Marquardt, "A0/(1 + A1*exp(-A2*X))",
                     "<<a[0] = 9>>\n<<a[1] = 15>>\n<<a[2] = 0.04>>", false},
        LargeSetCase{"LinesScannedAhead", kLogistic, FitMethod::Marquardt, "", "", false, 150000}),
    [](const ::testing::TestParamInfo<LargeSetCase>& param) { return param.param.name; });

}  // namespace
}  // namespace quillon
