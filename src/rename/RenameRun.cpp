#include "rename/RenameRun.h"

#include <cstdio>
#include <optional>
#include <vector>

#include "rename/PathRules.h"
#include "rename/RenameRules.h"

namespace tovana {
namespace {

// The walk keeps one path, grown by a name on the way down and cut back on the way up, and for
// each open folder level its entries: memory grows with the depth and the widest folder, time
// with the number of entries. Levels are kept on a stack of its own, not the call stack, so no
// depth overflows it.
class Walk : private RenameNotes {
  public:
    Walk(const RenameOptions& options, FileSystem& fileSystem, RunSink& sink, RunCounters& counters)
        : options_(options), fs_(fileSystem), sink_(sink), counters_(counters) {
        fs_.SetNotes(this);
    }
    ~Walk() override { fs_.SetNotes(nullptr); }
    Walk(const Walk&) = delete;
    Walk& operator=(const Walk&) = delete;

    void Go() {
        const ChosenFolder chosen = SplitChosenFolder(options_.Path);
        path_ = FolderPrefix(options_.Path);
        std::error_code error;
        std::unique_ptr<Folder> parent;
        std::unique_ptr<Folder> root;
        std::optional<EntryId> chosenId;
        if (chosen.name.empty()) {
            root = fs_.OpenFolder(path_, error);
        } else {
            // The chosen folder's parent is opened once, now: its own rename at the end goes
            // through it, whatever happens to the path above it meanwhile.
            parent = fs_.OpenFolder(chosen.prefix.empty() ? "." : chosen.prefix, error);
            if (parent) {
                EntryId id;
                if (!fs_.Identify(*parent, chosen.name, id)) {
                    chosenId = id;
                }
                root = fs_.OpenChosenFolder(*parent, chosen.name, error);
            }
        }
        if (root) {
            ScanTree(std::move(root));
        } else {
            // An entry that is there but opens as no folder (a file, a dangling link) is not a
            // folder: nothing is renamed, the chosen path itself least of all.
            const bool notAFolder =
                error == std::errc::not_a_directory ||
                (chosenId && (error == std::errc::no_such_file_or_directory ||
                              error == std::errc::too_many_symbolic_link_levels));
            if (notAFolder) {
                sink_.FolderUnreadable(path_, std::make_error_code(std::errc::not_a_directory));
                return;
            }
            sink_.FolderUnreadable(path_, error);
        }
        if (!chosen.name.empty() && options_.RenameDir) {
            ChosenFolderItself(parent.get(), chosen, chosenId);
        }
    }

  private:
    struct Level {
        std::unique_ptr<Folder> folder;
        EntryList entries;
        std::size_t next = 0;        // the entry being handled
        std::size_t pathLength = 0;  // of path_ while in this folder
    };

    // Entries are read before any of them is renamed, so each is handled once, under the name
    // it had when the run met it.
    void Enter(std::unique_ptr<Folder> folder) {
        levels_.emplace_back();
        Level& level = levels_.back();
        level.folder = std::move(folder);
        level.pathLength = path_.size();
        if (const std::error_code error = fs_.ReadEntries(*level.folder, level.entries)) {
            sink_.FolderUnreadable(path_, error);
        }
        seen_ += level.entries.size();
        sink_.Progress(seen_);
    }

    void ScanTree(std::unique_ptr<Folder> root) {
        Enter(std::move(root));
        while (!levels_.empty()) {
            Level& level = levels_.back();
            if (level.next == level.entries.size()) {
                levels_.pop_back();
                if (levels_.empty()) {
                    break;
                }
                // The folder left is renamed after its contents, in its parent.
                Level& parent = levels_.back();
                path_.resize(parent.pathLength);
                RenameItem(parent.folder.get(), parent.entries.name(parent.next), true);
                ++parent.next;
                continue;
            }
            const std::string_view name = level.entries.name(level.next);
            EntryKind kind = level.entries.kind(level.next);
            if (kind == EntryKind::Link) {
                kind = KindOfLink(*level.folder, name);
            }
            if (kind == EntryKind::File) {
                RenameItem(level.folder.get(), name, false);
            } else if (kind != EntryKind::Link && WalksInto(name)) {
                // A link to a folder is renamed like a folder but never walked into: it could
                // lead outside the chosen folder or round in a loop.
                if (kind == EntryKind::Folder) {
                    path_.append(name);
                    path_ += kFolderDelimiter;
                    std::error_code error;
                    if (auto sub = fs_.OpenSubfolder(*level.folder, std::string(name), error)) {
                        Enter(std::move(sub));  // `level` is not used past this
                        continue;
                    }
                    sink_.FolderUnreadable(path_, error);
                    path_.resize(level.pathLength);
                }
                RenameItem(level.folder.get(), name, true);
            }
            ++level.next;
        }
    }

    bool WalksInto(std::string_view name) const { return options_.SubDir && name.front() != '.'; }

    bool NameChanges(std::string_view name, bool isFolder) const {
        const std::optional<std::string> newName = Rewrite(name, isFolder, options_);
        return newName && *newName != name;
    }

    // A link is followed only when it matters: its name would change, taken as a file or as a
    // folder. Otherwise it stays EntryKind::Link, which the walk leaves alone, so a link into
    // a mount that never answers cannot stop a run that has nothing to do with it.
    EntryKind KindOfLink(Folder& folder, std::string_view name) {
        if (!NameChanges(name, false) && !(WalksInto(name) && NameChanges(name, true))) {
            return EntryKind::Link;
        }
        return fs_.KindOfLink(folder, std::string(name));
    }

    // `folder` is null when the folder holding the entry could not be opened (or no longer
    // holds the entry the run started from): the attempt is reported failed.
    void RenameItem(Folder* folder, std::string_view name, bool isFolder) {
        const std::optional<std::string> newName = Rewrite(name, isFolder, options_);
        if (!newName || *newName == name) {
            return;
        }
        // One entry is kept for the run so its path, which can be long in a deep tree, reuses
        // its buffer; every other field starts afresh.
        std::string path = std::move(entry_.Path);
        entry_ = LogEntry{};
        entry_.Path = std::move(path);
        entry_.Path.assign(path_).append(name);
        entry_.Kind = rkFailed;
        entry_.NewName = *newName;
        // An empty name would make the target the folder itself; "." and ".." are not names.
        const bool usable = !newName->empty() && *newName != "." && *newName != "..";
        if (usable && folder != nullptr && !fs_.Rename(*folder, std::string(name), *newName)) {
            if (isFolder) {
                ++counters_.DirCount;
                entry_.Kind = rkDirRenamed;
            } else {
                ++counters_.FileCount;
                entry_.Kind = rkFileRenamed;
            }
        }
        sink_.Append(entry_);
    }

    // Renamed through the parent opened at the start, and only while the parent still holds
    // the entry the run started from under that name.
    void ChosenFolderItself(Folder* parent, const ChosenFolder& chosen,
                            const std::optional<EntryId>& chosenId) {
        path_ = chosen.prefix;
        if (parent != nullptr && chosenId) {
            EntryId now;
            if (fs_.Identify(*parent, chosen.name, now) || !(now == *chosenId)) {
                parent = nullptr;
            }
        }
        RenameItem(parent, chosen.name, true);
    }

    void TemporaryName(const std::string& from, const std::string& temporary,
                       bool leftThere) override {
        sink_.TemporaryName(path_ + from, temporary, leftThere);
    }

    void Fallback(RenameMethod method, bool folder) override {
        sink_.RenameFallback(path_, method, folder);
    }

    const RenameOptions& options_;
    FileSystem& fs_;
    RunSink& sink_;
    RunCounters& counters_;
    std::size_t seen_ = 0;
    std::vector<Level> levels_;
    std::string path_;  // the current folder's prefix: the path of the entries renamed now
    LogEntry entry_;
};

}  // namespace

void Run(const RenameOptions& options, FileSystem& fileSystem, RunSink& sink,
         RunCounters& counters) {
    counters = RunCounters{};
    Walk walk(options, fileSystem, sink, counters);
    walk.Go();
}

std::string NotAFolderText(const std::string& path) {
    return path + " není adresář";
}

std::string SummaryText(const RunCounters& counters) {
    char text[128];
    std::snprintf(text, sizeof text, "Přejmenováno:\r\r%d souborů\r%d adresářů", counters.FileCount,
                  counters.DirCount);
    return text;
}

}  // namespace tovana
