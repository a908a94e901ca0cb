// NIST's certified nonlinear problems, fitted from the command line with
// Marquardt. The reference folder is read at run time and never copied in.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "run_program.h"

namespace quillon {
namespace {

using testing::ProgramResult;
using testing::ReadFile;
using testing::RunProgram;
namespace fs = std::filesystem;

fs::path NistDir() {
    const char* env = std::getenv("QUILLON_NIST_DIR");
    return env ? fs::path(env) : fs::path(QUILLON_NIST_DIR);
}

// Significant digits shared by value and reference.
double Digits(double value, double reference) {
    if (value == reference) {
        return 16;
    }
    return -std::log10(std::fabs(value - reference) / std::fabs(reference));
}

struct Case {
    const char* problem;  // key in certified.json
    const char* start;    // "start2", or "" for the model's own estimates
};

// Fits one case and returns the fewest digits over the parameters.
double FitDigits(const nlohmann::json& problem, const std::string& input,
                 const std::vector<std::string>& extra) {
    std::vector<std::string> args{
        "--color",   "never", "--format", "json",
        "--chi-cut", "1e-10", "-m",       std::to_string(problem["model_id"].get<int>())};
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back(input);
    const ProgramResult result = RunProgram(QUILLON_PROGRAM, args);
    EXPECT_EQ(result.status, 0) << result.err;
    const auto fit = nlohmann::json::parse(result.out)["sets"][0]["fits"][0];
    EXPECT_EQ(fit["outcome"], 1) << input;
    if (fit["outcome"] != 1) {
        return -99;
    }
    std::set<int> signFree;
    for (const auto& index : problem["sign_free"]) {
        signFree.insert(index.get<int>());
    }
    double fewest = 16;
    for (std::size_t i = 0; i < problem["params"].size(); ++i) {
        double value = fit["parameters"][i];
        if (signFree.count(static_cast<int>(i)) != 0) {
            value = std::fabs(value);
        }
        fewest = std::min(fewest, Digits(value, problem["params"][i]["value"].get<double>()));
    }
    return fewest;
}

// The cases every method of reaching the certified values is held to.
// Every case lies in the basin of the certified minimum; Eckerle4's own
// estimates and NIST's second start included.
const Case kCases[] = {{"Misra1d", "start2"},  {"Misra1d", ""},        {"Rat42", "start2"},
                       {"Rat42", ""},          {"Rat42@37", "start2"}, {"Rat42@37", ""},
                       {"Eckerle4", "start2"}, {"Eckerle4", ""},       {"Eckerle4@30", "start2"},
                       {"Eckerle4@30", ""}};

std::string CaseInput(const fs::path& nist, const nlohmann::json& problem, const Case& c) {
    return (nist / (*c.start ? problem["start_files"][c.start].get<std::string>()
                             : problem["data_file"].get<std::string>()))
        .string();
}

// Central differences and the gradient from the Jacobian reach the
// certified values at the default step, where the forward difference of
// chi-square stops two to four digits short.
TEST(CliNist, PreciseReachesSixDigitsAtTheDefaultStep) {
    const fs::path nist = NistDir();
    if (!fs::exists(nist / "certified.json")) {
        GTEST_SKIP() << "no NIST reference folder at " << nist << " (set QUILLON_NIST_DIR)";
    }
    const auto certified = nlohmann::json::parse(ReadFile((nist / "certified.json").string()));
    for (const Case& c : kCases) {
        const auto& problem = certified["problems"][c.problem];
        const double digits = FitDigits(problem, CaseInput(nist, problem, c), {"--precise"});
        EXPECT_GE(digits, 6.0) << c.problem << " " << (*c.start ? c.start : "own estimates");
        std::printf("%-12s %-7s --precise: %.1f digits\n", c.problem, *c.start ? c.start : "own",
                    digits);
    }
}

TEST(CliNist, MarquardtReachesTheCertifiedNonlinearValues) {
    const fs::path nist = NistDir();
    if (!fs::exists(nist / "certified.json")) {
        GTEST_SKIP() << "no NIST reference folder at " << nist << " (set QUILLON_NIST_DIR)";
    }
    const auto certified = nlohmann::json::parse(ReadFile((nist / "certified.json").string()));
    // Every case lies in the basin of the certified minimum; Eckerle4's own
    // estimates and NIST's second start included.
    const Case cases[] = {{"Misra1d", "start2"},  {"Misra1d", ""},        {"Rat42", "start2"},
                          {"Rat42", ""},          {"Rat42@37", "start2"}, {"Rat42@37", ""},
                          {"Eckerle4", "start2"}, {"Eckerle4", ""},       {"Eckerle4@30", "start2"},
                          {"Eckerle4@30", ""}};
    for (const Case& c : cases) {
        const auto& problem = certified["problems"][c.problem];
        const std::string input =
            (nist / (*c.start ? problem["start_files"][c.start].get<std::string>()
                              : problem["data_file"].get<std::string>()))
                .string();
        const double fine = FitDigits(problem, input, {"--f-er", "1"});
        EXPECT_GE(fine, 5.0) << c.problem << " " << (*c.start ? c.start : "own estimates");
        // The default step (f_ER 1000) is a thousand times coarser: the
        // one-sided differences leave two to four digits, never fewer.
        const double coarse = FitDigits(problem, input, {});
        EXPECT_GE(coarse, 2.0) << c.problem << " " << (*c.start ? c.start : "own estimates");
        EXPECT_GT(fine, coarse) << c.problem;
        std::printf("%-12s %-7s f_ER 1: %.1f digits, default f_ER: %.1f digits\n", c.problem,
                    *c.start ? c.start : "own", fine, coarse);
    }
}

}  // namespace
}  // namespace quillon
