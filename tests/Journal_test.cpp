// Journals and undo on real trees, through the platform's own file system: a run put back
// byte for byte, an undo undone, undo after the tree changed, unusable journals, the history,
// the escaping every journal and every row of tovana-cli relies on.
#include "journal/Journal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <utility>
#include <vector>

#include "journal/Escape.h"
#include "journal/Undo.h"
#include "names/PathRules.h"
#include "rename/Platform.h"
#include "support/CaseLabel.h"
#include "support/RecordingSink.h"
#include "support/TempTree.h"

namespace {

using tovana::FailReason;
using tovana::Journal;
using tovana::JournalStore;
using tovana::RenameOptions;
using tovana::rkDirRenamed;
using tovana::rkFailed;
using tovana::rkFileRenamed;
using tovana::RunCounters;
using tovana::UndoProblem;
using tovana::test::RecordingSink;
using tovana::test::Row;
using Tree = std::map<std::string, std::string>;

// ---- escaping ----

TEST(Escape, EveryByteAloneRoundTripsAndLeavesNoRawControlCharacter) {
    for (int byte = 1; byte <= 0xFF; ++byte) {
        const std::string text(1, static_cast<char>(byte));
        const std::string escaped = tovana::EscapeField(text);
        for (const char c : escaped) {
            const auto u = static_cast<unsigned char>(c);
            EXPECT_TRUE(u >= 0x20 && u != 0x7F) << "byte " << byte << " escaped as " << escaped;
        }
        std::string back;
        ASSERT_TRUE(tovana::UnescapeField(escaped, back)) << "byte " << byte;
        EXPECT_EQ(back, text) << "byte " << byte;
    }
}

// Long runs of plain bytes are passed over several at a time: a byte to escape is found at
// any place in such a run.
TEST(Escape, EveryByteAtEveryPlaceOfALongNameIsEscapedAsAlone) {
    for (int byte = 1; byte <= 0xFF; ++byte) {
        const std::string alone = tovana::EscapeField(std::string(1, static_cast<char>(byte)));
        for (std::size_t at = 0; at < 20; ++at) {
            std::string text(20, 'a');
            text[at] = static_cast<char>(byte);
            const std::string expected = std::string(at, 'a') + alone + std::string(19 - at, 'a');
            ASSERT_EQ(tovana::EscapeField(text), expected) << "byte " << byte << " at " << at;
        }
    }
}

// C1 control characters and the bytes 0x80-0x9F outside valid UTF-8 are escaped wherever they
// stand; valid UTF-8 (whose continuation bytes may be 0x80-0x9F) and other invalid bytes stay.
TEST(Escape, C1ControlCharactersAndLoneC1BytesAreEscaped) {
    const std::string runs(17, 'a');  // long enough to be passed over eight bytes at a time
    // Two-byte letters at every alignment to the eight-byte steps, before and after the case.
    const std::string letters = "ŽluťoučkýKůňxŽluťoučkýKůňxyŽluťoučkýKůň";
    struct Case {
        const char* name;
        std::string text;
        std::string escaped;
    };
    const Case cases[] = {
        {"CSI as UTF-8", "\xC2\x9B", "\\xC2\\x9B"},
        {"first and last C1", "\xC2\x80\xC2\x9F", "\\xC2\\x80\\xC2\\x9F"},
        {"no-break space stays", "\xC2\xA0", "\xC2\xA0"},
        {"lone CSI byte", "\x9B", "\\x9B"},
        {"lone 0x80 and 0x9F", "\x80x\x9F", "\\x80x\\x9F"},
        {"lone 0xA0 stays", "\xA0", "\xA0"},
        {"Czech letters stay", "Č\xC5\x98š", "ČŘš"},
        {"three bytes ending in 0x9B stay", "\xE2\x80\x9B", "\xE2\x80\x9B"},
        {"four bytes stay", "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
        {"cut sequence", "\xE2\x9B", "\xE2\\x9B"},
        {"surrogate", "\xED\xA0\x80", "\xED\xA0\\x80"},
        {"overlong", "\xC0\x9B", "\xC0\\x9B"},
        {"lead at the end", "\xC2", "\xC2"},
        {"C1 among C0", "\x1B\xC2\x9B\n", "\\x1B\\xC2\\x9B\\n"},
    };
    for (const Case& c : cases) {
        for (const std::string& around : {std::string(), runs, letters, letters + "z"}) {
            const std::string text = around + c.text + around;
            EXPECT_EQ(tovana::EscapeField(text), around + c.escaped + around) << c.name;
            std::string back;
            ASSERT_TRUE(tovana::UnescapeField(tovana::EscapeField(text), back)) << c.name;
            EXPECT_EQ(back, text) << c.name;
        }
    }
}

TEST(Escape, AllBytesAndInvalidUtf8InOneNameRoundTrip) {
    std::string all;
    for (int byte = 1; byte <= 0xFF; ++byte) {
        all += static_cast<char>(byte);
    }
    for (const std::string& text :
         {all, std::string("\xC3\x28 \xA0\xA1 \xE2\x82 \xF0\x28\x8C\xBC \xFF\xFE\\x41\\\\n"),
          std::string("a\\tb"), std::string("\\")}) {
        std::string back;
        ASSERT_TRUE(tovana::UnescapeField(tovana::EscapeField(text), back));
        EXPECT_EQ(back, text);
    }
}

// AppendEscaped passes over plain runs sixteen bytes at a time and two-byte letters whole; it
// must give what the byte-by-byte way gives for any byte or sequence, valid or not, at any
// place of a block, after plain ASCII or after two-byte letters, cut by the end or not.
TEST(Escape, BlocksGiveWhatTheByteByByteWayGives) {
    struct Piece {
        const char* name;
        std::string bytes;
    };
    std::vector<Piece> pieces = {
        {"two-byte letter", "\xC3\xA1"},
        {"last two-byte", "\xDF\xBF"},
        {"C1 first", "\xC2\x80"},
        {"C1 CSI", "\xC2\x9B"},
        {"C1 last", "\xC2\x9F"},
        {"NBSP", "\xC2\xA0"},
        {"three-byte", "\xE2\x82\xAC"},
        {"three-byte lowest", "\xE0\xA0\x80"},
        {"below surrogates", "\xED\x9F\xBF"},
        {"four-byte", "\xF0\x9F\x98\x80"},
        {"highest", "\xF4\x8F\xBF\xBF"},
        {"overlong two", "\xC0\x80"},
        {"overlong two high", "\xC1\xBF"},
        {"overlong three", "\xE0\x80\x80"},
        {"overlong three high", "\xE0\x9F\xBF"},
        {"overlong four", "\xF0\x80\x80\x80"},
        {"overlong four high", "\xF0\x8F\xBF\xBF"},
        {"surrogate low", "\xED\xA0\x80"},
        {"surrogate high", "\xED\xBF\xBF"},
        {"above U+10FFFF", "\xF4\x90\x80\x80"},
        {"F5 lead", "\xF5\x80\x80\x80"},
        {"cut two", "\xC3"},
        {"cut three", "\xE2\x82"},
        {"cut four", "\xF0\x9F\x98"},
        {"lead then letter", "\xC3\xC3\xA1"},
        {"letter then continuation", "\xC3\xA1\x80"},
        {"C1 continuation lead", "\xC4\x9B\x9B"},
        {"escapes", "\\\t\n\r\x7F"},
    };
    for (int byte = 1; byte <= 0xFF; ++byte) {
        pieces.push_back({"byte", std::string(1, static_cast<char>(byte))});
    }
    const std::string letter = "\xC4\x8D";  // a Czech letter, two bytes
    std::vector<std::string> afters = {"", "a", letter, std::string(20, 'a')};
    afters.push_back(letter + letter + letter + letter + letter + letter + letter + letter);
    for (const Piece& piece : pieces) {
        for (std::size_t ascii = 0; ascii < 18; ++ascii) {
            for (const std::size_t letters : {0, 1, 7, 8}) {
                std::string before(ascii, 'a');
                for (std::size_t k = 0; k < letters; ++k) {
                    before += letter;
                }
                for (const std::string& after : afters) {
                    const std::string text = before + piece.bytes + after;
                    std::string fast = "=";
                    std::string reference = "=";
                    tovana::AppendEscaped(fast, text);
                    tovana::AppendEscapedByBytes(reference, text);
                    // Written in place, into room for the longest escaping.
                    std::string inPlace(1 + tovana::kMostEscaped * text.size(), '=');
                    inPlace.resize(static_cast<std::size_t>(
                        tovana::EscapeInto(inPlace.data() + 1, text) - inPlace.data()));
                    ASSERT_EQ(inPlace, reference);
                    ASSERT_EQ(fast, reference)
                        << piece.name << " " << tovana::EscapeField(piece.bytes) << " after "
                        << ascii << " ASCII and " << letters << " letters, before " << after.size()
                        << " bytes";
                }
            }
        }
    }
}

TEST(Escape, DocumentedFormsAndOnlyThose) {
    EXPECT_EQ(tovana::EscapeField("a\\b\tc\nd\re\x01\x1F\x7F\xC4\x8D"),
              "a\\\\b\\tc\\nd\\re\\x01\\x1F\\x7F\xC4\x8D");
    std::string out;
    for (const char* bad : {"\\", "a\\", "\\q", "\\x0", "\\x00", "\\xG1", "a\tb", "a\nb"}) {
        EXPECT_FALSE(tovana::UnescapeField(bad, out)) << bad;
    }
}

// ---- run and undo on real trees ----

class JournalTest : public testing::Test {
  protected:
    JournalTest() : store(journals.path()) {}

    void Build(std::initializer_list<const char*> specs) {
        for (const char* entry : specs) {
            tree.Add(entry);
        }
    }

    RenameOptions Everything() const {
        RenameOptions o;
        o.Path = tree.path("Léto");
        o.SubDir = true;
        o.RenameDir = true;
        o.ReplaceSpace = true;
        return o;
    }

    // A real run, journaled; returns the journal's path.
    // With `stopAfter`, the run is asked to stop once it has reported that many rows.
    std::string RunJournaled(const RenameOptions& options, std::size_t stopAfter = 0) {
        const auto fileSystem = tovana::MakeFileSystem();
        tovana::StopRequest stop;
        struct StoppingSink : RecordingSink {
            void Append(tovana::LogEntry&& entry) override {
                RecordingSink::Append(std::move(entry));
                if (rows.size() == stopAfter) {
                    stop->Request();
                }
            }
            std::size_t stopAfter = 0;
            tovana::StopRequest* stop = nullptr;
        } sink;
        sink.stopAfter = stopAfter;
        sink.stop = &stop;
        tovana::RunJournal journal(store, sink, {"test", options, {}});
        tovana::Run(options, *fileSystem, journal, counters, stop);
        journal.Finish(counters);
        EXPECT_FALSE(journal.error()) << journal.error().message();
        runRows = sink.rows;
        return journal.path();
    }

    tovana::UndoOutcome UndoIt(const std::string& journal = "", bool dryRun = false) {
        const auto fileSystem = tovana::MakeFileSystem();
        undoSink = {};
        return tovana::UndoRun(store, journal, *fileSystem, undoSink, undoCounters, "test", dryRun);
    }

    // An undo asked to stop once it has reported `stopAfter` rows.
    tovana::UndoOutcome UndoStopped(const std::string& journal, std::size_t stopAfter) {
        const auto fileSystem = tovana::MakeFileSystem();
        tovana::StopRequest stop;
        struct StoppingSink : RecordingSink {
            void Append(tovana::LogEntry&& entry) override {
                RecordingSink::Append(std::move(entry));
                if (rows.size() == stopAfter) {
                    stop->Request();
                }
            }
            std::size_t stopAfter = 0;
            tovana::StopRequest* stop = nullptr;
        } sink;
        sink.stopAfter = stopAfter;
        sink.stop = &stop;
        const tovana::UndoOutcome outcome =
            tovana::UndoRun(store, journal, *fileSystem, sink, undoCounters, stop, "test", false);
        undoSink = sink;
        return outcome;
    }

    tovana::test::TempTree tree;
    tovana::test::TempTree journals;
    JournalStore store;
    RunCounters counters;
    RunCounters undoCounters;
    std::vector<Row> runRows;
    RecordingSink undoSink;
};

TEST_F(JournalTest, RunThenUndoGivesBackTheTreeByteForByte) {
    Build({"Léto/Žluťoučký kůň.txt", "Léto/Ěčko/řeka 1.jpg", "Léto/Ěčko/Č/ů ů.txt",
           "Léto/Ěčko/Č/C.txt", "Léto/Ěčko/Č/Č.txt", "Léto/prázdná složka/", "Léto/.git/č.txt"});
    tree.AddFile("Léto/Ěčko/řeka 2.jpg", std::string("binary\0\xFF\n", 10));
    const Tree before = tree.Snapshot();
    const std::string journal = RunJournaled(Everything());
    ASSERT_EQ(counters.DirCount, 4);  // Č, Ěčko, prázdná složka, Léto itself
    ASSERT_NE(tree.Snapshot(), before);

    const tovana::UndoOutcome undo = UndoIt();
    EXPECT_EQ(undo.Problem, UndoProblem::None) << undo.Detail;
    EXPECT_EQ(undo.UndonePath, journal);
    EXPECT_EQ(undo.Failed, 0);
    EXPECT_EQ(tree.Snapshot(), before);
    EXPECT_EQ(undoCounters.DirCount, counters.DirCount);
    EXPECT_EQ(undoCounters.FileCount, counters.FileCount);
    // The chosen folder comes back first: everything else is recorded under its old name.
    ASSERT_FALSE(undoSink.rows.empty());
    EXPECT_EQ(undoSink.rows.front(), (Row{tree.path("Leto"), rkDirRenamed, "Léto"}));
}

// An undo stopped half way stops after the rename under way and leaves its run partly undone;
// undoing the same journal again goes on from there: what is back already is no failure.
TEST_F(JournalTest, StoppedUndoOfTheSameJournalGoesOnWithoutFailures) {
    Build({"Léto/Žluťoučký kůň.txt", "Léto/Ěčko/řeka 1.jpg", "Léto/Ěčko/Č/ů ů.txt",
           "Léto/Ěčko/Č/Č.txt", "Léto/Ž/ž 1.txt", "Léto/Ž/ž 2.txt", "Léto/Ž/ž 3.txt"});
    const Tree before = tree.Snapshot();
    const std::string journal = RunJournaled(Everything());
    for (const std::size_t stopAfter : {1u, 3u, 6u}) {
        const tovana::UndoOutcome stopped = UndoStopped(journal, stopAfter);
        EXPECT_TRUE(undoCounters.Stopped);
        EXPECT_EQ(stopped.Failed, 0);
        EXPECT_EQ(undoSink.rows.size(), stopAfter) << "no rename after the request";
        EXPECT_NE(tree.Snapshot(), before);
        std::error_code error;
        const auto history = tovana::History(store, error);
        ASSERT_EQ(tovana::NewestUndoable(history)->Path, journal) << "after " << stopAfter;
        EXPECT_TRUE(tovana::NewestUndoable(history)->PartlyUndone);
    }
    const tovana::UndoOutcome rest = UndoIt(journal);
    EXPECT_EQ(rest.Failed, 0);
    for (const Row& row : undoSink.rows) {
        EXPECT_NE(row.kind, rkFailed) << row.path;
    }
    EXPECT_EQ(tree.Snapshot(), before);
    std::error_code error;
    EXPECT_EQ(tovana::NewestUndoable(tovana::History(store, error)), nullptr);
}

// A folder of thousands is planned and journaled a batch at a time: the renames announced but
// not yet told done or failed never pile up to the whole folder, and the undo still finds all.
TEST_F(JournalTest, AWideFolderIsJournaledInBatchesAndUndoneWhole) {
    constexpr int kFiles = 2600;
    for (int i = 0; i < kFiles; ++i) {
        tree.Add("Léto/č " + std::to_string(i) + ".txt");
    }
    Build({"Léto/c_2000.txt", "Léto/Ěčko/ř.txt"});
    const Tree before = tree.Snapshot();
    const std::string journal = RunJournaled(Everything());
    EXPECT_EQ(counters.FileCount, kFiles);  // č 2000.txt fails, ř.txt is renamed
    EXPECT_EQ(counters.DirCount, 2);

    std::ifstream in(journal);
    int intents = 0;
    int outcomes = 0;
    int mostPending = 0;
    for (std::string line; std::getline(in, line);) {
        intents += line.starts_with("intent\t");
        outcomes += line.starts_with("done\t") || line.starts_with("failed\t");
        mostPending = std::max(mostPending, intents - outcomes);
    }
    EXPECT_EQ(intents, kFiles + 3);
    EXPECT_EQ(outcomes, intents);
    EXPECT_LE(mostPending, 1024 + 2);  // a batch of the folder, one of Ěčko, the folder itself

    const tovana::UndoOutcome undo = UndoIt();
    EXPECT_EQ(undo.Problem, UndoProblem::None) << undo.Detail;
    EXPECT_EQ(undo.Failed, 0);
    EXPECT_EQ(tree.Snapshot(), before);
}

// A journal cut at any byte (a run killed as it wrote) reads as the entries before the cut,
// each with its whole old path: a folder's path is written once and its entries by name, and
// the cut never leaves an entry in the wrong folder.
TEST_F(JournalTest, AJournalCutAnywhereReadsAsTheEntriesBeforeTheCut) {
    Build({"Léto/a b.txt", "Léto/Ěčko/řeka 1.jpg", "Léto/Ěčko/Č/ů ů.txt", "Léto/Ěčko/Č/Ď/ď.txt",
           "Léto/Ž/ž 1.txt", "Léto/Ěčka/č.txt"});
    const std::string path = RunJournaled(Everything());
    Journal whole;
    std::string detail;
    ASSERT_EQ(tovana::ReadJournal(path, whole, detail), tovana::JournalProblem::None) << detail;
    ASSERT_EQ(whole.Entries.size(), runRows.size());
    std::vector<std::string> expected;
    for (const Row& row : runRows) {
        expected.push_back(row.path);
    }
    std::vector<std::string> read;
    for (const tovana::JournalEntry& entry : whole.Entries) {
        read.push_back(entry.Path);
    }
    std::sort(expected.begin(), expected.end());
    std::sort(read.begin(), read.end());
    if (whole.Folder == Everything().Path) {  // the folder as given is its real path
        EXPECT_EQ(read, expected) << "each entry's whole path, as the rows give it";
    }

    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    const std::string text(std::istreambuf_iterator<char>(in), {});
    const std::string cut = journals.path("cut.journal");
    std::size_t before = 0;
    for (std::size_t size = text.find("\nat\t"); size <= text.size(); ++size) {
        std::ofstream(std::filesystem::path(journals.root() / "cut.journal"),
                      std::ios::binary | std::ios::trunc)
            << text.substr(0, size);
        Journal part;
        ASSERT_EQ(tovana::ReadJournal(cut, part, detail), tovana::JournalProblem::None)
            << "cut at " << size << ": " << detail;
        ASSERT_LE(part.Entries.size(), whole.Entries.size());
        ASSERT_GE(part.Entries.size(), before);
        before = part.Entries.size();
        for (std::size_t i = 0; i < part.Entries.size(); ++i) {
            ASSERT_EQ(part.Entries[i].Path, whole.Entries[i].Path) << "cut at " << size;
            ASSERT_EQ(part.Entries[i].NewName, whole.Entries[i].NewName) << "cut at " << size;
        }
    }
    EXPECT_EQ(before, whole.Entries.size());
}

TEST_F(JournalTest, UndoOfTheUndoRestoresTheRunAndCountsAsNotUndone) {
    Build({"Léto/Ěčko/řeka 1.jpg", "Léto/ž ž.txt"});
    const std::string run = RunJournaled(Everything());
    const Tree afterRun = tree.Snapshot();
    const tovana::UndoOutcome undo = UndoIt();
    ASSERT_EQ(undo.Problem, UndoProblem::None);
    ASSERT_FALSE(undo.JournalPath.empty());

    const tovana::UndoOutcome redo = UndoIt(undo.JournalPath);
    EXPECT_EQ(redo.Problem, UndoProblem::None) << redo.Detail;
    EXPECT_EQ(redo.Failed, 0);
    EXPECT_EQ(tree.Snapshot(), afterRun);

    std::error_code error;
    const auto history = tovana::History(store, error);
    ASSERT_EQ(history.size(), 3u);
    EXPECT_FALSE(history[0].Undone) << "the run is in effect again";
    EXPECT_TRUE(history[1].Undone);
    EXPECT_FALSE(history[2].Undone);
    ASSERT_NE(tovana::NewestUndoable(history), nullptr);
    EXPECT_EQ(tovana::NewestUndoable(history)->Path, run);
}

TEST_F(JournalTest, DryUndoShowsTheRowsOfTheRealOneAndChangesNothing) {
    Build({"Léto/Ěčko/řeka 1.jpg", "Léto/Ěčko/Č/ů.txt"});
    RunJournaled(Everything());
    const Tree afterRun = tree.Snapshot();
    const tovana::UndoOutcome dry = UndoIt("", true);
    EXPECT_EQ(dry.Problem, UndoProblem::None);
    EXPECT_TRUE(dry.JournalPath.empty());
    EXPECT_EQ(tree.Snapshot(), afterRun);
    const std::vector<Row> dryRows = undoSink.rows;
    UndoIt();
    EXPECT_EQ(undoSink.rows, dryRows);
    EXPECT_EQ(undoSink.rows.size(), 5u);
}

TEST_F(JournalTest, UndoAfterTheTreeChangedPutsBackWhatItCanAndOverwritesNothing) {
    Build({"Léto/smazaný.txt", "Léto/přesunutý.txt", "Léto/nahrazený.txt", "Léto/zůstal.txt",
           "Léto/Ěčko/v obsazené.txt", "Léto/jinam/"});
    RunJournaled(Everything());
    // Since the run: one renamed file deleted, one moved elsewhere, the old name of one taken
    // by a new file, the old name of a folder taken by a new folder.
    std::filesystem::remove(tree.root() / "Leto" / "smazany.txt");
    std::filesystem::rename(tree.root() / "Leto" / "presunuty.txt",
                            tree.root() / "Leto" / "jinam" / "presunuty.txt");
    tree.AddFile("Leto/nahrazený.txt", "new file");
    tree.AddFile("Leto/Ěčko/cizí.txt", "new folder");
    const auto contentsBefore = tovana::test::Contents(tree.root());

    const tovana::UndoOutcome undo = UndoIt();
    EXPECT_EQ(undo.Problem, UndoProblem::None);
    EXPECT_EQ(undo.Failed, 4);
    EXPECT_EQ(tovana::test::Contents(tree.root()), contentsBefore) << "nothing lost or replaced";
    const Tree after = tree.Snapshot();
    EXPECT_EQ(after.at("Léto/zůstal.txt"), "Léto/zůstal.txt");
    EXPECT_EQ(after.at("Léto/nahrazený.txt"), "new file");
    EXPECT_EQ(after.at("Léto/nahrazeny.txt"), "Léto/nahrazený.txt");
    EXPECT_EQ(after.at("Léto/jinam/presunuty.txt"), "Léto/přesunutý.txt");
    // The folder stays under its new name, and its contents get their names back inside it.
    EXPECT_EQ(after.at("Léto/Ecko/v obsazené.txt"), "Léto/Ěčko/v obsazené.txt");

    std::map<std::string, FailReason> failed;
    for (std::size_t i = 0; i < undoSink.rows.size(); ++i) {
        if (undoSink.rows[i].kind == rkFailed) {
            failed[undoSink.rows[i].newName] = undoSink.reasons[i];
        }
    }
    EXPECT_EQ(failed, (std::map<std::string, FailReason>{
                          {"smazaný.txt", FailReason::NotFound},
                          {"přesunutý.txt", FailReason::NotFound},
                          {"nahrazený.txt", FailReason::TargetExists},
                          {"Ěčko", FailReason::TargetExists},
                      }));
}

// A folder inside a folder that could not get its old name back cannot get its own back either:
// the entries inside it are put back where it is, never in a folder of its old name made since,
// whose entries the run never touched.
TEST_F(JournalTest, EntriesOfFoldersLeftUnderTheirNewNamesArePutBackThereOnly) {
    Build({"Léto/Ěčko/Řeka/ž.txt"});
    RunJournaled(Everything());
    tree.AddFile("Leto/Ěčko/cizí.txt", "new folder");
    tree.AddFile("Leto/Ecko/Řeka/z.txt", "not the run's");
    const auto contentsBefore = tovana::test::Contents(tree.root());

    const tovana::UndoOutcome undo = UndoIt();
    EXPECT_EQ(undo.Failed, 2);  // Ěčko and Řeka
    EXPECT_EQ(tovana::test::Contents(tree.root()), contentsBefore) << "nothing lost or replaced";
    const Tree after = tree.Snapshot();
    EXPECT_EQ(after.at("Léto/Ecko/Reka/ž.txt"), "Léto/Ěčko/Řeka/ž.txt");
    EXPECT_EQ(after.at("Léto/Ecko/Řeka/z.txt"), "not the run's");
    EXPECT_EQ(after.at("Léto/Ěčko/cizí.txt"), "new folder");
}

TEST_F(JournalTest, FailedRowsCarryTheirReasonIntoTheJournal) {
    Build({"Léto/C.txt", "Léto/Č.txt"});
    const std::string path = RunJournaled(Everything());
    Journal journal;
    std::string detail;
    ASSERT_EQ(tovana::ReadJournal(path, journal, detail), tovana::JournalProblem::None) << detail;
    ASSERT_EQ(journal.Entries.size(), 2u);  // Č.txt and the chosen folder
    EXPECT_EQ(journal.Entries[0].Path, tree.path("Léto/Č.txt"));
    EXPECT_EQ(journal.Entries[0].Result, tovana::Outcome::Failed);
    EXPECT_EQ(journal.Entries[0].Reason, FailReason::TargetExists);
    EXPECT_EQ(journal.Entries[1].Result, tovana::Outcome::Done);
    EXPECT_TRUE(journal.Complete);
    EXPECT_EQ(journal.Failed, 1);
    EXPECT_EQ(journal.Options, Everything());
}

TEST_F(JournalTest, AJournalThatCannotBeWrittenDoesNotStopTheRun) {
    Build({"Léto/ř.txt", "blocker"});
    JournalStore blocked(tree.path("blocker") + "/journal");  // a file where a folder should be
    const auto fileSystem = tovana::MakeFileSystem();
    RecordingSink sink;
    tovana::RunJournal journal(blocked, sink, {"test", Everything(), {}});
    tovana::Run(Everything(), *fileSystem, journal, counters);
    journal.Finish(counters);
    EXPECT_TRUE(journal.error());
    EXPECT_TRUE(journal.path().empty());
    EXPECT_EQ(counters.FileCount, 1);
    EXPECT_EQ(counters.DirCount, 1);
    EXPECT_EQ(sink.rows.size(), 2u);
}

TEST_F(JournalTest, OldAndSurplusJournalsAreRemovedWhenARunStarts) {
    using namespace std::chrono;
    const auto now = system_clock::now();
    std::filesystem::create_directories(journals.root());
    for (int i = 0; i < 103; ++i) {
        std::ofstream(journals.root() / tovana::JournalName(now - hours(i)));
    }
    std::ofstream(journals.root() / tovana::JournalName(now - hours(24 * 91)));
    std::ofstream(journals.root() / "notes.txt");
    store.Prune(now, hours(24 * 90), 100);
    std::error_code error;
    const std::vector<std::string> names = store.Names(error);
    ASSERT_EQ(names.size(), 99u);
    EXPECT_EQ(names.back(), tovana::JournalName(now));
    EXPECT_EQ(names.front(), tovana::JournalName(now - hours(98)));
    EXPECT_TRUE(std::filesystem::exists(journals.root() / "notes.txt"));
}

TEST_F(JournalTest, HistoryOfLongJournalsFromTheirEndsAndOfCutOnesFromTheWhole) {
    for (int i = 0; i < 1500; ++i) {
        tree.AddFile("Léto/Žluťoučký kůň číslo " + std::to_string(i) + ".txt", "");
    }
    const std::string path = RunJournaled(Everything());
    ASSERT_GT(std::filesystem::file_size(std::filesystem::path(path)), 2u * 64 * 1024);
    std::error_code error;
    auto history = tovana::History(store, error);
    ASSERT_EQ(history.size(), 1u);
    EXPECT_TRUE(history[0].Head.Complete);
    EXPECT_EQ(history[0].Head.Files, 1500);
    EXPECT_EQ(history[0].Head.Dirs, 1);
    EXPECT_EQ(history[0].Head.Folder, tree.path("Léto"));

    // Cut in the middle of its last batch, as a killed run leaves it.
    std::filesystem::resize_file(std::filesystem::path(path),
                                 std::filesystem::file_size(std::filesystem::path(path)) - 2000);
    history = tovana::History(store, error);
    EXPECT_FALSE(history[0].Head.Complete);
    EXPECT_GT(history[0].Head.Files, 1000);
    EXPECT_LT(history[0].Head.Files, 1500);
}

TEST_F(JournalTest, AStoppedRunAndAnUndoThatFailedInPartSaySo) {
    for (int i = 0; i < 3000; ++i) {
        tree.AddFile("Léto/Žluťoučký kůň číslo " + std::to_string(i) + ".txt", "");
    }
    const std::string path = RunJournaled(Everything(), 2000);
    ASSERT_TRUE(counters.Stopped);
    ASSERT_GT(std::filesystem::file_size(std::filesystem::path(path)), 2u * 64 * 1024);
    std::error_code error;
    auto history = tovana::History(store, error);  // the end of a long journal alone
    ASSERT_EQ(history.size(), 1u);
    EXPECT_TRUE(history[0].Head.Complete);
    EXPECT_TRUE(history[0].Head.Stopped);
    EXPECT_EQ(history[0].Head.Files, 2000);
    Journal whole;
    std::string detail;
    ASSERT_EQ(tovana::ReadJournal(path, whole, detail), tovana::JournalProblem::None) << detail;
    EXPECT_TRUE(whole.Stopped);

    // One renamed file gone since: the undo puts back all but that one, and the run stays
    // partly in effect.
    ASSERT_EQ(runRows.front().kind, rkFileRenamed);
    ASSERT_TRUE(std::filesystem::remove(std::filesystem::u8path(tree.path("Léto")) /
                                        runRows.front().newName));
    const tovana::UndoOutcome undo = UndoIt();
    ASSERT_EQ(undo.Problem, UndoProblem::None) << undo.Detail;
    EXPECT_EQ(undo.Failed, 1);
    history = tovana::History(store, error);
    ASSERT_EQ(history.size(), 2u);
    EXPECT_TRUE(history[0].Undone);
    EXPECT_TRUE(history[0].PartlyUndone);
    EXPECT_FALSE(history[1].Head.Stopped);

    // A whole undo is no partial one.
    RunJournaled(Everything());
    ASSERT_EQ(UndoIt().Failed, 0);
    history = tovana::History(store, error);
    ASSERT_EQ(history.size(), 4u);
    EXPECT_TRUE(history[2].Undone);
    EXPECT_FALSE(history[2].PartlyUndone);
    EXPECT_FALSE(history[2].Head.Stopped);
}

// ---- journals an undo must refuse ----

struct BadJournal {
    const char* label;
    std::string text;
    UndoProblem problem;
};

class UnusableJournal : public JournalTest, public testing::WithParamInterface<BadJournal> {};

std::string Header(const std::string& platform, int version = 1) {
    return "tovana-journal\t" + std::to_string(version) + "\nplatform\t" + platform +
           "\nkind\trun\nfolder\t/x\n";
}

TEST_P(UnusableJournal, GivesItsProblemAndRenamesNothing) {
    Build({"Léto/ř.txt"});
    RunJournaled(Everything());
    const Tree afterRun = tree.Snapshot();
    std::string text = GetParam().text;
    if (const std::size_t at = text.find("@OWN@"); at != std::string::npos) {
        text.replace(at, 5, tovana::journal_platform::kPlatform);
    }
    const std::string path = journals.path("damaged.journal");
    std::ofstream(std::filesystem::path(journals.root() / "damaged.journal"), std::ios::binary)
        << text;
    const tovana::UndoOutcome undo = UndoIt(path);
    EXPECT_EQ(undo.Problem, GetParam().problem) << undo.Detail;
    EXPECT_TRUE(undoSink.rows.empty());
    EXPECT_EQ(tree.Snapshot(), afterRun);
}

INSTANTIATE_TEST_SUITE_P(
    Journals, UnusableJournal,
    testing::Values(
        BadJournal{"Empty", "", UndoProblem::Damaged},
        BadJournal{"NotAJournal", "hello\n", UndoProblem::Damaged},
        BadJournal{"NewerFormat", "tovana-journal\t3\n", UndoProblem::Damaged},
        BadJournal{"FolderOfIntentsInTheFirstVersion",
                   Header("@OWN@") + "at\t0\t/x/\nintent\t1\tfile\ta\tb\n", UndoProblem::Damaged},
        BadJournal{"FolderKeepingMoreThanThereIs",
                   Header("@OWN@", 2) + "at\t0\t/x/\nat\t4\ty/\nintent\t1\tfile\ta\tb\n",
                   UndoProblem::Damaged},
        BadJournal{"FolderWithoutItsPath", Header("@OWN@", 2) + "at\t0\n", UndoProblem::Damaged},
        BadJournal{"OtherPlatform", Header("elsewhere") + "intent\t1\tfile\t/x/a\tb\ndone\t1\n",
                   UndoProblem::OtherPlatform},
        BadJournal{"OutcomeWithoutIntent", Header("@OWN@") + "done\t7\n", UndoProblem::Damaged},
        BadJournal{"BrokenEscape", Header("@OWN@") + "intent\t1\tfile\t/x/a\\q\tb\n",
                   UndoProblem::Damaged},
        BadJournal{"UnknownRecord", Header("@OWN@") + "rename\t/x/a\tb\n", UndoProblem::Damaged},
        BadJournal{"RecordAfterEnd", Header("@OWN@") + "end\t0\t0\t0\nintent\t1\tfile\t/x/a\tb\n",
                   UndoProblem::Damaged}),
    tovana::test::CaseLabel());

// ---- the folders of a journal ----

struct FolderRecords {
    const char* label;
    int version;
    std::string records;             // after the header; '|' stands for the folder delimiter
    std::vector<std::string> paths;  // the whole paths of the entries, in order
    std::string temporary = {};      // the first entry's temporary name
};

class ReadFolders : public JournalTest, public testing::WithParamInterface<FolderRecords> {};

// However a journal names a folder (whole, or from part of the last one, cut within a name, in
// the first version's whole paths, in a name that carries folders of its own), its entries read
// with the same whole paths, and the entries of one folder share it.
TEST_P(ReadFolders, GiveEachEntryItsWholePathAndOneFolderOnce) {
    const auto delimited = [](std::string text) {
        std::replace(text.begin(), text.end(), '|', tovana::kFolderDelimiter);
        return text;
    };
    // In the journal's text, as its fields are escaped (Windows' delimiter is the escape).
    const auto written = [](const std::string& text) {
        std::string escaped;
        for (const char c : text) {
            escaped += c != '|' ? std::string(1, c)
                                : tovana::EscapeField(std::string(1, tovana::kFolderDelimiter));
        }
        return escaped;
    };
    std::ofstream(std::filesystem::path(journals.root() / "edited.journal"), std::ios::binary)
        << "tovana-journal\t" << GetParam().version << "\nplatform\t"
        << tovana::journal_platform::kPlatform << "\nkind\trun\nfolder\t" << written("|r") << "\n"
        << written(GetParam().records);
    Journal journal;
    std::string detail;
    ASSERT_EQ(tovana::ReadJournal(journals.path("edited.journal"), journal, detail),
              tovana::JournalProblem::None)
        << detail;
    const std::vector<std::string>& paths = GetParam().paths;
    ASSERT_EQ(journal.Entries.size(), paths.size());
    for (std::size_t i = 0; i < paths.size(); ++i) {
        EXPECT_EQ(journal.Entries[i].Path, delimited(paths[i])) << i;
        for (std::size_t j = 0; j < i; ++j) {
            const bool sameFolder =
                paths[i].substr(0, paths[i].rfind('|')) == paths[j].substr(0, paths[j].rfind('|'));
            EXPECT_EQ(journal.Entries[i].Path.Folder == journal.Entries[j].Path.Folder, sameFolder)
                << i << " and " << j;
        }
    }
    EXPECT_EQ(journal.Entries[0].Temporary, GetParam().temporary);
}

INSTANTIATE_TEST_SUITE_P(
    Journals, ReadFolders,
    testing::Values(FolderRecords{"NamesInTheFolderOfTheLastRecord",
                                  2,
                                  "at\t0\t|r|a|b|\nintent\t1\tfile\tx\tX\nat\t3\tc|\n"
                                  "intent\t2\tfile\ty\tY\n",
                                  {"|r|a|b|x", "|r|c|y"}},
                    FolderRecords{"KeptToTheMiddleOfAName",
                                  2,
                                  "at\t0\t|r|bc|\nat\t4\td|\nintent\t1\tfile\tx\tX\n",
                                  {"|r|bd|x"}},
                    FolderRecords{"FolderEndingInPartOfAName",
                                  2,
                                  "at\t0\t|r|b\nintent\t1\tfile\tc.txt\tX\nat\t4\tX|\n"
                                  "intent\t2\tfile\ty\tY\n",
                                  {"|r|bc.txt", "|r|bX|y"}},
                    FolderRecords{"NamesCarryingFolders",
                                  2,
                                  "at\t0\t|r|\nintent\t1\tfile\ts|t|x\tX\nintent\t2\tfile\ty\tY\n",
                                  {"|r|s|t|x", "|r|y"}},
                    FolderRecords{"OneFolderReachedThreeWays",
                                  2,
                                  "at\t0\t|r|a|\nintent\t1\tfile\tx\tX\nat\t0\t|r|\nat\t3\ta|\n"
                                  "intent\t2\tfile\ty\tY\nat\t0\t|r|\nintent\t3\tfile\ta|z\tZ\n",
                                  {"|r|a|x", "|r|a|y", "|r|a|z"}},
                    FolderRecords{
                        "DownAndBackUp",
                        2,
                        "at\t0\t|r|\nat\t3\ta|\nat\t5\tb|\nat\t3\tc|\nintent\t1\tfile\tx\tX\n"
                        "at\t5\td|\nintent\t2\tfile\ty\tY\nat\t3\t\nintent\t3\tfile\tz\tZ\n",
                        {"|r|c|x", "|r|c|d|y", "|r|z"}},
                    FolderRecords{"WholePathsOfTheFirstVersion",
                                  1,
                                  "intent\t1\tfile\t|r|a|x\tX\nintent\t2\tfile\t|r|y\tY\n"
                                  "intent\t3\tfile\t|r|a|z\tZ\n",
                                  {"|r|a|x", "|r|y", "|r|a|z"}},
                    FolderRecords{"TemporaryNameOfAnEntryReachedAnotherWay",
                                  2,
                                  "at\t0\t|r|a|\nintent\t1\tfile\tx\tX\nat\t0\t|r|\n"
                                  "temporary\ta|x\t.tmp\n",
                                  {"|r|a|x"},
                                  ".tmp"}),
    tovana::test::CaseLabel());

TEST_F(JournalTest, AMissingJournalCannotBeRead) {
    EXPECT_EQ(UndoIt(journals.path("none.journal")).Problem, UndoProblem::Unreadable);
    EXPECT_EQ(UndoIt().Problem, UndoProblem::NothingToUndo);
}

TEST_F(JournalTest, ATornLastLineIsLeftOutAndTheRestIsUndone) {
    Build({"Léto/ř.txt"});
    const std::string path = RunJournaled(Everything());
    std::ofstream(std::filesystem::path(journals.root() / std::filesystem::path(path).filename()),
                  std::ios::app | std::ios::binary)
        << "intent\t99\tfile\t/nowhere/a\tb\\";
    const tovana::UndoOutcome undo = UndoIt(path);
    EXPECT_EQ(undo.Problem, UndoProblem::None) << undo.Detail;
    EXPECT_EQ(undo.Failed, 0);
    EXPECT_EQ(tree.Snapshot(), (Tree{{"Léto/", ""}, {"Léto/ř.txt", "Léto/ř.txt"}}));
}

}  // namespace
