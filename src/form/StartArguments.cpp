#include "form/StartArguments.h"

#include <string>

#include "TovanaVersion.h"
#include "form/StartPlatform.h"
#include "names/NameText.h"

namespace tovana {
namespace {

// %XX escapes to their bytes; a "%" without two hex digits stays as it is.
std::string Unescaped(const std::string& text) {
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 &&
            HexDigit(text[i + 2]) >= 0) {
            bytes += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
            i += 2;
        } else {
            bytes += text[i];
        }
    }
    return bytes;
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        const char c =
            text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] - 'A' + 'a') : text[i];
        if (c != prefix[i]) {
            return false;
        }
    }
    return true;
}

std::string Quoted(const std::string& text) {
    return "\u201e" + text + "\u201c";
}

}  // namespace

StartRequest ReadStartArguments(const std::vector<std::string>& arguments) {
    StartRequest request;
    std::vector<std::string> folders;
    bool options = true;
    for (const std::string& argument : arguments) {
        if (options && argument == "--") {
            options = false;
        } else if (options && (argument == "--help" || argument == "-h" || argument == "/?")) {
            return {StartRequest::Kind::Help, {}, {}};
        } else if (options && argument == "--version") {
            return {StartRequest::Kind::Version, {}, {}};
        } else if (options && argument.size() > 1 && argument[0] == '-') {
            return {StartRequest::Kind::Misuse, {}, "neznámá volba " + Quoted(argument)};
        } else {
            folders.push_back(argument);
        }
    }
    if (folders.size() > 1) {
        return {StartRequest::Kind::Misuse,
                {},
                "zadejte nejvýše jednu složku, zadáno je " + std::to_string(folders.size())};
    }
    if (!folders.empty()) {
        request.folder = PathFromUrl(folders.front());
    }
    return request;
}

std::string PathFromUrl(const std::string& text) {
    if (!StartsWithNoCase(text, "file:")) {
        return text;
    }
    std::string rest = text.substr(5);
    std::string host;
    if (rest.rfind("//", 0) == 0) {
        const std::size_t end = rest.find('/', 2);
        host = rest.substr(2, end == std::string::npos ? std::string::npos : end - 2);
        rest = end == std::string::npos ? std::string("/") : rest.substr(end);
    }
    if (rest.empty() || rest[0] != '/') {
        return text;  // not a URL this program reads ("file:name" is a name)
    }
    // A query or a fragment is no part of a file's path.
    rest = rest.substr(0, rest.find_first_of("?#"));
    std::string path = Unescaped(rest);
    if (StartsWithNoCase(host, "localhost")) {
        host.clear();
    }
    return LocalPathOfFileUrl(Unescaped(host), path, text);
}

std::vector<std::string> PathsFromUriList(const std::string& list) {
    std::vector<std::string> paths;
    std::size_t start = 0;
    while (start < list.size()) {
        std::size_t end = list.find('\n', start);
        if (end == std::string::npos) {
            end = list.size();
        }
        std::string line = list.substr(start, end - start);
        start = end + 1;
        while (!line.empty() && (line.back() == '\r' || line.back() == '\0')) {
            line.pop_back();
        }
        if (!line.empty() && line[0] != '#') {
            paths.push_back(PathFromUrl(line));
        }
    }
    return paths;
}

std::string AbsoluteStartPath(const std::string& path, const std::string& currentFolder) {
    if (path.empty()) {
        return path;
    }
    return FullStartPath(path, currentFolder);
}

std::string StartHelpText() {
    return std::string("Použití: ") + kWindowProgram +
           " [SLOŽKA]\n"
           "Odstraní diakritiku z názvů souborů a adresářů ve složce.\n"
           "\n"
           "Okno se otevře se zadanou složkou (cestou nebo adresou file://),\n"
           "bez ní se složkou z minula. Přejmenuje se až po stisku OK;\n"
           "F5 ukáže náhled, Ctrl+Z vrátí poslední přejmenování.\n"
           "\n"
           "  --help     vypíše tuto nápovědu a skončí\n"
           "  --version  vypíše verzi a skončí\n";
}

std::string StartVersionText() {
    return "Tovana " TOVANA_VERSION "\n";
}

std::string StartMisuseText(const std::string& message) {
    return "Tovana: " + message + "\nNápovědu vypíše: " + kWindowProgram + " --help\n";
}

}  // namespace tovana
