// A run sink that keeps what it is told, for tests to compare.
#pragma once

#include <string>
#include <vector>

#include "rename/RenameRun.h"

namespace tovana::test {

struct Row {
    std::string path;
    ResultKind kind;
    std::string newName;
    bool operator==(const Row&) const = default;
};

class RecordingSink : public RunSink {
  public:
    void Append(const LogEntry& entry) override {
        rows.push_back({entry.Path, entry.Kind, entry.NewName});
        reasons.push_back(entry.Reason);
    }
    void FolderUnreadable(const std::string& path, std::error_code) override {
        unreadable.push_back(path);
    }
    std::vector<Row> rows;
    std::vector<FailReason> reasons;  // one per row
    std::vector<std::string> unreadable;
};

}  // namespace tovana::test
