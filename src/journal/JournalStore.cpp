#include "journal/JournalStore.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace tovana {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono;

constexpr std::string_view kExtension = ".journal";

fs::path FsPath(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

bool Digits(const std::string& text, std::size_t at, std::size_t count, int& value) {
    if (at + count > text.size()) {
        return false;
    }
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

}  // namespace

std::string JournalName(system_clock::time_point time) {
    const auto day = floor<days>(time);
    const year_month_day date{day};
    const hh_mm_ss<microseconds> clock{floor<microseconds>(time - day)};
    char name[64];
    std::snprintf(name, sizeof name, "%04d-%02u-%02u_%02d-%02d-%02d.%06lld%s",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<int>(clock.hours().count()),
                  static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()),
                  static_cast<long long>(clock.subseconds().count()), kExtension.data());
    return name;
}

bool ParseJournalName(const std::string& name, system_clock::time_point& time) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, us = 0;
    if (!name.ends_with(kExtension) || name.size() < 26 || !Digits(name, 0, 4, y) ||
        name[4] != '-' || !Digits(name, 5, 2, mo) || name[7] != '-' || !Digits(name, 8, 2, d) ||
        name[10] != '_' || !Digits(name, 11, 2, h) || name[13] != '-' || !Digits(name, 14, 2, mi) ||
        name[16] != '-' || !Digits(name, 17, 2, s) || name[19] != '.' || !Digits(name, 20, 6, us)) {
        return false;
    }
    const std::string rest = name.substr(26, name.size() - 26 - kExtension.size());
    int n = 0;
    if (!rest.empty() && (rest[0] != '_' || !Digits(rest, 1, rest.size() - 1, n))) {
        return false;
    }
    const year_month_day date{year(y), month(static_cast<unsigned>(mo)),
                              day(static_cast<unsigned>(d))};
    if (!date.ok()) {
        return false;
    }
    time = sys_days(date) + hours(h) + minutes(mi) + seconds(s) + microseconds(us);
    return true;
}

std::error_code ReadWholeFile(const std::string& path, std::string& text) {
    std::ifstream in(FsPath(path), std::ios::binary);
    if (!in) {
        std::error_code error;
        return fs::exists(FsPath(path), error)
                   ? std::make_error_code(std::errc::permission_denied)
                   : std::make_error_code(std::errc::no_such_file_or_directory);
    }
    std::ostringstream out;
    out << in.rdbuf();
    text = std::move(out).str();
    return in.bad() ? std::make_error_code(std::errc::io_error) : std::error_code();
}

std::error_code ReadFileEnds(const std::string& path, std::size_t bytes, std::string& head,
                             std::string& tail) {
    std::ifstream in(FsPath(path), std::ios::binary | std::ios::ate);
    if (!in) {
        return ReadWholeFile(path, head);  // says why
    }
    const auto size = static_cast<std::size_t>(in.tellg());
    tail.clear();
    in.seekg(0);
    head.resize(size <= 2 * bytes ? size : bytes);
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    if (size > 2 * bytes) {
        tail.resize(bytes);
        in.seekg(static_cast<std::streamoff>(size - bytes));
        in.read(tail.data(), static_cast<std::streamsize>(bytes));
    }
    return in ? std::error_code() : std::make_error_code(std::errc::io_error);
}

JournalStore::JournalStore(std::string folder) : folder_(std::move(folder)) {}

std::unique_ptr<JournalStore> JournalStore::ForCurrentUser() {
    return std::make_unique<JournalStore>(journal_platform::DefaultFolder());
}

std::string JournalStore::PathOf(const std::string& name) const {
    return Utf8(FsPath(folder_) / FsPath(name));
}

std::unique_ptr<JournalFile> JournalStore::NewFile(const std::string& path,
                                                   std::error_code& error) {
    return journal_platform::NewFile(path, error);
}

std::unique_ptr<JournalFile> JournalStore::CreateJournal(system_clock::time_point start,
                                                         std::string& name,
                                                         std::error_code& error) {
    if (folder_.empty()) {
        error = std::make_error_code(std::errc::no_such_file_or_directory);
        return nullptr;
    }
    fs::create_directories(FsPath(folder_), error);
    if (error) {
        return nullptr;
    }
    // Two runs started in the same microsecond get "_2", "_3", ... which sort after the first.
    const std::string first = JournalName(start);
    for (int attempt = 1; attempt <= 100; ++attempt) {
        name = first;
        if (attempt > 1) {
            name.resize(first.size() - kExtension.size());
            name += '_';
            name += std::to_string(attempt);
            name += kExtension;
        }
        if (auto file = NewFile(PathOf(name), error)) {
            return file;
        }
        if (error != std::errc::file_exists) {
            return nullptr;
        }
    }
    return nullptr;
}

std::vector<std::string> JournalStore::Names(std::error_code& error) const {
    std::vector<std::pair<system_clock::time_point, std::string>> found;
    error.clear();
    if (folder_.empty() || !fs::exists(FsPath(folder_), error)) {
        return {};
    }
    for (fs::directory_iterator it(FsPath(folder_), error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = Utf8(it->path().filename());
        system_clock::time_point time;
        if (ParseJournalName(name, time)) {
            found.emplace_back(time, name);
        }
    }
    // By start time, then "_N" by its number (plain text order would put _10 before _2).
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        if (a.first != b.first) {
            return a.first < b.first;
        }
        if (a.second.size() != b.second.size()) {
            return a.second.size() < b.second.size();
        }
        return a.second < b.second;
    });
    std::vector<std::string> names;
    for (auto& [time, name] : found) {
        names.push_back(std::move(name));
    }
    return names;
}

void JournalStore::Prune(system_clock::time_point now, hours maxAge, std::size_t keep) const {
    std::error_code error;
    const std::vector<std::string> names = Names(error);
    const std::size_t excess = names.size() + 1 > keep ? names.size() + 1 - keep : 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        system_clock::time_point time;
        ParseJournalName(names[i], time);
        if (i < excess || now - time > maxAge) {
            fs::remove(FsPath(PathOf(names[i])), error);
        }
    }
}

}  // namespace tovana
