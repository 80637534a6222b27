#include "journal/Journal.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <map>
#include <ostream>

#include "journal/Escape.h"
#include "names/PathRules.h"
#include "names/SettingTable.h"

namespace tovana {
namespace {

using namespace std::chrono;

// Version 1 wrote each intent and temporary name with its entry's whole path; version 2 names
// the entry in the folder the last `at` record gave, so a journal grows with the entries and not
// with the depth of the tree.
constexpr int kFormatVersion = 2;
constexpr int kFirstVersion = 1;
constexpr auto kMaxAge = hours(24 * 90);
constexpr std::size_t kKeep = 100;

std::string IsoTime(system_clock::time_point time) {
    // The file name holds the same fields; only the separators differ.
    std::string text = JournalName(time);
    text.resize(text.find(".journal"));
    text[10] = 'T';
    text[13] = ':';
    text[16] = ':';
    return text + 'Z';
}

void Field(std::string& line, std::string_view text) {
    line += '\t';
    AppendEscaped(line, text);
}

std::string Record(std::initializer_list<std::string_view> fields) {
    std::string line;
    for (const std::string_view field : fields) {
        if (!line.empty()) {
            line += '\t';
        }
        AppendEscaped(line, field);
    }
    return line + '\n';
}

std::vector<std::string_view> SplitTabs(std::string_view line) {
    std::vector<std::string_view> fields;
    for (;;) {
        const std::size_t tab = line.find('\t');
        fields.push_back(line.substr(0, tab));
        if (tab == std::string_view::npos) {
            return fields;
        }
        line.remove_prefix(tab + 1);
    }
}

// Every intent and outcome carries one: written two digits at a time from the end.
constexpr std::size_t kMostDigits = 20;
constexpr char kTwoDigits[] =
    "0001020304050607080910111213141516171819202122232425262728293031323334353637383940414243"
    "4445464748495051525354555657585960616263646566676869707172737475767778798081828384858687"
    "888990919293949596979899";
// `out` has room for kMostDigits bytes: the digits are copied in one piece of that size, and
// the bytes after them are room for what comes next.
char* PutNumber(char* out, std::size_t value) {
    char digits[2 * kMostDigits];
    char* const end = digits + kMostDigits;
    char* first = end;
    while (value >= 100) {
        const std::size_t two = value % 100 * 2;
        value /= 100;
        *--first = kTwoDigits[two + 1];
        *--first = kTwoDigits[two];
    }
    if (value >= 10) {
        *--first = kTwoDigits[value * 2 + 1];
        *--first = kTwoDigits[value * 2];
    } else {
        *--first = static_cast<char>('0' + value);
    }
    std::memcpy(out, first, kMostDigits);
    return out + (end - first);
}

void AppendNumber(std::string& line, std::size_t value) {
    char digits[kMostDigits];
    line.append(digits, static_cast<std::size_t>(PutNumber(digits, value) - digits));
}

template <std::size_t N>
char* Put(char* out, const char (&text)[N]) {
    return std::copy(text, text + N - 1, out);
}

// Whether `name` is the last part of `path` itself, after its last delimiter.
bool IsEntryName(std::string_view name, const std::string& path) {
    return name.size() < path.size() && name.data() + name.size() == path.data() + path.size() &&
           name.data()[-1] == kFolderDelimiter;
}

bool Number(std::string_view text, std::size_t& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

}  // namespace

namespace {

std::vector<std::string> FolderNames(const std::string& path) {
    std::vector<std::string> names;
    std::size_t at = 0;
    while (at <= path.size()) {
        const std::size_t end = std::min(path.find(kFolderDelimiter, at), path.size());
        names.push_back(path.substr(at, end - at));
        at = end + 1;
    }
    while (names.size() > 1 && names.back().empty()) {
        names.pop_back();  // delimiters at the end
    }
    return names;
}

// The deepest folder that is or holds each of `paths` (absolute, resolved): their common
// run of whole names. One path, or the same path each time, gives it as it is; paths with
// nothing in common (on other drives) give the first.
std::string CommonFolder(const std::vector<std::string>& paths) {
    if (std::all_of(paths.begin(), paths.end(),
                    [&](const std::string& path) { return path == paths.front(); })) {
        return paths.front();
    }
    std::vector<std::string> common = FolderNames(paths.front());
    for (const std::string& path : paths) {
        const std::vector<std::string> names = FolderNames(path);
        std::size_t same = 0;
        while (same < common.size() && same < names.size() && common[same] == names[same]) {
            ++same;
        }
        common.resize(same);
    }
    if (common.empty()) {
        return paths.front();
    }
    std::string folder;
    for (const std::string& name : common) {
        folder += name;
        folder += kFolderDelimiter;
    }
    // A root ("/", "C:\\") keeps its delimiter; other folders are named without one.
    if (common.size() > 1 || !common.front().empty()) {
        if (common.size() > 1 || common.front().back() != ':') {
            folder.pop_back();
        }
    }
    return folder;
}

}  // namespace

RunJournal::RunJournal(JournalStore& store, RunSink& front, const JournalHeader& header)
    : front_(front) {
    std::vector<std::string> resolved;
    for (const std::string& path : header.OtherPaths) {
        given_.emplace_back(path, journal_platform::ChosenFolderPath(path));
    }
    given_.emplace_back(header.Options.Path,
                        journal_platform::ChosenFolderPath(header.Options.Path));
    for (const auto& [path, absolute] : given_) {
        resolved.push_back(absolute);
    }
    absolute_ = CommonFolder(resolved);
    std::stable_sort(given_.begin(), given_.end(),
                     [](const auto& a, const auto& b) { return a.first.size() > b.first.size(); });
    const auto now = system_clock::now();
    store.Prune(now, kMaxAge, kKeep);
    std::string name;
    file_ = store.CreateJournal(now, name, error_);
    if (!file_) {
        return;
    }
    path_ = store.PathOf(name);
    std::string text =
        "# Tovana journal: one record per line, tab-separated, "
        "\\\\ \\t \\n \\r \\xHH escaped\n";
    text += Record({"tovana-journal", std::to_string(kFormatVersion)});
    text += Record({"platform", journal_platform::kPlatform});
    text += Record({"program", header.Program});
    text += Record({"started", IsoTime(now)});
    text += Record({"kind", header.Undoes.empty() ? "run" : "undo"});
    if (!header.Undoes.empty()) {
        text += Record({"undoes", header.Undoes});
    }
    text += Record({"folder", absolute_});
    if (header.Undoes.empty()) {
        for (const SettingRow& row : kSettings) {
            const std::string value = row.setting == Setting::Path ? absolute_
                                      : row.text != nullptr        ? header.Options.*row.text
                                      : header.Options.*row.on     ? "1"
                                                                   : "0";
            text += Record({"option", row.name, value});
        }
    }
    Write(text);
}

RunJournal::~RunJournal() = default;

void RunJournal::Write(std::string_view text) {
    if (!file_ || error_) {
        return;
    }
    error_ = file_->Append(text);
    if (error_) {
        file_->AppendLast(Record({"incomplete", error_.message()}));
        if (stopWhenUnwritable_ != nullptr) {
            stopWhenUnwritable_->Request();
        }
    }
}

// Paths of a run are built from the folder as given; the journal keeps them absolute, so that
// an undo from any other folder finds them.
std::string RunJournal::Recorded(const std::string& path) const {
    for (const auto& [given, absolute] : given_) {
        if (path.starts_with(given)) {
            return absolute + path.substr(given.size());
        }
    }
    for (const auto& [given, absolute] : given_) {
        // A chosen folder itself, without the delimiters it was given with.
        if (given.starts_with(path) &&
            given.find_first_not_of(kFolderDelimiter, path.size()) == std::string::npos) {
            return absolute.substr(0, absolute.size() - (given.size() - path.size()));
        }
    }
    return path;
}

void RunJournal::FlushOutcomes() {
    if (!outcomes_.empty()) {
        Write(outcomes_);
        outcomes_.clear();
    }
}

// Makes `folder` (a recorded path ending with its delimiter, or empty) the folder of the next
// intents: appends an `at` record to `text` that keeps the part of the current folder up to the
// last delimiter the two share and adds the rest.
void RunJournal::MoveTo(std::string& text, std::string_view folder) {
    std::size_t kept = 0;
    if (std::string_view(folder_).starts_with(folder)) {  // the same or one holding it
        if (folder.size() == folder_.size()) {
            return;
        }
        kept = folder.size();
    } else if (folder.starts_with(folder_)) {  // one inside it
        kept = folder_.size();
    } else {
        kept = std::mismatch(folder.begin(), folder.end(), folder_.begin(), folder_.end()).first -
               folder.begin();
    }
    const std::size_t delimiter =
        kept == 0 ? std::string_view::npos : folder.rfind(kFolderDelimiter, kept - 1);
    kept = delimiter == std::string_view::npos ? 0 : delimiter + 1;
    text += "at\t";
    AppendNumber(text, kept);
    Field(text, folder.substr(kept));
    text += '\n';
    // Deep trees have long paths: what the two share stays where it is.
    folder_.resize(kept);
    folder_ += folder.substr(kept);
}

// Appends to `text` what makes the folder of `path` the current one (see MoveTo) and gives the
// name of `path` in it: the recorded folder and name together are Recorded(path). The folder's
// recorded path is worked out once for all the entries of a folder.
std::string_view RunJournal::InFolder(std::string& text, const std::string& path) {
    // The entries of a folder come one after another: most are in the last entry's folder.
    const std::size_t known = givenFolder_.size();
    if (knownFolder_ && path.size() > known &&
        std::char_traits<char>::compare(path.data(), givenFolder_.data(), known) == 0) {
        const std::string_view name(path.data() + known, path.size() - known);
        if (name.find(kFolderDelimiter) == std::string_view::npos &&
            std::none_of(given_.begin(), given_.end(), [&](const auto& pair) {
                return pair.first.size() > givenFolder_.size() && path.starts_with(pair.first);
            })) {
            return name;
        }
    }
    const std::size_t cut = path.rfind(kFolderDelimiter);
    const std::string_view folder(path.data(), cut == std::string::npos ? 0 : cut + 1);
    const std::string_view name = std::string_view(path).substr(folder.size());
    const auto given = std::find_if(given_.begin(), given_.end(),
                                    [&](const auto& pair) { return path.starts_with(pair.first); });
    // Where the path begins with a given one that ends within its folder, every entry of that
    // folder begins with the same one (the longest that matches comes first).
    if (given != given_.end() && given->first.size() <= folder.size() && !name.empty()) {
        if (!knownFolder_ || folder != givenFolder_) {
            if (given->first == given->second) {  // given as its real path
                MoveTo(text, folder);
            } else {
                recorded_ = given->second;
                recorded_ += folder.substr(given->first.size());
                MoveTo(text, recorded_);
            }
            if (std::string_view(givenFolder_).starts_with(folder)) {
                givenFolder_.resize(folder.size());
            } else if (folder.starts_with(givenFolder_)) {
                givenFolder_ += folder.substr(givenFolder_.size());
            } else {
                givenFolder_.assign(folder);
            }
            knownFolder_ = true;
        }
        return name;
    }
    knownFolder_ = false;
    recorded_ = Recorded(path);
    const std::size_t recordedCut = recorded_.rfind(kFolderDelimiter);
    const std::size_t split =
        recordedCut == std::string::npos || recordedCut + 1 == recorded_.size() ? 0
                                                                                : recordedCut + 1;
    MoveTo(text, std::string_view(recorded_).substr(0, split));
    return std::string_view(recorded_).substr(split);
}

RunSink* RunJournal::Parallel(bool starts) {
    parallel_ = starts;
    return &ahead_;
}

void RunJournal::BeginRenames(const std::vector<PlannedRename>& planned) {
    if (!parallel_) {
        WriteIntents(planned);
    }
    front_.BeginRenames(planned);
}

void RunJournal::Append(LogEntry&& entry) {
    if (!parallel_) {
        WriteOutcome(entry);
    }
    front_.Append(std::move(entry));
}

void RunJournal::TemporaryName(const std::string& path, const std::string& temporary,
                               bool leftThere) {
    if (!parallel_) {
        WriteTemporary(path, temporary, leftThere);
    }
    front_.TemporaryName(path, temporary, leftThere);
}

void RunJournal::EndRenames() {
    if (!parallel_) {
        WriteEnd();
    }
    front_.EndRenames();
}

void RunJournal::FolderUnreadable(const std::string& path, std::error_code error) {
    if (!parallel_) {
        WriteUnreadable(path, error);
    }
    front_.FolderUnreadable(path, error);
}

void RunJournal::WriteIntents(const std::vector<PlannedRename>& planned) {
    const auto lock = Lock();
    ThreadBatches().push_back({nextId_, planned.size()});
    // The outcomes not written yet go with the intents, in one write. The records are written
    // in place into room that is kept from batch to batch and only grows: its first `used`
    // bytes.
    std::size_t used = 0;
    const auto makeRoom = [&](std::size_t most) {
        if (intents_.size() - used < most) {
            intents_.resize(std::max(used + most, 2 * intents_.size()));
        }
        return intents_.data() + used;
    };
    used = static_cast<std::size_t>(
        std::copy(outcomes_.begin(), outcomes_.end(), makeRoom(outcomes_.size())) -
        intents_.data());
    outcomes_.clear();
    for (const PlannedRename& rename : planned) {
        move_.clear();
        const std::string_view name = InFolder(move_, rename.Path);
        char* out = makeRoom(move_.size() + sizeof "intent\t\tfile\t\t\n" + kMostDigits +
                             kMostEscaped * (name.size() + rename.NewName.size()));
        out = std::copy(move_.begin(), move_.end(), out);
        out = Put(out, "intent\t");
        out = PutNumber(out, nextId_++);
        out = rename.IsFolder ? Put(out, "\tdir\t") : Put(out, "\tfile\t");
        // The walk found whether the entry's name and new name are plain; the name here may
        // not be the end of the entry's path (a chosen folder recorded by its real path).
        const bool plain = rename.PlainNames && IsEntryName(name, rename.Path);
        out = EscapeInto(out, name, plain);
        *out++ = '\t';
        out = EscapeInto(out, rename.NewName, plain);
        *out++ = '\n';
        used = static_cast<std::size_t>(out - intents_.data());
    }
    Write(std::string_view(intents_.data(), used));
}

// The calling thread's batches (under the lock). A run of one thread asks for its own every time.
std::vector<RunJournal::Batch>& RunJournal::ThreadBatches() {
    const std::thread::id thread = std::this_thread::get_id();
    if (lastBatches_ == nullptr || lastThread_ != thread) {
        lastThread_ = thread;
        lastBatches_ = &batches_[thread];  // a map's elements stay where they are
    }
    return *lastBatches_;
}

void RunJournal::WriteOutcome(const LogEntry& entry) {
    const auto lock = Lock();
    std::vector<Batch>& batches = ThreadBatches();
    if (!batches.empty() && batches.back().next < batches.back().count) {
        Batch& batch = batches.back();
        const std::size_t id = batch.firstId + batch.next++;
        if (entry.Kind == rkFailed) {
            ++failed_;
            outcomes_ += Record({"failed", std::to_string(id), ReasonWord(entry.Reason),
                                 entry.Error ? entry.Error.message() : std::string()});
        } else {
            char record[sizeof "done\t\n" + kMostDigits];
            char* out = PutNumber(Put(record, "done\t"), id);
            *out++ = '\n';
            outcomes_.append(record, static_cast<std::size_t>(out - record));
        }
    }
}

// Written before the entry leaves its old name, so that a run killed between the two steps
// leaves a journal that tells where the entry went.
void RunJournal::WriteTemporary(const std::string& path, const std::string& temporary,
                                bool leftThere) {
    const auto lock = Lock();
    if (!leftThere) {
        std::string text = std::move(outcomes_);
        outcomes_.clear();
        const std::string_view name = InFolder(text, path);
        text += "temporary";
        Field(text, name);
        Field(text, temporary);
        text += '\n';
        Write(text);
    }
}

// A folder's outcomes are written before its batch ends, so before the folder holding it is
// renamed: what a kill leaves without an outcome never holds an entry that was renamed.
void RunJournal::WriteEnd() {
    const auto lock = Lock();
    FlushOutcomes();
    std::vector<Batch>& batches = ThreadBatches();
    if (!batches.empty()) {
        batches.pop_back();
    }
}

void RunJournal::WriteUnreadable(const std::string& path, std::error_code error) {
    const auto lock = Lock();
    outcomes_ += Record({"unreadable", Recorded(path), error.message()});
}

void RunJournal::Progress(std::size_t entriesSeen) {
    front_.Progress(entriesSeen);
}

void RunJournal::Finish(const RunCounters& counters) {
    const std::lock_guard lock(mutex_);
    FlushOutcomes();
    if (counters.Stopped) {
        Write(Record({"stopped"}));
    }
    Write(Record({"end", std::to_string(counters.FileCount), std::to_string(counters.DirCount),
                  std::to_string(failed_)}));
    if (file_ && !error_) {
        error_ = file_->Sync();
    }
}

JournalFolders::JournalFolders() {
    folders_.emplace_back();  // kNone
}

std::size_t JournalFolders::KeyHash::operator()(const Key& key) const noexcept {
    return std::hash<std::string_view>()(key.name) ^ (key.parent * 0x9E3779B97F4A7C15u);
}

std::size_t JournalFolders::Add(std::size_t parent, std::string_view name) {
    if (const auto found = index_.find({parent, name}); found != index_.end()) {
        return found->second;
    }
    const Folder& holder = folders_[parent];
    folders_.push_back(
        {parent, holder.Depth + 1, holder.Length + name.size() + 1, std::string(name)});
    index_.emplace(Key{parent, folders_.back().Name}, folders_.size() - 1);
    return folders_.size() - 1;
}

std::size_t JournalFolders::Find(std::size_t parent, std::string_view name) const {
    const auto found = index_.find({parent, name});
    return found == index_.end() ? kNotThere : found->second;
}

std::size_t JournalFolders::FindPath(std::size_t from, std::string_view& path) const {
    for (std::size_t cut = path.find(kFolderDelimiter);
         from != kNotThere && cut != std::string_view::npos; cut = path.find(kFolderDelimiter)) {
        from = Find(from, path.substr(0, cut));
        path.remove_prefix(cut + 1);
    }
    return from;
}

void JournalFolders::AppendPath(std::string& path, std::size_t folder) const {
    const std::size_t start = path.size();
    path.resize(start + folders_[folder].Length);
    // Filled from its end, each name before the delimiter that ends it.
    std::size_t end = path.size();
    for (; folder != kNone; folder = folders_[folder].Parent) {
        const std::string& name = folders_[folder].Name;
        path[--end] = kFolderDelimiter;
        end -= name.size();
        std::copy(name.begin(), name.end(), path.begin() + static_cast<std::ptrdiff_t>(end));
    }
}

std::string JournalPath::Whole() const {
    std::string whole;
    if (Folders) {
        whole.reserve((*Folders)[Folder].Length + Name.size());
        Folders->AppendPath(whole, Folder);
    }
    return whole + Name;
}

bool operator==(const JournalPath& a, const JournalPath& b) {
    if (a.Folders == b.Folders) {
        return a.Folder == b.Folder && a.Name == b.Name;
    }
    return a.Whole() == b.Whole();
}

bool operator==(const JournalPath& a, std::string_view whole) {
    return a.Whole() == whole;
}

std::ostream& operator<<(std::ostream& out, const JournalPath& path) {
    return out << path.Whole();
}

namespace {

// Reads the records of `text` up to its last line feed: a write cut short by the end of the
// process leaves a last line without one.
JournalProblem ParseJournal(std::string_view text, Journal& journal, std::string& detail) {
    text = text.substr(0, text.rfind('\n') == std::string::npos ? 0 : text.rfind('\n') + 1);
    std::map<std::size_t, std::size_t> byId;  // intent ID -> index in Entries
    std::vector<bool> hasOutcome;
    std::size_t lineNumber = 0;
    bool started = false;
    std::size_t version = 0;
    journal.Folders = std::make_shared<JournalFolders>();
    JournalFolders& folders = *journal.Folders;
    // Version 2: the folder the last `at` record gave, as a folder of the table and what follows
    // its last delimiter (nothing, unless the journal was edited).
    std::size_t folder = JournalFolders::kNone;
    std::string partial;
    // Makes the delimiters in `partial` folders of the table, going down from `folder`.
    const auto descend = [&]() {
        std::size_t from = 0;
        for (std::size_t cut = partial.find(kFolderDelimiter); cut != std::string::npos;
             cut = partial.find(kFolderDelimiter, from)) {
            folder = folders.Add(folder, std::string_view(partial).substr(from, cut - from));
            from = cut + 1;
        }
        partial.erase(0, from);
    };
    // The path of an entry: as written in version 1, the current folder and the name written in
    // version 2; split into the folder its last delimiter ends and the name after it.
    std::string joined;
    const auto entryPath = [&](std::string_view field, JournalPath& path) {
        if (!UnescapeField(field, path.Name)) {
            return false;
        }
        path.Folders = journal.Folders;
        path.Folder = version > 1 ? folder : JournalFolders::kNone;
        if (version > 1 && !partial.empty()) {
            joined = partial;
            joined += path.Name;
            path.Name.swap(joined);
        }
        std::size_t from = 0;
        for (std::size_t cut = path.Name.find(kFolderDelimiter); cut != std::string::npos;
             cut = path.Name.find(kFolderDelimiter, from)) {
            path.Folder =
                folders.Add(path.Folder, std::string_view(path.Name).substr(from, cut - from));
            from = cut + 1;
        }
        path.Name.erase(0, from);
        return true;
    };
    const auto damaged = [&](const std::string& why) {
        detail = "line " + std::to_string(lineNumber) + ": " + why;
        return JournalProblem::Damaged;
    };
    std::string a, b;
    JournalPath path;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        const std::string_view line(text.data() + at, end - at);
        at = end + 1;
        ++lineNumber;
        if (line.empty() || line.front() == '#') {
            continue;
        }
        const std::vector<std::string_view> f = SplitTabs(line);
        const std::string_view kind = f[0];
        if (!started) {
            if (kind != "tovana-journal" || f.size() != 2) {
                return damaged("not a Tovana journal");
            }
            if (!Number(f[1], version) || version < kFirstVersion || version > kFormatVersion) {
                return damaged("format version " + std::string(f[1]) + " is not known");
            }
            started = true;
            continue;
        }
        if (journal.Complete) {
            return damaged("a record after the end");
        }
        if (kind == "intent") {
            std::size_t id = 0;
            if (f.size() != 5 || !Number(f[1], id) || (f[2] != "file" && f[2] != "dir") ||
                !entryPath(f[3], path) || !UnescapeField(f[4], b) || byId.count(id) != 0) {
                return damaged("a damaged intent");
            }
            byId[id] = journal.Entries.size();
            journal.Entries.push_back(
                {f[2] == "dir", std::move(path), b, Outcome::Unknown, FailReason::None, {}});
            hasOutcome.push_back(false);
        } else if (kind == "done" || kind == "failed") {
            std::size_t id = 0;
            const bool done = kind == "done";
            if (f.size() != (done ? 2u : 4u) || !Number(f[1], id) || byId.count(id) == 0 ||
                hasOutcome[byId[id]] || (!done && !UnescapeField(f[2], a))) {
                return damaged("an outcome without its intent");
            }
            const std::size_t index = byId[id];
            JournalEntry& entry = journal.Entries[index];
            hasOutcome[index] = true;
            journal.Order.push_back(index);
            if (done) {
                entry.Result = Outcome::Done;
                ++(entry.IsFolder ? journal.Dirs : journal.Files);
            } else {
                entry.Result = Outcome::Failed;
                entry.Reason = ReasonFromWord(a);
                ++journal.Failed;
            }
        } else if (kind == "end") {
            journal.Complete = true;
        } else if (kind == "stopped" && f.size() == 1) {
            journal.Stopped = true;
        } else if (kind == "incomplete" && f.size() == 2 && UnescapeField(f[1], a)) {
            journal.Incomplete = true;
            journal.IncompleteWhy = a;
        } else if (kind == "temporary") {
            if (f.size() != 3 || !entryPath(f[1], path) || !UnescapeField(f[2], b)) {
                return damaged("a damaged temporary name");
            }
            // The entry is one of the batch under way, near the end.
            for (auto entry = journal.Entries.rbegin(); entry != journal.Entries.rend(); ++entry) {
                if (entry->Path.Folder == path.Folder && entry->Path.Name == path.Name) {
                    entry->Temporary = b;
                    break;
                }
            }
        } else if (kind == "at" && version > 1) {
            std::size_t kept = 0;
            if (f.size() != 3 || !Number(f[1], kept) ||
                kept > folders[folder].Length + partial.size() || !UnescapeField(f[2], a)) {
                return damaged("a damaged folder of intents");
            }
            if (kept >= folders[folder].Length) {
                partial.resize(kept - folders[folder].Length);
            } else {
                // Up to the folder that holds the first `kept` bytes; the rest of them begin
                // the name of the one below it.
                std::size_t below = folder;
                while (folders[folder].Length > kept) {
                    below = folder;
                    folder = folders[folder].Parent;
                }
                partial.assign(folders[below].Name, 0, kept - folders[folder].Length);
            }
            partial += a;
            descend();
        } else if (kind == "unreadable") {
            // For people reading the journal; an undo has nothing to do with it.
        } else if (f.size() == 2 && UnescapeField(f[1], a)) {
            if (kind == "platform") {
                journal.Platform = a;
            } else if (kind == "program") {
                journal.Program = a;
            } else if (kind == "started") {
                journal.Started = a;
            } else if (kind == "undoes") {
                journal.Undoes = a;
            } else if (kind == "folder") {
                journal.Folder = a;
            } else if (kind != "kind") {
                return damaged("an unknown record");
            }
        } else if (kind == "option" && f.size() == 3 && UnescapeField(f[2], b)) {
            for (const SettingRow& row : kSettings) {
                if (f[1] == row.name && row.text != nullptr) {
                    journal.Options.*row.text = b;
                } else if (f[1] == row.name) {
                    journal.Options.*row.on = b == "1";
                }
            }
        } else {
            return damaged("an unknown record");
        }
    }
    if (!started) {
        lineNumber = 1;
        return damaged("not a Tovana journal");
    }
    if (journal.Platform != journal_platform::kPlatform) {
        detail = "written on " + (journal.Platform.empty() ? "an unknown platform"
                                                           : "platform " + journal.Platform);
        return JournalProblem::OtherPlatform;
    }
    for (std::size_t i = 0; i < journal.Entries.size(); ++i) {
        if (!hasOutcome[i]) {
            journal.Order.push_back(i);
        }
    }
    return JournalProblem::None;
}

// Only the header and the end of a journal, which hold all that the history shows; journals
// of big runs are long. A journal without its end is read whole.
JournalProblem ReadJournalHead(const std::string& path, Journal& journal, std::string& detail) {
    constexpr std::size_t kPart = 64 * 1024;
    std::string head, tail;
    if (const std::error_code error = ReadFileEnds(path, kPart, head, tail)) {
        detail = error.message();
        return JournalProblem::Unreadable;
    }
    if (tail.empty()) {  // short enough to have been read whole
        return ParseJournal(head, journal, detail);
    }
    const JournalProblem problem = ParseJournal(head, journal, detail);
    tail.resize(tail.rfind('\n') == std::string::npos ? 0 : tail.rfind('\n'));
    const std::size_t lastLine = tail.rfind('\n');
    const std::vector<std::string_view> end =
        SplitTabs(std::string_view(tail).substr(lastLine == std::string::npos ? 0 : lastLine + 1));
    std::size_t files = 0, dirs = 0, failed = 0;
    if (problem != JournalProblem::None || lastLine == std::string::npos || end.size() != 4 ||
        end[0] != "end" || !Number(end[1], files) || !Number(end[2], dirs) ||
        !Number(end[3], failed)) {
        return ReadJournal(path, journal, detail);
    }
    journal.Files = static_cast<int>(files);
    journal.Dirs = static_cast<int>(dirs);
    journal.Failed = static_cast<int>(failed);
    journal.Complete = true;
    const std::string_view before = std::string_view(tail).substr(0, lastLine);
    journal.Stopped = before.substr(before.rfind('\n') + 1) == "stopped";
    return JournalProblem::None;
}

}  // namespace

JournalProblem ReadJournal(const std::string& path, Journal& journal, std::string& detail) {
    journal = Journal{};
    journal.Name = SplitChosenFolder(path).name;
    std::string text;
    if (const std::error_code error = ReadWholeFile(path, text)) {
        detail = error.message();
        return JournalProblem::Unreadable;
    }
    return ParseJournal(text, journal, detail);
}

std::vector<JournalSummary> History(const JournalStore& store, std::error_code& error) {
    std::vector<JournalSummary> history;
    for (const std::string& name : store.Names(error)) {
        JournalSummary summary;
        summary.Path = store.PathOf(name);
        std::string detail;
        summary.Problem = ReadJournalHead(summary.Path, summary.Head, detail);
        summary.Head.Name = name;
        summary.Head.Entries.clear();
        summary.Head.Entries.shrink_to_fit();
        summary.Head.Order.clear();
        summary.Head.Order.shrink_to_fit();
        history.push_back(std::move(summary));
    }
    // Newest first: an undo is always newer than what it undoes, so whether it has been undone
    // itself is known when it is met.
    // An undo that failed for some entries, or was cut short, leaves its run partly in effect.
    enum class By { Nothing, Whole, Part };
    std::map<std::string, By> undone;
    for (auto it = history.rbegin(); it != history.rend(); ++it) {
        const By by = undone[it->Head.Name];
        it->Undone = by != By::Nothing;
        it->PartlyUndone = by == By::Part;
        if (it->Problem == JournalProblem::None && !it->Head.Undoes.empty() && !it->Undone) {
            // One whole undo among several (a stopped one continued) puts the run back.
            const bool whole = it->Head.Complete && !it->Head.Stopped && it->Head.Failed == 0;
            By& run = undone[it->Head.Undoes];
            run = whole || run == By::Whole ? By::Whole : By::Part;
        }
    }
    return history;
}

const JournalSummary* NewestUndoable(const std::vector<JournalSummary>& history) {
    for (auto it = history.rbegin(); it != history.rend(); ++it) {
        // A run undone in part is still the one to put back, until it is back whole. A journal
        // whose header was cut short (killed as it was written; no folder yet) holds nothing.
        if (it->Problem == JournalProblem::None && it->Head.Undoes.empty() &&
            !it->Head.Folder.empty() && (!it->Undone || it->PartlyUndone)) {
            return &*it;
        }
    }
    return nullptr;
}

}  // namespace tovana
