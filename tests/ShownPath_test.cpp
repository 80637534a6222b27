// Paths in tovana-cli's rows and messages: as Windows users read them on Windows (the backslash
// is the separator), escaped as the journal escapes them elsewhere.
#include <gtest/gtest.h>

#include <string>

#include "journal/Escape.h"

namespace {

struct ShownCase {
    const char* text;
    const char* forWindows;
};

TEST(ShownPath, OnWindowsOnlyCharactersNoWindowsNameHoldsAreEscaped) {
    const ShownCase cases[] = {
        {"C:\\temp\\kůň.txt", "C:\\temp\\kůň.txt"},
        {"\\\\server\\share\\Léto", "\\\\server\\share\\Léto"},
        {"C:\\a\tb\nc\rd.txt", "C:\\a<09>b<0A>c<0D>d.txt"},
        {"\x01\x1F\x7F end", "<01><1F>\x7F end"},
        {"", ""},
    };
    for (const ShownCase& c : cases) {
        std::string out = "row\t";
        tovana::AppendEscapedForWindows(out, c.text);
        EXPECT_EQ(out, std::string("row\t") + c.forWindows) << c.text;
    }
}

TEST(ShownPath, EachPlatformShowsItsOwnForm) {
    const std::string path = "C:\\temp\\a\tb.txt";
#ifdef _WIN32
    EXPECT_EQ(tovana::ShownField(path), "C:\\temp\\a<09>b.txt");
#else
    EXPECT_EQ(tovana::ShownField(path), "C:\\\\temp\\\\a\\tb.txt");
#endif
}

}  // namespace
