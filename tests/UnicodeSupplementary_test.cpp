// The table of characters beyond U+FFFF that Windows uses, against utf8proc, which the Linux
// programs use: both must judge every character alike, or the two would rename differently.
#include "names/UnicodeSupplementary.h"

#include <gtest/gtest.h>

namespace {

using namespace tovana::unicode;

TEST(UnicodeSupplementary, AgreesWithUtf8procOnEveryCharacter) {
    int differences = 0;
    for (char32_t c = 0x10000; c <= 0x10FFFF; ++c) {
        if (SupplementaryClass(c) == ClassOf(c) && SupplementaryUpper(c) == SimpleUpper(c) &&
            SupplementaryLower(c) == SimpleLower(c)) {
            continue;
        }
        if (++differences <= 5) {
            ADD_FAILURE() << std::hex << "U+" << static_cast<unsigned>(c)
                          << " differs: run scripts/supplementary-table";
        }
    }
    EXPECT_EQ(differences, 0);
}

}  // namespace
