// tovana-cli: the renaming run for scripts and servers.
//
// arguments -> RenameOptions -> run (journaled) -> one line per rename attempt on stdout, the
// summary, and an exit status (0 all renamed, 1 something failed or could not be read,
// 2 usage or an unusable journal, 128 + the signal's number when an interrupt stopped it).
// --undo and --history read the journals.
#include <unistd.h>

#include <algorithm>
#include <charconv>
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
#include "cli/CliText.h"
#include "journal/Escape.h"
#include "journal/Journal.h"
#include "journal/Undo.h"
#include "names/NameText.h"
#include "names/PathRules.h"
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

std::string_view KindWord(tovana::ResultKind kind) {
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

class LinesSink : public tovana::RunSink {
  public:
    // `stop` is requested when nobody reads the rows any more.
    LinesSink(bool showProgress, bool null, tovana::StopRequest& stop)
        : showProgress_(showProgress), null_(null), stop_(stop) {}
    ~LinesSink() override { Flush(); }
    LinesSink(const LinesSink&) = delete;
    LinesSink& operator=(const LinesSink&) = delete;

    // Fields escaped and separated by tabs, or with --null raw and each ended by a NUL.
    void Append(LogEntry&& entry) override {
        // Written in place, in room for the longest row these fields can make.
        const std::string_view word = KindWord(entry.Kind);
        const std::string_view name = null_ ? std::string_view() : ShownFolderOf(entry.Path);
        const std::size_t most =
            null_ ? word.size() + entry.Path.size() + entry.NewName.size() + 3
                  : word.size() + shownFolderText_.size() +
                        tovana::kMostEscaped * (name.size() + entry.NewName.size()) + 3;
        if (rows_.size() - held_ < most) {
            rows_.resize(std::max(held_ + most, 2 * rows_.size()));
        }
        char* at = std::copy(word.begin(), word.end(), rows_.data() + held_);
        if (null_) {
            *at++ = '\0';
            at = std::copy(entry.Path.begin(), entry.Path.end(), at);
            *at++ = '\0';
            at = std::copy(entry.NewName.begin(), entry.NewName.end(), at);
            *at++ = '\0';
        } else {
            *at++ = '\t';
            at = std::copy(shownFolderText_.begin(), shownFolderText_.end(), at);
            at = tovana::ShownInto(at, name, entry.PlainNames);
            *at++ = '\t';
            at = tovana::ShownInto(at, entry.NewName, entry.PlainNames);
            *at++ = '\n';
        }
        held_ = static_cast<std::size_t>(at - rows_.data());
        if (lineByLine_ || held_ >= kRowsHeld) {
            Flush();
        }
        if (entry.Kind == tovana::rkFailed) {
            ClearProgress();
            WriteText(stderr, "tovana-cli: " +
                                  Format(_("cannot rename '%1' to '%2': %3"),
                                         {tovana::ShownField(entry.Path),
                                          tovana::ShownField(entry.NewName), ReasonText(entry)}) +
                                  "\n");
            failed_ = true;
        }
        CheckOutput();
    }

    void LegacyChosen(tovana::LegacyCodePage codePage, std::size_t names) override {
        ClearProgress();
        WriteText(stderr,
                  "tovana-cli: " +
                      Format(names == 1 ? _("%1 name not in UTF-8, read as %2")
                                        : _("%1 names not in UTF-8, read as %2"),
                             {std::to_string(names), tovana::LegacyCodePageName(codePage)}) +
                      "\n");
    }

    void FolderUnreadable(const std::string& path, std::error_code error) override {
        ClearProgress();
        if (error == std::errc::not_a_directory) {
            WriteText(stderr, "tovana-cli: " +
                                  Format(_("'%1' is not a folder"),
                                         {tovana::ShownField(tovana::TrimmedPath(path))}) +
                                  "\n");
        } else {
            WriteText(stderr, "tovana-cli: " +
                                  Format(_("cannot read folder '%1': %2"),
                                         {tovana::ShownField(path), ErrorText(error)}) +
                                  "\n");
        }
        failed_ = true;
    }

    // Rows go out at least once per folder, so a run killed outright has told all but the
    // last folder's renames; a terminal gets each row as it is made (line buffering).
    void Progress(std::size_t entriesSeen) override {
        Flush();
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
            WriteText(stderr,
                      "tovana-cli: " +
                          Format(_("'%1' could be moved neither on nor back; it is in the "
                                   "same folder under the name '%2'"),
                                 {tovana::ShownField(path), tovana::ShownField(temporary)}) +
                          "\n");
        }
    }

    void RenameFallback(const std::string& folderPath, tovana::RenameMethod method,
                        bool folder) override {
        ClearProgress();
        const std::string where =
            tovana::ShownField(tovana::TrimmedPath(folderPath.empty() ? "." : folderPath));
        if (method == tovana::RenameMethod::NotAtAll) {
            WriteText(stderr, "tovana-cli: " +
                                  Format(_("note: folders are not renamed on the file system of "
                                           "'%1': it loses a renamed folder's contents"),
                                         {where}) +
                                  "\n");
            return;
        }
        WriteText(stderr, "tovana-cli: " +
                              Format(folder ? _("note: the file system of '%1' has no no-overwrite "
                                                "rename; folders are renamed there by %2")
                                            : _("note: the file system of '%1' has no no-overwrite "
                                                "rename; files are renamed there by %2"),
                                     {where, tovana::RenameMethodText(method)}) +
                              "\n");
    }

    void JobsChosen(const std::string& folderPath, int jobs) override {
        ClearProgress();
        WriteText(stderr, "tovana-cli: " +
                              Format(_("note: '%1' is on a network or FUSE file system; up to %2 "
                                       "folders are renamed there at once"),
                                     {tovana::ShownField(tovana::TrimmedPath(
                                          folderPath.empty() ? "." : folderPath)),
                                      std::to_string(jobs)}) +
                              "\n");
    }

    void JournalsLeftAlone(const std::string& path) override {
        ClearProgress();
        WriteText(stderr, "tovana-cli: " +
                              Format(_("note: the journals' folder '%1' is in the tree: it is "
                                       "not walked into, and neither it nor the folders holding "
                                       "it are renamed"),
                                     {tovana::ShownField(path)}) +
                              "\n");
    }

    // Hands the rows made so far to stdout, in one piece rather than one call per row.
    void Flush() {
        if (held_ == 0) {
            return;
        }
        if (!WriteHeld(std::string_view(rows_.data(), held_))) {
            outputClosed_ = true;
        }
        held_ = 0;
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
    // The rows of a folder's entries begin with the same folder path, shown once for them all:
    // a field shows the same split after a delimiter as whole, as no escape spans a delimiter.
    // Makes shownFolderText_ show the folder of `path`; returns the name in it.
    std::string_view ShownFolderOf(const std::string& path) {
        // Most rows are in the last row's folder.
        const std::size_t known = shownFolder_.size();
        if (path.size() > known &&
            std::char_traits<char>::compare(path.data(), shownFolder_.data(), known) == 0 &&
            std::string_view(path).find(tovana::kFolderDelimiter, known) == std::string::npos) {
            return std::string_view(path).substr(known);
        }
        const std::size_t cut = path.rfind(tovana::kFolderDelimiter);
        const std::string_view folder(path.data(), cut == std::string::npos ? 0 : cut + 1);
        if (folder != shownFolder_) {
            // A deep tree's rows come from one folder and then from the one holding it, and
            // its folders are entered one inside another: only the names that differ are shown
            // anew (both paths end with a delimiter, so each part is shown as it is whole).
            if (std::string_view(shownFolder_).starts_with(folder)) {
                scratch_.clear();
                tovana::AppendShown(scratch_, std::string_view(shownFolder_).substr(folder.size()));
                shownFolderText_.resize(shownFolderText_.size() - scratch_.size());
                shownFolder_.resize(folder.size());
            } else if (folder.starts_with(shownFolder_)) {
                tovana::AppendShown(shownFolderText_, folder.substr(shownFolder_.size()));
                shownFolder_ += folder.substr(shownFolder_.size());
            } else {
                shownFolder_.assign(folder);
                shownFolderText_.clear();
                tovana::AppendShown(shownFolderText_, folder);
            }
        }
        return std::string_view(path).substr(folder.size());
    }

    // A closed output pipe, or a write to stdout that failed, ends the run after the rename
    // under way.
    void CheckOutput() {
        if (!outputClosed_ && OutputClosed()) {
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
        WriteText(stderr,
                  "\rtovana-cli: " + Format(_("%1 entries read"), {std::to_string(entriesSeen)}));
        progressShown_ = true;
    }

    static constexpr auto kProgressInterval = std::chrono::milliseconds(200);
    bool showProgress_;
    bool null_;
    tovana::StopRequest& stop_;
    bool progressShown_ = false;
    bool failed_ = false;
    bool outputClosed_ = false;
    // Room for the rows not yet handed to stdout, the first held_ bytes of it; a terminal gets
    // each row as it is made.
    std::string rows_;
    std::size_t held_ = 0;
    static constexpr std::size_t kRowsHeld = 1 << 16;
    const bool lineByLine_ = ::isatty(::fileno(stdout)) == 1;
    std::string shownFolder_;      // the folder of the last row's path
    std::string shownFolderText_;  // ... as shown
    std::string scratch_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point lastShown_{};
};

// --jobs: a number of folders renamed at once, or "auto" (0: chosen by the file system).
bool JobsFromText(const std::string& text, int& jobs) {
    if (text == "auto") {
        jobs = 0;
        return true;
    }
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 1 || value > 256) {
        return false;
    }
    jobs = value;
    return true;
}

// A flag that another one greys out in the window does nothing; say so rather than ignore it.
void WarnAboutIneffectiveFlags(const RenameOptions& o) {
    using tovana::Setting;
    const auto warn = [](Setting flag, Setting blocker) {
        const auto name = [](Setting setting) { return tovana::LongFlag(tovana::RowOf(setting)); };
        WriteText(stderr, "tovana-cli: " +
                              Format(_("warning: %1 has no effect together with %2"),
                                     {name(flag), name(blocker)}) +
                              "\n");
    };
    if (o.ReplaceSpace && !o.ReplaceSpaceAvailable()) {
        warn(Setting::ReplaceSpace, Setting::ReplaceUnderline);
    }
    if (o.ReplaceUnderline && !o.ReplaceUnderlineAvailable()) {
        warn(Setting::ReplaceUnderline, Setting::ReplaceSpace);
    }
    if (o.RemoveSpace && !o.RemoveSpaceAvailable()) {
        warn(Setting::RemoveSpace, Setting::ReplaceSpace);
    }
    if (o.RemoveUnderline && !o.RemoveUnderlineAvailable()) {
        warn(Setting::RemoveUnderline, Setting::ReplaceUnderline);
    }
}

// The stored options, with what the command line gives added: flags switch on, a folder or a
// mask replaces the stored one, a letter case replaces the stored choice.
RenameOptions WithSavedOptions(const RenameOptions& given, const CLI::App& app) {
    const std::unique_ptr<tovana::SettingsStore> store = tovana::MakeSettingsStore();
    tovana::OptionsControls stored;
    tovana::LoadSettings(*store, stored);
    RenameOptions o = stored.options();
    for (const tovana::SettingRow& row : tovana::kSettings) {
        if (row.text == nullptr) {
            o.*row.on |= given.*row.on;
        } else if (app.count(std::string(tovana::LongFlag(row))) > 0) {
            o.*row.text = given.*row.text;
        }
    }
    o.Legacy = given.Legacy;
    o.FixMojibake = given.FixMojibake;
    if (given.ToUpperCase || given.ToLowerCase) {
        o.ToUpperCase = given.ToUpperCase;
        o.ToLowerCase = given.ToLowerCase;
    }
    return o;
}

std::string HelpText(const std::string& settings, const std::string& journals) {
#ifdef _WIN32
    const char* escapes =
        _("In rows and messages the characters 1-31, which a Windows name cannot hold\n"
          "but one made from Linux can, are written as <HH> (a tab as <09>).\n");
#else
    const char* escapes =
        _("In rows a backslash, tab, line feed and carriage return are written as \\\\,\n"
          "\\t, \\n, \\r, other control characters as \\xHH.\n");
#endif
    return std::string(
               _("Usage: tovana-cli [OPTION]... PATH...\n"
                 "  or:  tovana-cli --saved [OPTION]... [PATH]...\n"
                 "  or:  tovana-cli --undo [JOURNAL] [-n] [-q] [-0] [--no-journal]\n"
                 "  or:  tovana-cli --history [-0]\n"
                 "Rename the files in each folder PATH (and with -d the folders) so that their\n"
                 "names lose the diacritics of Central European letters (č, ř, ž, ů become c, r,\n"
                 "z, u); optionally change spaces, underscores, other characters and the letter\n"
                 "case. An existing file is never replaced. A PATH that is a file is renamed\n"
                 "itself, whatever --mask says. Each path is handled once: one given twice, or\n"
                 "lying in another given folder (with -s), is left to that one.\n"
                 "\n"
                 "Options:\n"
                 "  -s, --subdirs             include subfolders\n"
                 "  -d, --dirs                rename folders too\n"
                 "  -m, --mask MASK           file types to rename: *.EXT patterns separated by\n"
                 "                              \";\", e.g. \"*.jpg;*.png\" (default \"*.*\")\n"
                 "      --replace-space       spaces become underscores\n"
                 "      --remove-space        spaces are deleted\n"
                 "      --replace-underscore  underscores become spaces\n"
                 "      --remove-underscore   underscores are deleted\n"
                 "      --non-alnum           other characters than letters and digits before\n"
                 "                              the extension become underscores\n"
                 "      --upper               whole name to upper case\n"
                 "      --lower               whole name to lower case\n"
                 "      --legacy CODEPAGE     how names that are not UTF-8 are read: auto (the\n"
                 "                              code page that reads them best; the default),\n"
                 "                              cp1250, iso-8859-2, cp852, or none (left as is)\n"
                 "      --fix-mojibake        repair names that were UTF-8 read in a code page\n"
                 "                              (\"PĹ™ĂliĹˇ\" becomes \"Příliš\") before cleaning\n"
                 "      --saved               start from the options the window stored; the\n"
                 "                              options given here add to them\n"
                 "  -j, --jobs N              rename in up to N folders at once (1 to 256), or\n"
                 "                              auto (the default): 16 on network and FUSE file\n"
                 "                              systems; on local disks 1, while another thread\n"
                 "                              reads the next folders ahead\n"
                 "  -n, --dry-run             change nothing; print what a run would do\n"
                 "  -q, --quiet               no summary: only the rows and the errors\n"
                 "  -0, --null                rows unescaped, each field followed by a NUL;\n"
                 "                              the summary goes to stderr\n"
                 "      --undo [JOURNAL]      put back the newest run not undone yet, or the\n"
                 "                              run journaled in JOURNAL; replaces nothing\n"
                 "      --history             list the journaled runs, oldest first\n"
                 "      --no-journal          do not journal this run or undo\n"
                 "  -h, --help                print this help and exit\n"
                 "      --version             print the version and exit\n"
                 "\n"
                 "Output: one row per rename attempt: dir, file or failed, TAB, the old path,\n"
                 "TAB, the new name. The summary follows on stdout, on stderr with -0, not at\n"
                 "all with -q: scripts use -0 or -q. A dry run ends with the line\n"
                 "\"Dry run: nothing was renamed.\"\n")) +
           std::string(escapes) +
           Format(
               _("Errors, and why a rename failed, go to stderr.\n"
                 "\n"
                 "Every real run and undo is journaled (the newest 100 of the last 90 days are\n"
                 "kept), one journal for all the PATHs of a run: --undo puts them all back.\n"
                 "--history gives for each: its start, run or undo, done, stopped, interrupted,\n"
                 "journal-incomplete, undone or partly-undone, files, folders, failed, the folder\n"
                 "and the journal.\n"
                 "\n"
                 "Files:\n"
                 "  %1\n"
                 "                            the options the window stored (--saved)\n"
                 "  %2\n"
                 "                            the journals\n"
                 "\n"
                 "Exit status:\n"
                 "  0    every rename succeeded\n"
                 "  1    a rename failed or a folder could not be read\n"
                 "  2    a usage error, or a journal that cannot be undone\n"
                 "  130  stopped by SIGINT (143: SIGTERM) after the rename under way\n"
                 "\n"
                 "Examples:\n"
                 "  tovana-cli -n -s -d ~/Fotky    preview what a run would rename\n"
                 "  tovana-cli -s -d ~/Fotky       rename, subfolders and folders included\n"
                 "  tovana-cli --undo              put the last run back\n"),
               {settings, journals});
}

constexpr tovana::LegacyCodePage kLegacyChoices[] = {
    tovana::LegacyCodePage::Auto, tovana::LegacyCodePage::Cp1250, tovana::LegacyCodePage::Iso8859_2,
    tovana::LegacyCodePage::Cp852, tovana::LegacyCodePage::None};

// --legacy NAME: the code page's number for CLI11 to store, or the list of the valid names.
std::string LegacyChoice(std::string& value) {
    std::string names;
    for (const tovana::LegacyCodePage codePage : kLegacyChoices) {
        const std::string name = tovana::LegacyCodePageName(codePage);
        if (value == name) {
            value = std::to_string(static_cast<int>(codePage));
            return {};
        }
        names += (names.empty() ? "" : ", ") + name;
    }
    return Format(_("'%1' is not one of %2"), {value, names});
}

// Masks are "*.EXT" patterns separated by ";"; a list written with spaces or commas would
// quietly match only some of its types.
bool MaskIsAList(const std::string& masks) {
    std::size_t from = 0;
    while (from <= masks.size()) {
        std::size_t end = masks.find(';', from);
        if (end == std::string::npos) {
            end = masks.size();
        }
        const std::string_view part = std::string_view(masks).substr(from, end - from);
        if (!part.empty() && part != "*.*" &&
            (!part.starts_with('*') || part.find_first_of("*, \t", 1) != std::string_view::npos)) {
            return false;
        }
        from = end + 1;
    }
    return true;
}

// The chosen folder opens, or there is nothing to run: its error is said, and nothing is run or
// journaled.
bool ChosenFolderOpens(tovana::FileSystem& fileSystem, const std::string& path, LinesSink& sink) {
    std::error_code error;
    if (fileSystem.OpenFolder(path, error) != nullptr) {
        return true;
    }
    // An entry that is there but opens as no folder (a dangling link) is no folder.
    std::error_code ignored;
    const bool there =
        std::filesystem::symlink_status(std::filesystem::u8path(path), ignored).type() !=
        std::filesystem::file_type::not_found;
    if (error == std::errc::too_many_symbolic_link_levels ||
        (there && error == std::errc::no_such_file_or_directory)) {
        error = std::make_error_code(std::errc::not_a_directory);
    }
    sink.FolderUnreadable(path, error);
    return false;
}

// CLI11's messages, like every other, start with the program's name.
std::string Prefixed(const std::string& text) {
    std::string out;
    std::size_t from = 0;
    while (from < text.size()) {
        std::size_t end = text.find('\n', from);
        end = end == std::string::npos ? text.size() : end + 1;
        const std::string_view line = std::string_view(text).substr(from, end - from);
        if (line != "\n" && !line.starts_with("tovana-cli:")) {
            out += "tovana-cli: ";
        }
        out += line;
        from = end;
    }
    if (!out.empty() && !out.ends_with('\n')) {
        out += '\n';
    }
    return out;
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

// The summary, and for a dry run the line that says so; nothing with --quiet.
void PrintSummary(const tovana::RunCounters& counters, bool dryRun, bool null, bool quiet) {
    if (quiet) {
        return;
    }
    std::string text = SummaryLines(counters);
    if (dryRun) {
        text += std::string(_("Dry run: nothing was renamed.")) + "\n";
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
        target.file = tovana::TrimmedPath(path) == path &&
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
            const std::string shown = tovana::ShownField(t.path);
            const std::string text =
                !twice ? Format(_("note: '%1' lies in '%2'; handled there"),
                                {shown, tovana::ShownField(coveredBy)})
                : coveredBy == t.path
                    ? Format(_("note: '%1' is given twice; handled once"), {shown})
                    : Format(_("note: '%1' is the same as '%2'; handled once"),
                             {shown, tovana::ShownField(coveredBy)});
            WriteText(stderr, "tovana-cli: " + text + "\n");
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
         bool noJournal, bool quiet) {
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
    sink.Flush();
    PrintSummary(counters, dryRun, null, quiet);
    if (outcome.JournalIncomplete) {
        // The run stopped when its journal could no longer be written, so what the journal
        // names is what it renamed; still, the journal cannot prove it.
        WriteText(stderr,
                  "tovana-cli: " +
                      Format(dryRun ? _("the journal '%1' is incomplete: writing it failed (%2); "
                                        "every rename it names was checked, and the run stopped "
                                        "before any rename it could not journal")
                                    : _("the journal '%1' is incomplete: writing it failed (%2); "
                                        "every rename it names was put back, and the run stopped "
                                        "before any rename it could not journal"),
                             {tovana::ShownField(outcome.UndonePath),
                              tovana::ShownField(outcome.IncompleteWhy)}) +
                      "\n");
    }
    if (const int interrupted = InterruptExitStatus()) {
        return interrupted;
    }
    return outcome.Failed > 0 || counters.Stopped || outcome.JournalIncomplete ? kExitFailed : 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::unique_ptr<tovana::JournalStore> journals = tovana::JournalStore::ForCurrentUser();
    CLI::App app{"", "tovana-cli"};
    // The help is laid out by hand: 80 columns, the options in the order a user needs them.
    app.set_help_flag();
    bool help = false;
    app.add_flag("-h,--help", help);
    app.set_version_flag("--version", "tovana-cli " TOVANA_VERSION);

    // What each option does is told by HelpText.
    RenameOptions options;
    bool dryRun = false;
    bool saved = false;
    bool null = false;
    bool noJournal = false;
    bool history = false;
    bool quiet = false;
    std::string undoJournal;
    std::vector<std::string> paths;
    std::map<tovana::Setting, CLI::Option*> given;
    for (const tovana::SettingRow& row : tovana::kSettings) {
        given[row.setting] = row.setting == tovana::Setting::Path ? app.add_option(row.flag, paths)
                             : row.text != nullptr ? app.add_option(row.flag, options.*row.text)
                                                   : app.add_flag(row.flag, options.*row.on);
    }
    CLI::Option* folder = given[tovana::Setting::Path];
    CLI::Option* mask = given[tovana::Setting::Masks];
    // Options that cancel each other: typed together, neither would act.
    given[tovana::Setting::ToUpperCase]->excludes(given[tovana::Setting::ToLowerCase]);
    given[tovana::Setting::ReplaceSpace]->excludes(given[tovana::Setting::ReplaceUnderline]);
    app.add_option("--legacy", options.Legacy)->transform(CLI::Validator(LegacyChoice, ""));
    app.add_flag("--fix-mojibake", options.FixMojibake);
    app.add_flag("--saved", saved);
    std::string jobs = "auto";
    app.add_option("-j,--jobs", jobs);
    app.add_flag("-n,--dry-run", dryRun);
    app.add_flag("-q,--quiet", quiet);
    app.add_flag("-0,--null", null);
    auto* undo = app.add_option("--undo", undoJournal)->expected(0, 1);
    app.add_flag("--history", history);
    app.add_flag("--no-journal", noJournal);

    PrepareOutput();
    PrepareTexts();
    try {
        std::vector<std::string> arguments = CommandLineArguments(argc, argv);
        std::reverse(arguments.begin(), arguments.end());
        app.parse(arguments);
    } catch (const CLI::ParseError& e) {
        if (help) {
            WriteText(stdout, HelpText(tovana::SettingsLocation(), journals->folder()));
            return 0;
        }
        // Help, version and usage errors go out like every other line of the program.
        std::ostringstream out;
        std::ostringstream err;
        const int status = app.exit(e, out, err);
        WriteText(stdout, out.str());
        WriteText(stderr, Prefixed(err.str()));
        return status == 0 ? 0 : kExitUsage;
    }
    if (help) {
        WriteText(stdout, HelpText(tovana::SettingsLocation(), journals->folder()));
        return 0;
    }
    if (history || undo->count() > 0) {
        if (folder->count() > 0 || saved || (history && undo->count() > 0)) {
            WriteText(stderr, std::string("tovana-cli: ") +
                                  _("--undo and --history take no PATH and no other mode") + "\n");
            return kExitUsage;
        }
        static char buffer[1 << 16];
        std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
        const int status = history ? PrintHistory(*journals, null,
                                                  CzechUser() ? tovana::TimeForm::Czech
                                                              : tovana::TimeForm::English)
                                   : Undo(*journals, undoJournal, dryRun, null, noJournal, quiet);
        if (std::fflush(stdout) != 0) {
            std::perror((std::string("tovana-cli: ") + _("writing the output")).c_str());
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
            WriteText(stderr, std::string("tovana-cli: ") +
                                  Format(_("stored settings: %1"), {error.what()}) + "\n");
            return kExitUsage;
        }
    } else if (folder->count() == 0) {
        WriteText(stderr, Prefixed(std::string(_("PATH is required")) + "\n" +
                                   _("Run with --help for more information.") + "\n"));
        return kExitUsage;
    }
    if (paths.empty()) {
        paths.push_back(options.Path);  // the stored folder
    }
    if (std::find(paths.begin(), paths.end(), std::string()) != paths.end()) {
        WriteText(stderr, std::string("tovana-cli: ") + _("PATH must not be empty") + "\n");
        return kExitUsage;
    }
    if (mask->count() > 0 && !MaskIsAList(options.Masks)) {
        WriteText(stderr, "tovana-cli: " +
                              Format(_("--mask: '%1' is not a list of *.EXT patterns; separate "
                                       "them with \";\", e.g. \"*.jpg;*.png\""),
                                     {options.Masks}) +
                              "\n");
        return kExitUsage;
    }
    if (!JobsFromText(jobs, options.Jobs)) {
        WriteText(stderr,
                  "tovana-cli: " +
                      Format(_("--jobs: '%1' is neither a number from 1 to 256 nor auto"), {jobs}) +
                      "\n");
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
    // One folder that cannot be opened leaves nothing to run: its error is all there is to say.
    // Of several paths, one that cannot be read fails the run and the others go on.
    if (paths.size() == 1 && targets.size() == 1 && !targets.front().file &&
        !ChosenFolderOpens(*platform, targets.front().path, sink)) {
        return kExitFailed;
    }
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
    sink.Flush();
    sink.ClearProgress();
    if (sink.outputClosed() && InterruptExitStatus() == 0) {
        // Nobody reads the rows any more; the run ended after the rename under way (the journal
        // holds every rename made).
        WriteText(stderr, "tovana-cli: " +
                              Format(_("the output was closed; stopped after %1 renames"),
                                     {std::to_string(counters.FileCount + counters.DirCount)}) +
                              "\n");
        return kExitFailed;
    }
    PrintSummary(counters, dryRun, null, quiet);
    if (std::fflush(stdout) != 0) {
        std::perror((std::string("tovana-cli: ") + _("writing the output")).c_str());
        return kExitFailed;
    }
    if (const int interrupted = InterruptExitStatus()) {
        return interrupted;
    }
    return sink.failed() || journalStopped ? kExitFailed : 0;
}
