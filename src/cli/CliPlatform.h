// What the command line needs from the platform: its arguments as UTF-8, and output that goes
// out byte for byte as written.
#pragma once

#include <string>
#include <vector>

// The arguments after the program's name.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

void PrepareOutput();
