// Runs a built program as a user would and captures what it prints.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "support/TempTree.h"

namespace tovana::test {

struct ProgramResult {
    int status = -1;  // exit status, or -1 when it did not exit normally
    std::string out;
    std::string err;
};

ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args);

// A program started in the background, for tests that signal it while it runs. `environment`
// ("NAME=value") is added to the test's own.
class RunningProgram {
  public:
    RunningProgram(const std::string& program, const std::vector<std::string>& args,
                   const std::vector<std::string>& environment = {});
    // Kills and reaps the program if nobody waited for it.
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    void Signal(int signal);
    ProgramResult Wait();

  private:
    TempTree scratch_;
    pid_t pid_ = -1;
};

}  // namespace tovana::test
