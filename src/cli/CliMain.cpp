// tovana-cli: the renaming run for scripts and servers.
//
// arguments -> RenameOptions -> run -> one line per rename attempt on stdout, the summary,
// and an exit status (0 all renamed, 1 something failed or could not be read, 2 usage).
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include <CLI/CLI.hpp>

#include "TovanaVersion.h"
#include "cli/CliPlatform.h"
#include "rename/DryRunFileSystem.h"
#include "rename/NameText.h"
#include "rename/Platform.h"
#include "rename/RenameRun.h"
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

// Thrown by the sink to end the run after the rename under way.
struct StopRun {};

// Paths as the user wrote them: without the delimiter the walk ends folder prefixes with.
std::string WithoutTrailingDelimiter(std::string path) {
    while (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) {
        path.pop_back();
    }
    return path;
}

class LinesSink : public tovana::RunSink {
  public:
    explicit LinesSink(bool showProgress) : showProgress_(showProgress) {}

    // Written piece by piece: a row's path can be long, and is not copied once more.
    void Append(const LogEntry& entry) override {
        const char* kind = KindWord(entry.Kind);
        std::fwrite(kind, 1, std::strlen(kind), stdout);
        std::fputc('\t', stdout);
        std::fwrite(entry.Path.data(), 1, entry.Path.size(), stdout);
        std::fputc('\t', stdout);
        std::fwrite(entry.NewName.data(), 1, entry.NewName.size(), stdout);
        std::fputc('\n', stdout);
        failed_ |= entry.Kind == tovana::rkFailed;
        CheckStop();
    }

    void FolderUnreadable(const std::string& path, std::error_code error) override {
        ClearProgress();
        if (error == std::errc::not_a_directory) {
            std::fprintf(stderr, "tovana-cli: '%s' is not a folder\n",
                         WithoutTrailingDelimiter(path).c_str());
        } else {
            std::fprintf(stderr, "tovana-cli: cannot read folder '%s': %s\n", path.c_str(),
                         error.message().c_str());
        }
        failed_ = true;
    }

    // Rows go out at least once per folder, so a run killed outright has told all but the
    // last folder's renames; a terminal gets each row as it is made (line buffering).
    void Progress(std::size_t entriesSeen) override {
        if (std::fflush(stdout) != 0 || OutputClosed()) {
            outputClosed_ = true;
        }
        CheckStop();
        ShowProgress(entriesSeen);
    }

    void TemporaryName(const std::string& path, const std::string& temporary,
                       bool leftThere) override {
        if (leftThere) {
            ClearProgress();
            std::fprintf(stderr,
                         "tovana-cli: '%s' could be moved neither on nor back; it is in the same "
                         "folder under the name '%s'\n",
                         path.c_str(), temporary.c_str());
        }
    }

    void RenameFallback(const std::string& folderPath, tovana::RenameMethod method,
                        bool folder) override {
        ClearProgress();
        const std::string where =
            WithoutTrailingDelimiter(folderPath.empty() ? "." : folderPath);
        if (method == tovana::RenameMethod::NotAtAll) {
            std::fprintf(stderr,
                         "tovana-cli: note: folders are not renamed on the file system of '%s': "
                         "it loses a renamed folder's contents\n",
                         where.c_str());
            return;
        }
        std::fprintf(stderr,
                     "tovana-cli: note: the file system of '%s' has no no-overwrite rename; %s "
                     "are renamed there by %s\n",
                     where.c_str(), folder ? "folders" : "files", tovana::RenameMethodText(method));
    }

    void ClearProgress() {
        if (progressShown_) {
            std::fputs("\r\033[K", stderr);
            progressShown_ = false;
        }
    }

    bool failed() const { return failed_; }
    bool outputClosed() const { return outputClosed_; }

  private:
    // A closed output pipe or a stop signal ends the run here, between two renames.
    void CheckStop() {
        if (StopSignal() != 0) {
            throw StopRun{};
        }
        if (!outputClosed_ && (std::ferror(stdout) != 0 || OutputClosed())) {
            outputClosed_ = true;
        }
        if (outputClosed_) {
            throw StopRun{};
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
        std::fprintf(stderr, "\rtovana-cli: %zu entries read", entriesSeen);
        progressShown_ = true;
    }

    static constexpr auto kProgressInterval = std::chrono::milliseconds(200);
    bool showProgress_;
    bool progressShown_ = false;
    bool failed_ = false;
    bool outputClosed_ = false;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point lastShown_{};
};

// A flag that another one greys out in the window does nothing; say so rather than ignore it.
void WarnAboutIneffectiveFlags(const RenameOptions& o) {
    const auto warn = [](const char* flag, const char* blocker) {
        std::fprintf(stderr, "tovana-cli: warning: %s has no effect together with %s\n", flag,
                     blocker);
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
    if (has("FOLDER")) {
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
    if (given.ToUpperCase || given.ToLowerCase) {
        o.ToUpperCase = given.ToUpperCase;
        o.ToLowerCase = given.ToLowerCase;
    }
    return o;
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

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "Renames files and folders in FOLDER so that their names lose the diacritics of "
        "Central European letters (č, ř, ž, ů become c, r, z, u), and optionally changes "
        "spaces, underscores, other non-alphanumeric characters and letter case. Never "
        "replaces an existing file.\n\nOutput: one line per rename attempt (dir, file or "
        "failed, TAB, old path, TAB, new name), then a summary.\nExit status: 0 when every "
        "rename succeeded, 1 when one failed or a folder could not be read, 2 for a usage "
        "error.",
        "tovana-cli"};
    app.set_version_flag("--version", "tovana-cli " TOVANA_VERSION);

    RenameOptions options;
    bool dryRun = false;
    bool saved = false;
    auto* folder = app.add_option("FOLDER", options.Path,
                                  "Folder to process (with --saved, the stored one if left out)");
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
    app.add_flag("--saved", saved,
                 "Start from the options the window stored (" + tovana::SettingsLocation() +
                     "); the options given here add to them");
    app.add_flag("-n,--dry-run", dryRun,
                 "Change nothing; print what a run would do (as on a case-sensitive file system)");

    try {
        std::vector<std::string> arguments = CommandLineArguments(argc, argv);
        std::reverse(arguments.begin(), arguments.end());
        app.parse(arguments);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return kExitUsage;
    }
    if (saved) {
        try {
            options = WithSavedOptions(options, app);
        } catch (const tovana::SettingsError& error) {
            std::fprintf(stderr, "tovana-cli: stored settings: %s\n", error.what());
            return kExitUsage;
        }
    } else if (folder->count() == 0) {
        std::fputs("tovana-cli: FOLDER is required\nRun with --help for more information.\n",
                   stderr);
        return kExitUsage;
    }
    if (options.Path.empty()) {
        std::fputs("tovana-cli: FOLDER must not be empty\n", stderr);
        return kExitUsage;
    }
    options.Masks = tovana::UpperText(options.Masks);
    WarnAboutIneffectiveFlags(options);

    tovana::RaiseOpenFileLimit();
    const std::unique_ptr<tovana::FileSystem> platform = tovana::MakeFileSystem();
    tovana::DryRunFileSystem dry(*platform);
    tovana::FileSystem& fileSystem = dryRun ? dry : *platform;

    // Rows go to a terminal line by line, elsewhere in blocks flushed at least per folder.
    static char outputBuffer[1 << 16];
    std::setvbuf(stdout, outputBuffer, ::isatty(::fileno(stdout)) == 1 ? _IOLBF : _IOFBF,
                 sizeof outputBuffer);
    PrepareOutput();
    PrepareStops();
    LinesSink sink(::isatty(::fileno(stderr)) == 1);
    tovana::RunCounters counters;
    bool stopped = false;
    try {
        tovana::Run(options, fileSystem, sink, counters);
    } catch (const StopRun&) {
        stopped = true;
    }
    sink.ClearProgress();
    if (stopped && StopSignal() == 0 && sink.outputClosed()) {
        // Nobody reads the rows any more; the run ended after the rename under way.
        std::fprintf(stderr, "tovana-cli: the output was closed; stopped after %d renames\n",
                     counters.FileCount + counters.DirCount);
        return kExitFailed;
    }
    std::fputs(SummaryLines(counters).c_str(), stdout);
    const bool written = std::fflush(stdout) == 0;
    if (stopped) {
        std::fprintf(stderr, "tovana-cli: stopped by a signal after %d renames\n",
                     counters.FileCount + counters.DirCount);
        EndBySignal(StopSignal());
    }
    if (!written) {
        std::perror("tovana-cli: writing the output");
        return kExitFailed;
    }
    return sink.failed() ? kExitFailed : 0;
}
