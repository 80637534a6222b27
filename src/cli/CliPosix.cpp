#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "cli/CliPlatform.h"

namespace {

volatile sig_atomic_t stopSignal = 0;
bool outputIsPipe = false;

void OnStopSignal(int signal) {
    stopSignal = signal;
}

}  // namespace

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
    return std::vector<std::string>(argv + 1, argv + argc);
}

void PrepareOutput() {}

void PrepareStops() {
    // A write to a closed pipe fails with EPIPE instead of killing the program mid-folder.
    ::signal(SIGPIPE, SIG_IGN);
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    ::sigemptyset(&action.sa_mask);
    // No SA_RESTART: a call waiting on a mount that never answers is interrupted too.
    action.sa_flags = SA_RESETHAND;
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        ::sigaction(signal, &action, nullptr);
    }
    struct stat st {};
    outputIsPipe = ::fstat(STDOUT_FILENO, &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode));
}

// The write end of a pipe whose reader closed it polls as an error at once.
bool OutputClosed() {
    if (!outputIsPipe) {
        return false;
    }
    pollfd output{STDOUT_FILENO, POLLOUT, 0};
    return ::poll(&output, 1, 0) == 1 && (output.revents & POLLERR) != 0;
}

int StopSignal() {
    return stopSignal;
}

void EndBySignal(int signal) {
    ::signal(signal, SIG_DFL);
    ::raise(signal);
    std::_Exit(128 + signal);
}
