// What the command line needs from the platform: its arguments as UTF-8, and output that goes
// out byte for byte as written.
#pragma once

#include <string>
#include <vector>

// The arguments after the program's name.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

void PrepareOutput();

// How a run ends early without losing track: a closed output pipe and the stop signals
// (SIGINT, SIGTERM, SIGHUP) no longer end the program at once; the run checks between renames.
// A second stop signal ends it at once.
void PrepareStops();
// Whether the output goes to a pipe whose reader went away.
bool OutputClosed();
// The stop signal received so far, 0 for none.
int StopSignal();
// Ends the program as the signal would have.
[[noreturn]] void EndBySignal(int signal);
