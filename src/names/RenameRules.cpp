#include "names/RenameRules.h"

#include <algorithm>

#include "names/PathRules.h"

namespace tovana {
namespace {

void ReplaceAll(NameChars& chars, char32_t from, char32_t to) {
    std::replace(chars.begin(), chars.end(), from, to);
}

// Bytes that are not UTF-8 pass through the rules unchanged; a character standing between two
// of them stays, so that deleting it never joins them into a character of their own.
void RemoveAll(NameChars& chars, char32_t what) {
    std::size_t out = 0;
    for (std::size_t i = 0; i < chars.size(); ++i) {
        const bool between =
            out > 0 && IsRawByte(chars[out - 1]) && i + 1 < chars.size() && IsRawByte(chars[i + 1]);
        if (chars[i] != what || between) {
            chars[out++] = chars[i];
        }
    }
    chars.resize(out);
}

void StemToUnderscores(NameChars& chars) {
    const auto stemEnd = chars.begin() + static_cast<std::ptrdiff_t>(ExtensionStart(chars));
    std::replace_if(
        chars.begin(), stemEnd, [](char32_t c) { return !IsAlphaNumericChar(c); }, U'_');
}

// The mask decision on a decoded name: "*" + upper-cased extension + ";" in masks + ";".
bool MasksTake(const NameChars& chars, std::string_view masks) {
    if (masks.find("*.*") != std::string_view::npos) {
        return true;
    }
    NameChars extension = chars.substr(ExtensionStart(chars));
    std::transform(extension.begin(), extension.end(), extension.begin(), UpperChar);
    std::string key = "*";
    key += EncodeName(extension);
    key += ';';
    std::string haystack(masks);
    haystack += ';';
    return haystack.find(key) != std::string::npos;
}

}  // namespace

std::size_t ExtensionStart(const NameChars& chars) {
    const std::size_t dot = chars.rfind(U'.');
    return dot == NameChars::npos ? chars.size() : dot;
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
    // A hidden name keeps its dot: the rules act on the rest, so that ".config.json" does not
    // come out as the visible "_config.json".
    const bool keepDot = reading.leadingDotHides && !chars.empty() && chars.front() == U'.';
    if (keepDot) {
        chars.erase(0, 1);
    }
    // A mark left beside a letter whose own accent went (Ź with a caron) may now form a
    // letter of the table with it; strip until nothing more forms, so the result keeps.
    do {
        std::transform(chars.begin(), chars.end(), chars.begin(), StripDiacritics);
    } while (ComposeClusters(chars));
    if (options.ReplaceSpaceEffective()) {
        ReplaceAll(chars, U' ', U'_');
    }
    if (options.NonAlphaNum) {
        StemToUnderscores(chars);
    }
    if (options.ReplaceUnderlineEffective()) {
        ReplaceAll(chars, U'_', U' ');
    }
    if (options.RemoveUnderlineEffective()) {
        RemoveAll(chars, U'_');
    }
    if (options.RemoveSpaceEffective()) {
        RemoveAll(chars, U' ');
    }
    if (options.ToUpperCase) {
        std::transform(chars.begin(), chars.end(), chars.begin(), UpperChar);
    }
    if (options.ToLowerCase) {
        std::transform(chars.begin(), chars.end(), chars.begin(), LowerChar);
    }
    if (keepDot) {
        chars.insert(chars.begin(), U'.');
    }
    return EncodeName(chars);
}

}  // namespace tovana
