#include "names/LegacyText.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>
#include <limits>

#include "names/CodePage.h"
#include "names/Unicode.h"

namespace tovana {
namespace {

// ISO 8859-2 gives 0x80..0x9F to control characters, which no real name holds: those bytes are
// unusable. From 0xC0 on it is Windows-1250 byte for byte; only 0xA0..0xBF, eight to a row,
// are its own.
constexpr unsigned char kIsoOwnFirst = 0xA0;
constexpr unsigned char kIsoSharedFirst = 0xC0;
constexpr std::array<char16_t, kIsoSharedFirst - kIsoOwnFirst> kIso8859_2Own = {
    0x00A0, 0x0104, 0x02D8, 0x0141, 0x00A4, 0x013D, 0x015A, 0x00A7,  // 0xA0
    0x00A8, 0x0160, 0x015E, 0x0164, 0x0179, 0x00AD, 0x017D, 0x017B,  // 0xA8
    0x00B0, 0x0105, 0x02DB, 0x0142, 0x00B4, 0x013E, 0x015B, 0x02C7,  // 0xB0
    0x00B8, 0x0161, 0x015F, 0x0165, 0x017A, 0x02DD, 0x017E, 0x017C,  // 0xB8
};

char32_t Iso8859_2ToUnicode(unsigned char byte) {
    if (byte >= kIsoSharedFirst) {
        return Cp1250ToUnicode(byte);
    }
    return byte >= kIsoOwnFirst ? kIso8859_2Own[byte - kIsoOwnFirst] : 0;
}

// CP852 assigns every byte; the box-drawing characters score as signs.
constexpr std::array<char16_t, 128> kCp852 = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x016F, 0x0107, 0x00E7,  // 0x80
    0x0142, 0x00EB, 0x0150, 0x0151, 0x00EE, 0x0179, 0x00C4, 0x0106,  // 0x88
    0x00C9, 0x0139, 0x013A, 0x00F4, 0x00F6, 0x013D, 0x013E, 0x015A,  // 0x90
    0x015B, 0x00D6, 0x00DC, 0x0164, 0x0165, 0x0141, 0x00D7, 0x010D,  // 0x98
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x0104, 0x0105, 0x017D, 0x017E,  // 0xA0
    0x0118, 0x0119, 0x00AC, 0x017A, 0x010C, 0x015F, 0x00AB, 0x00BB,  // 0xA8
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x00C1, 0x00C2, 0x011A,  // 0xB0
    0x015E, 0x2563, 0x2551, 0x2557, 0x255D, 0x017B, 0x017C, 0x2510,  // 0xB8
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x0102, 0x0103,  // 0xC0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x00A4,  // 0xC8
    0x0111, 0x0110, 0x010E, 0x00CB, 0x010F, 0x0147, 0x00CD, 0x00CE,  // 0xD0
    0x011B, 0x2518, 0x250C, 0x2588, 0x2584, 0x0162, 0x016E, 0x2580,  // 0xD8
    0x00D3, 0x00DF, 0x00D4, 0x0143, 0x0144, 0x0148, 0x0160, 0x0161,  // 0xE0
    0x0154, 0x00DA, 0x0155, 0x0170, 0x00FD, 0x00DD, 0x0163, 0x00B4,  // 0xE8
    0x00AD, 0x02DD, 0x02DB, 0x02C7, 0x02D8, 0x00A7, 0x00F7, 0x00B8,  // 0xF0
    0x00B0, 0x00A8, 0x02D9, 0x0171, 0x0158, 0x0159, 0x25A0, 0x00A0,  // 0xF8
};

// Reverse maps of ISO 8859-2 and CP852 (Windows-1250 has its own), up to the highest character
// they hold (U+25A0, a CP852 square).
constexpr char32_t kLastHeld = 0x25A0;
constexpr LegacyCodePage kReversed[] = {LegacyCodePage::Iso8859_2, LegacyCodePage::Cp852};

struct ReverseTables {
    std::array<std::array<std::uint8_t, kLastHeld + 1>, std::size(kReversed)> fromUnicode{};

    ReverseTables() {
        for (std::size_t page = 0; page < std::size(kReversed); ++page) {
            for (unsigned b = 0xFF; b >= 0x80; --b) {
                const char32_t u = LegacyToUnicode(kReversed[page], static_cast<unsigned char>(b));
                if (u != 0) {
                    fromUnicode[page][u] = static_cast<std::uint8_t>(b);  // 0 = not held
                }
            }
        }
    }
};

const ReverseTables& Reverse() {
    static const ReverseTables tables;
    return tables;
}

// The languages whose letters make a name plausible. French letters count only for telling a
// damaged UTF-8 name from a sound one; the legacy code pages are chosen on the other five.
enum Language : std::uint8_t {
    kCzech = 1,
    kSlovak = 2,
    kPolish = 4,
    kHungarian = 8,
    kGerman = 16,
    kFrench = 32,
};
constexpr std::uint8_t kLegacyLanguages = kCzech | kSlovak | kPolish | kHungarian | kGerman;
constexpr std::uint8_t kAllLanguages = kLegacyLanguages | kFrench;

struct LetterRow {
    char32_t letter;  // lower case
    std::uint8_t languages;
};

// Sorted by letter.
constexpr LetterRow kLetters[] = {
    {U'ß', kGerman},
    {U'à', kFrench},
    {U'á', kCzech | kSlovak | kHungarian},
    {U'â', kFrench},
    {U'ä', kSlovak | kGerman},
    {U'æ', kFrench},
    {U'ç', kFrench},
    {U'è', kFrench},
    {U'é', kCzech | kSlovak | kHungarian | kFrench},
    {U'ê', kFrench},
    {U'ë', kFrench},
    {U'í', kCzech | kSlovak | kHungarian},
    {U'î', kFrench},
    {U'ï', kFrench},
    {U'ó', kCzech | kSlovak | kPolish | kHungarian},
    {U'ô', kSlovak | kFrench},
    {U'ö', kHungarian | kGerman},
    {U'ù', kFrench},
    {U'ú', kCzech | kSlovak | kHungarian},
    {U'û', kFrench},
    {U'ü', kHungarian | kGerman | kFrench},
    {U'ý', kCzech | kSlovak},
    {U'ÿ', kFrench},
    {U'ą', kPolish},
    {U'ć', kPolish},
    {U'č', kCzech | kSlovak},
    {U'ď', kCzech | kSlovak},
    {U'ę', kPolish},
    {U'ě', kCzech},
    {U'ĺ', kSlovak},
    {U'ľ', kSlovak},
    {U'ł', kPolish},
    {U'ń', kPolish},
    {U'ň', kCzech | kSlovak},
    {U'ő', kHungarian},
    {U'œ', kFrench},
    {U'ŕ', kSlovak},
    {U'ř', kCzech},
    {U'ś', kPolish},
    {U'š', kCzech | kSlovak},
    {U'ť', kCzech | kSlovak},
    {U'ů', kCzech},
    {U'ű', kHungarian},
    {U'ź', kPolish},
    {U'ż', kPolish},
    {U'ž', kCzech | kSlovak},
};

std::uint8_t LanguagesOf(char32_t c) {
    const char32_t lower = c < 0x80 ? c : unicode::SimpleLower(c);
    const auto* end = std::end(kLetters);
    const auto* row =
        std::lower_bound(std::begin(kLetters), end, lower,
                         [](const LetterRow& r, char32_t value) { return r.letter < value; });
    return (row != end && row->letter == lower) ? row->languages : 0;
}

// Signs that sound names hold often enough to be no sign of damage once repaired.
bool IsCommonSign(char32_t c) {
    switch (c) {
        case 0x00A0:  // no-break space
        case 0x00A7:  // §
        case 0x00A9:  // ©
        case 0x00AB:  // «
        case 0x00AE:  // ®
        case 0x00B0:  // °
        case 0x00BB:  // »
        case 0x00D7:  // ×
        case 0x2013:  // –
        case 0x2014:  // —
        case 0x2018:  // ‘
        case 0x2019:  // ’
        case 0x201A:  // ‚
        case 0x201C:  // “
        case 0x201D:  // ”
        case 0x201E:  // „
        case 0x2026:  // …
        case 0x20AC:  // €
        case 0x2122:  // ™
            return true;
        default:
            return false;
    }
}

// Of those, the ones that stand between words: dashes, quotes, the ellipsis, no-break space.
bool IsPunctuation(char32_t c) {
    return c == 0x00A0 || c == 0x00AB || c == 0x00BB || (c >= 0x2013 && c <= 0x2026);
}

bool IsUpperLetter(char32_t c) {
    return !IsRawByte(c) && unicode::ClassOf(c) == unicode::CharClass::Letter &&
           unicode::SimpleLower(c) != c;
}

bool IsLowerLetter(char32_t c) {
    return !IsRawByte(c) && unicode::ClassOf(c) == unicode::CharClass::Letter &&
           unicode::SimpleUpper(c) != c;
}

// Letter case that no word takes: a capital with an accent right after a small letter
// ("zluĹ"), or between a capital and a small letter ("ÄŤaj"). Damaged text is full of them;
// the lead character of every two-byte sequence reads as a capital.
int CaseBreaks(const NameChars& chars) {
    int breaks = 0;
    for (std::size_t i = 1; i < chars.size(); ++i) {
        if (chars[i] < 0x80 || !IsUpperLetter(chars[i])) {
            continue;
        }
        if (IsLowerLetter(chars[i - 1]) ||
            (IsUpperLetter(chars[i - 1]) && i + 1 < chars.size() && IsLowerLetter(chars[i + 1]))) {
            ++breaks;
        }
    }
    return breaks;
}

constexpr int kForeignLetter = -2;  // a letter, but not of the language scored
constexpr int kCommonSign = -2;     // a dash, a quote, a no-break space: names hold them
constexpr int kSign = -6;           // any other sign or symbol, a raw byte

// The best of the languages in `languages` for the upper-half characters of chars. Czech
// letters weigh a little more, so that a name that reads as Czech in one code page and as
// another language in the other goes to Czech, this program's first language.
int Score(const NameChars& chars, std::uint8_t languages) {
    std::array<int, 6> perLanguage{};
    bool any = false;
    for (char32_t c : chars) {
        if (c < 0x80) {
            continue;
        }
        any = true;
        const std::uint8_t of = IsRawByte(c) ? 0 : LanguagesOf(c);
        const bool letter =
            of != 0 || (!IsRawByte(c) && unicode::ClassOf(c) == unicode::CharClass::Letter);
        const int elsewhere = letter ? kForeignLetter : IsCommonSign(c) ? kCommonSign : kSign;
        for (std::size_t l = 0; l < perLanguage.size(); ++l) {
            const auto bit = static_cast<std::uint8_t>(1u << l);
            if ((languages & bit) == 0) {
                continue;
            }
            if (of & bit) {
                perLanguage[l] += bit == kCzech ? 5 : 4;
            } else {
                perLanguage[l] += elsewhere;
            }
        }
    }
    if (!any) {
        return 0;
    }
    int best = std::numeric_limits<int>::min();
    for (std::size_t l = 0; l < perLanguage.size(); ++l) {
        if (languages & (1u << l)) {
            best = std::max(best, perLanguage[l]);
        }
    }
    return best + kSign * CaseBreaks(chars);
}

// Whether every upper-half character is a letter of one language, or a common sign.
bool ReadsAsOneLanguage(const NameChars& chars) {
    std::uint8_t common = kLegacyLanguages;
    const auto isLetter = [&](std::size_t i) {
        return i < chars.size() && !IsRawByte(chars[i]) &&
               unicode::ClassOf(chars[i]) == unicode::CharClass::Letter;
    };
    for (std::size_t i = 0; i < chars.size(); ++i) {
        const char32_t c = chars[i];
        if (c < 0x80) {
            continue;
        }
        // A dash or a no-break space stands between words, never inside one.
        if (IsPunctuation(c) && !(i > 0 && isLetter(i - 1) && isLetter(i + 1))) {
            continue;
        }
        common &= IsRawByte(c) || IsPunctuation(c) ? 0 : LanguagesOf(c);
    }
    return common != 0 && CaseBreaks(chars) == 0;
}

std::size_t UpperHalfCount(const NameChars& chars) {
    return static_cast<std::size_t>(
        std::count_if(chars.begin(), chars.end(), [](char32_t c) { return c >= 0x80; }));
}

}  // namespace

const char* LegacyCodePageName(LegacyCodePage codePage) {
    switch (codePage) {
        case LegacyCodePage::None:
            return "none";
        case LegacyCodePage::Auto:
            return "auto";
        case LegacyCodePage::Cp1250:
            return "cp1250";
        case LegacyCodePage::Iso8859_2:
            return "iso-8859-2";
        case LegacyCodePage::Cp852:
            return "cp852";
    }
    return "none";
}

std::optional<LegacyCodePage> ParseLegacyCodePage(std::string_view name) {
    for (LegacyCodePage codePage :
         {LegacyCodePage::None, LegacyCodePage::Auto, LegacyCodePage::Cp1250,
          LegacyCodePage::Iso8859_2, LegacyCodePage::Cp852}) {
        if (name == LegacyCodePageName(codePage)) {
            return codePage;
        }
    }
    return std::nullopt;
}

char32_t LegacyToUnicode(LegacyCodePage codePage, unsigned char byte) {
    if (byte < 0x80) {
        return byte;
    }
    switch (codePage) {
        case LegacyCodePage::Cp1250:
            return Cp1250ToUnicode(byte);
        case LegacyCodePage::Iso8859_2:
            return Iso8859_2ToUnicode(byte);
        case LegacyCodePage::Cp852:
            return kCp852[byte - 0x80];
        default:
            return 0;
    }
}

int UnicodeToLegacy(LegacyCodePage codePage, char32_t c, bool withControls) {
    if (c < 0x80) {
        return static_cast<int>(c);
    }
    int held = -1;
    if (codePage == LegacyCodePage::Cp1250) {
        held = UnicodeToCp1250(c);
    } else if (codePage == LegacyCodePage::Iso8859_2 || codePage == LegacyCodePage::Cp852) {
        const std::size_t page = codePage == LegacyCodePage::Iso8859_2 ? 0 : 1;
        if (c <= kLastHeld && Reverse().fromUnicode[page][c] != 0) {
            held = Reverse().fromUnicode[page][c];
        }
    } else {
        return -1;
    }
    if (held >= 0) {
        return held;
    }
    // A conversion of arbitrary bytes passes what the code page leaves unassigned, or makes a
    // control character, through as the C1 control of the same number.
    if (withControls && c >= 0x80 && c <= 0x9F &&
        LegacyToUnicode(codePage, static_cast<unsigned char>(c)) == 0) {
        return static_cast<int>(c);
    }
    return -1;
}

std::optional<NameChars> DecodeLegacy(std::string_view bytes, LegacyCodePage codePage) {
    NameChars chars;
    chars.reserve(bytes.size());
    for (char b : bytes) {
        const char32_t c = LegacyToUnicode(codePage, static_cast<unsigned char>(b));
        if (c == 0 && b != 0) {
            return std::nullopt;
        }
        chars += c;
    }
    return chars;
}

int LegacyScore(const NameChars& chars) {
    return Score(chars, kLegacyLanguages);
}

LegacyReading ReadingFor(LegacyCodePage choice) {
    return LegacyReading{choice, false};
}

LegacyCodePage ChooseLegacyCodePage(const std::vector<std::string>& names) {
    struct Tally {
        std::size_t unreadable = 0;
        long long score = 0;
    };
    std::array<Tally, 3> tallies{};
    for (const std::string& name : names) {
        if (IsValidUtf8(name)) {
            continue;
        }
        for (std::size_t page = 0; page < 3; ++page) {
            if (const auto chars = DecodeLegacy(name, kLegacyCandidates[page])) {
                tallies[page].score += LegacyScore(*chars);
            } else {
                ++tallies[page].unreadable;
            }
        }
    }
    std::size_t best = 0;
    for (std::size_t page = 1; page < 3; ++page) {
        const Tally& t = tallies[page];
        const Tally& b = tallies[best];
        if (t.unreadable < b.unreadable || (t.unreadable == b.unreadable && t.score > b.score)) {
            best = page;
        }
    }
    return kLegacyCandidates[best];
}

namespace {

struct Candidate {
    LegacyCodePage codePage = LegacyCodePage::None;
    int score = 0;
};

Candidate BestCandidate(std::string_view bytes) {
    Candidate best;
    for (LegacyCodePage codePage : kLegacyCandidates) {
        if (const auto chars = DecodeLegacy(bytes, codePage)) {
            const int score = LegacyScore(*chars);
            if (best.codePage == LegacyCodePage::None || score > best.score) {
                best = {codePage, score};
            }
        }
    }
    return best;
}

}  // namespace

LegacyCodePage BestCodePageFor(std::string_view bytes) {
    return BestCandidate(bytes).codePage;
}

LegacyCodePage CodePageFor(std::string_view bytes, const LegacyReading& reading) {
    switch (reading.codePage) {
        case LegacyCodePage::None:
            return LegacyCodePage::None;
        case LegacyCodePage::Auto:
            return BestCodePageFor(bytes);
        default:
            break;
    }
    const auto chars = DecodeLegacy(bytes, reading.codePage);
    if (!reading.ownBestWhenUnreadable) {
        return chars ? reading.codePage : LegacyCodePage::None;
    }
    // The run's code page reads the name into a jumble where another reads it as words of one
    // language: the name came from elsewhere (a mixed archive), so it takes its own best.
    if (chars && ReadsAsOneLanguage(*chars)) {
        return reading.codePage;
    }
    const Candidate own = BestCandidate(bytes);
    if (!chars) {
        return own.codePage;
    }
    if (own.codePage != reading.codePage && own.score > LegacyScore(*chars) &&
        ReadsAsOneLanguage(*DecodeLegacy(bytes, own.codePage))) {
        return own.codePage;
    }
    return reading.codePage;
}

NameChars ReadName(std::string_view bytes, const LegacyReading& reading) {
    NameChars chars = DecodeName(bytes);
    if (reading.codePage == LegacyCodePage::None ||
        std::none_of(chars.begin(), chars.end(), IsRawByte)) {
        return chars;
    }
    const LegacyCodePage codePage = CodePageFor(bytes, reading);
    if (codePage == LegacyCodePage::None) {
        return chars;
    }
    // Characters that are valid UTF-8 stay what they are: a name put together from an old part
    // and a new one ("foto\xe8 č.txt") keeps its new part. Only the bytes UTF-8 cannot read
    // are read in the code page.
    for (char32_t& c : chars) {
        if (IsRawByte(c)) {
            const char32_t read =
                LegacyToUnicode(codePage, static_cast<unsigned char>(c - kRawByteBase));
            if (read != 0) {
                c = read;
            }
        }
    }
    return chars;
}

std::string ReadablePath(std::string_view path, const LegacyReading& reading) {
    if (IsValidUtf8(path)) {
        return std::string(path);
    }
    std::string readable;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find_first_of("/\\", start);
        if (end == std::string_view::npos) {
            end = path.size();
        }
        for (char32_t c : ReadName(path.substr(start, end - start), reading)) {
            if (IsRawByte(c)) {
                constexpr char kDigits[] = "0123456789ABCDEF";
                const unsigned byte = c - kRawByteBase;
                readable += "\\x";
                readable += kDigits[byte >> 4];
                readable += kDigits[byte & 0xF];
            } else {
                readable += EncodeName(NameChars(1, c));
            }
        }
        if (end < path.size()) {
            readable += path[end];
        }
        start = end + 1;
    }
    return readable;
}

std::optional<std::string> RepairMojibake(std::string_view utf8) {
    if (std::all_of(utf8.begin(), utf8.end(),
                    [](char b) { return static_cast<unsigned char>(b) < 0x80; }) ||
        !IsValidUtf8(utf8)) {
        return std::nullopt;
    }
    const NameChars damaged = DecodeCodePoints(utf8);
    const long long damagedScore = Score(damaged, kAllLanguages);
    const auto damagedCount = static_cast<long long>(UpperHalfCount(damaged));
    // Several code pages may give sound text ("ĹĄĹĽ" is "šť" through ISO 8859-2 and "ťż"
    // through Windows-1250); the most plausible wins, the earlier candidate on a tie.
    std::optional<std::string> best;
    long long bestScore = 0;
    long long bestCount = 1;
    for (LegacyCodePage codePage : kLegacyCandidates) {
        std::string bytes;
        bytes.reserve(damaged.size());
        bool written = true;
        for (char32_t c : damaged) {
            const int b = UnicodeToLegacy(codePage, c, true);
            if (b < 0) {
                written = false;
                break;
            }
            bytes += static_cast<char>(b);
        }
        if (!written || !IsValidUtf8(bytes)) {
            continue;
        }
        const NameChars repaired = DecodeCodePoints(bytes);
        bool sound = true;
        bool hasLetter = false;
        for (char32_t c : repaired) {
            if (c < 0x80) {
                continue;
            }
            const bool letter = (LanguagesOf(c) & kAllLanguages) != 0;
            hasLetter |= letter;
            sound &= letter || IsCommonSign(c);
        }
        // Each repaired character stood for two or three damaged ones, so the two are compared
        // per character: "Ĺľ" holds two Slovak letters, yet "ž" is the better word.
        const auto repairedCount = static_cast<long long>(UpperHalfCount(repaired));
        const long long score = Score(repaired, kAllLanguages);
        if (sound && hasLetter && score * damagedCount > damagedScore * repairedCount &&
            (!best || score * bestCount > bestScore * repairedCount)) {
            best = std::move(bytes);
            bestScore = score;
            bestCount = repairedCount;
        }
    }
    return best;
}

}  // namespace tovana
