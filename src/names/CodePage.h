// Windows-1250, the code page the renaming rules are defined over, and its character services
// (upper case, lower case, letter-or-digit) for single bytes.
#pragma once

namespace tovana {

// The Unicode character of a Windows-1250 byte; 0 for the five bytes the code page leaves
// unassigned (0x81, 0x83, 0x88, 0x90, 0x98).
char32_t Cp1250ToUnicode(unsigned char byte);

// The Windows-1250 byte of a Unicode character, or -1 when the code page cannot hold it.
int UnicodeToCp1250(char32_t c);

// Byte services following the Unicode classes of the characters the bytes stand for: ł and Ł
// are a case pair, ß and µ have no capital in the code page and stay, the spacing caron ˇ is a
// letter, ×, « and § are neither letters nor digits. For ASCII the answers are the usual ones.
unsigned char CharUpper1250(unsigned char byte);
unsigned char CharLower1250(unsigned char byte);
bool IsCharAlphaNumeric1250(unsigned char byte);

}  // namespace tovana
