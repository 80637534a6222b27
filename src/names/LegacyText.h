// Names that are not UTF-8, and UTF-8 names that went through a legacy code page once.
//
// Files unpacked from an old ZIP archive (DOS code page 852), copied from an old FAT stick or
// Unix box (ISO 8859-2) or saved by an old Windows program (Windows-1250) carry their names in
// a legacy code page. A run reads every such name in one code page, chosen from all of the
// run's undecodable names together; a name that code page cannot read sensibly takes its own
// best one. The reverse damage, UTF-8 read as Windows-1250 and written back as UTF-8
// ("PĹ™ĂliĹˇ" for "Příliš"), is repaired on request.
//
//   name bytes -> valid UTF-8 ----------------> (RepairMojibake) -> DecodeName -> characters
//              -> not UTF-8 -> LegacyReading -> DecodeLegacy ------------------> characters
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "names/NameText.h"

namespace tovana {

enum class LegacyCodePage {
    None,    // bytes that are not UTF-8 pass through unchanged
    Auto,    // chosen per run from its names
    Cp1250,  // Windows-1250
    Iso8859_2,
    Cp852,  // DOS Central European, the code page of Czech ZIP archives
};

// The code pages a name may be in, in the order that wins a tie.
inline constexpr LegacyCodePage kLegacyCandidates[] = {
    LegacyCodePage::Cp1250, LegacyCodePage::Iso8859_2, LegacyCodePage::Cp852};

// "none", "auto", "cp1250", "iso-8859-2", "cp852": the names the command line takes.
const char* LegacyCodePageName(LegacyCodePage codePage);
std::optional<LegacyCodePage> ParseLegacyCodePage(std::string_view name);

// The character of a byte in a candidate code page; 0 when the code page leaves the byte
// unassigned or makes it a control character, which no name in that code page holds.
char32_t LegacyToUnicode(LegacyCodePage codePage, unsigned char byte);

// The byte of a character in a candidate code page, or -1 when it holds no such character.
// With `withControls`, the control characters and unassigned points that a conversion of
// arbitrary bytes produces map back to their bytes too.
int UnicodeToLegacy(LegacyCodePage codePage, char32_t c, bool withControls = false);

// The characters of a name in one code page, or nothing when a byte has none there.
std::optional<NameChars> DecodeLegacy(std::string_view bytes, LegacyCodePage codePage);

// How plausible the upper-half characters are as a name in Czech, Slovak, Polish, Hungarian or
// German: letters of one of these languages count for it, other signs and letters of no such
// language against it. Names without upper-half characters score 0.
int LegacyScore(const NameChars& chars);

// How a run reads names that are not UTF-8.
struct LegacyReading {
    LegacyCodePage codePage = LegacyCodePage::None;  // Auto: every name its own best
    bool ownBestWhenUnreadable = false;  // a name codePage reads badly takes its own best

    bool operator==(const LegacyReading&) const = default;
};

// The reading for a choice the user made; Auto reads every name in its own best code page
// until a run has chosen one for all its names.
LegacyReading ReadingFor(LegacyCodePage choice);

// The code page that reads all of `names` best: none of its names holding a byte it cannot
// read, then the highest total score, then the order of kLegacyCandidates. Names that are
// valid UTF-8 play no part; without any other name the answer is Windows-1250.
LegacyCodePage ChooseLegacyCodePage(const std::vector<std::string>& names);

// The code page a name itself is best read in, or None when no candidate reads it.
LegacyCodePage BestCodePageFor(std::string_view bytes);

// The code page `reading` reads a name that is not UTF-8 in, or None when it stays bytes.
LegacyCodePage CodePageFor(std::string_view bytes, const LegacyReading& reading);

// A name as characters: UTF-8 decoded, anything else through `reading`; bytes that no code
// page reads stay raw bytes.
NameChars ReadName(std::string_view bytes, const LegacyReading& reading);

// A path as readable UTF-8 text, for showing a stored or logged path: each of its names read
// as ReadName reads it, bytes that stay raw shown as \xHH. A UTF-8 path comes back unchanged.
std::string ReadablePath(std::string_view path, const LegacyReading& reading);

// The name a UTF-8 name had before it was read in Windows-1250, ISO 8859-2 or CP852 and written
// back as UTF-8, or nothing when it does not look damaged: its characters written back in the
// code page must form valid UTF-8 made of letters of the supported languages (and common
// typographic signs only), more plausible than the name as it stands.
std::optional<std::string> RepairMojibake(std::string_view utf8);

}  // namespace tovana
