#include <utf8proc.h>

#include <cstdlib>
#include <memory>

#include "names/Unicode.h"

namespace tovana::unicode {

CharClass ClassOf(char32_t c) {
    switch (utf8proc_category(static_cast<utf8proc_int32_t>(c))) {
        case UTF8PROC_CATEGORY_LU:
        case UTF8PROC_CATEGORY_LL:
        case UTF8PROC_CATEGORY_LT:
        case UTF8PROC_CATEGORY_LM:
        case UTF8PROC_CATEGORY_LO:
            return CharClass::Letter;
        case UTF8PROC_CATEGORY_MN:
        case UTF8PROC_CATEGORY_MC:
        case UTF8PROC_CATEGORY_ME:
            return CharClass::Mark;
        case UTF8PROC_CATEGORY_ND:
        case UTF8PROC_CATEGORY_NL:
        case UTF8PROC_CATEGORY_NO:
            return CharClass::Number;
        default:
            return CharClass::Other;
    }
}

char32_t SimpleUpper(char32_t c) {
    return static_cast<char32_t>(utf8proc_toupper(static_cast<utf8proc_int32_t>(c)));
}

char32_t SimpleLower(char32_t c) {
    return static_cast<char32_t>(utf8proc_tolower(static_cast<utf8proc_int32_t>(c)));
}

std::u32string Composed(const std::u32string& chars) {
    std::string utf8;
    for (char32_t c : chars) {
        utf8proc_uint8_t bytes[4];
        const utf8proc_ssize_t length =
            utf8proc_encode_char(static_cast<utf8proc_int32_t>(c), bytes);
        utf8.append(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length));
    }
    utf8proc_uint8_t* composed = nullptr;
    const utf8proc_ssize_t size =
        utf8proc_map(reinterpret_cast<const utf8proc_uint8_t*>(utf8.data()),
                     static_cast<utf8proc_ssize_t>(utf8.size()), &composed,
                     static_cast<utf8proc_option_t>(UTF8PROC_STABLE | UTF8PROC_COMPOSE));
    const std::unique_ptr<utf8proc_uint8_t, decltype(&std::free)> owner(composed, &std::free);
    if (size < 0) {
        return chars;
    }
    std::u32string result;
    for (utf8proc_ssize_t offset = 0; offset < size;) {
        utf8proc_int32_t c = 0;
        const utf8proc_ssize_t length = utf8proc_iterate(composed + offset, size - offset, &c);
        if (length <= 0) {
            return chars;
        }
        result += static_cast<char32_t>(c);
        offset += length;
    }
    return result;
}

}  // namespace tovana::unicode
