#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <libintl.h>

#include <cerrno>
#include <climits>
#include <clocale>
#include <cstdlib>

#include "cli/CliPlatform.h"
#include "cli/CliText.h"

namespace {

bool outputIsPipe = false;

}  // namespace

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
    return std::vector<std::string>(argv + 1, argv + argc);
}

void PrepareOutput() {}

// Only the run's own thread writes, so the stream needs no lock of its own.
void WriteText(std::FILE* stream, std::string_view text) {
    ::fwrite_unlocked(text.data(), 1, text.size(), stream);
}

// The rows are held in blocks already: they go straight to the file, not through the stream's
// buffer as well.
bool WriteHeld(std::string_view text) {
    if (std::fflush(stdout) != 0) {
        return false;
    }
    while (!text.empty()) {
        const ssize_t written = ::write(STDOUT_FILENO, text.data(), text.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// The catalogue lies in ../share/locale from the program, installed (/usr/bin) or built.
void PrepareTexts() {
    std::setlocale(LC_MESSAGES, "");
    char program[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", program, sizeof program - 1);
    std::string folder = "/usr/share/locale";
    if (length > 0) {
        std::string path(program, static_cast<std::size_t>(length));
        path.resize(path.rfind('/') + 1);
        folder = path + "../share/locale";
    }
    ::bindtextdomain("tovana-cli", folder.c_str());
    ::bind_textdomain_codeset("tovana-cli", "UTF-8");
    // The system's error texts too (glibc's own domain), not in ASCII with "?" for letters.
    ::bind_textdomain_codeset("libc", "UTF-8");
}

const char* Tr(const char* english) {
    return ::dgettext("tovana-cli", english);
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
