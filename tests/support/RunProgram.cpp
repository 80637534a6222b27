#include "support/RunProgram.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace tovana::test {
namespace {

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

RunningProgram::RunningProgram(const std::string& program, const std::vector<std::string>& args,
                               const std::vector<std::string>& environment) {
    const std::string outPath = scratch_.path("out");
    const std::string errPath = scratch_.path("err");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        envp.push_back(*variable);
    }
    for (const std::string& variable : environment) {
        envp.push_back(const_cast<char*>(variable.c_str()));
    }
    envp.push_back(nullptr);
    if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) {
        pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
}

RunningProgram::~RunningProgram() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
}

void RunningProgram::Signal(int signal) {
    if (pid_ > 0) {
        ::kill(pid_, signal);
    }
}

ProgramResult RunningProgram::Wait() {
    ProgramResult result;
    if (pid_ > 0) {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    result.out = Slurp(scratch_.path("out"));
    result.err = Slurp(scratch_.path("err"));
    return result;
}

ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args) {
    return RunningProgram(program, args).Wait();
}

}  // namespace tovana::test
