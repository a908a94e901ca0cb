// Ctrl-C during a compute: the program stops after the set it is fitting,
// keeps the report printed so far, says so on standard error and exits with
// status 130.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <poll.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "run_program.h"

namespace quillon {
namespace {

using testing::ReadFile;
using testing::RunProgram;
using testing::WriteFile;

const std::string kProgram = QUILLON_PROGRAM;
constexpr const char* kStoppedLine = "Compute stopped by the user.\n";

// Many sets, each headed "// set k"; with the biased period sine and every
// method a full run takes many seconds, far longer than its first sets.
std::string ManySets(int count, int points) {
    std::string text;
    for (int k = 1; k <= count; ++k) {
        text += "// set " + std::to_string(k) + "\n";
        for (int i = 0; i < points; ++i) {
            const double x = 0.25 * i;
            const double y = 10.0 / (1.0 + 20.0 * std::exp(-0.5 * x)) + 0.01 * ((i * k) % 13);
            text += std::to_string(x) + " " + std::to_string(y) + " 0.1\n";
        }
    }
    return text;
}

struct Interrupted {
    int status = -1;
    std::string out;
    std::string err;
};

// Says when to send SIGINT to the running program, given what it has
// printed so far.
using ReadyToInterrupt = std::function<bool(pid_t pid, const std::string& out)>;

// Runs quillon with inputPath on standard input, sends SIGINT once ready
// says so, and collects what it prints.
Interrupted RunAndInterrupt(const std::vector<std::string>& args, const std::string& inputPath,
                            const std::string& errPath, const ReadyToInterrupt& ready) {
    int pipeFds[2];
    Interrupted result;
    if (pipe(pipeFds) != 0) {
        return result;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        const int in = open(inputPath.c_str(), O_RDONLY);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(in, STDIN_FILENO);
        dup2(pipeFds[1], STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        close(pipeFds[0]);
        testing::ExecInChild(kProgram, args, 120);
    }
    close(pipeFds[1]);
    bool signalled = false;
    char buffer[4096];
    for (;;) {
        pollfd watch{pipeFds[0], POLLIN, 0};
        if (poll(&watch, 1, 20) > 0) {
            const ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
            if (n == 0) {
                break;
            }
            if (n > 0) {
                result.out.append(buffer, static_cast<std::size_t>(n));
            }
        }
        if (!signalled && ready(pid, result.out)) {
            kill(pid, SIGINT);
            signalled = true;
        }
    }
    close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.err = ReadFile(errPath);
    return result;
}

// The program has read its standard input to the end (its file offset,
// from /proc), and some time has passed for it to start the compute.
bool InputReadAndComputing(pid_t pid, std::uintmax_t inputSize, int& settled) {
    std::ifstream info("/proc/" + std::to_string(pid) + "/fdinfo/0");
    std::string key;
    std::uintmax_t pos = 0;
    if (!(info >> key >> pos) || key != "pos:" || pos < inputSize) {
        settled = 0;
        return false;
    }
    return ++settled > 5;  // 5 polls of 20 ms after the last byte
}

// The input lines up to (not including) the memo of set `next`.
std::string SetsBefore(const std::string& text, int next) {
    const std::size_t at = text.find("// set " + std::to_string(next) + "\n");
    return at == std::string::npos ? text : text.substr(0, at);
}

class Interrupt : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        char dir[] = "/tmp/quillon-int-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        m_dir = dir;
        m_input = ManySets(4000, 60);
        WriteFile(m_dir + "/in.txt", m_input);
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    std::string m_dir;
    std::string m_input;
};

TEST_P(Interrupt, TextReportStopsAfterTheCurrentSetWithStatus130) {
    const std::vector<std::string> args{
        "--color", "never",  "-m",       "12", "-M",
        "ALL",     "--jobs", GetParam(), "-o", m_dir + "/result.csv",
        "-"};
    const Interrupted run = RunAndInterrupt(
        args, m_dir + "/in.txt", m_dir + "/err.txt",
        [](pid_t, const std::string& out) { return out.find("// set 2\n") != std::string::npos; });
    ASSERT_EQ(run.status, 130) << run.err;
    EXPECT_NE(run.err.find("interrupted"), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(m_dir + "/result.csv"));  // no result file
    ASSERT_GE(run.out.size(), std::string(kStoppedLine).size());
    ASSERT_TRUE(run.out.ends_with(kStoppedLine)) << run.out.substr(run.out.size() - 200);

    // What came before the stopped line is exactly the report of the sets
    // printed, as a run over those sets alone prints it.
    int printed = 0;
    while (run.out.find("// set " + std::to_string(printed + 1) + "\n") != std::string::npos) {
        ++printed;
    }
    ASSERT_GE(printed, 2);
    ASSERT_LT(printed, 4000);
    const std::string part = SetsBefore(m_input, printed + 1);
    const auto alone =
        RunProgram(kProgram, {"--color", "never", "-m", "12", "-M", "ALL", "-"}, &part);
    ASSERT_EQ(alone.status, 0);
    EXPECT_EQ(run.out.substr(0, run.out.size() - std::string(kStoppedLine).size()), alone.out);
}

TEST_P(Interrupt, JsonReportHoldsThePartialRecord) {
    // JSON comes only at the end: the signal follows the reading instead.
    const std::vector<std::string> args{"--format", "json",   "-m",       "12", "-M",
                                        "ALL",      "--jobs", GetParam(), "-"};
    const auto size = static_cast<std::uintmax_t>(m_input.size());
    const Interrupted run =
        RunAndInterrupt(args, m_dir + "/in.txt", m_dir + "/err.txt",
                        [size, settled = 0](pid_t pid, const std::string&) mutable {
                            return InputReadAndComputing(pid, size, settled);
                        });
    ASSERT_EQ(run.status, 130) << run.err;
    const auto report = nlohmann::json::parse(run.out, nullptr, false);
    ASSERT_FALSE(report.is_discarded()) << run.out.substr(0, 200);
    EXPECT_EQ(report.value("stopped", false), true);
    const auto& sets = report.at("sets");
    ASSERT_LT(sets.size(), 4000u);
    for (std::size_t i = 0; i < sets.size(); ++i) {
        EXPECT_EQ(sets[i].at("set").get<int>(), static_cast<int>(i) + 1);
    }
    ASSERT_FALSE(report.at("messages").empty());
    EXPECT_EQ(report.at("messages").back().at("kind"), "warning");
    EXPECT_EQ(report.at("messages").back().at("text"), kStoppedLine);
    EXPECT_FALSE(report.contains("columns"));
}

INSTANTIATE_TEST_SUITE_P(Jobs, Interrupt, ::testing::Values("1", "2"));

}  // namespace
}  // namespace quillon
