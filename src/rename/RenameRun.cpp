#include "rename/RenameRun.h"

#include <cstdio>
#include <vector>

#include "rename/PathRules.h"
#include "rename/RenameRules.h"

namespace tovana {
namespace {

class Walk {
  public:
    Walk(const RenameOptions& options, FileSystem& fileSystem, RunSink& sink, RunCounters& counters)
        : options_(options), fs_(fileSystem), sink_(sink), counters_(counters) {}

    // Entries are read before any of them is renamed, so each is handled once, under the name
    // it had when the run met it.
    void ScanDir(Folder& folder, const std::string& prefix, bool withSubfolders) {
        std::vector<FolderEntry> entries;
        if (const std::error_code error = fs_.ReadEntries(folder, entries)) {
            sink_.FolderUnreadable(prefix, error);
        }
        seen_ += entries.size();
        sink_.Progress(seen_);
        for (const FolderEntry& entry : entries) {
            if (entry.kind == EntryKind::File) {
                RenameItem(&folder, prefix, entry.name, false);
                continue;
            }
            if (!withSubfolders || entry.name.front() == '.' ||
                entry.kind == EntryKind::SystemFolder) {
                continue;
            }
            // A link to a folder is renamed like a folder but never walked into: it could
            // lead outside the chosen folder or round in a loop.
            if (entry.kind == EntryKind::Folder) {
                const std::string subPrefix = prefix + entry.name + kFolderDelimiter;
                std::error_code error;
                if (auto sub = fs_.OpenSubfolder(folder, entry.name, error)) {
                    ScanDir(*sub, subPrefix, withSubfolders);
                } else {
                    sink_.FolderUnreadable(subPrefix, error);
                }
            }
            RenameItem(&folder, prefix, entry.name, true);
        }
    }

    // `folder` is null when the folder holding the entry could not be opened.
    void RenameItem(Folder* folder, const std::string& prefix, const std::string& name,
                    bool isFolder) {
        const std::optional<std::string> newName = Rewrite(name, isFolder, options_);
        if (!newName || *newName == name) {
            return;
        }
        // The row tells the name the entry really has afterwards.
        const std::string kept = NameTheSystemKeeps(*newName);
        if (kept == name) {
            return;
        }
        // An empty name would make the target the folder itself; "." and ".." are not names.
        const bool usable = !kept.empty() && kept != "." && kept != "..";
        LogEntry entry{prefix + name, rkFailed, usable ? kept : *newName};
        if (usable && folder != nullptr && !fs_.Rename(*folder, name, kept)) {
            if (isFolder) {
                ++counters_.DirCount;
                entry.Kind = rkDirRenamed;
            } else {
                ++counters_.FileCount;
                entry.Kind = rkFileRenamed;
            }
        }
        sink_.Append(entry);
    }

    void ChosenFolderItself() {
        const ChosenFolder chosen = SplitChosenFolder(options_.Path);
        if (chosen.name.empty() || !options_.RenameDir) {
            return;
        }
        std::error_code error;
        auto parent = fs_.OpenFolder(chosen.prefix.empty() ? "." : chosen.prefix, error);
        // Typed by its short name or in another letter case, the folder still keeps its own
        // name for the rules.
        const std::string name = parent ? fs_.StoredName(*parent, chosen.name) : chosen.name;
        RenameItem(parent.get(), chosen.prefix, name, true);
    }

  private:
    const RenameOptions& options_;
    FileSystem& fs_;
    RunSink& sink_;
    RunCounters& counters_;
    std::size_t seen_ = 0;
};

}  // namespace

void Run(const RenameOptions& options, FileSystem& fileSystem, RunSink& sink,
         RunCounters& counters) {
    counters = RunCounters{};
    Walk walk(options, fileSystem, sink, counters);
    const std::string root = FolderPrefix(options.Path);
    std::error_code error;
    if (auto folder = fileSystem.OpenFolder(root, error)) {
        walk.ScanDir(*folder, root, options.SubDir);
    } else {
        sink.FolderUnreadable(root, error);
    }
    walk.ChosenFolderItself();
}

std::string SummaryText(const RunCounters& counters) {
    char text[128];
    std::snprintf(text, sizeof text, "Přejmenováno:\r\r%d souborů\r%d adresářů", counters.FileCount,
                  counters.DirCount);
    return text;
}

}  // namespace tovana
