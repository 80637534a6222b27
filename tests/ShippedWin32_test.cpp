// The shipped Windows programs as files: each carries its manifest (own rights, the Windows
// versions it knows, long paths), a version resource with the build's version, and no symbols.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "TovanaVersion.h"
#include "support/CaseLabel.h"

namespace {

struct Program {
    const char* label;
    const wchar_t* path;
};

class ShippedProgram : public testing::TestWithParam<Program> {};

// The manifest as the system will read it from the program file.
std::string ManifestOf(const wchar_t* path) {
    const HMODULE module = ::LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr) {
        return {};
    }
    std::string text;
    if (const HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(1), RT_MANIFEST)) {
        const auto* data = static_cast<const char*>(::LockResource(::LoadResource(module, found)));
        text.assign(data, ::SizeofResource(module, found));
    }
    ::FreeLibrary(module);
    return text;
}

TEST_P(ShippedProgram, ManifestAsksForUserRightsKnownSystemsAndLongPaths) {
    const std::string manifest = ManifestOf(GetParam().path);
    ASSERT_FALSE(manifest.empty());
    for (
        const char* expected : {
            R"(<requestedExecutionLevel level="asInvoker" uiAccess="false"/>)",
            R"(<supportedOS Id="{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"/>)",  // 7
            R"(<supportedOS Id="{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}"/>)",  // 8
            R"(<supportedOS Id="{1f676c76-80e1-4239-95bb-83d0f6d0da78}"/>)",  // 8.1
            R"(<supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"/>)",  // 10, 11
            R"(<longPathAware xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings">true</longPathAware>)",
        }) {
        EXPECT_NE(manifest.find(expected), std::string::npos) << expected;
    }
}

// The window scales itself to the screen's resolution, and says so: per monitor where Windows
// knows it (10 and later), for the whole system on older ones.
TEST(ShippedWindow, ManifestDeclaresItsOwnScaling) {
    const std::string manifest = ManifestOf(TOVANA_WIN32_PROGRAM);
    ASSERT_FALSE(manifest.empty());
    for (
        const char* expected : {
            R"(<dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true/pm</dpiAware>)",
            R"(<dpiAwareness xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings">PerMonitorV2, PerMonitor</dpiAwareness>)",
        }) {
        EXPECT_NE(manifest.find(expected), std::string::npos) << expected;
    }
}

TEST_P(ShippedProgram, CarriesTheBuildsVersion) {
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(GetParam().path, &ignored);
    ASSERT_GT(size, 0u);
    std::string data(size, '\0');
    ASSERT_TRUE(::GetFileVersionInfoW(GetParam().path, 0, size, data.data()));
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length));
    EXPECT_EQ(info->dwFileVersionMS, DWORD{TOVANA_VERSION_MAJOR} << 16 | TOVANA_VERSION_MINOR);
    EXPECT_EQ(info->dwFileVersionLS, DWORD{TOVANA_VERSION_PATCH} << 16 | TOVANA_VERSION_BUILD);
}

// A linked program keeps its symbol table unless told otherwise; it more than doubles the file.
TEST_P(ShippedProgram, CarriesNoSymbols) {
    std::ifstream in(GetParam().path, std::ios::binary);
    const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(file.size(), 0x40u);
    const auto header = *reinterpret_cast<const IMAGE_DOS_HEADER*>(file.data());
    ASSERT_EQ(file.compare(header.e_lfanew, 4, std::string("PE\0\0", 4)), 0);
    const auto fileHeader =
        *reinterpret_cast<const IMAGE_FILE_HEADER*>(file.data() + header.e_lfanew + 4);
    EXPECT_EQ(fileHeader.PointerToSymbolTable, 0u);
    EXPECT_EQ(fileHeader.NumberOfSymbols, 0u);
}

INSTANTIATE_TEST_SUITE_P(Shipped, ShippedProgram,
                         testing::Values(Program{"Window", TOVANA_WIN32_PROGRAM},
                                         Program{"CommandLine", TOVANA_CLI_PROGRAM}),
                         tovana::test::CaseLabel());

}  // namespace
