#include "rename/RenameRun.h"

#include <cstdio>
#include <vector>

#include "rename/LegacyScan.h"
#include "rename/PathRules.h"
#include "rename/RenameRules.h"

namespace tovana {
namespace {

class Walk {
  public:
    Walk(const RenameOptions& options, FileSystem& fileSystem, RunSink& sink, RunCounters& counters,
         const StopRequest& stop)
        : options_(options),
          fs_(fileSystem),
          sink_(sink),
          counters_(counters),
          stop_(stop),
          reading_(ReadingOf(options)),
          choosing_(options.Legacy == LegacyCodePage::Auto) {}

    // Each look at the request that finds it made ends the run there.
    bool Stopping() {
        if (stop_.Requested()) {
            counters_.Stopped = true;
        }
        return counters_.Stopped;
    }

    // Entries are read before any of them is renamed, so each is handled once, under the name
    // it had when the run met it.
    void ScanDir(Folder& folder, const std::string& prefix, bool withSubfolders) {
        if (Stopping()) {
            return;
        }
        std::vector<FolderEntry> entries;
        if (const std::error_code error = fs_.ReadEntries(folder, entries)) {
            sink_.FolderUnreadable(prefix, error);
        }
        seen_ += entries.size();
        sink_.Progress(seen_);
        const std::vector<std::optional<std::string>> newNames =
            PlanFolder(prefix, entries, withSubfolders);
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const FolderEntry& entry = entries[i];
            if (Stopping()) {
                break;
            }
            if (entry.kind == EntryKind::File) {
                RenameItem(&folder, prefix, entry.name, false, newNames[i]);
                continue;
            }
            if (!Offered(entry, withSubfolders)) {
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
            RenameItem(&folder, prefix, entry.name, true, newNames[i]);
        }
        if (planned_.back()) {
            sink_.EndRenames();
        }
        planned_.pop_back();
    }

    static bool Offered(const FolderEntry& entry, bool withSubfolders) {
        return entry.kind == EntryKind::File || (withSubfolders && entry.name.front() != '.' &&
                                                 entry.kind != EntryKind::SystemFolder);
    }

    // An empty name would make the target the folder itself; "." and ".." are not names.
    static bool Usable(const std::string& name) {
        return !name.empty() && name != "." && name != "..";
    }

    // The name the rules give, as the file system will keep it (Windows drops trailing dots
    // and spaces), so that rows, journal and counts tell what the entry is really called.
    std::optional<std::string> NewName(const std::string& name, bool isFolder) {
        if (choosing_ && !IsValidUtf8(name)) {
            ChooseLegacyCodePage();
        }
        std::optional<std::string> newName = Rewrite(name, isFolder, options_, reading_);
        if (newName) {
            std::string kept = NameTheSystemKeeps(*newName);
            if (Usable(kept)) {
                *newName = std::move(kept);
            }
        }
        return newName;
    }

    // The new name of every entry whose name changes (none for the others), announced to the
    // sink before the first rename of the folder.
    std::vector<std::optional<std::string>> PlanFolder(const std::string& prefix,
                                                       const std::vector<FolderEntry>& entries,
                                                       bool withSubfolders) {
        std::vector<std::optional<std::string>> newNames(entries.size());
        std::vector<PlannedRename> planned;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const FolderEntry& entry = entries[i];
            if (!Offered(entry, withSubfolders)) {
                continue;
            }
            const bool isFolder = entry.kind != EntryKind::File;
            newNames[i] = NewName(entry.name, isFolder);
            if (newNames[i] && *newNames[i] != entry.name) {
                planned.push_back({prefix + entry.name, *newNames[i], isFolder});
            }
        }
        planned_.push_back(!planned.empty());
        if (!planned.empty()) {
            sink_.BeginRenames(planned);
        }
        return newNames;
    }

    // `folder` is null when the folder holding the entry could not be opened.
    void RenameItem(Folder* folder, const std::string& prefix, const std::string& name,
                    bool isFolder, const std::optional<std::string>& newName) {
        if (!newName || *newName == name || Stopping()) {
            return;
        }
        LogEntry entry{prefix + name, rkFailed, *newName, FailReason::None, {}};
        if (!Usable(NameTheSystemKeeps(*newName))) {
            entry.Reason = FailReason::InvalidName;
        } else if (BecomesHidden(name, *newName)) {
            entry.Reason = FailReason::WouldHide;
            entry.Error = MakeErrorCode(RunRefusal::WouldHide);
        } else if (folder == nullptr) {
            entry.Reason = FailReason::FolderUnreadable;
        } else if (const std::error_code error = fs_.Rename(*folder, name, *newName)) {
            entry.Error = error;
            entry.Reason = ReasonOf(error);
        } else if (isFolder) {
            ++counters_.DirCount;
            entry.Kind = rkDirRenamed;
        } else {
            ++counters_.FileCount;
            entry.Kind = rkFileRenamed;
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
        const std::optional<std::string> newName = NewName(name, true);
        if (!newName || *newName == name) {
            return;
        }
        sink_.BeginRenames({{chosen.prefix + name, *newName, true}});
        RenameItem(parent.get(), chosen.prefix, name, true, newName);
        sink_.EndRenames();
    }

  private:
    // The run's code page for names that are not UTF-8 is chosen from all of them together, so
    // when the walk meets the first one, the rest are looked up before anything else happens.
    // Every name met before was UTF-8, so none of them has been renamed yet.
    void ChooseLegacyCodePage() {
        choosing_ = false;
        std::vector<std::string> names;
        const std::string root = FolderPrefix(options_.Path);
        std::error_code error;
        if (auto folder = fs_.OpenFolder(root, error)) {
            CollectLegacyNames(fs_, *folder, options_.SubDir, names);
        }
        const ChosenFolder chosen = SplitChosenFolder(options_.Path);
        if (options_.RenameDir && !IsValidUtf8(chosen.name)) {
            names.push_back(chosen.name);
        }
        reading_.legacy = LegacyReading{tovana::ChooseLegacyCodePage(names), true};
        sink_.LegacyChosen(reading_.legacy.codePage, names.size());
    }

    const RenameOptions& options_;
    FileSystem& fs_;
    RunSink& sink_;
    RunCounters& counters_;
    const StopRequest& stop_;
    std::size_t seen_ = 0;
    std::vector<bool> planned_;  // per open folder: whether its batch was announced
    NameReading reading_;
    bool choosing_;
};

class RunRefusalCategoryImpl : public std::error_category {
  public:
    const char* name() const noexcept override { return "tovana-run"; }
    std::string message(int value) const override {
        switch (static_cast<RunRefusal>(value)) {
            case RunRefusal::WouldHide:
                return "the new name would hide the entry";
        }
        return "refused";
    }
};

}  // namespace

const std::error_category& RunRefusalCategory() {
    static const RunRefusalCategoryImpl category;
    return category;
}

std::error_code MakeErrorCode(RunRefusal refusal) {
    return {static_cast<int>(refusal), RunRefusalCategory()};
}

void Run(const RenameOptions& options, FileSystem& fileSystem, RunSink& sink,
         RunCounters& counters) {
    const StopRequest never;
    Run(options, fileSystem, sink, counters, never);
}

void Run(const RenameOptions& options, FileSystem& fileSystem, RunSink& sink, RunCounters& counters,
         const StopRequest& stop) {
    counters = RunCounters{};
    Walk walk(options, fileSystem, sink, counters, stop);
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
    return counters.Stopped ? std::string("Přejmenování přerušeno.\r\r") + text : text;
}

}  // namespace tovana
