// The window's command line and the paths a file manager hands over, for both windows.
#include "form/StartArguments.h"

#include <gtest/gtest.h>

#include "support/CaseLabel.h"

#ifdef _WIN32
#include <windows.h>

#include "names/WideText.h"
#endif

namespace {

using tovana::StartRequest;
using Kind = tovana::StartRequest::Kind;

struct ArgumentsCase {
    const char* label;
    std::vector<std::string> arguments;
    Kind kind;
    std::string folder;
    std::string message;
};

const ArgumentsCase kArgumentsCases[] = {
    {"Nothing", {}, Kind::Window, "", ""},
    {"OneFolder", {"Fotky"}, Kind::Window, "Fotky", ""},
    {"Help", {"--help"}, Kind::Help, "", ""},
    {"ShortHelp", {"-h"}, Kind::Help, "", ""},
    {"HelpAfterAFolder", {"Fotky", "--help"}, Kind::Help, "", ""},
    {"Version", {"--version"}, Kind::Version, "", ""},
    {"UnknownOption", {"--bogus"}, Kind::Misuse, "", "neznámá volba „--bogus“"},
    {"UnknownShortOption", {"Fotky", "-x"}, Kind::Misuse, "", "neznámá volba „-x“"},
    {"TwoFolders", {"a", "b"}, Kind::Misuse, "", "zadejte nejvýše jednu složku, zadáno je 2"},
    {"DashesEndTheOptions", {"--", "-Fotky-"}, Kind::Window, "-Fotky-", ""},
    {"HelpAfterTheDashesIsAFolder", {"--", "--help"}, Kind::Window, "--help", ""},
    {"LoneDashIsAFolder", {"-"}, Kind::Window, "-", ""},
    {"UrlOfAFolder", {"file:///home/eva/Moje%20fotky"}, Kind::Window, "/home/eva/Moje fotky", ""},
};

class StartArguments : public testing::TestWithParam<ArgumentsCase> {};

TEST_P(StartArguments, AreRead) {
    const ArgumentsCase& c = GetParam();
    const StartRequest request = tovana::ReadStartArguments(c.arguments);
    EXPECT_EQ(request.kind, c.kind);
#ifdef _WIN32
    if (c.folder.rfind("/home", 0) == 0) {
        return;  // a Linux path; URLs on Windows are below
    }
#endif
    EXPECT_EQ(request.folder, c.folder);
    EXPECT_EQ(request.message, c.message);
}

INSTANTIATE_TEST_SUITE_P(Cases, StartArguments, testing::ValuesIn(kArgumentsCases),
                         tovana::test::CaseLabel());

struct UrlCase {
    const char* label;
    std::string text;
    std::string path;
};

const UrlCase kUrlCases[] = {
#ifdef _WIN32
    {"DriveFolder", "file:///C:/Users/Eva/Fotky", "C:\\Users\\Eva\\Fotky"},
    {"EscapedUtf8", "file:///C:/V%C3%BDlet", "C:\\Výlet"},
    {"ServerShare", "file://server/share/Fotky", "\\\\server\\share\\Fotky"},
    {"LocalHost", "file://localhost/C:/Fotky", "C:\\Fotky"},
    {"PlainPath", "C:\\Fotky", "C:\\Fotky"},
#else
    {"Folder", "file:///home/eva/Fotky", "/home/eva/Fotky"},
    {"EscapedUtf8", "file:///tmp/V%C3%BDlet", "/tmp/Výlet"},
    // A name in an old code page keeps its bytes.
    {"EscapedLegacyBytes", "file:///tmp/%9Akoln%ED", "/tmp/\x9akoln\xed"},
    {"UpperCaseScheme", "FILE:///tmp/a", "/tmp/a"},
    {"LocalHost", "file://localhost/tmp/a", "/tmp/a"},
    {"AnotherComputerIsLeftAsItIs", "file://server/a", "file://server/a"},
    {"FragmentIsNoPartOfThePath", "file:///tmp/a%23b#c", "/tmp/a#b"},
    {"BrokenEscapeStays", "file:///tmp/100%", "/tmp/100%"},
    {"PlainPath", "/tmp/file:x", "/tmp/file:x"},
    {"NameStartingWithFile", "file:name", "file:name"},
#endif
};

class UrlPaths : public testing::TestWithParam<UrlCase> {};

TEST_P(UrlPaths, AreLocalPaths) {
    EXPECT_EQ(tovana::PathFromUrl(GetParam().text), GetParam().path);
}

INSTANTIATE_TEST_SUITE_P(Cases, UrlPaths, testing::ValuesIn(kUrlCases), tovana::test::CaseLabel());

TEST(UriList, EachLineIsAPathCommentsAndLineEndsLeftOut) {
#ifdef _WIN32
    const std::vector<std::string> expected{"C:\\a", "C:\\b c"};
    const std::string list = "# from Explorer\r\nfile:///C:/a\r\nfile:///C:/b%20c\r\n";
#else
    const std::vector<std::string> expected{"/a", "/b c"};
    const std::string list = "# from a file manager\r\nfile:///a\r\nfile:///b%20c\r\n";
#endif
    EXPECT_EQ(tovana::PathsFromUriList(list), expected);
}

struct AbsoluteCase {
    const char* label;
    std::string path;
    std::string current;
    std::string absolute;
};

#ifndef _WIN32
const AbsoluteCase kAbsoluteCases[] = {
    {"Relative", "Fotky", "/home/eva", "/home/eva/Fotky"},
    {"Dot", ".", "/home/eva", "/home/eva"},
    {"DotDot", "../jan/Fotky/", "/home/eva", "/home/jan/Fotky"},
    {"AbsoluteStays", "/srv/Fotky", "/home/eva", "/srv/Fotky"},
    {"Root", "/", "/home/eva", "/"},
    {"LegacyBytes", "\x9akoln\xed", "/tmp", "/tmp/\x9akoln\xed"},
    {"Empty", "", "/tmp", ""},
};

class AbsolutePaths : public testing::TestWithParam<AbsoluteCase> {};

TEST_P(AbsolutePaths, AreMadeFromTheCurrentFolder) {
    EXPECT_EQ(tovana::AbsoluteStartPath(GetParam().path, GetParam().current), GetParam().absolute);
}

INSTANTIATE_TEST_SUITE_P(Cases, AbsolutePaths, testing::ValuesIn(kAbsoluteCases),
                         tovana::test::CaseLabel());
#endif

#ifdef _WIN32
// Explorer hands over long paths; a command line may give a short name (8.3) or a relative one.
TEST(AbsolutePaths, ShortAndRelativePathsBecomeTheFolderLongPath) {
    wchar_t temp[MAX_PATH];
    ASSERT_GT(::GetTempPathW(MAX_PATH, temp), 0u);
    const std::wstring folder = std::wstring(temp) + L"Dlouhý název složky Tovana";
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr) ||
                ::GetLastError() == ERROR_ALREADY_EXISTS);
    const std::string full = tovana::AbsoluteStartPath(tovana::Utf8FromWide(folder), "");
    wchar_t shortName[MAX_PATH];
    ASSERT_GT(::GetShortPathNameW(folder.c_str(), shortName, MAX_PATH), 0u);
    ASSERT_NE(std::wstring(shortName), folder);
    EXPECT_EQ(tovana::AbsoluteStartPath(tovana::Utf8FromWide(shortName), ""), full);
    EXPECT_EQ(tovana::AbsoluteStartPath(tovana::Utf8FromWide(shortName) + "\\", ""), full);
    wchar_t previous[MAX_PATH];
    ::GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(::SetCurrentDirectoryW(temp));
    EXPECT_EQ(tovana::AbsoluteStartPath("Dlouhý název složky Tovana", ""), full);
    EXPECT_EQ(tovana::AbsoluteStartPath(".\\x\\..\\Dlouhý název složky Tovana", ""), full);
    ::SetCurrentDirectoryW(previous);
    EXPECT_EQ(tovana::AbsoluteStartPath("\\\\server\\share\\Fotky\\", ""),
              "\\\\server\\share\\Fotky");
    ::RemoveDirectoryW(folder.c_str());
}
#endif

}  // namespace
