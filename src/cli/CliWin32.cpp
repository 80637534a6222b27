// windows.h comes before the other system headers, which build on it.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>

#include "cli/CliPlatform.h"
#include "rename/WideText.h"

// The arguments come from the wide command line: the 8-bit one cannot hold every name.
std::vector<std::string> CommandLineArguments(int, char**) {
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 1; i < count; ++i) {
        arguments.push_back(tovana::Utf8FromWide(wide[i]));
    }
    ::LocalFree(wide);
    return arguments;
}

// Lines end in "\n" as on every other platform; the text is UTF-8.
void PrepareOutput() {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

// Console stops end the program as they always did; a closed pipe fails the writes.
void PrepareStops() {}

bool OutputClosed() {
    return false;
}

int StopSignal() {
    return 0;
}

void EndBySignal(int signal) {
    std::exit(128 + signal);
}
