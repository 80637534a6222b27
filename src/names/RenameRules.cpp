#include "names/RenameRules.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>

#include "names/PathRules.h"
#include "names/SettingTable.h"

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

// What the rules make of each character of one or two UTF-8 bytes (U+0000 to U+07FF) in the
// stem and in the extension, under one set of options: looked up once per character and kept
// while the options stay the same, by each thread for itself. A combining mark gives
// kComposing: a name holding one may compose, and goes the long way.
constexpr char32_t kUnknown = 0xFFFFFFFF;
constexpr char32_t kComposing = 0xFFFFFFFE;
constexpr char32_t kDropped = 0xFFFFFFFD;

struct ShortCharRules {
    unsigned options = ~0u;
    std::array<char32_t, 0x800> stem;
    std::array<char32_t, 0x800> extension;
};

// A bit per row of the input table (always 0 for the two texts), unrolled.
template <std::size_t... Row>
unsigned KeyOfRows(const RenameOptions& o, std::index_sequence<Row...>) {
    unsigned key = 0;
    ((key = key << 1 | unsigned(kSettings[Row].on != nullptr && o.*kSettings[Row].on)), ...);
    return key;
}

// The options the cached rules were made under, asked per name: every check box and letter case
// of the inputs, so that a rule added to them renews the cache too.
unsigned RulesKey(const RenameOptions& o) {
    return KeyOfRows(o, std::make_index_sequence<kSettings.size()>{});
}

// Each rule in its turn on the one character, as ApplyRules does on the whole name.
char32_t RulesOfChar(char32_t c, bool inStem, const RenameOptions& options) {
    if (IsCombiningMark(c)) {
        return kComposing;
    }
    c = StripDiacritics(c);
    if (options.ReplaceSpaceEffective() && c == ' ') {
        c = '_';
    }
    if (options.NonAlphaNum && inStem && !IsAlphaNumericChar(c)) {
        c = '_';
    }
    if (options.ReplaceUnderlineEffective() && c == '_') {
        c = ' ';
    }
    if ((options.RemoveUnderlineEffective() && c == '_') ||
        (options.RemoveSpaceEffective() && c == ' ')) {
        return kDropped;
    }
    if (options.ToUpperCase) {
        c = UpperChar(c);
    }
    if (options.ToLowerCase) {
        c = LowerChar(c);
    }
    return c;
}

// The mask's decision for a name RewriteShort may take: its extension decoded alone, which for
// valid UTF-8 without marks gives the same characters as in the whole name.
bool ShortNameMasksTake(std::string_view name, std::string_view masks) {
    if (masks.find("*.*") != std::string_view::npos) {
        return true;
    }
    const std::size_t dot = name.rfind('.');
    const std::string_view extension =
        name.substr(dot == std::string_view::npos ? name.size() : dot);
    if (IsAscii(extension)) {
        return MasksTake(std::string(extension), masks);
    }
    return MasksTake(DecodeName(extension), masks);
}

// The rules for a name of valid UTF-8 whose characters are all of one or two bytes and none a
// combining mark (plain ASCII, and the Latin, Greek and Cyrillic letters of most names), from
// its bytes straight into `out`, character by character: with no mark nothing composes, and
// every rule maps or deletes one character by what it is (the non-alphanumeric rule also by
// whether it stands before the extension, which deletions after it do not move). False, with
// `out` unspecified, for any other name: those are read into characters first.
bool RewriteShort(std::string_view name, const RenameOptions& options, const NameReading& reading,
                  std::string& out) {
    thread_local ShortCharRules rules;
    if (const unsigned key = RulesKey(options); rules.options != key) {
        rules.options = key;
        rules.stem.fill(kUnknown);
        rules.extension.fill(kUnknown);
    }
    const bool keepDot = reading.leadingDotHides && !name.empty() && name.front() == '.';
    const std::size_t from = keepDot ? 1 : 0;
    // The extension as the rules see it, on the name without its hiding dot.
    const std::size_t dot = name.rfind('.');
    const std::size_t stemEnd =
        dot == std::string_view::npos || (keepDot && dot == 0) ? name.size() : dot;
    // A character of two bytes gives at most four (its capital may lie higher).
    out.resize(name.size() * 2);
    char* const begin = out.data();
    char* at = begin;
    if (keepDot) {
        *at++ = '.';
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(name.data());
    for (std::size_t i = from; i < name.size();) {
        const bool inStem = i < stemEnd;
        char32_t c = bytes[i];
        if (c < 0x80) {
            ++i;
        } else if (c >= 0xC2 && c <= 0xDF && i + 1 < name.size() && (bytes[i + 1] & 0xC0) == 0x80) {
            c = ((c & 0x1F) << 6) | (bytes[i + 1] & 0x3F);
            i += 2;
        } else {
            return false;
        }
        char32_t& known = inStem ? rules.stem[c] : rules.extension[c];
        if (known == kUnknown) {
            known = RulesOfChar(c, inStem, options);
        }
        c = known;
        if (c < 0x80) {
            *at++ = static_cast<char>(c);
        } else if (c == kDropped) {
            continue;
        } else if (c == kComposing) {
            return false;
        } else {
            at = PutUtf8(at, c);
        }
    }
    out.resize(static_cast<std::size_t>(at - begin));
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
    std::string out;
    if (!RewriteInto(name, isFolder, options, reading, out)) {
        return std::nullopt;
    }
    return out;
}

bool RewriteInto(std::string_view name, bool isFolder, const RenameOptions& options,
                 const NameReading& reading, std::string& out) {
    if (isFolder && !options.RenameDir) {
        return false;
    }
    // A repair may change any name that is not plain ASCII, and it comes before the mask.
    if (!options.FixMojibake || IsAscii(name)) {
        if (RewriteShort(name, options, reading, out)) {
            return isFolder || ShortNameMasksTake(name, options.Masks);
        }
    }
    std::optional<std::string> rewritten = RewriteByCharacters(name, isFolder, options, reading);
    if (!rewritten) {
        return false;
    }
    out = std::move(*rewritten);
    return true;
}

std::optional<std::string> RewriteByCharacters(std::string_view name, bool isFolder,
                                               const RenameOptions& options,
                                               const NameReading& reading) {
    if (isFolder && !options.RenameDir) {
        return std::nullopt;
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
