#include "names/RenameRules.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "names/PathRules.h"

namespace tovana {
namespace {

// The rules below work on decoded characters (NameChars) and, for names of plain ASCII, on the
// bytes themselves (std::string): every rule maps an ASCII character to an ASCII character,
// and on them the character services are those of the bytes.
template <typename Chars>
std::size_t ExtensionStartOf(const Chars& chars) {
    const std::size_t dot = chars.rfind('.');
    return dot == Chars::npos ? chars.size() : dot;
}

template <typename Chars>
void ReplaceAll(Chars& chars, char from, char to) {
    std::replace(chars.begin(), chars.end(), typename Chars::value_type(from),
                 typename Chars::value_type(to));
}

// Bytes that are not UTF-8 pass through the rules unchanged; a character standing between two
// of them stays, so that deleting it never joins them into a character of their own.
template <typename Chars>
void RemoveAll(Chars& chars, char what) {
    std::size_t out = 0;
    for (std::size_t i = 0; i < chars.size(); ++i) {
        const bool between = out > 0 && IsRawByte(char32_t(chars[out - 1])) &&
                             i + 1 < chars.size() && IsRawByte(char32_t(chars[i + 1]));
        if (chars[i] != typename Chars::value_type(what) || between) {
            chars[out++] = chars[i];
        }
    }
    chars.resize(out);
}

template <typename Chars>
void StemToUnderscores(Chars& chars) {
    const auto stemEnd = chars.begin() + static_cast<std::ptrdiff_t>(ExtensionStartOf(chars));
    std::replace_if(
        chars.begin(), stemEnd,
        [](auto c) { return !IsAlphaNumericChar(static_cast<char32_t>(c)); },
        typename Chars::value_type('_'));
}

template <typename Chars, typename Service>
void Transform(Chars& chars, Service service) {
    using Char = typename Chars::value_type;
    for (Char& c : chars) {
        c = static_cast<Char>(service(static_cast<char32_t>(c)));
    }
}

// The mask decision on a decoded name: "*" + upper-cased extension + ";" in masks + ";".
template <typename Chars>
bool MasksTake(const Chars& chars, std::string_view masks) {
    if (masks.find("*.*") != std::string_view::npos) {
        return true;
    }
    Chars extension = chars.substr(ExtensionStartOf(chars));
    Transform(extension, UpperChar);
    std::string key = "*";
    if constexpr (std::is_same_v<Chars, std::string>) {
        key += extension;
    } else {
        key += EncodeName(extension);
    }
    key += ';';
    std::string haystack(masks);
    haystack += ';';
    return haystack.find(key) != std::string::npos;
}

// The rules after the name is read and taken: diacritics, spaces, non-alphanumerics,
// underscores, letter case.
template <typename Chars>
void ApplyRules(Chars& chars, const RenameOptions& options, const NameReading& reading) {
    // A hidden name keeps its dot: the rules act on the rest, so that ".config.json" does not
    // come out as the visible "_config.json".
    const bool keepDot = reading.leadingDotHides && !chars.empty() && chars.front() == '.';
    if (keepDot) {
        chars.erase(0, 1);
    }
    if constexpr (!std::is_same_v<Chars, std::string>) {
        // A mark left beside a letter whose own accent went (Ź with a caron) may now form a
        // letter of the table with it; strip until nothing more forms, so the result keeps.
        // (Plain ASCII has no diacritics and no marks.)
        do {
            Transform(chars, StripDiacritics);
        } while (ComposeClusters(chars));
    }
    if (options.ReplaceSpaceEffective()) {
        ReplaceAll(chars, ' ', '_');
    }
    if (options.NonAlphaNum) {
        StemToUnderscores(chars);
    }
    if (options.ReplaceUnderlineEffective()) {
        ReplaceAll(chars, '_', ' ');
    }
    if (options.RemoveUnderlineEffective()) {
        RemoveAll(chars, '_');
    }
    if (options.RemoveSpaceEffective()) {
        RemoveAll(chars, ' ');
    }
    if (options.ToUpperCase) {
        Transform(chars, UpperChar);
    }
    if (options.ToLowerCase) {
        Transform(chars, LowerChar);
    }
    if (keepDot) {
        chars.insert(chars.begin(), '.');
    }
}

// Whether every byte is below 0x80, eight at a time.
bool IsAscii(std::string_view bytes) {
    std::size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes.data() + i, 8);
        if (word & 0x8080808080808080u) {
            return false;
        }
    }
    for (; i < bytes.size(); ++i) {
        if (static_cast<unsigned char>(bytes[i]) >= 0x80) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::size_t ExtensionStart(const NameChars& chars) {
    return ExtensionStartOf(chars);
}

bool MaskAccepts(std::string_view name, std::string_view masks) {
    return MasksTake(DecodeName(name), masks);
}

std::string NonAlphaNumToUnderscore(std::string_view name) {
    NameChars chars = DecodeName(name);
    StemToUnderscores(chars);
    return EncodeName(chars);
}

NameReading ReadingOf(const RenameOptions& options) {
    return NameReading{ReadingFor(options.Legacy), kLeadingDotHides};
}

std::optional<std::string> Rewrite(std::string_view name, bool isFolder,
                                   const RenameOptions& options) {
    return Rewrite(name, isFolder, options, ReadingOf(options));
}

std::optional<std::string> Rewrite(std::string_view name, bool isFolder,
                                   const RenameOptions& options, const NameReading& reading) {
    if (isFolder && !options.RenameDir) {
        return std::nullopt;
    }
    // Plain ASCII reads as itself in every code page and is never damaged UTF-8: the rules work
    // on its bytes.
    if (IsAscii(name)) {
        std::string bytes(name);
        if (!isFolder && !MasksTake(bytes, options.Masks)) {
            return std::nullopt;
        }
        ApplyRules(bytes, options, reading);
        return bytes;
    }
    // The name is decoded once, for the mask as for the rules.
    NameChars chars;
    std::optional<std::string> repaired;
    if (options.FixMojibake) {
        repaired = RepairMojibake(name);
    }
    if (repaired) {
        chars = DecodeName(*repaired);
    } else {
        chars = ReadName(name, reading.legacy);
    }
    if (!isFolder && !MasksTake(chars, options.Masks)) {
        return std::nullopt;
    }
    ApplyRules(chars, options, reading);
    return EncodeName(chars);
}

}  // namespace tovana
