// How well the run reads legacy names and repairs damaged ones, measured on real words: the
// Debian hunspell word lists, converted at run time by glibc's iconv (not by the tables under
// test).
//
//   tovana_legacy_corpus [DICTIONARY_FOLDER]    (default /usr/share/hunspell)
//
// Legacy names: the words of each language written in Windows-1250, ISO 8859-2 and CP852, in
// folders of 1, 5 and 50 names; the run's choice of code page is scored per folder, and each
// name is checked against the word it was. Mojibake: the words written as UTF-8, read in each
// code page and written back as UTF-8, must come back (misses); the words as they are must stay
// untouched (false positives).
#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "names/LegacyText.h"

namespace {

using tovana::LegacyCodePage;

struct Language {
    const char* code;
    const char* dictionary;
};

constexpr Language kLanguages[] = {
    {"cs", "cs_CZ"}, {"sk", "sk_SK"}, {"pl", "pl_PL"},
    {"hu", "hu_HU"}, {"de", "de_DE"}, {"fr", "fr"},
};

const char* IconvName(LegacyCodePage codePage) {
    switch (codePage) {
        case LegacyCodePage::Cp1250:
            return "CP1250";
        case LegacyCodePage::Iso8859_2:
            return "ISO-8859-2";
        default:
            return "CP852";
    }
}

// Converts text with iconv; with `bytesAsControls`, a byte the source code page leaves
// unassigned becomes the C1 control of the same number, as Windows converts it.
std::optional<std::string> Convert(const char* to, const char* from, const std::string& text,
                                   bool bytesAsControls = false) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        std::perror("iconv_open");
        std::exit(2);
    }
    std::string out;
    std::string in = text;
    char* inPtr = in.data();
    std::size_t inLeft = in.size();
    char buffer[1024];
    bool ok = true;
    while (inLeft > 0) {
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
        if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
            const auto byte = static_cast<unsigned char>(*inPtr);
            if (bytesAsControls && errno == EILSEQ && byte >= 0x80 && byte <= 0x9F) {
                out += static_cast<char>(0xC2);
                out += static_cast<char>(byte);
                ++inPtr;
                --inLeft;
                continue;
            }
            ok = false;
            break;
        }
    }
    iconv_close(cd);
    return ok ? std::optional<std::string>(out) : std::nullopt;
}

bool HasUpperHalf(const std::string& s) {
    return std::any_of(s.begin(), s.end(),
                       [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

// The words of a hunspell dictionary as UTF-8, in the order of the file.
std::vector<std::string> ReadWords(const std::string& folder, const Language& language) {
    std::ifstream aff(folder + "/" + language.dictionary + ".aff");
    std::string line;
    std::string encoding = "UTF-8";
    while (std::getline(aff, line)) {
        if (line.rfind("SET ", 0) == 0) {
            encoding = line.substr(4);
            encoding.erase(encoding.find_last_not_of(" \r\t") + 1);
            break;
        }
    }
    if (encoding == "ISO8859-2") {
        encoding = "ISO-8859-2";
    }
    std::ifstream dic(folder + "/" + language.dictionary + ".dic");
    std::vector<std::string> words;
    bool first = true;
    while (std::getline(dic, line)) {
        if (first) {
            first = false;
            continue;  // the count
        }
        if (line.empty() || line[0] == '\t' || line[0] == '#' || line[0] == ' ') {
            continue;
        }
        std::string word = line.substr(0, line.find_first_of("/\t "));
        if (encoding != "UTF-8") {
            const auto converted = Convert("UTF-8", encoding.c_str(), word);
            if (!converted) {
                continue;
            }
            word = *converted;
        }
        if (!word.empty()) {
            words.push_back(word);
        }
    }
    return words;
}

struct Tally {
    long long good = 0;
    long long all = 0;
    double Percent() const { return all == 0 ? 0.0 : 100.0 * double(good) / double(all); }
};

// Legacy names: per code page and folder size, how often the run chose the code page the
// names are in, and how many names came out as their word.
void MeasureLegacy(const Language& language, const std::vector<std::string>& words) {
    std::vector<std::string> accented;
    for (const std::string& w : words) {
        if (HasUpperHalf(w)) {
            accented.push_back(w);
        }
    }
    std::mt19937 random(15);
    std::shuffle(accented.begin(), accented.end(), random);
    accented.resize(std::min<std::size_t>(accented.size(), 20000));
    for (LegacyCodePage codePage : tovana::kLegacyCandidates) {
        std::vector<std::pair<std::string, std::string>> names;  // bytes, word
        for (const std::string& w : accented) {
            if (auto bytes = Convert(IconvName(codePage), "UTF-8", w);
                bytes && !tovana::IsValidUtf8(*bytes)) {
                names.emplace_back(*bytes, w);
            }
        }
        std::printf("  %-3s %-11s", language.code, tovana::LegacyCodePageName(codePage));
        for (std::size_t size : {1u, 5u, 50u}) {
            Tally choice;
            Tally read;
            for (std::size_t start = 0; start + size <= names.size(); start += size) {
                std::vector<std::string> folder;
                for (std::size_t i = start; i < start + size; ++i) {
                    folder.push_back(names[i].first);
                }
                // Where two code pages read every name of the folder alike, either is right.
                const LegacyCodePage chosen = tovana::ChooseLegacyCodePage(folder);
                ++choice.all;
                choice.good += std::all_of(folder.begin(), folder.end(), [&](const std::string& n) {
                    return tovana::DecodeLegacy(n, chosen) == tovana::DecodeLegacy(n, codePage);
                });
                const tovana::LegacyReading reading{chosen, true};
                for (std::size_t i = start; i < start + size; ++i) {
                    ++read.all;
                    read.good += tovana::EncodeName(tovana::ReadName(names[i].first, reading)) ==
                                 names[i].second;
                }
            }
            std::printf("  %3zu: choice %6.2f%% names %6.2f%%", size, choice.Percent(),
                        read.Percent());
        }
        std::printf("   (%zu words)\n", names.size());
    }
}

// Mixed folders: 40 names in one code page and 10 in another; how many names come out right.
void MeasureMixed(const std::vector<std::string>& words) {
    std::vector<std::string> accented;
    for (const std::string& w : words) {
        if (HasUpperHalf(w)) {
            accented.push_back(w);
        }
    }
    std::mt19937 random(16);
    std::shuffle(accented.begin(), accented.end(), random);
    accented.resize(std::min<std::size_t>(accented.size(), 10000));
    for (LegacyCodePage major : tovana::kLegacyCandidates) {
        for (LegacyCodePage minor : tovana::kLegacyCandidates) {
            if (major == minor) {
                continue;
            }
            Tally majorRead;
            Tally minorRead;
            for (std::size_t start = 0; start + 50 <= accented.size(); start += 50) {
                std::vector<std::string> folder;
                for (std::size_t i = start; i < start + 50; ++i) {
                    const LegacyCodePage cp = i - start < 40 ? major : minor;
                    folder.push_back(Convert(IconvName(cp), "UTF-8", accented[i]).value_or(""));
                }
                const tovana::LegacyReading reading{tovana::ChooseLegacyCodePage(folder), true};
                for (std::size_t i = start; i < start + 50; ++i) {
                    Tally& t = i - start < 40 ? majorRead : minorRead;
                    ++t.all;
                    t.good += tovana::EncodeName(tovana::ReadName(folder[i - start], reading)) ==
                              accented[i];
                }
            }
            std::printf(
                "  40 %-11s + 10 %-11s  names right: %6.2f%% of the 40, %6.2f%% of the 10\n",
                tovana::LegacyCodePageName(major), tovana::LegacyCodePageName(minor),
                majorRead.Percent(), minorRead.Percent());
        }
    }
}

void MeasureMojibake(const Language& language, const std::vector<std::string>& words) {
    long long sound = 0;
    long long falsePositives = 0;
    std::vector<std::string> examples;
    std::array<Tally, 3> repaired{};
    for (const std::string& w : words) {
        if (!HasUpperHalf(w)) {
            continue;
        }
        ++sound;
        if (tovana::RepairMojibake(w)) {
            ++falsePositives;
            if (examples.size() < 5) {
                examples.push_back(w + " -> " + *tovana::RepairMojibake(w));
            }
        }
        for (std::size_t page = 0; page < 3; ++page) {
            const auto damaged =
                Convert("UTF-8", IconvName(tovana::kLegacyCandidates[page]), w, true);
            if (!damaged) {
                continue;
            }
            ++repaired[page].all;
            repaired[page].good += tovana::RepairMojibake(*damaged).value_or("") == w;
        }
    }
    std::printf("  %-3s sound words %7lld  false positives %5lld (%.3f%%)", language.code, sound,
                falsePositives, sound == 0 ? 0.0 : 100.0 * double(falsePositives) / double(sound));
    for (std::size_t page = 0; page < 3; ++page) {
        std::printf("  %s: misses %.2f%%",
                    tovana::LegacyCodePageName(tovana::kLegacyCandidates[page]),
                    100.0 - repaired[page].Percent());
    }
    std::printf("\n");
    for (const std::string& e : examples) {
        std::printf("      e.g. %s\n", e.c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::string folder = argc > 1 ? argv[1] : "/usr/share/hunspell";
    std::vector<std::pair<Language, std::vector<std::string>>> lists;
    for (const Language& language : kLanguages) {
        auto words = ReadWords(folder, language);
        if (words.empty()) {
            std::printf("(no word list for %s in %s: scripts/setup installs them)\n", language.code,
                        folder.c_str());
            continue;
        }
        lists.emplace_back(language, std::move(words));
    }
    std::printf(
        "Legacy names: the run's choice of code page, and names read right, per folder size\n");
    for (const auto& [language, words] : lists) {
        if (std::string(language.code) != "fr") {
            MeasureLegacy(language, words);
        }
    }
    for (const auto& [language, words] : lists) {
        if (std::string(language.code) == "cs") {
            std::printf("Mixed folders of Czech words (50 names)\n");
            MeasureMixed(words);
        }
    }
    std::printf(
        "Mojibake repair: words left alone that should be (false positives), damaged "
        "words not repaired (misses) per code page they were read in\n");
    for (const auto& [language, words] : lists) {
        MeasureMojibake(language, words);
    }
    return 0;
}
