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
    Walk(const RenameOptions& options, FileSystem& fileSystem, RunSink& sink, RunCounters& counters)
        : options_(options),
          fs_(fileSystem),
          sink_(sink),
          counters_(counters),
          reading_(ReadingOf(options)),
          choosing_(options.Legacy == LegacyCodePage::Auto) {}

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
            if (!withSubfolders || entry.name.front() == '.') {
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
        if (choosing_ && !IsValidUtf8(name)) {
            ChooseLegacyCodePage();
        }
        const std::optional<std::string> newName = Rewrite(name, isFolder, options_, reading_);
        if (!newName || *newName == name) {
            return;
        }
        LogEntry entry{prefix + name, rkFailed, *newName};
        // An empty name would make the target the folder itself; "." and ".." are not names.
        bool usable = !newName->empty() && *newName != "." && *newName != "..";
        if (usable && BecomesHidden(name, *newName)) {
            entry.Error = MakeErrorCode(RunRefusal::WouldHide);
            usable = false;
        }
        if (usable && folder != nullptr && !fs_.Rename(*folder, name, *newName)) {
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
        RenameItem(parent.get(), chosen.prefix, chosen.name, true);
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
    std::size_t seen_ = 0;
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
