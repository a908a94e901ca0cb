// The manual page and the shell completion follow the program: every long
// option of --help is in both, and the completion offers what the program
// itself lists.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "run_program.h"

namespace quillon {
namespace {

using testing::ProgramResult;
using testing::ReadFile;
using testing::RunProgram;

std::set<std::string> LongOptions(const std::string& text) {
    std::set<std::string> options;
    const std::regex option("--[a-z0-9][a-z0-9-]*");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), option);
         it != std::sregex_iterator(); ++it) {
        options.insert(it->str());
    }
    return options;
}

// What the completion offers for the words typed so far (the last one is
// being completed), with the built program first on the path.
std::set<std::string> Complete(const std::string& words) {
    const std::string program = QUILLON_PROGRAM;
    const std::string folder = program.substr(0, program.rfind('/'));
    const std::string script =
        "PATH='" + folder + "':$PATH; source '" QUILLON_COMPLETION "'; read -ra COMP_WORDS <<< '" +
        words + "'; [[ '" + words +
        "' == *' ' ]] && COMP_WORDS+=(''); COMP_CWORD=$((${#COMP_WORDS[@]}-1)); _quillon; "
        "printf '%s\\n' \"${COMPREPLY[@]}\"";
    const ProgramResult result = RunProgram("/bin/bash", {"-c", script});
    std::set<std::string> offered;
    std::istringstream in(result.out);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty()) {
            offered.insert(line);
        }
    }
    return offered;
}

TEST(CliDocs, TheManualPageNamesEveryOption) {
    const std::set<std::string> options = LongOptions(RunProgram(QUILLON_PROGRAM, {"--help"}).out);
    ASSERT_GT(options.size(), 30u);
    std::string manual = ReadFile(QUILLON_MANUAL);
    // The page writes a hyphen as "\-".
    manual = std::regex_replace(manual, std::regex(R"(\\-)"), "-");
    for (const std::string& option : options) {
        EXPECT_NE(manual.find(option), std::string::npos) << option << " is not in the manual";
    }
    for (const std::string& option : LongOptions(manual)) {
        EXPECT_TRUE(options.count(option)) << option << " is in the manual but not in --help";
    }
}

TEST(CliDocs, CompletionOffersOptionsChoicesAndModelIds) {
    const std::set<std::string> options = LongOptions(RunProgram(QUILLON_PROGRAM, {"--help"}).out);
    EXPECT_EQ(Complete("quillon --"), options);
    EXPECT_EQ(Complete("quillon --fi"), (std::set<std::string>{"--file", "--fix", "--fixed-c"}));
    EXPECT_EQ(Complete("quillon --format "), (std::set<std::string>{"text", "json"}));
    EXPECT_EQ(Complete("quillon --backup "), (std::set<std::string>{"bak", "dollar", "hash"}));
    EXPECT_EQ(Complete("quillon -m 4"), (std::set<std::string>{"4", "40", "41", "42"}));
    EXPECT_EQ(Complete("quillon -M P"), (std::set<std::string>{"Powell"}));
}

}  // namespace
}  // namespace quillon
