#include <windows.h>

#include <atomic>

#include "cli/CliStop.h"

namespace {

tovana::StopRequest* request = nullptr;
std::atomic<int> status{0};

// Runs on a thread of its own that the system starts for the event.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    int expected = 0;
    status.compare_exchange_strong(expected, event == CTRL_C_EVENT ? 130 : 143);
    request->Request();
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        return TRUE;
    }
    // A closed console, a logoff or a shutdown ends the process as soon as this returns: wait
    // here for the run to finish its rename and the program to end (the system allows a few
    // seconds).
    ::Sleep(INFINITE);
    return TRUE;
}

}  // namespace

void StopOnInterrupt(tovana::StopRequest& stop) {
    request = &stop;
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

int InterruptExitStatus() {
    return status.load();
}
