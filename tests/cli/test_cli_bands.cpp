// --bands: the confidence band of every fitted curve in the JSON report and
// the result file, opt-in, with a checked LEVEL.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "run_program.h"

namespace quillon {
namespace {

using testing::ProgramResult;
using testing::ReadFile;
using testing::RunProgram;
namespace fs = std::filesystem;

const std::string kLine = "// line\n0 1\n1 3.5\n2 4.5\n3 7\n";

ProgramResult Quillon(std::vector<std::string> args, const std::string& input) {
    args.insert(args.begin(), {"--color", "never"});
    return RunProgram(QUILLON_PROGRAM, args, &input);
}

TEST(CliBands, WithoutJsonFileOrPlotNothingChanges) {
    const std::string text = kLine + "\n// flat\n1 1\n1 2\n1 3\n";
    const ProgramResult plain = Quillon({"--stats"}, text);
    for (const std::vector<std::string>& bands :
         {std::vector<std::string>{"--bands"}, {"--bands", "90"}, {"--bands=99.5"}}) {
        std::vector<std::string> args = bands;
        args.push_back("--stats");
        const ProgramResult with = Quillon(args, text);
        EXPECT_EQ(with.status, 0) << bands.back();
        EXPECT_EQ(with.out, plain.out) << bands.back();
        EXPECT_EQ(with.err, plain.err) << bands.back();
    }
}

TEST(CliBands, JsonCarriesTheBandAtTheCurveColumnsX) {
    const ProgramResult result = Quillon({"--format", "json", "--file", "--bands", "90"}, kLine);
    ASSERT_EQ(result.status, 0) << result.err;
    const auto report = nlohmann::json::parse(result.out);
    const auto& band = report["sets"][0]["fits"][0]["band"];
    EXPECT_EQ(band["level"], 90);
    const auto& columns = report["columns"];
    ASSERT_EQ(columns[1]["name"], "x_1");
    EXPECT_EQ(band["x"], columns[1]["values"]);
    EXPECT_EQ(columns[3]["name"], "y_1_lo");
    EXPECT_EQ(columns[4]["name"], "y_1_hi");
    EXPECT_EQ(band["lower"], columns[3]["values"]);
    // The numbers themselves are checked against the closed form in the
    // engine's tests; here they are those of the result file.
    EXPECT_EQ(band["upper"], columns[4]["values"]);
    EXPECT_EQ(band["prediction_lower"].size(), band["x"].size());
    // Without a level the band is the 95 % one; with SDs there is no
    // prediction band; without --bands no key at all.
    const auto weighted = nlohmann::json::parse(
        Quillon({"--format", "json", "--bands"}, "0 1 0.5\n1 3.5 0.5\n2 4.5 0.5\n3 7 0.5\n").out);
    const auto& fit = weighted["sets"][0]["fits"][0];
    EXPECT_EQ(fit["band"]["level"], 95);
    EXPECT_FALSE(fit["band"].contains("prediction_lower"));
    const auto plain = nlohmann::json::parse(Quillon({"--format", "json"}, kLine).out);
    EXPECT_FALSE(plain["sets"][0]["fits"][0].contains("band"));
}

TEST(CliBands, ResultFileGetsTheBandColumnsAndABareBandsReadsTheFileAfterIt) {
    char name[] = "/tmp/quillon-bands-XXXXXX";
    const fs::path dir = mkdtemp(name);
    testing::WriteFile((dir / "line.txt").string(), kLine);
    const ProgramResult result = RunProgram(
        QUILLON_PROGRAM,
        {"-o", (dir / "out.txt").string(), "--no-comment", "--bands", (dir / "line.txt").string()});
    EXPECT_EQ(result.status, 0) << result.err;
    const std::string written = ReadFile((dir / "out.txt").string());
    // The parameter table's columns follow the set's.
    EXPECT_EQ(written.substr(0, written.find("\tNo.")), "Param_1\tx_1\ty_1\ty_1_lo\ty_1_hi");
    fs::remove_all(dir);
}

TEST(CliBands, LevelOutsideZeroToHundredIsAUsageError) {
    for (const std::string level : {"0", "100", "150", "abc", "-5", "nan"}) {
        const ProgramResult result = Quillon({"--bands=" + level, "--format", "json"}, kLine);
        EXPECT_EQ(result.status, 2) << level;
        EXPECT_TRUE(result.out.empty()) << level;
        EXPECT_NE(result.err.find("LEVEL must be a percent above 0 and below 100"),
                  std::string::npos)
            << level << ": " << result.err;
    }
}

}  // namespace
}  // namespace quillon
