// The command line's output on Windows: characters to a console, UTF-8 to files and pipes, and
// the system's error texts in UTF-8 whatever the code page.
#include <windows.h>

#include <gtest/gtest.h>

#include "cli/CliPlatform.h"
#include "names/WideText.h"

namespace {

// The system's own text for an error, wide, as it is meant to be read.
std::wstring SystemText(DWORD code) {
    wchar_t text[512];
    DWORD length = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                    nullptr, code, 0, text, 512, nullptr);
    std::wstring message(text, length);
    return message.substr(0, message.find_last_not_of(L"\r\n .") + 1);
}

TEST(CliWin32, SystemErrorTextsArriveInUtf8) {
    for (const DWORD code : {ERROR_ACCESS_DENIED, ERROR_PATH_NOT_FOUND, ERROR_SHARING_VIOLATION}) {
        const std::string text = ErrorText({static_cast<int>(code), std::system_category()});
        EXPECT_EQ(tovana::WideFromUtf8(text), SystemText(code)) << code;
    }
}

// A console shows the characters themselves, read back from its screen; the old way, UTF-8 bytes
// shown in the console's code page, gave "P┼Öejmenov├íno".
TEST(CliWin32, ConsoleShowsTheCharacters) {
    ::FreeConsole();
    ASSERT_TRUE(::AllocConsole());
    const HANDLE console =
        ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(console, INVALID_HANDLE_VALUE);
    const HANDLE saved = ::GetStdHandle(STD_OUTPUT_HANDLE);
    ::SetStdHandle(STD_OUTPUT_HANDLE, console);
    const std::string line = "Přejmenováno: Žluťoučký kůň \U00020BB7野家\n";
    WriteText(stdout, line);
    ::SetStdHandle(STD_OUTPUT_HANDLE, saved);
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!::GetConsoleScreenBufferInfo(console, &info)) {
        // Wine without a display passes the console through to its own terminal.
        ::CloseHandle(console);
        ::FreeConsole();
        GTEST_SKIP() << "this console has no screen to read back (Wine without a display)";
    }
    const std::wstring expected = tovana::WideFromUtf8(line.substr(0, line.size() - 1));
    std::wstring shown(expected.size(), L' ');
    DWORD read = 0;
    ASSERT_TRUE(::ReadConsoleOutputCharacterW(
        console, shown.data(), static_cast<DWORD>(shown.size()),
        COORD{0, static_cast<SHORT>(info.dwCursorPosition.Y - 1)}, &read));
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(info.dwCursorPosition.X, 0);
    ::CloseHandle(console);
    ::FreeConsole();
}

}  // namespace
