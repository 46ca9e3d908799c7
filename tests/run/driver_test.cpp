#include "run/driver.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "run/exchange.hpp"
#include "support/capture.hpp"
#include "support/faulty_fs.hpp"
#include "support/memory_fs.hpp"

namespace textmatte {
namespace {

using Files = std::map<std::string, std::string>;

const std::string kDrawing = "hch 1 2 5 4 5 6 7 8 9 10\r\n"
                             "lc2\r\n"
                             "cn3\r\n"
                             "ch 10 20 30 0 \"ABC\r\n";
const std::string kOutput =
    "lc2\r\n"
    "cn3\r\n"
    "lc10 #c0c0c0\r\n"
    "sl 8.000000000000 18.000000000000 42.000000000000 18.000000000000 42.000000000000 "
    "27.000000000000 8.000000000000 27.000000000000\r\n"
    "ch 10.0000000000 20.0000000000 30.0000000000 0.0000000000 \"ABC\r\n"
    "cn3\r\n"
    "lg14\r\nly14\r\nlt20\r\nlc2\r\n";

// A selection without a horizontal text: the run's result is the notice
// alone, written in place of what the scan wrote.
const std::string kNoTextDrawing = "hq\r\nlc2\r\n 0 0 10 10\r\ncv 0 0 0 1 \"V\r\n";

struct Ran {
    int status;
    std::string out;
    std::string err;
    int interrupted_by = 0;
};

Ran run_in(FileSystem& fs, std::vector<const char*> args,
           const Interrupts& interrupts = NoInterrupts()) {
    args.insert(args.begin(), "textmatte");
    testing::Captured out(LineEnds::lf), err(LineEnds::lf);
    const RunResult r =
        run(static_cast<int>(args.size()), args.data(), fs, out.out, err.out, interrupts);
    return {r.status, out.str(), err.str(), r.interrupted_by};
}

// Passes everything on to another file system and calls back before and
// after each operation: to look at what a fault would find at that moment,
// or to play another program that changes the directory meanwhile.
class EveryOperation final : public FileSystem {
  public:
    EveryOperation(testing::MemoryFileSystem& base, std::function<void()> probe)
        : base_(base), probe_(std::move(probe)) {}
    using FileSystem::create_new;
    OpenedFile open_read(const char* name) override {
        return around([&] { return base_.open_read(name); });
    }
    NewFile create_new(const char* name, const char* like_name) override {
        return around([&] { return base_.create_new(name, like_name); });
    }
    Outcome rename(const char* from, const char* to) override {
        return around([&] { return base_.rename(from, to); });
    }
    Swap swap(const char* a, const char* b) override {
        return around([&] { return base_.swap(a, b); });
    }
    Outcome remove_name(const char* name) override {
        return around([&] { return base_.remove_name(name); });
    }
    Entry inspect(const char* name) override {
        return around([&] { return base_.inspect(name); });
    }
    std::vector<FileId> reached_through_links(const char* name) override {
        return base_.reached_through_links(name);
    }
    bool sync_directory(const char* file_in_it) override {
        return around([&] { return base_.sync_directory(file_in_it); });
    }
    bool names_ignore_case() const override { return base_.names_ignore_case(); }
    LockResult lock_directory(const char* lock_name, std::unique_ptr<ExchangeLock>& lock) override {
        return around([&] { return base_.lock_directory(lock_name, lock); });
    }

  private:
    template <typename Operation> std::invoke_result_t<Operation> around(Operation operation) {
        probe_();
        auto result = operation();
        probe_();
        return result;
    }

    testing::MemoryFileSystem& base_;
    std::function<void()> probe_;
};

TEST(Driver, TypicalRunPutsTheOutputWhereTheHostReadsIt) {
    for (bool ignore_case : {false, true}) {
        testing::MemoryFileSystem fs(ignore_case);
        fs.put("jwc_temp.txt", kDrawing);
        Ran r = run_in(fs, {"/c3", "/d2"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(fs.listing(), (Files{{"jwc_temp.txt", kOutput}}));
    }
}

TEST(Driver, DebugLevelsLeaveTheHostsFileAsWritten) {
    for (const char* level : {"/t1", "/t2", "/t3", "/t4", "/t5", "/t6"}) {
        testing::MemoryFileSystem fs;
        fs.put("jwc_temp.txt", kDrawing);
        Ran r = run_in(fs, {"/c3", "/d2", level});
        EXPECT_EQ(r.status, 0) << level;
        Files files = fs.listing();
        EXPECT_EQ(files["jwc_temp.txt"], kDrawing) << level;
        EXPECT_EQ(files.count("JWC_TEMP.$$$"), 1u) << level;
        EXPECT_EQ(files.size(), 2u) << level;
    }
}

TEST(Driver, NoInterchangeFile) {
    testing::MemoryFileSystem fs;
    Ran r = run_in(fs, {});
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(r.err, "Cannot open file: JWC_TEMP.TXT \n");
    EXPECT_TRUE(fs.listing().empty());
}

TEST(Driver, TheLineLimitIsFiftyThousand) {
    std::string at_limit;
    for (int i = 0; i < 50000; ++i)
        at_limit += "#\r\n";
    for (bool over : {false, true}) {
        testing::MemoryFileSystem fs;
        const std::string drawing = at_limit + (over ? "#\r\n" : "");
        fs.put("jwc_temp.txt", drawing);
        Ran r = run_in(fs, {});
        Files files = fs.listing();
        if (!over) {
            EXPECT_EQ(r.status, 0);
            EXPECT_EQ(files["jwc_temp.txt"], at_limit + "lg14\r\nly14\r\nlt20\r\nlc20\r\n");
            EXPECT_EQ(files.size(), 1u);
        } else {
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.err, "Too many lines: jwc_temp.txt has more than 50000 lines \n");
            EXPECT_EQ(files["jwc_temp.txt"], drawing);
            EXPECT_EQ(
                files["JWC_TEMP.$$$"],
                "he  \x97\x76\x91\x66\x90\x94\x83\x49\x81\x5b\x83\x6f\x81\x5b    MAX=50000\r\n");
        }
    }
}

TEST(Driver, AnOutputLongerThanTheLimitGoesBackWhole) {
    std::string drawing;
    for (int i = 0; i < 20000; ++i)
        drawing += "ch 0 0 1 0 \"t\r\n";
    testing::MemoryFileSystem fs;
    fs.put("jwc_temp.txt", drawing);
    EXPECT_EQ(run_in(fs, {}).status, 0);
    const std::string out = fs.listing()["jwc_temp.txt"];
    std::size_t lines = 0;
    for (char c : out)
        lines += c == '\n';
    EXPECT_EQ(lines, 60004u);
}

TEST(Driver, StaleIntermediateFilesNeverBecomeTheInput) {
    testing::MemoryFileSystem fs;
    fs.put("jwc_temp.txt", kDrawing);
    fs.put("JWC_x2x2.$$", "stale one\r\n");
    fs.put("JWC_x2x2.$$$", "stale two\r\n");
    fs.put("JWC_TEMP.TXT", "stale three\r\n");
    fs.put("JWC_TEMP.$$$", "stale four\r\n");
    Ran r = run_in(fs, {"/c3", "/d2"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(fs.listing(), (Files{{"jwc_temp.txt", kOutput}}));
}

TEST(Driver, IntermediatesAreKeptWhenTheHostsFileIsMissing) {
    // They may hold the only copy of a drawing from an interrupted run.
    testing::MemoryFileSystem fs;
    fs.put("JWC_x2x2.$$", kDrawing);
    Ran r = run_in(fs, {});
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(fs.listing(), (Files{{"JWC_x2x2.$$", kDrawing}}));
}

TEST(Driver, OnlyTheHostsOwnFileIsTaken) {
    // A working file left by a killed run, but no host's file: nothing to do.
    testing::MemoryFileSystem fs;
    fs.put("JWC_TEMP.TXT", kDrawing);
    Ran r = run_in(fs, {});
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(r.err, "Cannot open file: JWC_TEMP.TXT \n");
    EXPECT_EQ(fs.listing(), (Files{{"JWC_TEMP.TXT", kDrawing}}));
    // A directory under the host's name is not moved.
    testing::MemoryFileSystem dir;
    dir.make_directory("jwc_temp.txt");
    r = run_in(dir, {});
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(r.err, "Cannot open file: JWC_TEMP.TXT \n");
    EXPECT_TRUE(dir.listing().empty());
}

// Names the run does not need are no reason to stop: where names tell case
// apart the host's file is read where it is, and where they do not, a
// blocked first step leaves it there, under the working name too.
TEST(Driver, LeftoversUnderNamesTheRunDoesNotNeedAreLeftAlone) {
    for (bool ignore_case : {false, true}) {
        testing::MemoryFileSystem fs(ignore_case);
        fs.put("jwc_temp.txt", kDrawing);
        fs.make_directory("JWC_x2x2.$$");
        if (!ignore_case) fs.make_directory("JWC_TEMP.TXT");
        Ran r = run_in(fs, {"/c3", "/d2"});
        EXPECT_EQ(r.status, 0) << ignore_case;
        EXPECT_EQ(r.err, "") << ignore_case;
        EXPECT_EQ(fs.listing(), (Files{{"jwc_temp.txt", kOutput}})) << ignore_case;
    }
}

// Where names tell case apart, the host's name holds the drawing for the
// whole run: nothing moves it, and the complete output swaps names with it
// in one step, the drawing that came out goes, and the directory is synced;
// where the file system cannot swap names, the output replaces it in one
// rename. Where names do not tell case apart, the file goes to the working
// name, and the directory is synced after the output has replaced it.
TEST(Driver, TheHostsNameIsNeverEmptyWhereNamesTellCaseApart) {
    const std::vector<std::string> swapped = {"create JWC_TEMP.$$$",
                                              "swap JWC_TEMP.$$$ jwc_temp.txt",
                                              "remove JWC_TEMP.$$$", "sync directory"};
    const std::vector<std::string> renamed = {"create JWC_TEMP.$$$",
                                              "rename JWC_TEMP.$$$ jwc_temp.txt", "sync directory"};
    const std::vector<std::string> moved = {
        "rename jwc_temp.txt JWC_x2x2.$$",  "rename JWC_x2x2.$$ JWC_x2x2.$$$",
        "rename JWC_x2x2.$$$ JWC_TEMP.TXT", "create JWC_TEMP.$$$",
        "rename JWC_TEMP.$$$ jwc_temp.txt", "sync directory"};
    struct Case {
        bool ignore_case;
        bool swaps;
        const std::vector<std::string>& operations;
    } cases[] = {{false, true, swapped}, {false, false, renamed}, {true, true, moved}};
    for (const Case& c : cases) {
        testing::MemoryFileSystem fs(c.ignore_case);
        if (!c.swaps) fs.swaps_unsupported();
        fs.put("jwc_temp.txt", kDrawing);
        EXPECT_EQ(run_in(fs, {"/c3", "/d2"}).status, 0);
        EXPECT_EQ(fs.operations(), c.operations) << c.ignore_case << c.swaps;
        EXPECT_EQ(fs.listing(), (Files{{"jwc_temp.txt", kOutput}}));
    }
    testing::MemoryFileSystem debug;
    debug.put("jwc_temp.txt", kDrawing);
    EXPECT_EQ(run_in(debug, {"/t1"}).status, 0);
    EXPECT_EQ(debug.operations(), std::vector<std::string>{"create JWC_TEMP.$$$"});
}

// The lock comes first: whatever lies in the directory, a run that finds
// it held touches nothing, leftovers included.
TEST(Driver, ARunHoldingTheDirectoryKeepsOthersOut) {
    for (bool drawing_there : {true, false}) {
        testing::MemoryFileSystem fs;
        if (drawing_there) fs.put("jwc_temp.txt", kDrawing);
        fs.put("JWC_TEMP.$$$", "a live run's output");
        fs.hold_lock(true);
        Ran r = run_in(fs, {});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "Cannot lock file: jwc_temp.txt (another run is using it) \n");
        Files expected{{"JWC_TEMP.$$$", "a live run's output"}};
        if (drawing_there) expected["jwc_temp.txt"] = kDrawing;
        EXPECT_EQ(fs.listing(), expected);
        EXPECT_TRUE(fs.operations().empty());
    }
}

// Another program rewrites the host's file, or puts a new one in its place,
// while the run reads it: the output was not made from what is there now,
// so it does not replace it. A debug run says so too, and keeps its output.
TEST(Driver, ADrawingChangedDuringTheRunIsNotReplaced) {
    for (bool new_file : {false, true}) {
        for (const char* level : {"/t0", "/t1"}) {
            testing::MemoryFileSystem memory;
            memory.put("jwc_temp.txt", kDrawing);
            bool changed = false;
            EveryOperation fs(memory, [&] {
                if (changed || memory.listing().count("JWC_TEMP.$$$") == 0) return;
                changed = true;
                if (new_file)
                    memory.put("jwc_temp.txt", "lc4\r\n");
                else
                    memory.rewrite("jwc_temp.txt", "lc4\r\n");
            });
            const Ran r = run_in(fs, {"/c3", "/d2", level});
            const std::string where = std::string(level) + (new_file ? ", a new file" : "");
            EXPECT_EQ(r.status, 1) << where;
            EXPECT_EQ(r.err, "Cannot replace file: jwc_temp.txt (it changed during the run) \n")
                << where;
            Files files = memory.listing();
            EXPECT_EQ(files["jwc_temp.txt"], "lc4\r\n") << where;
            EXPECT_EQ(files.count("JWC_TEMP.$$$"), std::string(level) == "/t1" ? 1u : 0u) << where;
        }
    }
}

// Until the result is in place, another program may change the folder: a
// lock file removed (its owner may, in a sticky folder), which would let
// another run in; an output replaced (by such a run); a rewrite that leaves the drawing's size
// and times alone (through a shared mapping); a look at the drawing that
// fails with an I/O error. None ends with status 0, none puts anything
// over the drawing, and the other's output is left alone.
TEST(Driver, TheResultGoesInOnlyOverTheDrawingAsReadWhileTheRunHoldsTheFolder) {
    const std::string newer = std::string(kDrawing).replace(kDrawing.find("ABC"), 3, "XYZ");
    struct Case {
        const char* what;
        std::function<void(testing::MemoryFileSystem&)> change;
        std::string said;
        Files left;
    } cases[] = {
        {"the lock lost",
         [](testing::MemoryFileSystem& m) { m.lose_lock(); },
         "Cannot lock file: jwc_temp.txt (another run is using it) \n",
         {{"jwc_temp.txt", kDrawing}}},
        {"the output replaced",
         [](testing::MemoryFileSystem& m) { m.put("JWC_TEMP.$$$", "x"); },
         "Cannot rename file: JWC_TEMP.$$$ to jwc_temp.txt \n",
         {{"jwc_temp.txt", kDrawing}, {"JWC_TEMP.$$$", "x"}}},
        {"a rewrite without a trace",
         [&](testing::MemoryFileSystem& m) { m.rewrite_quietly("jwc_temp.txt", newer); },
         "Cannot replace file: jwc_temp.txt (it changed during the run) \n",
         {{"jwc_temp.txt", newer}}},
        {"an I/O error at the last look",
         [](testing::MemoryFileSystem& m) { m.make_unreadable("jwc_temp.txt"); },
         "Cannot read file: jwc_temp.txt \n",
         {{"jwc_temp.txt", kDrawing}}},
    };
    for (const Case& c : cases) {
        testing::MemoryFileSystem memory;
        memory.put("jwc_temp.txt", kDrawing);
        bool changed = false;
        EveryOperation fs(memory, [&] {
            // Once the output is complete: it is synced and closed before
            // anything looks at the drawing again.
            const Files files = memory.listing();
            if (changed || files.count("JWC_TEMP.$$$") == 0 || files.at("JWC_TEMP.$$$") != kOutput)
                return;
            changed = true;
            c.change(memory);
        });
        const Ran r = run_in(fs, {"/c3", "/d2"});
        EXPECT_TRUE(changed) << c.what;
        EXPECT_EQ(r.status, 1) << c.what;
        EXPECT_EQ(r.err, c.said) << c.what;
        EXPECT_EQ(memory.listing(), c.left) << c.what;
    }
}

// The output cannot be given the drawing's permissions, owner or ACL: it
// goes at once, and the drawing stays as it was.
TEST(Driver, AnOutputWithoutTheDrawingsAccessReplacesNothing) {
    for (const char* level : {"/t0", "/t1"}) {
        testing::MemoryFileSystem fs;
        fs.put("jwc_temp.txt", kDrawing);
        fs.refuse_access();
        const Ran r = run_in(fs, {level});
        EXPECT_EQ(r.status, 1) << level;
        EXPECT_EQ(r.err, "Cannot write file: JWC_TEMP.$$$ \n") << level;
        EXPECT_EQ(fs.listing(), (Files{{"jwc_temp.txt", kDrawing}})) << level;
    }
}

// Without locks, a leftover output may be a live run's: it stays, nothing
// is touched, and the message says what it is and what to do. With locks
// it is an earlier run's, and goes.
TEST(Driver, ALeftoverOutputIsRemovedOnlyUnderTheLock) {
    for (bool locks : {true, false}) {
        testing::MemoryFileSystem fs;
        fs.put("jwc_temp.txt", kDrawing);
        fs.put("JWC_TEMP.$$$", "partial");
        if (!locks) fs.locks_unavailable();
        const Ran r = run_in(fs, {"/c3", "/d2"});
        if (locks) {
            EXPECT_EQ(r.status, 0) << r.err;
            EXPECT_EQ(fs.listing(), (Files{{"jwc_temp.txt", kOutput}}));
        } else {
            EXPECT_EQ(r.status, -1);
            EXPECT_EQ(r.err, "Cannot create file: JWC_TEMP.$$$ (left by an earlier run; delete it "
                             "when no run is live) \n");
            EXPECT_EQ(fs.listing(),
                      (Files{{"jwc_temp.txt", kDrawing}, {"JWC_TEMP.$$$", "partial"}}));
            EXPECT_TRUE(fs.operations().empty());
        }
    }
}

// The result is in place, but the directory's sync failed: said, and a
// status of its own, since the result may not survive a power loss.
TEST(Driver, AFailedDirectorySyncIsSaid) {
    testing::MemoryFileSystem fs;
    fs.put("jwc_temp.txt", kDrawing);
    fs.fail_directory_sync();
    const Ran r = run_in(fs, {"/c3", "/d2"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "Cannot sync folder: the result is in jwc_temp.txt but may not survive a "
                     "power loss \n");
    EXPECT_EQ(fs.listing(), (Files{{"jwc_temp.txt", kOutput}}));
}

// Windows: a file another program still holds after the wait is said as
// such, with status 1, not as a missing file. Held for reading too, the run
// cannot open it; held only against its replacement, the complete output
// cannot replace it, and goes, so the host's file is all that remains. A
// leftover output another program holds keeps the run from its name.
TEST(Driver, AFileHeldByAnotherProgramIsSaidSo) {
    struct Case {
        const char* held;
        bool readable;
        const char* said;
    } cases[] = {
        {"jwc_temp.txt", false, "Cannot open file: JWC_TEMP.TXT (another program is using it) \n"},
        {"jwc_temp.txt", true,
         "Cannot rename file: JWC_TEMP.$$$ to jwc_temp.txt (another program is using it) \n"},
        {"JWC_TEMP.$$$", false, "Cannot open file: JWC_TEMP.$$$ (another program is using it) \n"},
    };
    for (const Case& c : cases) {
        testing::MemoryFileSystem fs(true);
        fs.put("jwc_temp.txt", kDrawing);
        Files expected{{"jwc_temp.txt", kDrawing}};
        if (std::string(c.held) != "jwc_temp.txt") fs.put(c.held, expected[c.held] = "left");
        fs.hold(c.held, c.readable);
        const Ran r = run_in(fs, {"/c3", "/d2"});
        const std::string where = std::string(c.held) + (c.readable ? ", readable" : "");
        EXPECT_EQ(r.status, 1) << where;
        EXPECT_EQ(r.err, c.said) << where;
        EXPECT_EQ(fs.listing(), expected) << where;
    }
}

TEST(Driver, AnOutputThatCannotBeOpenedLeavesTheHostsFile) {
    testing::MemoryFileSystem fs;
    fs.put("jwc_temp.txt", kDrawing);
    fs.make_directory("JWC_TEMP.$$$");
    Ran r = run_in(fs, {});
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(r.err, "Cannot open file: JWC_TEMP.$$$ \n");
    EXPECT_EQ(fs.listing(), (Files{{"jwc_temp.txt", kDrawing}}));
}

// Where names ignore case, a step of the renaming that fails puts the
// host's file back under its own name, and the directory is synced after.
TEST(Driver, ABrokenRenamingChainPutsTheFileBack) {
    testing::MemoryFileSystem fs(true);
    fs.put("jwc_temp.txt", kDrawing);
    fs.make_directory("JWC_x2x2.$$$");
    Ran r = run_in(fs, {});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Cannot rename file: JWC_x2x2.$$ to JWC_x2x2.$$$ \n");
    EXPECT_EQ(fs.listing(), (Files{{"jwc_temp.txt", kDrawing}}));
    EXPECT_EQ(fs.operations().back(), "sync directory");
}

// A full disk: a normal run gives back every byte it wrote and leaves the
// host's file as written; a debug run keeps its partial output to be seen.
TEST(Driver, AFullDiskLeavesNoPartialOutputInANormalRun) {
    std::string drawing;
    for (int i = 0; i < 5000; ++i)
        drawing += "ch 10 20 30 0 \"ABC\r\n";
    for (bool ignore_case : {false, true}) {
        for (const char* level : {"/t0", "/t1"}) {
            testing::MemoryFileSystem fs(ignore_case);
            fs.put("jwc_temp.txt", drawing);
            fs.set_free_space(100000);
            Ran r = run_in(fs, {level});
            EXPECT_EQ(r.status, 1) << level;
            EXPECT_EQ(r.err, "Cannot write file: JWC_TEMP.$$$ \n") << level;
            Files files = fs.listing();
            EXPECT_EQ(files["jwc_temp.txt"], drawing) << level;
            if (std::string(level) == "/t0") {
                EXPECT_EQ(files.size(), 1u) << ignore_case;
                EXPECT_EQ(fs.free_space(), 100000u) << ignore_case;
            } else {
                EXPECT_EQ(files.count("JWC_TEMP.$$$"), 1u) << ignore_case;
            }
        }
    }
}

// Every file operation of a run fails in turn. After each run the host's
// file is what the host wrote, or the complete output, under its own name;
// a failed run says why and ends non-zero.
TEST(Driver, EveryFailingOperationLeavesTheHostsFileWhole) {
    for (const std::string& drawing : {kDrawing, kNoTextDrawing}) {
        for (bool ignore_case : {false, true}) {
            for (const char* level : {"/t0", "/t1"}) {
                const std::string expected = [&] {
                    testing::MemoryFileSystem clean(ignore_case);
                    clean.put("jwc_temp.txt", drawing);
                    run_in(clean, {"/c3", "/d2", level});
                    return std::string(level) == "/t0" ? clean.listing().rbegin()->second : drawing;
                }();
                for (long n = 1;; ++n) {
                    testing::MemoryFileSystem memory(ignore_case);
                    memory.put("jwc_temp.txt", drawing);
                    testing::FaultyFileSystem fs(memory, n);
                    Ran r = run_in(fs, {"/c3", "/d2", level});
                    const Files files = memory.listing();
                    const std::string* host = nullptr; // what the host reads back
                    bool kept = false;                 // the drawing is under some name
                    for (const auto& [name, bytes] : files) {
                        if (name == "jwc_temp.txt" || (ignore_case && name == "JWC_TEMP.TXT"))
                            host = &bytes;
                        kept = kept || bytes == drawing || bytes == expected;
                    }
                    if (r.status == 0) {
                        ASSERT_NE(host, nullptr) << "operation " << n;
                        EXPECT_EQ(*host, expected) << "operation " << n;
                        EXPECT_EQ(r.err, "");
                    } else {
                        EXPECT_NE(r.err, "") << "operation " << n;
                        EXPECT_TRUE(kept) << "operation " << n;
                        if (host) {
                            EXPECT_TRUE(*host == drawing || *host == expected) << "operation " << n;
                        }
                    }
                    if (!fs.fired()) break;
                    ASSERT_LT(n, 100);
                }
            }
        }
    }
}

// An interrupt arrives before each file operation of a run in turn. A run
// that has not completed by then ends by the interrupt, with the host's
// file back as the host wrote it and nothing else left; a complete run
// ends with status 0.
TEST(Driver, AnInterruptAtAnyMomentLeavesTheHostsFileOrTheCompleteResult) {
    for (const std::string& drawing : {kDrawing, kNoTextDrawing}) {
        for (bool ignore_case : {false, true}) {
            for (const char* level : {"/t0", "/t1"}) {
                const bool debug = std::string(level) != "/t0";
                const Files complete = [&] {
                    testing::MemoryFileSystem clean(ignore_case);
                    clean.put("jwc_temp.txt", drawing);
                    run_in(clean, {"/c3", "/d2", level});
                    return clean.listing();
                }();
                const Files untouched = {{"jwc_temp.txt", drawing}};
                int interrupted = 0;
                for (long n = 1;; ++n) {
                    testing::MemoryFileSystem memory(ignore_case);
                    memory.put("jwc_temp.txt", drawing);
                    testing::FaultyFileSystem fs(memory, n, testing::Fault::interrupt);
                    Ran r = run_in(fs, {"/c3", "/d2", level}, fs);
                    const std::string where =
                        std::string(level) + ", operation " + std::to_string(n);
                    if (r.interrupted_by) {
                        ++interrupted;
                        EXPECT_EQ(r.interrupted_by, 2) << where;
                        EXPECT_EQ(memory.listing(), untouched) << where;
                        EXPECT_EQ(r.err, "Interrupted: jwc_temp.txt is as it was before the run \n")
                            << where;
                    } else {
                        EXPECT_EQ(r.status, 0) << where;
                        EXPECT_EQ(memory.listing(), complete) << where;
                        EXPECT_EQ(r.err, "") << where;
                    }
                    if (!fs.fired()) break;
                    ASSERT_LT(n, 100);
                }
                EXPECT_GT(interrupted, 5) << level;
                EXPECT_EQ(complete.size(), debug ? 2u : 1u);
            }
        }
    }
}

// Memory runs out in each file operation of a run that allocates, in turn.
// The run says so in one line, ends with status 1 and leaves the host's
// file as written and nothing else.
TEST(Driver, RunningOutOfMemoryLeavesTheHostsFile) {
    for (bool ignore_case : {false, true}) {
        const Files untouched = {{"jwc_temp.txt", kDrawing}};
        int ran_out = 0;
        for (long n = 1;; ++n) {
            testing::MemoryFileSystem memory(ignore_case);
            memory.put("jwc_temp.txt", kDrawing);
            testing::FaultyFileSystem fs(memory, n, testing::Fault::out_of_memory);
            Ran r = run_in(fs, {"/c3", "/d2"});
            const std::string where = "operation " + std::to_string(n);
            if (r.status == 0) {
                EXPECT_EQ(memory.listing(), (Files{{"jwc_temp.txt", kOutput}})) << where;
            } else {
                ++ran_out;
                EXPECT_EQ(r.status, 1) << where;
                EXPECT_EQ(r.err, "Out of memory \n") << where;
                EXPECT_EQ(memory.listing(), untouched) << where;
            }
            if (!fs.fired()) break;
            ASSERT_LT(n, 100);
        }
        EXPECT_GE(ran_out, 3) << "locking, opening and creating";
    }
}

// A fault at any moment of a run, between any two file operations: the
// fault handler's clean-up, done on a copy of the directory, leaves the
// host's file as written and no partial output, and its line says so; or
// the result is in place, and its line says that. (Where names ignore case
// there is no fault handler: Windows.)
TEST(Driver, AFaultAtAnyMomentFindsTheOutputsStage) {
    for (const char* level : {"/t0", "/t1"}) {
        const bool debug = std::string(level) != "/t0";
        testing::MemoryFileSystem memory;
        memory.put("jwc_temp.txt", kDrawing);
        int before = 0, after = 0;
        EveryOperation fs(memory, [&] {
            const FaultView view = fault_view();
            Files files = memory.listing();
            bool said_after = view.stage == OutputStage::in_place;
            if (view.stage == OutputStage::replacing)
                said_after = files.erase(view.output_name) == 0;
            else if (view.stage == OutputStage::creating || view.stage == OutputStage::partial ||
                     view.stage == OutputStage::complete)
                files.erase(view.output_name);
            else if (view.stage == OutputStage::swapping) {
                // Swapped back if the swap went through, and the output
                // goes; the swap back fails once the drawing that came out
                // has gone, and the result stays.
                const bool swapped = files[view.host_name] == kOutput;
                if (swapped && files.count(view.output_name))
                    std::swap(files[view.host_name], files[view.output_name]);
                said_after = swapped && !files.count(view.output_name);
                files.erase(view.output_name);
            }
            const std::string where = std::string(level) + " after " +
                                      std::to_string(memory.operations().size()) + " operations";
            if (said_after) {
                ++after;
                EXPECT_EQ(files, (Files{{"jwc_temp.txt", kOutput}})) << where;
            } else {
                ++before;
                EXPECT_EQ(files["jwc_temp.txt"], kDrawing) << where;
                files.erase("jwc_temp.txt");
                for (const auto& [name, bytes] : files) // a debug run's output stays
                    EXPECT_TRUE(debug && name == "JWC_TEMP.$$$" && !bytes.empty())
                        << name << " left, " << where;
            }
        });
        EXPECT_EQ(run_in(fs, {"/c3", "/d2", level}).status, 0);
        EXPECT_GT(before, 2) << level;
        EXPECT_EQ(after > 0, !debug) << level;
    }
}

// A fault while the output is being renamed over the drawing: only an
// output name already gone means the rename went through; one removed now,
// or one the system would not remove, means the drawing is as it was.
TEST(Driver, AFaultDuringTheRenameSaysAfterOnlyWhenTheOutputsNameWasGone) {
    namespace fs = std::filesystem;
    const fs::path folder =
        fs::temp_directory_path() / ("textmatte-fault-" + std::to_string(std::random_device()()));
    fs::create_directory(folder);
    const std::string output = (folder / "JWC_TEMP.$$$").string();
    struct Case {
        const char* what;
        void (*make)(const std::string& output);
        Report said;
    } cases[] = {
        {"the output still there", [](const std::string& o) { std::ofstream(o) << "partial"; },
         Report::fault_before},
        {"the output's name gone", [](const std::string&) {}, Report::fault_after},
        {"a folder the system will not remove",
         [](const std::string& o) { fs::create_directory(o); }, Report::fault_before},
    };
    for (const Case& c : cases) {
        c.make(output);
        NoInterrupts interrupts;
        RunEnding ending(interrupts, false);
        ending.output_creating(output.c_str());
        ending.output_created(FileId{});
        ending.output_complete();
        ending.output_replacing();
        EXPECT_EQ(clean_up_after_fault(), c.said) << c.what;
        EXPECT_FALSE(fs::is_regular_file(output)) << c.what;
        std::error_code ignored;
        fs::remove(output, ignored);
    }
    fs::remove_all(folder);
}

// The order a run's safety rests on fails loudly where assertions are on:
// an exchange that outlives the ending it reports to, a lock released while
// the run still works, an output stage out of its order.
#ifndef NDEBUG
TEST(DriverDeathTest, TheRunsOrderIsChecked) {
    EXPECT_DEATH(
        {
            testing::MemoryFileSystem fs(false);
            fs.put("jwc_temp.txt", kDrawing);
            auto ending = std::make_unique<RunEnding>(NoInterrupts(), false);
            auto exchange = std::make_unique<Exchange>(fs, *ending);
            ending.reset();
        },
        "the exchange ends before the ending");
    EXPECT_DEATH(
        {
            RunEnding ending(NoInterrupts(), false);
            ending.output_in_place();
        },
        "an output stage out of its order");
}
#endif

} // namespace
} // namespace textmatte
