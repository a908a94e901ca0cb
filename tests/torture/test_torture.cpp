// The torture matrix: every model with every method (and ALL) over data that
// an instrument export can really hold: flat sets, two points, duplicated X,
// zero and negative X, NaN and inf, numbers at the ends of the double range,
// a single huge outlier and thousands of points of noise. Every compute must
// finish, and every set must end with one of the outcome texts or with the
// flat-data message.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "engine/compute.h"
#include "models/catalogue.h"
#include "support/recording_host.h"

namespace quillon {
namespace {

using testing::RecordingHost;

// A smaller iteration limit than the default keeps each case quick; every
// method still runs into its limit on the sets that do not converge.
constexpr int kNCut = 200;
// The hang guard of one compute. A case that has not finished by then is
// reported by name and ends the test program.
constexpr unsigned kCaseAlarmSeconds = 300;

char g_caseName[256] = "";

void OnCaseAlarm(int) {
    const char prefix[] = "\ntorture case did not finish: ";
    (void)!write(STDERR_FILENO, prefix, sizeof prefix - 1);
    (void)!write(STDERR_FILENO, g_caseName, std::strlen(g_caseName));
    (void)!write(STDERR_FILENO, "\n", 1);
    _exit(3);
}

class CaseAlarm {
  public:
    explicit CaseAlarm(const std::string& name) {
        std::snprintf(g_caseName, sizeof g_caseName, "%s", name.c_str());
        struct sigaction action {};
        action.sa_handler = OnCaseAlarm;
        sigaction(SIGALRM, &action, nullptr);
        alarm(kCaseAlarmSeconds);
    }
    ~CaseAlarm() { alarm(0); }
    CaseAlarm(const CaseAlarm&) = delete;
    CaseAlarm& operator=(const CaseAlarm&) = delete;
};

struct DataCase {
    std::string name;
    std::vector<std::string> lines;
};

std::string Line(double x, double y) {
    char text[96];
    std::snprintf(text, sizeof text, "%.17g\t%.17g", x, y);
    return text;
}

std::string Line(double x, double y, double sd) {
    char text[128];
    std::snprintf(text, sizeof text, "%.17g\t%.17g\t%.17g", x, y, sd);
    return text;
}

// A smooth rising curve over x = 1..n, the base most cases spoil one way.
std::vector<std::string> Smooth(int n) {
    std::vector<std::string> lines;
    for (int i = 1; i <= n; ++i) {
        lines.push_back(Line(i, 2.0 + 3.0 * i / (1.0 + 0.2 * i)));
    }
    return lines;
}

std::vector<DataCase> DataCases() {
    std::vector<DataCase> cases;
    auto add = [&](std::string name, std::vector<std::string> lines) {
        lines.insert(lines.begin(), "// " + name);
        cases.push_back({std::move(name), std::move(lines)});
    };

    {
        std::vector<std::string> lines;
        for (int i = 1; i <= 12; ++i) {
            lines.push_back(Line(i, 5.0));
        }
        add("all Y equal", lines);
    }
    {
        std::vector<std::string> lines;
        for (int i = 1; i <= 12; ++i) {
            lines.push_back(Line(3.0, i * 0.7));
        }
        add("all X equal", lines);
    }
    {
        std::vector<std::string> lines;
        for (int i = 1; i <= 12; ++i) {
            lines.push_back(Line(0.0, 0.0));
        }
        add("all zero", lines);
    }
    add("two points", {Line(1.0, 2.0), Line(2.0, 3.5)});
    {
        std::vector<std::string> lines;
        for (int i = 1; i <= 8; ++i) {
            lines.push_back(Line(i, 1.0 + i));
            lines.push_back(Line(i, 1.5 + i));
        }
        add("duplicated X", lines);
    }
    {
        std::vector<std::string> lines;
        for (int i = -6; i <= 6; ++i) {
            lines.push_back(Line(i, 1.0 + 0.1 * i * i));
        }
        add("zero and negative X", lines);
    }
    {
        std::vector<std::string> lines;
        for (int i = 1; i <= 10; ++i) {
            lines.push_back(Line(-i, 4.0 - 0.3 * i));
        }
        add("negative X only", lines);
    }
    const struct {
        const char* name;
        int column;  // 0 X, 1 Y, 2 SD
        const char* value;
    } spoiled[] = {
        {"NaN in X", 0, "nan"},   {"NaN in Y", 1, "nan"},   {"NaN in SD", 2, "nan"},
        {"inf in X", 0, "inf"},   {"inf in Y", 1, "inf"},   {"inf in SD", 2, "inf"},
        {"-inf in X", 0, "-inf"}, {"-inf in Y", 1, "-inf"}, {"-inf in SD", 2, "-inf"},
    };
    for (const auto& s : spoiled) {
        std::vector<std::string> lines;
        for (int i = 1; i <= 10; ++i) {
            std::string fields[3] = {std::to_string(i), std::to_string(2.0 + 0.5 * i), "0.1"};
            if (i == 5) {
                fields[s.column] = s.value;
            }
            lines.push_back(fields[0] + "\t" + fields[1] + "\t" + fields[2]);
        }
        add(s.name, lines);
    }
    {
        std::vector<std::string> lines;
        for (int i = 1; i <= 10; ++i) {
            lines.push_back(Line(i * 1.7e307, (11 - i) * 1.7e307));
        }
        add("near 1e308", lines);
    }
    {
        std::vector<std::string> lines;
        for (int i = 1; i <= 10; ++i) {
            lines.push_back(Line(i * 3e-308, i * i * 2e-308));
        }
        add("near 1e-308", lines);
    }
    {
        std::vector<std::string> lines;
        for (int i = 1; i <= 10; ++i) {
            lines.push_back(Line(i, 1.0 + i, 1e-300));
        }
        add("tiny SD", lines);
    }
    {
        std::vector<std::string> lines = Smooth(20);
        lines[10] = Line(11.0, 1e30);
        add("one huge outlier", lines);
    }
    {
        std::mt19937 engine(20240613);
        std::uniform_real_distribution<double> noise(-1.0, 1.0);
        std::vector<std::string> lines;
        for (int i = 1; i <= 8192; ++i) {
            lines.push_back(Line(i * 0.01, noise(engine)));
        }
        add("8192 points of noise", lines);
    }
    return cases;
}

bool IsLinear(int modelId) {
    return modelId == 0 || modelId == 28;
}

// Whether a nonlinear fit record's text is one of the outcome texts.
bool IsOutcomeText(const std::string& text) {
    static const std::vector<std::string> fixed = {
        "収束しました。\n",
        "収束しませんでした。\n初期値や誤差水準を検討して下さい。\n",
        "特異点\n初期値や誤差水準を検討して下さい。\n",
        "範囲外\n初期値や誤差水準を検討して下さい。\n",
        "原因不明の異常終了\n",
    };
    for (const std::string& f : fixed) {
        if (text == f) {
            return true;
        }
    }
    if (text == "計算回数が " + std::to_string(kNCut) + " を越えました。\n") {
        return true;
    }
    static const std::regex lambda("lambda が異常な値 \\S+ になりました。\n");
    return std::regex_match(text, lambda);
}

struct MatrixCase {
    int modelId;
    FitMethod method;
};

class TortureMatrix : public ::testing::TestWithParam<MatrixCase> {};

TEST_P(TortureMatrix, EverySetEndsWithAnOutcomeText) {
    const auto [modelId, method] = GetParam();
    for (const DataCase& data : DataCases()) {
        for (bool file : {false, true}) {
            const std::string name = "model " + std::to_string(modelId) + ", method " +
                                     std::to_string(static_cast<int>(method)) + ", " + data.name +
                                     (file ? ", with result columns and statistics" : "");
            SCOPED_TRACE(name);
            ComputeSession session;
            session.settings.modelId = modelId;
            session.settings.method = method;
            session.settings.convergence.n_cut = kNCut;
            session.settings.output.enabled = file;
            session.settings.statistics = file;  // the statistics block on the same bad data
            RecordingHost host;
            ComputeRecord record;
            {
                CaseAlarm guard(name);
                record = ComputeParameters(data.lines, session, host, nullptr, 1);
            }

            EXPECT_EQ(host.waitDepth, 0);
            ASSERT_EQ(record.sets.size(), 1u);
            const SetRecord& set = record.sets[0];
            int flatMessages = 0;
            for (const MessageRecord& m : record.messages) {
                flatMessages += m.text == "Data point invalid/flat!\n";
            }
            if (IsLinear(modelId)) {
                ASSERT_EQ(set.fits.size(), 1u);
                const FitRecord& fit = set.fits[0];
                if (fit.outcome != FitOutcome::Converged) {
                    EXPECT_EQ(fit.message, "Abnormal data!!\n");
                }
                EXPECT_EQ(flatMessages, 0);
                continue;
            }
            if (set.fits.empty()) {
                EXPECT_EQ(flatMessages, 1);
                continue;
            }
            EXPECT_EQ(flatMessages, 0);
            EXPECT_EQ(set.fits.size(), method == FitMethod::All ? 4u : 1u);
            for (const FitRecord& fit : set.fits) {
                EXPECT_TRUE(IsOutcomeText(fit.message)) << fit.method << ": " << fit.message;
            }
        }
    }
}

std::vector<MatrixCase> AllCases() {
    std::vector<MatrixCase> cases;
    for (int model = 0; model < kModelCount; ++model) {
        for (int method = 0; method < kMethodCount; ++method) {
            cases.push_back({model, static_cast<FitMethod>(method)});
        }
    }
    return cases;
}

std::string CaseName(const ::testing::TestParamInfo<MatrixCase>& param) {
    std::string method(MethodName(param.param.method));
    std::erase(method, '-');
    return "Model" + std::to_string(param.param.modelId) + "_" + method;
}

INSTANTIATE_TEST_SUITE_P(AllModelsAndMethods, TortureMatrix, ::testing::ValuesIn(AllCases()),
                         CaseName);

}  // namespace
}  // namespace quillon
