// The drawing is never lost: interrupted runs, runs started together,
// leftovers of earlier runs, and links or special files under the
// exchange's names, tried from outside against the built program.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#if !defined(_WIN32)
#include <csignal>

#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/un.h>
#include <unistd.h>
#endif

#include "e2e/program.hpp"

namespace textmatte::testing {
namespace {

namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;

const std::string kHost = "jwc_temp.txt";
const std::string kDrawing = "lc3\r\nch 10 20 30 0 \"ABC\r\n";
const std::string kOutput = "lc3\r\nlc10 #aaaaaa\r\n"
                            "sl 7.000000000000 17.000000000000 43.000000000000 17.000000000000 "
                            "43.000000000000 23.000000000000 7.000000000000 23.000000000000\r\n"
                            "ch 10.0000000000 20.0000000000 30.0000000000 0.0000000000 \"ABC\r\n"
                            "lg14\r\nly14\r\nlt20\r\nlc3\r\n";
const std::string kInterrupted = "Interrupted: jwc_temp.txt is as it was before the run \n";
const std::string kLocked = "Cannot lock file: jwc_temp.txt (another run is using it) \n";

ProgramResult run_in(const TempDir& dir, const std::vector<std::string>& args = {},
                     const Launch& launch = {}) {
    return run_program(TEXTMATTE_EXE, dir.path(), args, launch);
}

// What a complete run makes of a drawing.
std::string result_of(const std::string& drawing) {
    TempDir dir;
    dir.write(kHost, drawing);
    EXPECT_EQ(run_in(dir).status, 0);
    return dir.files()[fold(kHost)];
}

// What each file in a directory holds, said in a word where it is the
// drawing or the result: large files compare, and a failure prints, in a
// line, without megabytes of diff.
std::map<std::string, std::string> summary(const Files& files, const std::string& drawing,
                                           const std::string& result) {
    std::map<std::string, std::string> out;
    for (const auto& [name, bytes] : files)
        out[name] = bytes == drawing  ? "the drawing"
                    : bytes == result ? "the result"
                                      : std::to_string(bytes.size()) + " other bytes";
    return out;
}

TEST(Exchange, TheExampleOutputIsWhatARunGives) {
    TempDir dir;
    dir.write(kHost, kDrawing);
    EXPECT_EQ(run_in(dir).status, 0);
    EXPECT_EQ(dir.files(), folded(Files{{kHost, kOutput}}));
}

TEST(Exchange, OnlyTheHostsOwnFileIsProcessed) {
    if (fold("JWC_TEMP.TXT") == kHost) GTEST_SKIP() << "one name where case does not count";
    // What a killed run leaves on a file system that tells case apart.
    TempDir dir;
    dir.write("JWC_TEMP.TXT", kDrawing);
    ProgramResult r = run_in(dir);
    EXPECT_EQ(r.status, kStatusMinusOne);
    EXPECT_EQ(r.err, "Cannot open file: JWC_TEMP.TXT \n");
    EXPECT_EQ(dir.files(), (Files{{"JWC_TEMP.TXT", kDrawing}}));
}

// A leftover directory under an intermediate name is left alone with what
// it holds: where names ignore case the first step fails and the run goes
// on with the working name, which is the host's file; elsewhere the host's
// file is never renamed. A stale working file goes.
TEST(Exchange, ALeftoverDirectoryIsLeftAlone) {
    TempDir dir;
    dir.write(kHost, kDrawing);
    dir.make_directory("JWC_x2x2.$$");
    dir.write("JWC_x2x2.$$/keep", "x");
    if (fold("JWC_TEMP.TXT") != kHost) dir.write("JWC_TEMP.TXT", "stale\r\n");
    ProgramResult r = run_in(dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(dir.files(), folded(Files{{kHost, kOutput}}));
    EXPECT_TRUE(fs::exists(dir.at("JWC_x2x2.$$/keep")));
}

// Runs started together: one at a time gets the directory, the others stop
// at once and say why. k complete runs leave the drawing transformed
// exactly k times, and nothing else.
TEST(Exchange, RunsStartedTogetherTakeTurns) {
    const std::string drawing = text_drawing(3000);
    std::vector<std::string> transformed = {drawing}; // the drawing after k runs
    for (int k = 1; k <= 8; ++k)
        transformed.push_back(result_of(transformed.back()));
    int refused = 0;
    for (int together : {2, 8}) {
        for (int round = 0; round < (together == 2 ? 12 : 6); ++round) {
            TempDir dir;
            dir.write(kHost, drawing);
            std::vector<std::unique_ptr<Running>> runs;
            for (int i = 0; i < together; ++i)
                runs.push_back(std::make_unique<Running>(TEXTMATTE_EXE, dir.path(),
                                                         std::vector<std::string>{}, Launch{}));
            int complete = 0;
            for (auto& run : runs) {
                const ProgramResult r = run->wait();
                if (r.status == 0) {
                    ++complete;
                    EXPECT_EQ(r.err, "");
                } else {
                    ++refused;
                    EXPECT_EQ(r.status, 1);
                    EXPECT_EQ(r.err, kLocked);
                }
            }
            ASSERT_GE(complete, 1);
            EXPECT_EQ(dir.files(), folded(Files{{kHost, transformed[complete]}}))
                << together << " together, " << complete << " complete";
        }
    }
    EXPECT_GT(refused, 0) << "no run ever found the directory taken";
}

// SIGPIPE and a closed console stream cost only what was to be shown there.
TEST(Exchange, AClosedConsoleCostsOnlyTheTraces) {
    TempDir dir;
    dir.write(kHost, text_drawing(2000));
    Launch no_stdout;
    no_stdout.stdout_closed = true;
    ProgramResult traced = run_in(dir, {"/t3"}, no_stdout);
    EXPECT_EQ(traced.status, 0);
    EXPECT_EQ(dir.files().size(), 2u); // the host's file and the output
    TempDir dir2;
    dir2.write(kHost, kDrawing);
    Launch no_stderr;
    no_stderr.stderr_closed = true;
    EXPECT_EQ(run_in(dir2, {"/x"}, no_stderr).status, 0);
    EXPECT_EQ(dir2.files(), folded(Files{{kHost, kOutput}}));
}

// The signals a run may meet and what each is to end it with: the signal
// itself, or, for those whose default would write a core file, 128 + its
// number and no core file.
struct Ending {
    int signal;
    int status;
    bool fault; // a fault's own line, not the interrupt's
};

std::vector<Ending> endings() {
#if defined(_WIN32)
    return {{kInterruptSignal, status_after_interrupt(kInterruptSignal), false}};
#else
    std::vector<Ending> e;
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGIO,
                  SIGPWR, SIGSTKFLT, SIGRTMIN, SIGRTMIN + 7, SIGRTMAX})
        e.push_back({s, status_after_interrupt(s), false});
    for (int s : {SIGQUIT, SIGXCPU})
        e.push_back({s, 128 + s, false});
    for (int s : {SIGSEGV, SIGBUS, SIGABRT, SIGILL, SIGFPE, SIGTRAP, SIGSYS})
        e.push_back({s, 128 + s, true});
    return e;
#endif
}

// Ctrl-C, Ctrl-\\, a closed terminal, a service stopped, a timer, a fault:
// any signal that would end the run, at any moment of a long run. Until the
// output has replaced the host's file, the run ends by the signal with the
// host's file as written and nothing else (no partial output, no core
// file); after, the result is in place. Either way the host's next run
// works.
TEST(Exchange, AnySignalAtAnyMomentLeavesTheDrawingOrTheResult) {
#ifdef TEXTMATTE_SANITIZED
    GTEST_SKIP() << "timing differs too much under the sanitizers";
#endif
    const std::string drawing = text_drawing(50000);
    std::string output;
    long run_us = 0;
    {
        TempDir dir;
        dir.write(kHost, drawing);
        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(run_in(dir).status, 0);
        run_us = static_cast<long>(std::chrono::duration_cast<std::chrono::microseconds>(
                                       std::chrono::steady_clock::now() - start)
                                       .count());
        output = dir.files()[fold(kHost)];
    }
    std::mt19937 rng(13);
    std::uniform_int_distribution<long> moment(0, run_us + 2000);
    int interrupted = 0, said = 0;
    for (const Ending& ending : endings()) {
        for (int k = 0; k < 3; ++k) {
            TempDir dir;
            dir.write(kHost, drawing);
            Launch launch;
            launch.signal = ending.signal;
            launch.signal_after_us = moment(rng);
            launch.core_files = file_size_limits_supported();
            const auto start = std::chrono::steady_clock::now();
            const ProgramResult r = run_in(dir, {}, launch);
            const auto took = std::chrono::steady_clock::now() - start;
            if (r.signal_undelivered)
                GTEST_SKIP() << "this platform cannot deliver the interrupt to a test's child "
                                "(Wine has no console to send Ctrl-Break through)";
            const std::string where = "signal " + std::to_string(ending.signal) + " after " +
                                      std::to_string(launch.signal_after_us) + " us";
            const std::string number = std::to_string(ending.signal);
            const std::string stopped =
                "Stopped by signal " + number + ": jwc_temp.txt is as it was before the run \n";
            const auto files = summary(dir.files(), drawing, output);
            const std::map<std::string, std::string> result = {{fold(kHost), "the result"}};
            const std::map<std::string, std::string> untouched = {{fold(kHost), "the drawing"}};
            if (r.status == 0 || files == result) {
                EXPECT_EQ(files, result) << where;
                // A fault after the result is in place still ends the process.
                EXPECT_TRUE(r.status == 0 || (ending.fault && r.status == ending.status))
                    << where << ": " << r.status;
                EXPECT_TRUE(r.err.empty() || r.err == "Stopped by signal " + number +
                                                          " after the result replaced "
                                                          "jwc_temp.txt \n")
                    << where << ": " << r.err;
                continue;
            }
            ++interrupted;
            if (r.err.empty()) {
                // The signal came before the handlers were in place: its
                // default action, perhaps with a core file, and nothing done.
                EXPECT_EQ(r.status, status_after_interrupt(ending.signal)) << where;
                auto left = files;
                std::erase_if(left, [](const auto& f) { return f.first.rfind("core", 0) == 0; });
                EXPECT_EQ(left, untouched) << where;
                continue;
            }
            EXPECT_EQ(r.status, ending.status) << where;
            EXPECT_EQ(files, untouched) << where;
            EXPECT_EQ(r.err, ending.fault ? stopped : kInterrupted) << where;
            ++said;
            EXPECT_LT(took, std::chrono::milliseconds(run_us / 1000 + 2000)) << where;
            // The host's next run.
            EXPECT_EQ(run_in(dir).status, 0) << where;
            EXPECT_EQ(summary(dir.files(), drawing, output), result) << where;
        }
    }
    EXPECT_GT(interrupted, 0);
    EXPECT_GT(said, 0);
}

#if defined(_WIN32)

// A virus scanner, indexer or backup agent holds a file for a moment just as
// the run starts: the run waits for it. Held for longer than a moment, the
// run fails and says the file is held, with the drawing as written and no
// output left. Shared for reading, the drawing is read, but the result
// cannot replace it.
TEST(Exchange, AFileHeldForAMomentDoesNotFailTheRun) {
    const std::string held = " (another program is using it) \n";
    struct Case {
        const char* held;
        int hold_ms;
        bool readable;
        int status;
        std::string err;
    } cases[] = {
        {"jwc_temp.txt", 300, false, 0, ""},
        {"JWC_TEMP.$$$", 300, false, 0, ""},
        {"jwc_temp.txt", 5000, false, 1, "Cannot open file: JWC_TEMP.TXT" + held},
        {"JWC_TEMP.$$$", 5000, false, 1, "Cannot open file: JWC_TEMP.$$$" + held},
        {"jwc_temp.txt", 6000, true, 1, "Cannot rename file: JWC_TEMP.$$$ to jwc_temp.txt" + held},
    };
    for (const Case& c : cases) {
        TempDir dir, signals;
        dir.write(kHost, kDrawing);
        if (std::string(c.held) != kHost) dir.write(c.held, "left by an earlier run");
        const std::string ready = signals.at("ready");
        std::vector<std::string> holding = {c.held, std::to_string(c.hold_ms), ready};
        if (c.readable) holding.push_back("read");
        Running holder(HOLD_FILE_EXE, dir.path(), holding, Launch{});
        const auto start = std::chrono::steady_clock::now();
        while (!fs::exists(ready) &&
               std::chrono::steady_clock::now() - start < std::chrono::seconds(20))
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_TRUE(fs::exists(ready)) << c.held;
        const ProgramResult r = run_in(dir);
        EXPECT_EQ(holder.wait().status, 0) << c.held;
        const std::string where = std::string(c.held) + " held " + std::to_string(c.hold_ms) +
                                  " ms" + (c.readable ? ", shared for reading" : "");
        EXPECT_EQ(r.status, c.status) << where;
        EXPECT_EQ(r.err, c.err) << where;
        Files files = dir.files();
        EXPECT_EQ(files[fold(kHost)], c.status == 0 ? kOutput : kDrawing) << where;
        files.erase(fold(kHost));
        files.erase(fold(c.held)); // a leftover the holder kept
        EXPECT_EQ(files, Files{}) << where;
    }
}

#endif

#if !defined(_WIN32)

// What lies under a name, links not followed.
std::string kind_of(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) return "missing";
    if (S_ISLNK(st.st_mode)) return "link to " + fs::read_symlink(path).string();
    if (S_ISDIR(st.st_mode)) return "directory";
    if (S_ISFIFO(st.st_mode)) return "fifo";
    if (S_ISSOCK(st.st_mode)) return "socket";
    return "file: " + read_file(path);
}

std::map<std::string, std::string> entries(const TempDir& dir) {
    std::map<std::string, std::string> out;
    for (const auto& e : fs::directory_iterator(dir.path()))
        out[e.path().filename().string()] = kind_of(e.path().string());
    return out;
}

// A leftover output file that is a link is removed as a name; the output is
// never written through it.
TEST(Exchange, LinksUnderTheProgramsNamesAreNeverWrittenThrough) {
    for (const char* args : {"", "/t1"}) {
        for (bool hard : {false, true}) {
            TempDir outside;
            outside.write("precious", "precious\r\n");
            TempDir dir;
            dir.write(kHost, kDrawing);
            const std::string precious = outside.at("precious");
            if (hard)
                fs::create_hard_link(precious, dir.at("JWC_TEMP.$$$"));
            else
                fs::create_symlink(precious, dir.at("JWC_TEMP.$$$"));
            ProgramResult r = run_in(dir, {args});
            EXPECT_EQ(r.status, 0) << args << hard;
            EXPECT_EQ(read_file(precious), "precious\r\n") << args << hard;
            // A debug run keeps its output there, as a file of its own.
            const std::string left = kind_of(dir.at("JWC_TEMP.$$$"));
            if (std::string(args).empty())
                EXPECT_EQ(left, "missing");
            else
                EXPECT_EQ(left.substr(0, 6), "file: ");
        }
    }
    // Over the line limit the refusal record goes into a file of its own.
    TempDir outside;
    outside.write("precious", "precious\r\n");
    TempDir dir;
    std::string over;
    for (int i = 0; i < 50001; ++i)
        over += "#\r\n";
    dir.write(kHost, over);
    fs::create_symlink(outside.at("precious"), dir.at("JWC_TEMP.$$$"));
    EXPECT_EQ(run_in(dir).status, 1);
    EXPECT_EQ(read_file(outside.at("precious")), "precious\r\n");
}

TEST(Exchange, TheHostsNameAsALinkOrASpecialFile) {
    const std::string missing = "Cannot open file: JWC_TEMP.TXT \n";
    struct Case {
        const char* what;
        void (*make)(const TempDir&);
        int status;
        std::string err;
    } cases[] = {
        {"a link to JWC_x2x2.$$",
         [](const TempDir& d) {
             d.write("JWC_x2x2.$$", kDrawing);
             fs::create_symlink("JWC_x2x2.$$", d.at(kHost));
         },
         1, "Cannot take over file: jwc_temp.txt (it is a link to JWC_x2x2.$$) \n"},
        {"a link to JWC_x2x2.$$$",
         [](const TempDir& d) {
             d.write("JWC_x2x2.$$$", kDrawing);
             fs::create_symlink("JWC_x2x2.$$$", d.at(kHost));
         },
         1, "Cannot take over file: jwc_temp.txt (it is a link to JWC_x2x2.$$$) \n"},
        {"a link to JWC_TEMP.TXT",
         [](const TempDir& d) {
             d.write("JWC_TEMP.TXT", kDrawing);
             fs::create_symlink("JWC_TEMP.TXT", d.at(kHost));
         },
         1, "Cannot take over file: jwc_temp.txt (it is a link to JWC_TEMP.TXT) \n"},
        {"a link to JWC_TEMP.$$$",
         [](const TempDir& d) {
             d.write("JWC_TEMP.$$$", kDrawing);
             fs::create_symlink("JWC_TEMP.$$$", d.at(kHost));
         },
         1, "Cannot take over file: jwc_temp.txt (it is a link to JWC_TEMP.$$$) \n"},
        {"a directory", [](const TempDir& d) { d.make_directory(kHost); }, kStatusMinusOne,
         missing},
        {"a FIFO", [](const TempDir& d) { mkfifo(d.at(kHost).c_str(), 0644); }, kStatusMinusOne,
         missing},
        {"a device", [](const TempDir& d) { fs::create_symlink("/dev/null", d.at(kHost)); },
         kStatusMinusOne, missing},
        {"a socket",
         [](const TempDir& d) {
             const int s = socket(AF_UNIX, SOCK_STREAM, 0);
             sockaddr_un address{};
             address.sun_family = AF_UNIX;
             const std::string path = d.at(kHost);
             path.copy(address.sun_path, sizeof address.sun_path - 1);
             bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
             close(s);
         },
         kStatusMinusOne, missing},
        {"a link that leads nowhere",
         [](const TempDir& d) { fs::create_symlink("nowhere", d.at(kHost)); }, kStatusMinusOne,
         missing},
    };
    for (const Case& c : cases) {
        TempDir dir;
        c.make(dir);
        const auto before = entries(dir);
        Launch watchdog; // a run that blocks is killed, and fails the test
        watchdog.signal_after_us = 10'000'000;
        ProgramResult r = run_in(dir, {}, watchdog);
        EXPECT_EQ(r.status, c.status) << c.what;
        EXPECT_EQ(r.err, c.err) << c.what;
        EXPECT_EQ(entries(dir), before) << c.what;
    }
}

TEST(Exchange, ALinkToAFileElsewhereKeepsWorking) {
    TempDir outside;
    outside.write("drawing", kDrawing);
    TempDir dir;
    fs::create_symlink(outside.at("drawing"), dir.at(kHost));
    EXPECT_EQ(run_in(dir).status, 0);
    EXPECT_EQ(entries(dir), (std::map<std::string, std::string>{{kHost, "file: " + kOutput}}));
    EXPECT_EQ(read_file(outside.at("drawing")), kDrawing);
}

// Memory running out at any point of a run: under address-space limits from
// too small to start to enough, every run either completes, or says
// "Out of memory" and ends with 1, or cannot start at all; the host's file
// is as written or the complete result, and nothing else is left.
TEST(Exchange, RunningOutOfMemoryLeavesTheDrawing) {
#ifdef TEXTMATTE_SANITIZED
    GTEST_SKIP() << "the sanitizers need far more address space";
#endif
    if (programs_are_emulated()) GTEST_SKIP() << "the limit would bind the emulator";
    const std::string drawing = text_drawing(3000);
    const std::string output = result_of(drawing);
    int out_of_memory = 0, complete = 0;
    for (long kib = 512; kib <= 4096; kib += 32) {
        TempDir dir;
        dir.write(kHost, drawing);
        Launch launch;
        launch.address_space = kib * 1024;
        const ProgramResult r = run_in(dir, {}, launch);
        const std::string where = std::to_string(kib) + " KiB: " + r.err;
        const auto files = summary(dir.files(), drawing, output);
        if (r.status == 0) {
            ++complete;
            EXPECT_EQ(files, (Files{{kHost, "the result"}})) << where;
            continue;
        }
        EXPECT_EQ(files, (Files{{kHost, "the drawing"}})) << where;
        if (r.status == 1) {
            ++out_of_memory;
            EXPECT_EQ(r.err, "Out of memory \n") << where;
        }
    }
    EXPECT_GT(out_of_memory, 0) << "no limit fell between starting and running";
    EXPECT_GT(complete, 0);
}

// A stack too small for the run: a run that overflows it removes its
// partial output, says so and ends with 128 + SIGSEGV; the host's file is as
// written or the complete result. The stack grows a page at a time from
// where the environment ends, so the limits are tried with environments of
// many sizes: only some of them overflow once the handlers are in place.
TEST(Exchange, ATinyStackLeavesTheDrawing) {
#ifdef TEXTMATTE_SANITIZED
    GTEST_SKIP() << "the sanitizers report faults themselves";
#endif
    if (programs_are_emulated()) GTEST_SKIP() << "the limit would bind the emulator";
    const std::string drawing = text_drawing(3000);
    const std::string output = result_of(drawing);
    const std::string stopped = "Stopped by signal " + std::to_string(SIGSEGV) +
                                ": jwc_temp.txt is as it was before the run \n";
    int said = 0;
    for (std::size_t padding = 0; padding < 4096; padding += 64) {
        for (long kib = 8; kib <= 24; kib += 4) {
            TempDir dir;
            dir.write(kHost, drawing);
            Launch launch;
            launch.stack = kib * 1024;
            launch.env = {"TEXTMATTE_TEST_PADDING=" + std::string(padding, 'x')};
            const ProgramResult r = run_in(dir, {}, launch);
            const std::string where = std::to_string(kib) + " KiB, " + std::to_string(padding) +
                                      " bytes more environment: " + r.err;
            auto files = summary(dir.files(), drawing, output);
            if (r.status == 0) {
                EXPECT_EQ(files, (Files{{kHost, "the result"}})) << where;
                continue;
            }
            // A fault while the run takes its lock may leave the empty lock
            // file, which the next run takes as it is.
            if (auto lock = files.find(fold("JWC_TEMP.LCK"));
                lock != files.end() && lock->second == "0 other bytes")
                files.erase(lock);
            EXPECT_EQ(files, (Files{{kHost, "the drawing"}})) << where;
            if (r.err.empty()) {
                EXPECT_EQ(r.status, 1000 + SIGSEGV) << where; // before the handlers were in place
            } else {
                ++said;
                EXPECT_EQ(r.status, 128 + SIGSEGV) << where;
                EXPECT_EQ(r.err, stopped) << where;
            }
        }
    }
    EXPECT_GT(said, 0) << "no run overflowed its stack once the handlers were in place";
}

// A full disk: the run says so, gives back every byte it wrote, and leaves
// the host's file as written.
TEST(Exchange, AFullDiskGetsItsSpaceBack) {
    if (geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
    TempDir mount_point;
    const std::string command = "mount -t tmpfs -o size=1m textmatte-full " + mount_point.path();
    if (std::system(command.c_str()) != 0) GTEST_SKIP() << "cannot mount a tmpfs here";
    struct Unmount {
        std::string path;
        ~Unmount() { (void)!std::system(("umount " + path).c_str()); }
    } unmount{mount_point.path()};
    auto free_bytes = [&] {
        struct statvfs st {};
        statvfs(mount_point.path().c_str(), &st);
        return static_cast<unsigned long long>(st.f_bavail) * st.f_frsize;
    };
    const std::string drawing = text_drawing(8000); // about 350 kB in, 1.4 MB out
    mount_point.write(kHost, drawing);
    const auto before = free_bytes();
    const ProgramResult r = run_program(TEXTMATTE_EXE, mount_point.path(), {});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Cannot write file: JWC_TEMP.$$$ (No space left on device) \n");
    EXPECT_EQ(summary(mount_point.files(), drawing, ""), (Files{{kHost, "the drawing"}}));
    EXPECT_EQ(free_bytes(), before);
}

// A folder the user may write but not list: the lock needs no right to read
// it, so runs started together by an unprivileged user still take turns,
// and the drawing is never lost.
TEST(Exchange, AFolderThatCannotBeListedStillKeepsRunsApart) {
    std::string why_not;
    const std::string program = program_for_nobody(TEXTMATTE_EXE, why_not);
    if (program.empty()) GTEST_SKIP() << why_not;
    const std::string drawing = text_drawing(1000);
    const std::vector<std::string> transformed = {drawing, result_of(drawing),
                                                  result_of(result_of(drawing))};
    Launch nobody;
    nobody.as_nobody = true;
    int refused = 0;
    for (int round = 0; round < 100; ++round) {
        TempDir dir;
        dir.write(kHost, drawing);
        // The host writes the drawing as the user who runs the program.
        const passwd* user = getpwnam("nobody");
        ASSERT_EQ(chown(dir.at(kHost).c_str(), user->pw_uid, user->pw_gid), 0);
        chmod(dir.path().c_str(), 0333);
        Running first(program, dir.path(), {}, nobody);
        Running second(program, dir.path(), {}, nobody);
        int complete = 0;
        std::string seen = "round " + std::to_string(round) + ":";
        for (Running* run : {&first, &second}) {
            const ProgramResult r = run->wait();
            seen += " status " + std::to_string(r.status) + " (" + r.err + ")";
            if (r.status == 0) {
                ++complete;
                EXPECT_EQ(r.err, "") << seen;
            } else {
                ++refused;
                EXPECT_EQ(r.status, 1) << seen;
                EXPECT_EQ(r.err, kLocked) << seen;
            }
        }
        chmod(dir.path().c_str(), 0700);
        ASSERT_GE(complete, 1) << seen;
        ASSERT_EQ(summary(dir.files(), transformed[complete], ""), (Files{{kHost, "the drawing"}}))
            << seen << "; " << complete << " complete";
    }
    EXPECT_GT(refused, 0) << "no run ever found the exchange taken";
}

// The result keeps the drawing's permission bits, whatever the umask, and
// its owner and group where the run may give them.
TEST(Exchange, TheResultKeepsTheDrawingsPermissions) {
    for (mode_t mode : {0600, 0640, 0664, 0444}) {
        TempDir dir;
        dir.write(kHost, kDrawing);
        chmod(dir.at(kHost).c_str(), mode);
        Launch launch;
        launch.umask = 022;
        ASSERT_EQ(run_in(dir, {}, launch).status, 0);
        struct stat st {};
        ASSERT_EQ(stat(dir.at(kHost).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, mode) << std::oct << mode;
        EXPECT_EQ(read_file(dir.at(kHost)), kOutput);
    }
    if (!can_run_as_nobody()) GTEST_SKIP() << "another user's drawing needs root";
    const passwd* nobody = getpwnam("nobody");
    TempDir dir;
    dir.write(kHost, kDrawing);
    ASSERT_EQ(chown(dir.at(kHost).c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    chmod(dir.at(kHost).c_str(), 0604);
    ASSERT_EQ(run_in(dir).status, 0); // run by root
    struct stat st {};
    ASSERT_EQ(stat(dir.at(kHost).c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, nobody->pw_uid);
    EXPECT_EQ(st.st_gid, nobody->pw_gid);
    EXPECT_EQ(st.st_mode & 07777, 0604u);
}

#endif

} // namespace
} // namespace textmatte::testing
