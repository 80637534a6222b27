// The name rules over any name and every combination of options, legacy reading and mojibake
// repair included. Input: two bytes of option bits, one byte choosing the mask, then the name.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include <utf8proc.h>

#include "names/CodePage.h"
#include "names/LegacyText.h"
#include "names/NameText.h"
#include "names/RenameRules.h"
#include "table/uCZ2Ascii.h"

namespace {

void Check(bool holds) {
    if (!holds) {
        std::abort();
    }
}

bool ValidUtf8(std::string_view text) {
    for (char32_t c : tovana::DecodeName(text)) {
        if (tovana::IsRawByte(c)) {
            return false;
        }
    }
    return true;
}

// Whether any code point of the text, taken one by one without composing, is a character of
// the upper half of Windows-1250 that the table would still change.
bool HoldsCharacterTheTableChanges(std::string_view utf8) {
    const auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(utf8.data());
    utf8proc_ssize_t offset = 0;
    const auto size = static_cast<utf8proc_ssize_t>(utf8.size());
    while (offset < size) {
        utf8proc_int32_t c = 0;
        const utf8proc_ssize_t length = utf8proc_iterate(bytes + offset, size - offset, &c);
        if (length <= 0) {
            ++offset;
            continue;
        }
        offset += length;
        const int b = tovana::UnicodeToCp1250(static_cast<char32_t>(c));
        if (b >= 0x80 && CZ2AsciiTable[static_cast<std::size_t>(b - 0x80)] != b) {
            return true;
        }
    }
    return false;
}

const char* const kMasks[] = {"*.*", "", "*.JPG;*.BMP;*.GIF", "*.TXT;*", "*.ČSV", "*"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) {
        return 0;
    }
    const unsigned bits = data[0] | (data[1] << 8);
    const char* masks = kMasks[data[2] % (sizeof kMasks / sizeof kMasks[0])];
    const std::string name(reinterpret_cast<const char*>(data + 3), size - 3);
    if (name.empty() || name.find('/') != std::string::npos ||
        name.find('\0') != std::string::npos) {
        return 0;  // not a name a file system gives
    }
    tovana::RenameOptions o;
    o.Masks = masks;
    o.RenameDir = bits & 1;
    o.ReplaceSpace = bits & 2;
    o.RemoveSpace = bits & 4;
    o.ReplaceUnderline = bits & 8;
    o.RemoveUnderline = bits & 16;
    o.NonAlphaNum = bits & 32;
    o.ToUpperCase = bits & 64;
    o.ToLowerCase = (bits & 128) && !o.ToUpperCase;
    const bool isFolder = bits & 256;
    constexpr tovana::LegacyCodePage kLegacy[] = {
        tovana::LegacyCodePage::Auto, tovana::LegacyCodePage::None, tovana::LegacyCodePage::Cp1250,
        tovana::LegacyCodePage::Iso8859_2, tovana::LegacyCodePage::Cp852};
    o.Legacy = kLegacy[((bits >> 9) & 7) % 5];
    o.FixMojibake = bits & 4096;

    // A repair gives UTF-8 of its own; a readable path is always UTF-8.
    if (const auto repaired = tovana::RepairMojibake(name)) {
        Check(ValidUtf8(*repaired) && *repaired != name);
    }
    Check(ValidUtf8(tovana::ReadablePath(name, tovana::ReadingFor(o.Legacy))));

    const auto result = tovana::Rewrite(name, isFolder, o);
    // The shorter ways through the rules give what the general one gives.
    Check(result == tovana::RewriteByCharacters(name, isFolder, o, tovana::ReadingOf(o)));
    if (!result) {
        return 0;
    }
    Check(!ValidUtf8(name) || ValidUtf8(*result));
    // Every byte is a character in CP852, so reading in the name's best code page leaves none.
    Check(o.Legacy != tovana::LegacyCodePage::Auto || ValidUtf8(*result));
    Check(result->find('/') == std::string::npos && result->find('\0') == std::string::npos);

    // Plain ASCII goes through the rules on its bytes; behind a letter that is not ASCII the
    // same name goes through them as characters, and the rest must come out the same.
    const bool ascii = std::all_of(name.begin(), name.end(),
                                   [](char b) { return static_cast<unsigned char>(b) < 0x80; });
    if (ascii && name.front() != '.' && !o.FixMojibake) {
        const auto prefixed = tovana::Rewrite("\xC3\xA9" + name, isFolder, o);  // "é"
        Check(prefixed && *prefixed == (o.ToUpperCase ? "E" : "e") + *result);
    }

    // The diacritics step changes nothing more in its own result.
    tovana::RenameOptions diacriticsOnly;
    diacriticsOnly.RenameDir = true;
    const std::string once = *tovana::Rewrite(name, true, diacriticsOnly);
    Check(*tovana::Rewrite(once, true, diacriticsOnly) == once);

    if (!o.ToUpperCase && !o.ToLowerCase) {
        Check(!HoldsCharacterTheTableChanges(*result));
    }

    // Whether a file is taken depends on its extension alone.
    const std::size_t dot = name.rfind('.');
    const std::string extension = dot == std::string::npos ? "" : name.substr(dot);
    Check(tovana::MaskAccepts(name, masks) == tovana::MaskAccepts("stem" + extension, masks));
    return 0;
}
