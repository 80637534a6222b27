#include "support/RowsApplied.h"

#include <sstream>
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

// Rows end at the first line without two tabs: the summary.
std::vector<Row> PrintedRows(const std::string& out) {
    std::vector<Row> rows;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t first = line.find('\t');
        const std::size_t second = line.find('\t', first + 1);
        if (second == std::string::npos) {
            break;
        }
        const std::string kind = line.substr(0, first);
        rows.push_back({line.substr(first + 1, second - first - 1),
                        kind == "dir"    ? rkDirRenamed
                        : kind == "file" ? rkFileRenamed
                                         : rkFailed,
                        line.substr(second + 1)});
    }
    return rows;
}

std::string StoppedSummary(const std::vector<Row>& rows) {
    int files = 0;
    int folders = 0;
    for (const Row& row : rows) {
        files += row.kind == rkFileRenamed;
        folders += row.kind == rkDirRenamed;
    }
    return "Přejmenování přerušeno.\n\nPřejmenováno:\n\n" + std::to_string(files) + " souborů\n" +
           std::to_string(folders) + " adresářů\n";
}

}  // namespace tovana::test
