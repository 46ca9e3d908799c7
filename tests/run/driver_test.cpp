#include "run/driver.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <map>
#include <string>
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
// whole run: nothing moves it, and the complete output replaces it in one
// rename, after which the directory is synced. Where they do not, the file
// goes to the working name, and the directory is synced after the output
// has replaced it.
TEST(Driver, TheHostsNameIsNeverEmptyWhereNamesTellCaseApart) {
    const std::vector<std::string> in_place = {
        "create JWC_TEMP.$$$", "rename JWC_TEMP.$$$ jwc_temp.txt", "sync directory"};
    const std::vector<std::string> moved = {
        "rename jwc_temp.txt JWC_x2x2.$$",  "rename JWC_x2x2.$$ JWC_x2x2.$$$",
        "rename JWC_x2x2.$$$ JWC_TEMP.TXT", "create JWC_TEMP.$$$",
        "rename JWC_TEMP.$$$ jwc_temp.txt", "sync directory"};
    for (bool ignore_case : {false, true}) {
        testing::MemoryFileSystem fs(ignore_case);
        fs.put("jwc_temp.txt", kDrawing);
        EXPECT_EQ(run_in(fs, {"/c3", "/d2"}).status, 0);
        EXPECT_EQ(fs.operations(), ignore_case ? moved : in_place) << ignore_case;
    }
    testing::MemoryFileSystem debug;
    debug.put("jwc_temp.txt", kDrawing);
    EXPECT_EQ(run_in(debug, {"/t1"}).status, 0);
    EXPECT_EQ(debug.operations(), std::vector<std::string>{"create JWC_TEMP.$$$"});
}

TEST(Driver, ARunHoldingTheDirectoryKeepsOthersOut) {
    testing::MemoryFileSystem fs;
    fs.put("jwc_temp.txt", kDrawing);
    fs.hold_lock(true);
    Ran r = run_in(fs, {});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Cannot lock file: jwc_temp.txt (another run is using it) \n");
    EXPECT_EQ(fs.listing(), (Files{{"jwc_temp.txt", kDrawing}}));
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
    for (bool ignore_case : {false, true}) {
        for (const char* level : {"/t0", "/t1"}) {
            const std::string expected = [&] {
                testing::MemoryFileSystem clean(ignore_case);
                clean.put("jwc_temp.txt", kDrawing);
                run_in(clean, {"/c3", "/d2", level});
                return std::string(level) == "/t0" ? clean.listing().rbegin()->second : kDrawing;
            }();
            for (long n = 1;; ++n) {
                testing::MemoryFileSystem memory(ignore_case);
                memory.put("jwc_temp.txt", kDrawing);
                testing::FaultyFileSystem fs(memory, n);
                Ran r = run_in(fs, {"/c3", "/d2", level});
                const Files files = memory.listing();
                const std::string* host = nullptr; // what the host reads back
                bool kept = false;                 // the drawing is under some name
                for (const auto& [name, bytes] : files) {
                    if (name == "jwc_temp.txt" || (ignore_case && name == "JWC_TEMP.TXT"))
                        host = &bytes;
                    kept = kept || bytes == kDrawing || bytes == expected;
                }
                if (r.status == 0) {
                    ASSERT_NE(host, nullptr) << "operation " << n;
                    EXPECT_EQ(*host, expected) << "operation " << n;
                    EXPECT_EQ(r.err, "");
                } else {
                    EXPECT_NE(r.err, "") << "operation " << n;
                    EXPECT_TRUE(kept) << "operation " << n;
                    if (host) {
                        EXPECT_TRUE(*host == kDrawing || *host == expected) << "operation " << n;
                    }
                }
                if (!fs.fired()) break;
                ASSERT_LT(n, 100);
            }
        }
    }
}

// An interrupt arrives before each file operation of a run in turn. A run
// that has not completed by then ends by the interrupt, with the host's
// file back as the host wrote it and nothing else left; a complete run
// ends with status 0.
TEST(Driver, AnInterruptAtAnyMomentLeavesTheHostsFileOrTheCompleteResult) {
    for (bool ignore_case : {false, true}) {
        for (const char* level : {"/t0", "/t1"}) {
            const bool debug = std::string(level) != "/t0";
            const Files complete = [&] {
                testing::MemoryFileSystem clean(ignore_case);
                clean.put("jwc_temp.txt", kDrawing);
                run_in(clean, {"/c3", "/d2", level});
                return clean.listing();
            }();
            const Files untouched = {{"jwc_temp.txt", kDrawing}};
            int interrupted = 0;
            for (long n = 1;; ++n) {
                testing::MemoryFileSystem memory(ignore_case);
                memory.put("jwc_temp.txt", kDrawing);
                testing::FaultyFileSystem fs(memory, n, testing::Fault::interrupt);
                Ran r = run_in(fs, {"/c3", "/d2", level}, fs);
                const std::string where = std::string(level) + ", operation " + std::to_string(n);
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

#ifndef _WIN32

// What a fault handler would find: the file named for removal after a
// crash, and whether the output exists.
namespace at_signal {
const char* volatile named_for_removal = nullptr;
volatile bool output_there = false;
volatile int handled = 0;
const char* volatile seen_named[2] = {};
volatile bool seen_output_there[2] = {};

extern "C" void look(int) {
    if (handled < 2) {
        seen_named[handled] = named_for_removal;
        seen_output_there[handled] = output_there;
    }
    handled = handled + 1;
}
} // namespace at_signal

// Passes everything on to another file system, and raises a signal just as
// the output is created and just as it replaces the host's file: as if one
// were sent from outside at that moment.
class SignalAtTheOutput final : public FileSystem {
  public:
    explicit SignalAtTheOutput(FileSystem& base) : base_(base) {}
    using FileSystem::create_new;
    std::unique_ptr<InFile> open_read(const char* name) override { return base_.open_read(name); }
    std::unique_ptr<OutFile> create_new(const char* name, const Access& like) override {
        auto file = base_.create_new(name, like);
        if (file && std::strcmp(name, kOutputName) == 0) {
            at_signal::output_there = true;
            std::raise(SIGUSR2);
        }
        return file;
    }
    bool rename(const char* from, const char* to) override {
        const bool ok = base_.rename(from, to);
        if (ok && std::strcmp(from, kOutputName) == 0) {
            at_signal::output_there = false;
            std::raise(SIGUSR2);
        }
        return ok;
    }
    bool remove_name(const char* name) override { return base_.remove_name(name); }
    Entry inspect(const char* name) override { return base_.inspect(name); }
    bool sync_directory(const char* file_in_it) override {
        return base_.sync_directory(file_in_it);
    }
    bool names_ignore_case() const override { return base_.names_ignore_case(); }
    LockResult lock_exchange(const char* host_name, const char* lock_name,
                             std::unique_ptr<ExchangeLock>& lock) override {
        return base_.lock_exchange(host_name, lock_name, lock);
    }
    void remove_if_crashed(const char* name) override { at_signal::named_for_removal = name; }

  private:
    FileSystem& base_;
};

// A signal that comes from outside while the output is being created or
// renamed into place is held back until the run has noted what a fault
// would have to undo: the output is never there without being named for
// removal, nor named once it has become the host's file.
TEST(Driver, ASignalFindsTheOutputNotedForRemovalExactlyWhileItIsThere) {
    struct sigaction probe {};
    struct sigaction before {};
    probe.sa_handler = at_signal::look;
    sigemptyset(&probe.sa_mask);
    ASSERT_EQ(sigaction(SIGUSR2, &probe, &before), 0);
    testing::MemoryFileSystem memory;
    memory.put("jwc_temp.txt", kDrawing);
    SignalAtTheOutput fs(memory);
    const Ran r = run_in(fs, {"/c3", "/d2"});
    (void)sigaction(SIGUSR2, &before, nullptr); // the test's own handler goes either way
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(memory.listing(), (Files{{"jwc_temp.txt", kOutput}}));
    ASSERT_EQ(at_signal::handled, 2);
    EXPECT_TRUE(at_signal::seen_output_there[0]);
    EXPECT_STREQ(at_signal::seen_named[0], kOutputName) << "just created";
    EXPECT_FALSE(at_signal::seen_output_there[1]);
    EXPECT_EQ(at_signal::seen_named[1], nullptr) << "just renamed into place";
}

#endif

} // namespace
} // namespace textmatte
