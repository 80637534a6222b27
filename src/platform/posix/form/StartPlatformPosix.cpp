#include <filesystem>

#include "form/StartPlatform.h"
#include "names/PathRules.h"

namespace tovana {

const char kWindowProgram[] = "Tovana";

std::string LocalPathOfFileUrl(const std::string& host, std::string path, const std::string& url) {
    // Another computer's file: no local path stands for it.
    return host.empty() ? path : url;
}

std::string FullStartPath(const std::string& path, const std::string& currentFolder) {
    // Bytes stay bytes: the path may be in any code page.
    std::filesystem::path absolute(path);
    if (!absolute.is_absolute()) {
        absolute = std::filesystem::path(currentFolder) / absolute;
    }
    return TrimmedPath(absolute.lexically_normal().native());
}

}  // namespace tovana
