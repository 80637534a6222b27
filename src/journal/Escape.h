// One line per record, fields separated by tabs: names may hold any byte but NUL and "/", so
// the bytes that would break a line or a field are written as escapes. Backslash, tab, line
// feed and carriage return become \\ \t \n \r, the other control characters (0x01-0x1F, 0x7F)
// \xHH with two upper-case hex digits. So do the C1 control characters U+0080-U+009F, byte by
// byte of their UTF-8 (U+009B is \xC2\x9B), and a byte 0x80-0x9F that is not part of valid
// UTF-8; every other byte, the rest of invalid UTF-8 included, stays as it is.
#pragma once

#include <string>
#include <string_view>

namespace tovana {

std::string EscapeField(std::string_view text);
void AppendEscaped(std::string& out, std::string_view text);

// Reverses EscapeField. False for text that EscapeField cannot have written (a lone
// backslash, an unknown escape, a raw tab or line break, \x00).
bool UnescapeField(std::string_view text, std::string& out);

}  // namespace tovana
