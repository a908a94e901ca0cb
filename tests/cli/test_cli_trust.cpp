// The start search, the precise gradient and the suspect flag from the
// command line: the JSON keys appear only with the switches, the text note
// only on a fit that looks wrong, and a bad limit is a usage error.
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "records/number_format.h"
#include "run_program.h"

namespace quillon {
namespace {

using testing::ProgramResult;
using testing::RunProgram;

// A logistic curve whose SDs are a tenth of its scatter: a converged fit
// far above its SDs; then a set that fits its SDs.
std::string TwoSets() {
    std::string text = "// tight SDs\n";
    for (int i = 1; i <= 20; ++i) {
        const double x = 0.5 * i;
        text += Sprintf("%g %.9f 0.005\n", x,
                        10 / (1 + 3 * std::exp(-0.5 * x)) + ((i * 7) % 5 - 2) * 0.05);
    }
    text += "// honest SDs\n";
    for (int i = 1; i <= 20; ++i) {
        const double x = 0.5 * i;
        text += Sprintf("%g %.9f 0.05\n", x,
                        10 / (1 + 3 * std::exp(-0.5 * x)) + ((i * 7) % 5 - 2) * 0.03);
    }
    return text;
}

ProgramResult Quillon(std::vector<std::string> args) {
    const std::string input = TwoSets();
    args.insert(args.begin(), {"--color", "never", "-m", "22"});
    return RunProgram(QUILLON_PROGRAM, args, &input);
}

TEST(CliTrust, JsonKeysOnlyWithTheSwitches) {
    struct Case {
        std::vector<std::string> args;
        bool start;
        bool suspect;
    };
    const Case cases[] = {{{}, false, false},
                          {{"--search-starts"}, true, true},
                          {{"--precise"}, false, true},
                          {{"--suspect-chisq", "2"}, false, true},
                          {{"-M", "ALL", "--search-starts", "--precise"}, true, true}};
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--format", "json"});
        const ProgramResult result = Quillon(args);
        ASSERT_EQ(result.status, 0) << result.err;
        const auto report = nlohmann::json::parse(result.out);
        for (const auto& set : report["sets"]) {
            for (const auto& fit : set["fits"]) {
                EXPECT_EQ(fit.contains("start"), c.start) << fit.dump();
                EXPECT_EQ(fit.contains("suspect"), c.suspect) << fit.dump();
                if (c.start) {
                    EXPECT_EQ(fit["start"], "search");
                }
            }
        }
        if (c.suspect) {
            EXPECT_EQ(report["sets"][0]["fits"][0]["suspect"], true);
            EXPECT_EQ(report["sets"][1]["fits"][0]["suspect"], false);
        }
    }
}

TEST(CliTrust, TheNoteFollowsOnlyTheSuspectFit) {
    const ProgramResult plain = Quillon({});
    EXPECT_EQ(plain.out.find("Suspect fit:"), std::string::npos);
    const ProgramResult flagged = Quillon({"--precise"});
    ASSERT_EQ(flagged.status, 0) << flagged.err;
    const auto note = flagged.out.find("Suspect fit: chi-square per degree of freedom");
    ASSERT_NE(note, std::string::npos) << flagged.out;
    EXPECT_LT(note, flagged.out.find("// honest SDs"));
    EXPECT_EQ(flagged.out.find("Suspect fit:", note + 1), std::string::npos);
}

TEST(CliTrust, ALimitThatIsNotPositiveIsAUsageError) {
    for (const char* limit : {"0", "-1", "x"}) {
        const ProgramResult result = Quillon({"--suspect-chisq", limit});
        EXPECT_EQ(result.status, 2) << limit;
        EXPECT_NE(result.err.find("--suspect-chisq"), std::string::npos) << result.err;
    }
}

}  // namespace
}  // namespace quillon
