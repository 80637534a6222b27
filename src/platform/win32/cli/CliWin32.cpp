// windows.h comes before the other system headers, which build on it.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "cli/CliPlatform.h"
#include "cli/CliText.h"
#include "names/WideText.h"

// The arguments come from the wide command line: the 8-bit one cannot hold every name. "/?"
// asks for the help, as it does of every Windows command.
std::vector<std::string> CommandLineArguments(int, char**) {
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 1; i < count; ++i) {
        arguments.push_back(std::wstring_view(wide[i]) == L"/?" ? std::string("--help")
                                                                : tovana::Utf8FromWide(wide[i]));
    }
    ::LocalFree(wide);
    return arguments;
}

// Lines end in "\n" as on every other platform; the text is UTF-8.
void PrepareOutput() {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

namespace {

// The console the stream writes to, or null when it goes to a file or a pipe.
HANDLE ConsoleOf(std::FILE* stream) {
    const HANDLE handle = ::GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode)
               ? handle
               : nullptr;
}

}  // namespace

// A console shows bytes in its own (OEM) code page, so it gets characters through the wide
// function; in pieces, as older consoles take only so much at once, never parting a surrogate
// pair.
void WriteText(std::FILE* stream, std::string_view text) {
    const HANDLE console = ConsoleOf(stream);
    if (console == nullptr) {
        std::fwrite(text.data(), 1, text.size(), stream);
        return;
    }
    std::fflush(stream);
    const std::wstring wide = tovana::WideFromUtf8(text);
    constexpr std::size_t kPiece = 8192;
    for (std::size_t at = 0; at < wide.size();) {
        std::size_t length = std::min(kPiece, wide.size() - at);
        if (at + length < wide.size() && wide[at + length - 1] >= 0xD800 &&
            wide[at + length - 1] < 0xDC00) {
            --length;
        }
        DWORD written = 0;
        if (!::WriteConsoleW(console, wide.data() + at, static_cast<DWORD>(length), &written,
                             nullptr) ||
            written == 0) {
            return;
        }
        at += written;
    }
}

bool CzechUser() {
    return PRIMARYLANGID(::GetUserDefaultUILanguage()) == LANG_CZECH;
}

// The Czech catalogue is built into the program (made from po/cs.po at build time).
extern const unsigned char kCzechCatalogue[];
extern const std::size_t kCzechCatalogueSize;

namespace {

const tovana::MessageCatalogue* catalogue = nullptr;

}  // namespace

void PrepareTexts() {
    if (CzechUser()) {
        static const tovana::MessageCatalogue czech(kCzechCatalogue, kCzechCatalogueSize);
        catalogue = &czech;
    }
}

const char* Tr(const char* english) {
    const char* translated = catalogue != nullptr ? catalogue->Find(english) : nullptr;
    return translated != nullptr ? translated : english;
}

// The system's own texts come wide: the 8-bit ones are in the ANSI code page, not UTF-8. They
// are asked for in the language of the program's own words, so that one line does not mix two.
std::string ErrorText(const std::error_code& error) {
    if (error.category() != std::system_category()) {
        return error.message();
    }
    const auto format = [&error](DWORD language, wchar_t*& text) {
        return ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                    FORMAT_MESSAGE_IGNORE_INSERTS,
                                nullptr, static_cast<DWORD>(error.value()), language,
                                reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    };
    wchar_t* text = nullptr;
    DWORD length = format(CzechUser() ? MAKELANGID(LANG_CZECH, SUBLANG_DEFAULT)
                                      : MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                          text);
    if (length == 0 || text == nullptr) {
        length = format(0, text);
    }
    if (length == 0 || text == nullptr) {
        return "error " + std::to_string(error.value());
    }
    std::wstring_view message(text, length);
    while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n' ||
                                message.back() == L' ' || message.back() == L'.')) {
        message.remove_suffix(1);
    }
    std::string utf8 = tovana::Utf8FromWide(message);
    ::LocalFree(text);
    return utf8;
}

bool WriteHeld(std::string_view text) {
    WriteText(stdout, text);
    return std::ferror(stdout) == 0;
}

// A closed pipe makes the writes fail; nothing more is needed here.
void PrepareClosedOutput() {}

bool OutputClosed() {
    return false;
}
