#include <signal.h>

#include <csignal>

#include "cli/CliStop.h"

namespace {

tovana::StopRequest* request = nullptr;
volatile std::sig_atomic_t caught = 0;

extern "C" void OnInterrupt(int signal) {
    if (caught == 0) {
        caught = signal;
    }
    request->Request();
}

}  // namespace

void StopOnInterrupt(tovana::StopRequest& stop) {
    request = &stop;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    // Output and system calls carry on where the signal found them.
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
}

int InterruptExitStatus() {
    return caught == 0 ? 0 : 128 + caught;
}
