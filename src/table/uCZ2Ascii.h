// The diacritics table: Central European letters of Windows-1250 to their plain ASCII base letters.
//
// The unit knows nothing of files or of the window. It works on Windows-1250 bytes; the name
// layer (rename/NameText.h) brings names of other encodings into those bytes and back.
#pragma once

#include <array>
#include <string>
#include <string_view>

// Replacement for every byte 0x80..0xFF, indexed by byte - 0x80. Bytes below 0x80 never change.
// Several letters share one result (Á, Â, Ă, Ä, Ą all become A), so the map cannot be reversed.
extern const std::array<unsigned char, 128> CZ2AsciiTable;

// The table entry for one byte (the byte itself below 0x80).
inline unsigned char CZ2AsciiByte(unsigned char byte) {
    return byte < 0x80 ? byte : CZ2AsciiTable[byte - 0x80];
}

// Returns name with every byte replaced by its table entry. The length never changes and the
// result maps to itself, so applying it twice changes nothing more.
std::string CZ2Ascii(std::string_view name);
