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

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

}  // namespace quillon::testing
