// The code-page tables against glibc's own converters, byte by byte.
#include <iconv.h>

#include <gtest/gtest.h>

#include "names/LegacyText.h"

namespace {

using tovana::LegacyCodePage;

// The character iconv gives for one byte, 0 when it refuses the byte.
char32_t IconvChar(const char* codePage, unsigned char byte) {
    iconv_t cd = iconv_open("UTF-32LE", codePage);
    EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1)) << codePage;
    char in[1] = {static_cast<char>(byte)};
    unsigned char out[4] = {};
    char* inPtr = in;
    char* outPtr = reinterpret_cast<char*>(out);
    std::size_t inLeft = 1;
    std::size_t outLeft = sizeof out;
    const std::size_t result = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (result == static_cast<std::size_t>(-1)) {
        return 0;
    }
    return out[0] | (out[1] << 8) | (out[2] << 16) | (char32_t(out[3]) << 24);
}

TEST(LegacyIconv, TablesAgreeWithGlibc) {
    const std::pair<LegacyCodePage, const char*> pages[] = {
        {LegacyCodePage::Cp1250, "CP1250"},
        {LegacyCodePage::Iso8859_2, "ISO-8859-2"},
        {LegacyCodePage::Cp852, "CP852"},
    };
    for (const auto& [codePage, iconvName] : pages) {
        int unusable = 0;
        for (unsigned b = 0; b < 0x100; ++b) {
            const auto byte = static_cast<unsigned char>(b);
            const char32_t expected = IconvChar(iconvName, byte);
            const char32_t ours = tovana::LegacyToUnicode(codePage, byte);
            // Control characters are what iconv gives for ISO 8859-2's 0x80..0x9F; no name
            // holds them, so the table marks those bytes unusable.
            if (b >= 0x80 && (expected == 0 || (expected >= 0x80 && expected <= 0x9F))) {
                EXPECT_EQ(ours, 0u) << iconvName << " byte " << b;
                ++unusable;
                continue;
            }
            EXPECT_EQ(ours, expected) << iconvName << " byte " << b;
            EXPECT_EQ(tovana::UnicodeToLegacy(codePage, expected), static_cast<int>(b))
                << iconvName << " byte " << b;
        }
        const int expectedUnusable = codePage == LegacyCodePage::Cp1250      ? 5
                                     : codePage == LegacyCodePage::Iso8859_2 ? 32
                                                                             : 0;
        EXPECT_EQ(unusable, expectedUnusable) << iconvName;
    }
}

}  // namespace
