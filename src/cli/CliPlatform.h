// What the command line needs from the platform: its arguments as UTF-8, and UTF-8 text out,
// to a console as characters, to files and pipes byte for byte with "\n" line ends.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

// The arguments after the program's name.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

void PrepareOutput();

// Writes UTF-8 text to stdout or stderr.
void WriteText(std::FILE* stream, std::string_view text);

// Writes rows held by the caller to stdout at once, after what the stream holds; false when
// the write failed.
bool WriteHeld(std::string_view text);

// Whether the user reads Czech: a Czech locale for messages (LC_ALL, LC_MESSAGES or LANG, the
// first one set), on Windows a Czech user interface language.
bool CzechUser();

// The system's description of an error, in UTF-8.
std::string ErrorText(const std::error_code& error);

// A write to an output pipe whose reader went away fails instead of ending the program, so the
// run can stop cleanly after the rename under way.
void PrepareClosedOutput();
// Whether the output goes to a pipe whose reader went away.
bool OutputClosed();
