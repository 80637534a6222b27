#include "support/RowsApplied.h"

#include <stdexcept>

namespace tovana::test {

std::map<std::string, std::string> RowsApplied(std::map<std::string, std::string> before,
                                               const std::string& root,
                                               const std::vector<Row>& rows) {
    for (const Row& row : rows) {
        if (row.kind == rkFailed) {
            continue;
        }
        if (row.path.rfind(root + "/", 0) != 0) {
            throw std::invalid_argument("row outside the tree: " + row.path);
        }
        const std::string from = row.path.substr(root.size() + 1);
        const std::string to = from.substr(0, from.rfind('/') + 1) + row.newName;
        // A folder's key ends with "/", and everything below it starts with that key.
        const std::string key = row.kind == rkDirRenamed ? from + "/" : from;
        std::map<std::string, std::string> after;
        for (auto& [path, content] : before) {
            if (path == key || (row.kind == rkDirRenamed && path.rfind(key, 0) == 0)) {
                after[to + path.substr(from.size())] = std::move(content);
            } else {
                after[path] = std::move(content);
            }
        }
        before = std::move(after);
    }
    return before;
}

}  // namespace tovana::test
