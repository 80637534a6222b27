// A run sink that keeps what it is told, for tests to compare.
#pragma once

#include <functional>
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
    void Append(LogEntry&& entry) override {
        rows.push_back({entry.Path, entry.Kind, entry.NewName});
        reasons.push_back(entry.Reason);
    }
    void FolderUnreadable(const std::string& path, std::error_code error) override {
        unreadable.push_back(path);
        errors.push_back(error);
    }
    void TemporaryName(const std::string& path, const std::string& temporary,
                       bool leftThere) override {
        temporaries.push_back({path, temporary, leftThere});
        if (onTemporary) {
            onTemporary(path, temporary, leftThere);
        }
    }
    void RenameFallback(const std::string& folderPath, RenameMethod method, bool folder) override {
        fallbacks.push_back({folderPath, method, folder});
    }

    struct Temporary {
        std::string path;
        std::string temporary;
        bool leftThere;
        bool operator==(const Temporary&) const = default;
    };
    struct Fallback {
        std::string folderPath;
        RenameMethod method;
        bool folder;
        bool operator==(const Fallback&) const = default;
    };
    std::vector<Row> rows;
    std::vector<FailReason> reasons;  // one per row
    std::vector<std::string> unreadable;
    std::vector<std::error_code> errors;
    std::vector<Temporary> temporaries;
    std::vector<Fallback> fallbacks;
    std::function<void(const std::string&, const std::string&, bool)> onTemporary;
};

}  // namespace tovana::test
