// Names between Windows (UTF-16) and the rules (UTF-8). A lone surrogate, which UTF-16 names
// may hold, goes over as its three-byte form (WTF-8): the rules see bytes that are not UTF-8
// and pass them through, and the way back restores the unit.
#pragma once

#include <string>
#include <string_view>

namespace tovana {

std::wstring WideFromUtf8(std::string_view utf8);
std::string Utf8FromWide(std::wstring_view wide);

}  // namespace tovana
