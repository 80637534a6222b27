// tovana-cli: the renaming run for scripts and servers.
//
// arguments -> RenameOptions -> run (journaled) -> one line per rename attempt on stdout, the
// summary, and an exit status (0 all renamed, 1 something failed or could not be read,
// 2 usage or an unusable journal, 128 + the signal's number when an interrupt stopped it).
// --undo and --history read the journals.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>

#include <CLI/CLI.hpp>

#include "TovanaVersion.h"
#include "cli/CliJournal.h"
#include "cli/CliPlatform.h"
#include "cli/CliStop.h"
#include "journal/Escape.h"
#include "journal/Journal.h"
#include "journal/Undo.h"
#include "names/NameText.h"
#include "rename/DryRunFileSystem.h"
#include "rename/Platform.h"
#include "rename/RenameRun.h"
#include "rename/SlowFileSystem.h"
#include "settings/PlatformSettings.h"
#include "settings/Settings.h"

namespace {

using tovana::LogEntry;
using tovana::RenameOptions;

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

const char* KindWord(tovana::ResultKind kind) {
    switch (kind) {
        case tovana::rkDirRenamed:
            return "dir";
        case tovana::rkFileRenamed:
            return "file";
        case tovana::rkFailed:
            break;
    }
    return "failed";
}

// Paths as the user wrote them: without the delimiter the walk ends folder prefixes with.
std::string WithoutTrailingDelimiter(std::string path) {
    while (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) {
        path.pop_back();
    }
    return path;
}

class LinesSink : public tovana::RunSink {
  public:
    // `stop` is requested when nobody reads the rows any more.
    LinesSink(bool showProgress, bool null, tovana::StopRequest& stop)
        : showProgress_(showProgress), null_(null), stop_(stop) {}

    // Fields escaped and separated by tabs, or with --null raw and each ended by a NUL.
    void Append(LogEntry entry) override {
        std::string line = KindWord(entry.Kind);
        if (null_) {
            line += '\0';
            line += entry.Path;
            line += '\0';
            line += entry.NewName;
            line += '\0';
        } else {
            line += '\t';
            tovana::AppendEscaped(line, entry.Path);
            line += '\t';
            tovana::AppendEscaped(line, entry.NewName);
            line += '\n';
        }
        WriteText(stdout, line);
        if (entry.Kind == tovana::rkFailed) {
            ClearProgress();
            WriteText(stderr, "tovana-cli: cannot rename '" + tovana::EscapeField(entry.Path) +
                                  "' to '" + tovana::EscapeField(entry.NewName) +
                                  "': " + ReasonText(entry) + "\n");
            failed_ = true;
        }
        CheckOutput();
    }

    void LegacyChosen(tovana::LegacyCodePage codePage, std::size_t names) override {
        ClearProgress();
        WriteText(stderr, "tovana-cli: " + std::to_string(names) + " name" +
                              (names == 1 ? "" : "s") + " not in UTF-8, read as " +
                              tovana::LegacyCodePageName(codePage) + "\n");
    }

    void FolderUnreadable(const std::string& path, std::error_code error) override {
        ClearProgress();
        if (error == std::errc::not_a_directory) {
            WriteText(stderr, "tovana-cli: '" +
                                  tovana::EscapeField(WithoutTrailingDelimiter(path)) +
                                  "' is not a folder\n");
        } else {
            WriteText(stderr, "tovana-cli: cannot read folder '" + tovana::EscapeField(path) +
                                  "': " + ErrorText(error) + "\n");
        }
        failed_ = true;
    }

    // Rows go out at least once per folder, so a run killed outright has told all but the
    // last folder's renames; a terminal gets each row as it is made (line buffering).
    void Progress(std::size_t entriesSeen) override {
        if (std::fflush(stdout) != 0) {
            outputClosed_ = true;
        }
        CheckOutput();
        ShowProgress(entriesSeen);
    }

    void TemporaryName(const std::string& path, const std::string& temporary,
                       bool leftThere) override {
        if (leftThere) {
            ClearProgress();
            WriteText(stderr, "tovana-cli: '" + tovana::EscapeField(path) +
                                  "' could be moved neither on nor back; it is in the same "
                                  "folder under the name '" +
                                  tovana::EscapeField(temporary) + "'\n");
        }
    }

    void RenameFallback(const std::string& folderPath, tovana::RenameMethod method,
                        bool folder) override {
        ClearProgress();
        const std::string where =
            tovana::EscapeField(WithoutTrailingDelimiter(folderPath.empty() ? "." : folderPath));
        if (method == tovana::RenameMethod::NotAtAll) {
            WriteText(stderr, "tovana-cli: note: folders are not renamed on the file system of '" +
                                  where + "': it loses a renamed folder's contents\n");
            return;
        }
        WriteText(stderr, "tovana-cli: note: the file system of '" + where +
                              "' has no no-overwrite rename; " + (folder ? "folders" : "files") +
                              " are renamed there by " + tovana::RenameMethodText(method) + "\n");
    }

    void JournalsLeftAlone(const std::string& path) override {
        ClearProgress();
        WriteText(stderr, "tovana-cli: note: the journals' folder '" + tovana::EscapeField(path) +
                              "' is in the tree: it is not walked into, and neither it nor "
                              "the folders holding it are renamed\n");
    }

    void ClearProgress() {
        if (progressShown_) {
            WriteText(stderr, "\r\033[K");
            progressShown_ = false;
        }
    }

    bool failed() const { return failed_; }
    bool outputClosed() const { return outputClosed_; }

  private:
    // A closed output pipe ends the run after the rename under way.
    void CheckOutput() {
        if (!outputClosed_ && (std::ferror(stdout) != 0 || OutputClosed())) {
            outputClosed_ = true;
        }
        if (outputClosed_) {
            stop_.Request();
        }
    }

    // A terminal gets a count of the entries read, but only once a run takes a while.
    void ShowProgress(std::size_t entriesSeen) {
        if (!showProgress_) {
            return;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now - start_ < std::chrono::seconds(1) || now - lastShown_ < kProgressInterval) {
            return;
        }
        lastShown_ = now;
        WriteText(stderr, "\rtovana-cli: " + std::to_string(entriesSeen) + " entries read");
        progressShown_ = true;
    }

    static constexpr auto kProgressInterval = std::chrono::milliseconds(200);
    bool showProgress_;
    bool null_;
    tovana::StopRequest& stop_;
    bool progressShown_ = false;
    bool failed_ = false;
    bool outputClosed_ = false;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point lastShown_{};
};

// A flag that another one greys out in the window does nothing; say so rather than ignore it.
void WarnAboutIneffectiveFlags(const RenameOptions& o) {
    const auto warn = [](const char* flag, const char* blocker) {
        WriteText(stderr, std::string("tovana-cli: warning: ") + flag +
                              " has no effect together with " + blocker + "\n");
    };
    if (o.ReplaceSpace && !o.ReplaceSpaceAvailable()) {
        warn("--replace-space", "--replace-underscore");
    }
    if (o.ReplaceUnderline && !o.ReplaceUnderlineAvailable()) {
        warn("--replace-underscore", "--replace-space");
    }
    if (o.RemoveSpace && !o.RemoveSpaceAvailable()) {
        warn("--remove-space", "--replace-space");
    }
    if (o.RemoveUnderline && !o.RemoveUnderlineAvailable()) {
        warn("--remove-underscore", "--replace-underscore");
    }
}

// The stored options, with what the command line gives added: flags switch on, a folder or a
// mask replaces the stored one, a letter case replaces the stored choice.
RenameOptions WithSavedOptions(const RenameOptions& given, const CLI::App& app) {
    const std::unique_ptr<tovana::SettingsStore> store = tovana::MakeSettingsStore();
    tovana::OptionsControls stored;
    tovana::LoadSettings(*store, stored);
    RenameOptions o = stored.options();
    const auto has = [&app](const char* name) { return app.count(name) > 0; };
    if (has("PATH")) {
        o.Path = given.Path;
    }
    if (has("--mask")) {
        o.Masks = given.Masks;
    }
    o.SubDir |= given.SubDir;
    o.RenameDir |= given.RenameDir;
    o.ReplaceSpace |= given.ReplaceSpace;
    o.RemoveSpace |= given.RemoveSpace;
    o.ReplaceUnderline |= given.ReplaceUnderline;
    o.RemoveUnderline |= given.RemoveUnderline;
    o.NonAlphaNum |= given.NonAlphaNum;
    o.Legacy = given.Legacy;
    o.FixMojibake = given.FixMojibake;
    if (given.ToUpperCase || given.ToLowerCase) {
        o.ToUpperCase = given.ToUpperCase;
        o.ToLowerCase = given.ToLowerCase;
    }
    return o;
}

#define DRY_RUN_LINE "Dry run: nothing was renamed."

std::map<std::string, tovana::LegacyCodePage> LegacyChoices() {
    std::map<std::string, tovana::LegacyCodePage> choices;
    for (auto codePage : {tovana::LegacyCodePage::Auto, tovana::LegacyCodePage::Cp1250,
                          tovana::LegacyCodePage::Iso8859_2, tovana::LegacyCodePage::Cp852,
                          tovana::LegacyCodePage::None}) {
        choices.emplace(tovana::LegacyCodePageName(codePage), codePage);
    }
    return choices;
}

std::string SummaryLines(const tovana::RunCounters& counters) {
    std::string text = tovana::SummaryText(counters);
    for (char& c : text) {
        if (c == '\r') {
            c = '\n';
        }
    }
    return text + '\n';
}

// The summary, and for a dry run the line that says so.
void PrintSummary(const tovana::RunCounters& counters, bool dryRun, bool null) {
    std::string text = SummaryLines(counters);
    if (dryRun) {
        text += DRY_RUN_LINE "\n";
    }
    WriteText(null ? stderr : stdout, text);
}

// A path of the command line: a folder to walk or a file to rename.
struct Target {
    std::string path;  // as given
    bool file = false;
    std::filesystem::path resolved;  // links and "." / ".." resolved, for comparing
};

std::filesystem::path PathOf(const std::string& text) {
#ifdef _WIN32
    return std::filesystem::u8path(text);
#else
    return std::filesystem::path(text);
#endif
}

// Whether `inner` is `outer` or lies below it.
bool Within(const std::filesystem::path& inner, const std::filesystem::path& outer) {
    auto i = inner.begin();
    for (auto o = outer.begin(); o != outer.end(); ++o, ++i) {
        if (o->empty()) {
            continue;  // the empty last part of a path ending in a separator
        }
        if (i == inner.end() || *i != *o) {
            return false;
        }
    }
    return true;
}

// Whether a walk with --subdirs reaches `relative` from its folder: it does not go into
// folders whose names start with ".".
bool WalkedTo(const std::filesystem::path& relative, bool file) {
    std::vector<std::filesystem::path> parts(relative.begin(), relative.end());
    if (file && !parts.empty()) {
        parts.pop_back();
    }
    return std::none_of(parts.begin(), parts.end(), [](const std::filesystem::path& part) {
        return !part.empty() && part.native().front() == '.';
    });
}

// The paths to handle, each once: a path given twice, a file in a walked folder (or below it
// with --subdirs) and, with --subdirs, a folder below a walked one are left to the first or
// the walking one, with a note. A path inside another comes before it: renaming the outer
// folder itself (--dirs) must not move the inner one away first.
std::vector<Target> Targets(const std::vector<std::string>& paths, bool subDirs,
                            tovana::FileSystem& fileSystem) {
    std::vector<Target> given;
    for (const std::string& path : paths) {
        Target target;
        target.path = path;
        std::error_code error;
        // A path ending in a delimiter names a folder, whatever is there.
        target.file = WithoutTrailingDelimiter(path) == path &&
                      fileSystem.OpenFolder(path, error) == nullptr &&
                      error == std::errc::not_a_directory;
        target.resolved = std::filesystem::weakly_canonical(PathOf(path), error);
        if (error) {
            target.resolved = std::filesystem::absolute(PathOf(path), error).lexically_normal();
        }
        given.push_back(std::move(target));
    }
    std::vector<Target> targets;
    for (std::size_t i = 0; i < given.size(); ++i) {
        const Target& t = given[i];
        std::string coveredBy;
        bool twice = false;
        for (std::size_t j = 0; j < given.size() && coveredBy.empty(); ++j) {
            const Target& other = given[j];
            if (j == i || other.file) {
                continue;
            }
            if (t.resolved == other.resolved) {
                twice = j < i;
                coveredBy = twice ? other.path : "";
            } else if (subDirs ? Within(t.resolved, other.resolved) &&
                                     WalkedTo(t.resolved.lexically_relative(other.resolved), t.file)
                               : t.file && t.resolved.parent_path() == other.resolved) {
                coveredBy = other.path;
            }
        }
        for (std::size_t j = 0; j < i && coveredBy.empty() && t.file; ++j) {
            if (given[j].file && given[j].resolved == t.resolved) {
                twice = true;
                coveredBy = given[j].path;
            }
        }
        if (!coveredBy.empty()) {
            const std::string quoted = "'" + tovana::EscapeField(t.path) + "'";
            WriteText(
                stderr,
                "tovana-cli: note: " + quoted +
                    (!twice ? " lies in '" + tovana::EscapeField(coveredBy) + "'; handled there\n"
                     : coveredBy == t.path ? " is given twice; handled once\n"
                                           : " is the same as '" + tovana::EscapeField(coveredBy) +
                                                 "'; handled once\n"));
            continue;
        }
        auto outer = std::find_if(targets.begin(), targets.end(), [&t](const Target& kept) {
            return !kept.file && Within(t.resolved, kept.resolved);
        });
        targets.insert(outer, t);
    }
    return targets;
}

int Undo(tovana::JournalStore& journals, const std::string& journal, bool dryRun, bool null,
         bool noJournal) {
    tovana::RaiseOpenFileLimit();
    const std::unique_ptr<tovana::FileSystem> platform = tovana::MakeFileSystem();
    // Tests may ask for a slow disk (see SlowFileSystem.h).
    tovana::SlowFileSystem slow(*platform, tovana::FileSystemDelayFromEnvironment());
    tovana::FileSystem& fileSystem = slow.delay().count() > 0 ? slow : *platform;
    // An interrupt stops the undo after the rename under way, as it stops a run; the next
    // --undo goes on with the same run.
    tovana::StopRequest stop;
    StopOnInterrupt(stop);
    LinesSink sink(false, null, stop);
    tovana::RunCounters counters;
    const tovana::UndoOutcome outcome =
        tovana::UndoRun(journals, journal, fileSystem, sink, counters, stop,
                        "tovana-cli " TOVANA_VERSION, dryRun, !noJournal);
    if (outcome.Problem != tovana::UndoProblem::None) {
        WriteText(stderr, "tovana-cli: " + UndoProblemText(outcome) + "\n");
        return outcome.Problem == tovana::UndoProblem::NothingToUndo ? kExitFailed : kExitUsage;
    }
    if (outcome.JournalError) {
        WarnJournalFailed(outcome.JournalPath, journals.folder(), outcome.JournalError);
    }
    PrintSummary(counters, dryRun, null);
    if (outcome.JournalIncomplete) {
        // The run stopped when its journal could no longer be written, so what the journal
        // names is what it renamed; still, the journal cannot prove it.
        WriteText(stderr, "tovana-cli: the journal '" + tovana::EscapeField(outcome.UndonePath) +
                              "' is incomplete: writing it failed (" +
                              tovana::EscapeField(outcome.IncompleteWhy) +
                              "); every rename it names was " + (dryRun ? "checked" : "put back") +
                              ", and the run stopped before any rename it could not journal\n");
    }
    if (const int interrupted = InterruptExitStatus()) {
        return interrupted;
    }
    return outcome.Failed > 0 || counters.Stopped || outcome.JournalIncomplete ? kExitFailed : 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::unique_ptr<tovana::JournalStore> journals = tovana::JournalStore::ForCurrentUser();
    CLI::App app{
        "Renames files and folders in each folder PATH so that their names lose the diacritics "
        "of Central European letters (č, ř, ž, ů become c, r, z, u), and optionally changes "
        "spaces, underscores, other non-alphanumeric characters and letter case. Never "
        "replaces an existing file. A PATH that is a file is renamed itself, whatever --mask "
        "says; the mask selects files in the folders walked. A path given twice, or inside "
        "another given folder (with --subdirs), is handled once.\n\nOutput: one line per rename "
        "attempt (dir, file or "
        "failed, TAB, old path, TAB, new name), then a summary; a dry run ends with the line "
        "\"" DRY_RUN_LINE
        "\". In paths and names a backslash, tab, line feed and carriage "
        "return are written as \\\\, \\t, \\n, \\r, other control characters as \\xHH; "
        "with --null the three fields are written as they are, each followed by a NUL, and the "
        "summary goes to stderr. A failed rename is also explained on stderr.\n\n"
        "Every real run is journaled in " +
            journals->folder() +
            " (the newest 100 of the last 90 "
            "days are kept), one journal for all the PATHs of a run; --undo puts a run back, "
            "all of its PATHs, --history lists the journals (start, run or "
            "undo, done/stopped/interrupted/undone/partly-undone, files, folders, failed, folder, "
            "journal).\n"
            "Exit status: 0 when every rename succeeded, 1 when one failed or a folder could not "
            "be read, 2 for a usage error or a journal that cannot be undone, 130 or 143 when "
            "SIGINT or SIGTERM stopped it (the rename under way completes first).",
        "tovana-cli"};
    app.set_version_flag("--version", "tovana-cli " TOVANA_VERSION);

    RenameOptions options;
    bool dryRun = false;
    bool saved = false;
    std::vector<std::string> paths;
    auto* folder = app.add_option("PATH", paths,
                                  "Folders to process and files to rename, in turn (with "
                                  "--saved, the stored folder if left out)");
    app.add_flag("-s,--subdirs", options.SubDir, "Include subfolders");
    app.add_flag("-d,--dirs", options.RenameDir, "Rename folders too");
    app.add_option("-m,--mask", options.Masks,
                   "File types to rename, e.g. \"*.JPG;*.BMP;*.GIF\" (default \"*.*\")");
    app.add_flag("--replace-space", options.ReplaceSpace, "Spaces become underscores");
    app.add_flag("--remove-space", options.RemoveSpace, "Spaces are deleted");
    app.add_flag("--replace-underscore", options.ReplaceUnderline, "Underscores become spaces");
    app.add_flag("--remove-underscore", options.RemoveUnderline, "Underscores are deleted");
    app.add_flag("--non-alnum", options.NonAlphaNum,
                 "Non-alphanumeric characters before the extension become underscores");
    auto* upper = app.add_flag("--upper", options.ToUpperCase, "Whole name to upper case");
    auto* lower = app.add_flag("--lower", options.ToLowerCase, "Whole name to lower case");
    upper->excludes(lower);
    app.add_option("--legacy", options.Legacy,
                   "How names that are not UTF-8 are read: auto (the code page that reads all of "
                   "them best), cp1250, iso-8859-2, cp852, or none (left as they are)")
        ->transform(CLI::CheckedTransformer(LegacyChoices()))
        ->option_text("auto|cp1250|iso-8859-2|cp852|none (default auto)");
    app.add_flag("--fix-mojibake", options.FixMojibake,
                 "Repair names that were UTF-8 read as Windows-1250, ISO 8859-2 or CP852 and "
                 "written back (\"PĹ™ĂliĹˇ\" becomes \"Příliš\") before cleaning them");
    app.add_flag("--saved", saved,
                 "Start from the options the window stored (" + tovana::SettingsLocation() +
                     "); the options given here add to them");
    app.add_flag("-n,--dry-run", dryRun, "Change nothing; print what a run would do");
    bool null = false;
    bool noJournal = false;
    bool history = false;
    std::string undoJournal;
    app.add_flag("-0,--null", null,
                 "Write each row's fields unescaped, each followed by a NUL; the summary goes to "
                 "stderr");
    auto* undo = app.add_option("--undo", undoJournal,
                                "Put back the renames of the newest run not undone yet, or of "
                                "the run journaled in JOURNAL; never replaces anything")
                     ->expected(0, 1)
                     ->type_name("[JOURNAL]");
    app.add_flag("--history", history, "List the journaled runs, oldest first");
    app.add_flag("--no-journal", noJournal,
                 "Do not journal this run or undo (it cannot be undone)");

    PrepareOutput();
    try {
        std::vector<std::string> arguments = CommandLineArguments(argc, argv);
        std::reverse(arguments.begin(), arguments.end());
        app.parse(arguments);
    } catch (const CLI::ParseError& e) {
        // Help, version and usage errors go out like every other line of the program.
        std::ostringstream out;
        std::ostringstream err;
        const int status = app.exit(e, out, err);
        WriteText(stdout, out.str());
        WriteText(stderr, err.str());
        return status == 0 ? 0 : kExitUsage;
    }
    if (history || undo->count() > 0) {
        if (folder->count() > 0 || saved || (history && undo->count() > 0)) {
            std::fputs("tovana-cli: --undo and --history take no PATH and no other mode\n", stderr);
            return kExitUsage;
        }
        static char buffer[1 << 16];
        std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
        const int status = history ? PrintHistory(*journals, null)
                                   : Undo(*journals, undoJournal, dryRun, null, noJournal);
        if (std::fflush(stdout) != 0) {
            std::perror("tovana-cli: writing the output");
            return kExitFailed;
        }
        return status;
    }
    if (!paths.empty()) {
        options.Path = paths.front();
    }
    if (saved) {
        try {
            options = WithSavedOptions(options, app);
        } catch (const tovana::SettingsError& error) {
            WriteText(stderr, std::string("tovana-cli: stored settings: ") + error.what() + "\n");
            return kExitUsage;
        }
    } else if (folder->count() == 0) {
        WriteText(stderr, "tovana-cli: PATH is required\nRun with --help for more information.\n");
        return kExitUsage;
    }
    if (paths.empty()) {
        paths.push_back(options.Path);  // the stored folder
    }
    if (std::find(paths.begin(), paths.end(), std::string()) != paths.end()) {
        WriteText(stderr, "tovana-cli: PATH must not be empty\n");
        return kExitUsage;
    }
    options.Masks = tovana::UpperText(options.Masks);
    WarnAboutIneffectiveFlags(options);

    tovana::RaiseOpenFileLimit();
    const std::unique_ptr<tovana::FileSystem> platform = tovana::MakeFileSystem();
    tovana::DryRunFileSystem dry(*platform);
    tovana::FileSystem& chosen = dryRun ? dry : *platform;
    // Tests and benchmarks may ask for a slow disk (see SlowFileSystem.h).
    tovana::SlowFileSystem slow(chosen, tovana::FileSystemDelayFromEnvironment());
    tovana::FileSystem& fileSystem = slow.delay().count() > 0 ? slow : chosen;

    // Rows go to a terminal line by line, elsewhere in blocks flushed at least per folder.
    static char outputBuffer[1 << 16];
    std::setvbuf(stdout, outputBuffer, ::isatty(::fileno(stdout)) == 1 ? _IOLBF : _IOFBF,
                 sizeof outputBuffer);
    PrepareClosedOutput();
    // Interrupts stop the run through this request; so may anything else that must end the run
    // cleanly after the rename under way (a reader of the rows that went away).
    tovana::StopRequest stop;
    StopOnInterrupt(stop);
    LinesSink sink(::isatty(::fileno(stderr)) == 1, null, stop);
    tovana::RunCounters counters;
    bool journalStopped = false;
    const std::string journalFolder = journals ? journals->folder() : std::string();
    const std::vector<Target> targets = Targets(paths, options.SubDir, fileSystem);
    // Each path in turn, into the one summary (and the one journal).
    const auto runAll = [&](tovana::RunSink& to) {
        for (const Target& target : targets) {
            if (stop.Requested()) {
                counters.Stopped = true;
                break;
            }
            RenameOptions one = options;
            one.Path = target.path;
            tovana::RunCounters its;
            if (target.file) {
                tovana::RenameNamedFile(one, fileSystem, to, its, stop);
            } else {
                tovana::Run(one, fileSystem, to, its, stop, journalFolder);
            }
            counters.FileCount += its.FileCount;
            counters.DirCount += its.DirCount;
            counters.Stopped = counters.Stopped || its.Stopped;
        }
    };
    if (dryRun || noJournal) {
        runAll(sink);
    } else {
        tovana::JournalHeader header{"tovana-cli " TOVANA_VERSION, options, {}, {}};
        for (const Target& target : targets) {
            header.OtherPaths.push_back(target.path);
        }
        tovana::RunJournal journal(*journals, sink, header);
        // A journaled run makes no rename its journal cannot hold.
        journal.StopWhenUnwritable(stop);
        runAll(journal);
        journal.Finish(counters);
        if (journal.error()) {
            sink.ClearProgress();
            journalStopped = !journal.path().empty();
            WarnJournalFailed(journal.path(), journals->folder(), journal.error(), journalStopped);
        }
    }
    sink.ClearProgress();
    if (sink.outputClosed() && InterruptExitStatus() == 0) {
        // Nobody reads the rows any more; the run ended after the rename under way (the journal
        // holds every rename made).
        WriteText(stderr, "tovana-cli: the output was closed; stopped after " +
                              std::to_string(counters.FileCount + counters.DirCount) +
                              " renames\n");
        return kExitFailed;
    }
    PrintSummary(counters, dryRun, null);
    if (std::fflush(stdout) != 0) {
        std::perror("tovana-cli: writing the output");
        return kExitFailed;
    }
    if (const int interrupted = InterruptExitStatus()) {
        return interrupted;
    }
    return sink.failed() || journalStopped ? kExitFailed : 0;
}
