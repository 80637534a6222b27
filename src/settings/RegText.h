// The registry's export text format, for the settings file of hosts without a registry:
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CURRENT_USER\Software\Korvel\Tovana]
//   "Path"="/home/jana/Fotky"
//   "SubDir"=dword:00000001
//   "Other"=hex(2):41,00
//
// Texts are UTF-8 with \\ and \" escaped; a text that cannot stand in quotes (a line break, bytes
// that are not UTF-8) is written in hex. Parsing never fails: lines it cannot read are left
// out, so a damaged file still gives every value that can be read.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "settings/SettingsStore.h"

namespace tovana {

extern const char kSettingsSection[];

using RegValues = std::map<std::string, StoredValue>;

// The values of kSettingsSection (also those before any section line, in a file that lost
// its head). Later lines win over earlier ones of the same name.
RegValues ParseRegText(std::string_view text);

// The text of a settings file from its bytes: UTF-8 (a byte-order mark dropped), or UTF-16 in
// either byte order as the registry editor writes its exports (the mark tells), as UTF-8.
std::string RegFileText(std::string_view bytes);

// Whether text reads as a registry export at all: nothing but blanks, a first line naming the
// format ("Windows Registry Editor Version 5.00", "REGEDIT4"), or a value that can be read.
bool IsRegText(std::string_view text);

// The file text for values, in the order given.
std::string FormatRegText(const std::vector<std::pair<std::string, StoredValue>>& values);

}  // namespace tovana
