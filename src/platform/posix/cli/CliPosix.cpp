#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "cli/CliPlatform.h"

namespace {

bool outputIsPipe = false;

}  // namespace

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
    return std::vector<std::string>(argv + 1, argv + argc);
}

void PrepareOutput() {}

void WriteText(std::FILE* stream, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stream);
}

bool CzechUser() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            const std::string_view locale(value);
            return locale.starts_with("cs") &&
                   (locale.size() == 2 || locale[2] == '_' || locale[2] == '.' || locale[2] == '@');
        }
    }
    return false;
}

std::string ErrorText(const std::error_code& error) {
    return error.message();
}

void PrepareClosedOutput() {
    ::signal(SIGPIPE, SIG_IGN);
    struct stat st {};
    outputIsPipe =
        ::fstat(STDOUT_FILENO, &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode));
}

// The write end of a pipe whose reader closed it polls as an error at once.
bool OutputClosed() {
    if (!outputIsPipe) {
        return false;
    }
    pollfd output{STDOUT_FILENO, POLLOUT, 0};
    return ::poll(&output, 1, 0) == 1 && (output.revents & POLLERR) != 0;
}
