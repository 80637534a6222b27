// Runs a built program as a user would and captures what it prints.
#pragma once

#include <string>
#include <vector>

namespace tovana::test {

struct ProgramResult {
    int status = -1;  // exit status, or -1 when it did not exit normally
    std::string out;
    std::string err;
};

ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args);

}  // namespace tovana::test
