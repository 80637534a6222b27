// The character data of the supplementary planes (U+10000 and up) as a table of its own, for
// hosts whose character services classify and case one UTF-16 unit at a time and so cannot tell
// a CJK ideograph or a Deseret letter from punctuation. scripts/supplementary-table writes it.
#pragma once

#include "names/Unicode.h"

namespace tovana::unicode {

CharClass SupplementaryClass(char32_t c);
char32_t SupplementaryUpper(char32_t c);
char32_t SupplementaryLower(char32_t c);

}  // namespace tovana::unicode
