// One line per record, fields separated by tabs: names may hold any byte but NUL and "/", so
// the bytes that would break a line or a field are written as escapes. Backslash, tab, line
// feed and carriage return become \\ \t \n \r, the other control characters (0x01-0x1F, 0x7F)
// \xHH with two upper-case hex digits. So do the C1 control characters U+0080-U+009F, byte by
// byte of their UTF-8 (U+009B is \xC2\x9B), and a byte 0x80-0x9F that is not part of valid
// UTF-8; every other byte, the rest of invalid UTF-8 included, stays as it is.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace tovana {

std::string EscapeField(std::string_view text);
void AppendEscaped(std::string& out, std::string_view text);
// The same written at `out`, which has room for kMostEscaped bytes per byte of `text`; returns
// the end of what was written.
char* EscapeInto(char* out, std::string_view text);
constexpr std::size_t kMostEscaped = 4;  // \xHH, or <HH> on Windows
// The same, one byte at a time: slower, kept to check AppendEscaped against.
void AppendEscapedByBytes(std::string& out, std::string_view text);

// Paths and names as Windows users read them: the backslash is the separator there and stays
// as it is; only the characters 1-31, which a Windows name cannot hold but one made through
// \\?\ or from Linux can, become <HH> (two upper-case hex digits; "<" is in no Windows name,
// so <09> cannot be read as part of a path the way \t in C:\temp could).
void AppendEscapedForWindows(std::string& out, std::string_view text);

// Rows and messages of tovana-cli: AppendEscapedForWindows on Windows, AppendEscaped elsewhere.
void AppendShown(std::string& out, std::string_view text);
char* ShownInto(char* out, std::string_view text);  // as EscapeInto

// The same for text the caller knows to be plain when `plain` (names/PlainText.h, as the walk
// finds the names it plans): copied as it is, with no second look.
inline char* EscapeInto(char* out, std::string_view text, bool plain) {
    return plain ? std::copy(text.begin(), text.end(), out) : EscapeInto(out, text);
}
inline char* ShownInto(char* out, std::string_view text, bool plain) {
    return plain ? std::copy(text.begin(), text.end(), out) : ShownInto(out, text);
}
std::string ShownField(std::string_view text);

// Reverses EscapeField. False for text that EscapeField cannot have written (a lone
// backslash, an unknown escape, a raw tab or line break, \x00).
bool UnescapeField(std::string_view text, std::string& out);

}  // namespace tovana
