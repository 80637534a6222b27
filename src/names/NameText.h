// Names as characters. File names on this host are UTF-8 byte strings, while the renaming rules
// are defined over Windows-1250 characters; this layer brings a name into characters the rules
// can work on and back, without losing a byte.
#pragma once

#include <string>
#include <string_view>

namespace tovana {

// One element per character. Valid UTF-8 gives its code points; a base letter with combining
// marks whose composed form Windows-1250 holds (names written by macOS arrive decomposed) gives
// that one character; every byte of an invalid sequence gives a raw-byte marker, which no rule
// changes and which is written back as the byte it was.
using NameChars = std::u32string;

constexpr char32_t kRawByteBase = 0x110000;
inline bool IsRawByte(char32_t c) {
    return c >= kRawByteBase;
}

// The value of a hexadecimal digit of either case; -1 for any other character.
constexpr int HexDigit(char c) {
    return c >= '0' && c <= '9'   ? c - '0'
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                  : -1;
}

NameChars DecodeName(std::string_view utf8);

bool IsValidUtf8(std::string_view bytes);

// The code points of UTF-8 text as they are, invalid bytes as raw-byte markers, nothing composed.
NameChars DecodeCodePoints(std::string_view utf8);

// Replaces each base letter with combining marks whose composed form Windows-1250 holds by
// that character; true when it replaced any.
bool ComposeClusters(NameChars& chars);
// Whether `c` is a combining mark (one that ComposeClusters may join to the letter before it).
bool IsCombiningMark(char32_t c);
std::string EncodeName(const NameChars& chars);
// The one UTF-8 encoder: `c` appended to `out`, a raw-byte marker as its byte.
void AppendUtf8(std::string& out, char32_t c);
// The same written at `out` (at most four bytes); returns the end of what it wrote.
char* PutUtf8(char* out, char32_t c);

// Character services on decoded characters. Characters Windows-1250 holds behave exactly as
// their code-page bytes do; the others keep their diacritics, use Unicode simple case mapping
// and count as alphanumeric when Unicode calls them a letter, a mark or a number. Raw bytes
// never change and count as alphanumeric, so no rule touches them.
char32_t StripDiacritics(char32_t c);
char32_t UpperChar(char32_t c);
char32_t LowerChar(char32_t c);
bool IsAlphaNumericChar(char32_t c);

// The rules' upper-casing of a whole text; the file-type field shows its text through it.
std::string UpperText(std::string_view utf8);

}  // namespace tovana
