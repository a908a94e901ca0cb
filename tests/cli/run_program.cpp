#include "run_program.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace quillon::testing {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

void ExecInChild(const std::string& program, const std::vector<std::string>& args,
                 unsigned alarmSeconds) {
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    alarm(alarmSeconds);  // a hang ends the child instead of the test run
    execv(program.c_str(), argv.data());
    _exit(127);
}

ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::string* input) {
    char dir[] = "/tmp/quillon-run-XXXXXX";
    ProgramResult result;
    if (mkdtemp(dir) == nullptr) {
        return result;
    }
    const std::string base(dir);
    const std::string inPath = base + "/in", outPath = base + "/out", errPath = base + "/err";
    WriteFile(inPath, input ? *input : std::string());

    const pid_t pid = fork();
    if (pid == 0) {
        const int in = open(inPath.c_str(), O_RDONLY);
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(in, STDIN_FILENO);
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        ExecInChild(program, args, 60);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = ReadFile(outPath);
    result.err = ReadFile(errPath);
    unlink(inPath.c_str());
    unlink(outPath.c_str());
    unlink(errPath.c_str());
    rmdir(dir);
    return result;
}

}  // namespace quillon::testing
