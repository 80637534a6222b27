#include "settings/RegText.h"

#include <cstdio>

#include "names/NameText.h"

namespace tovana {

const char kSettingsSection[] = "HKEY_CURRENT_USER\\Software\\Korvel\\Tovana";

namespace {

// Reads a quoted string with \\ and \" escapes from the start of text; returns the length
// consumed, 0 when it is not one.
std::size_t ReadQuoted(std::string_view text, std::string& out) {
    if (text.empty() || text[0] != '"') {
        return 0;
    }
    out.clear();
    for (std::size_t i = 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            return i + 1;
        }
        if (c == '\\' && i + 1 < text.size() && (text[i + 1] == '\\' || text[i + 1] == '"')) {
            out += text[++i];
        } else {
            out += c;
        }
    }
    return 0;
}

bool ParseHexBytes(std::string_view text, std::vector<std::uint8_t>& out) {
    out.clear();
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ' || text[i] == '\t') {
            ++i;
            continue;
        }
        if (i + 1 >= text.size()) {
            return false;
        }
        const int high = HexDigit(text[i]);
        const int low = HexDigit(text[i + 1]);
        if (high < 0 || low < 0) {
            return false;
        }
        out.push_back(static_cast<std::uint8_t>(high * 16 + low));
        i += 2;
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
            ++i;
        }
        if (i < text.size()) {
            if (text[i] != ',') {
                return false;
            }
            ++i;
        }
    }
    return true;
}

bool ParseData(std::string_view text, StoredValue& value) {
    std::string quoted;
    if (!text.empty() && text[0] == '"') {
        if (ReadQuoted(text, quoted) != text.size()) {
            return false;
        }
        value.type = kRegSz;
        value.data.assign(quoted.begin(), quoted.end());
        value.data.push_back(0);
        return true;
    }
    if (text.starts_with("dword:")) {
        const std::string_view digits = text.substr(6);
        if (digits.empty() || digits.size() > 8) {
            return false;
        }
        std::uint32_t number = 0;
        for (char c : digits) {
            const int d = HexDigit(c);
            if (d < 0) {
                return false;
            }
            number = number * 16 + static_cast<std::uint32_t>(d);
        }
        value.type = kRegDword;
        value.data = {static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8),
                      static_cast<std::uint8_t>(number >> 16),
                      static_cast<std::uint8_t>(number >> 24)};
        return true;
    }
    std::uint32_t type = kRegBinary;
    std::string_view rest;
    if (text.starts_with("hex:")) {
        rest = text.substr(4);
    } else if (text.starts_with("hex(")) {
        const std::size_t close = text.find("):");
        if (close == std::string_view::npos || close == 4 || close > 12) {
            return false;
        }
        type = 0;
        for (char c : text.substr(4, close - 4)) {
            const int d = HexDigit(c);
            if (d < 0) {
                return false;
            }
            type = type * 16 + static_cast<std::uint32_t>(d);
        }
        rest = text.substr(close + 2);
    } else {
        return false;
    }
    value.type = type;
    return ParseHexBytes(rest, value.data);
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.back() == '\r' || s.back() == ' ' || s.back() == '\t')) {
        s.remove_suffix(1);
    }
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    return s;
}

// A line that starts a value given in hex, which may go on over the next lines.
bool StartsHexDigit(std::string_view line) {
    std::string name;
    const std::size_t used = ReadQuoted(line, name);
    return used > 0 && line.substr(used).starts_with("=hex");
}

// Text that can stand in quotes. Bytes that are not UTF-8 (a folder named in a legacy code page)
// go as hex, so that the file stays UTF-8 and an editor saving it cannot change them.
bool Printable(const StoredValue& value) {
    if (value.type != kRegSz || value.data.empty() || value.data.back() != 0 ||
        !IsValidUtf8(std::string_view(reinterpret_cast<const char*>(value.data.data()),
                                      value.data.size() - 1))) {
        return false;
    }
    for (std::size_t i = 0; i + 1 < value.data.size(); ++i) {
        const std::uint8_t b = value.data[i];
        if (b == 0 || b == '\n' || b == '\r') {
            return false;
        }
    }
    return true;
}

}  // namespace

RegValues ParseRegText(std::string_view text) {
    RegValues values;
    bool inSection = true;  // until a section line says otherwise
    std::string logical;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = Trim(text.substr(start, end - start));
        start = end + 1;
        // A long hex value goes on over lines ending in a backslash.
        if (!line.empty() && line.back() == '\\' && (!logical.empty() || StartsHexDigit(line))) {
            logical += line.substr(0, line.size() - 1);
            continue;
        }
        if (!logical.empty()) {
            logical += line;
            line = logical;
        }
        if (!line.empty() && line.front() == '[') {
            inSection = line == std::string("[") + kSettingsSection + "]";
        } else if (inSection && !line.empty() && line.front() == '"') {
            std::string name;
            const std::size_t used = ReadQuoted(line, name);
            StoredValue value;
            if (used > 0 && used < line.size() && line[used] == '=' &&
                ParseData(line.substr(used + 1), value)) {
                values[name] = std::move(value);
            }
        }
        logical.clear();
    }
    return values;
}

std::string RegFileText(std::string_view bytes) {
    const auto starts = [bytes](std::string_view mark) {
        return bytes.substr(0, mark.size()) == mark;
    };
    if (starts("\xEF\xBB\xBF")) {
        return std::string(bytes.substr(3));
    }
    const bool little = starts("\xFF\xFE");
    if (!little && !starts("\xFE\xFF")) {
        return std::string(bytes);
    }
    std::string text;
    const auto unit = [bytes, little](std::size_t i) -> char32_t {
        const auto low = static_cast<unsigned char>(bytes[little ? i : i + 1]);
        const auto high = static_cast<unsigned char>(bytes[little ? i + 1 : i]);
        return static_cast<char32_t>(low | (high << 8));
    };
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
        char32_t c = unit(i);
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < bytes.size() && unit(i + 2) >= 0xDC00 &&
            unit(i + 2) < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
            i += 2;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;  // a lone half of a pair
        }
        AppendUtf8(text, c);
    }
    return text;
}

bool IsRegText(std::string_view text) {
    const std::size_t end = text.find('\n');
    const std::string_view first = Trim(text.substr(0, end));
    if (first == "Windows Registry Editor Version 5.00" || first == "REGEDIT4") {
        return true;
    }
    if (text.find_first_not_of(" \t\r\n") == std::string_view::npos) {
        return true;
    }
    return !ParseRegText(text).empty();
}

std::string FormatRegText(const std::vector<std::pair<std::string, StoredValue>>& values) {
    std::string text = "Windows Registry Editor Version 5.00\n\n[";
    text += kSettingsSection;
    text += "]\n";
    const auto quote = [&text](std::string_view s) {
        text += '"';
        for (char c : s) {
            if (c == '\\' || c == '"') {
                text += '\\';
            }
            text += c;
        }
        text += '"';
    };
    for (const auto& [name, value] : values) {
        quote(name);
        text += '=';
        char buffer[16];
        if (Printable(value)) {
            quote(std::string_view(reinterpret_cast<const char*>(value.data.data()),
                                   value.data.size() - 1));
        } else if (value.type == kRegDword && value.data.size() == 4) {
            const std::uint32_t number = value.data[0] | (value.data[1] << 8) |
                                         (value.data[2] << 16) |
                                         (static_cast<std::uint32_t>(value.data[3]) << 24);
            std::snprintf(buffer, sizeof buffer, "dword:%08x", number);
            text += buffer;
        } else {
            std::snprintf(buffer, sizeof buffer, "hex(%x):", value.type);
            text += buffer;
            for (std::size_t i = 0; i < value.data.size(); ++i) {
                std::snprintf(buffer, sizeof buffer, i == 0 ? "%02x" : ",%02x", value.data[i]);
                text += buffer;
            }
        }
        text += '\n';
    }
    return text;
}

}  // namespace tovana
