// Runs the quillon program for the tests and captures what it prints.
#pragma once

#include <string>
#include <vector>

namespace quillon::testing {

struct ProgramResult {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs program with args; input, when given, is fed to its standard input.
ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::string* input = nullptr);

// In a forked child whose standard streams are set: runs program with args.
// An alarm ends it should it hang; 127 when it cannot be started.
[[noreturn]] void ExecInChild(const std::string& program, const std::vector<std::string>& args,
                              unsigned alarmSeconds);

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

}  // namespace quillon::testing
