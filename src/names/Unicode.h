// The Unicode character data the name rules need, from the platform's own source: utf8proc on
// Linux, the system's services on Windows.
#pragma once

#include <string>

namespace tovana::unicode {

enum class CharClass { Letter, Mark, Number, Other };

CharClass ClassOf(char32_t c);
char32_t SimpleUpper(char32_t c);
char32_t SimpleLower(char32_t c);
// The canonical composition (NFC) of a short run of characters.
std::u32string Composed(const std::u32string& chars);

}  // namespace tovana::unicode
