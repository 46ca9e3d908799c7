// The drawing is never lost: interrupted runs, runs started together,
// leftovers of earlier runs, and links or special files under the
// exchange's names, tried from outside against the built program.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <sys/socket.h>
#include <sys/stat.h>
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

std::string text_drawing(int texts) {
    std::string s;
    for (int i = 0; i < texts; ++i)
        s += "ch " + std::to_string(i % 997) + " " + std::to_string(i % 463) + " 30 4 \"label " +
             std::to_string(i) + "\r\n";
    return s;
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
    for (int k = 1; k <= 8; ++k) {
        TempDir dir;
        dir.write(kHost, transformed.back());
        ASSERT_EQ(run_in(dir).status, 0);
        transformed.push_back(dir.files()[fold(kHost)]);
    }
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

// Ctrl-C, a closed terminal, a service stopped: at any moment of a long
// run. Until the output has replaced the host's file, the run ends by the
// signal with the host's file as written and nothing else; after, with 0.
TEST(Exchange, AnInterruptAtAnyMomentLeavesTheDrawingOrTheResult) {
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
    std::vector<int> signals = {kInterruptSignal};
#if !defined(_WIN32)
    signals.push_back(kTerminateSignal);
    signals.push_back(kHangupSignal);
#endif
    int interrupted = 0, said = 0;
    for (int signal : signals) {
        for (int k = 0; k < 8; ++k) {
            TempDir dir;
            dir.write(kHost, drawing);
            Launch launch;
            launch.signal = signal;
            launch.signal_after_us = moment(rng);
            const auto start = std::chrono::steady_clock::now();
            const ProgramResult r = run_in(dir, {}, launch);
            const auto took = std::chrono::steady_clock::now() - start;
            if (r.signal_undelivered)
                GTEST_SKIP() << "this platform cannot deliver the interrupt to a test's child "
                                "(Wine has no console to send Ctrl-Break through)";
            const std::string where = "signal " + std::to_string(signal) + " after " +
                                      std::to_string(launch.signal_after_us) + " us";
            if (r.status == 0) {
                EXPECT_EQ(dir.files(), folded(Files{{kHost, output}})) << where;
                EXPECT_EQ(r.err, "") << where;
                continue;
            }
            ++interrupted;
            EXPECT_EQ(r.status, status_after_interrupt(signal)) << where;
            EXPECT_EQ(dir.files(), folded(Files{{kHost, drawing}})) << where;
            // Empty only when the signal came before the handlers were in place.
            EXPECT_TRUE(r.err == kInterrupted || r.err.empty()) << where << ": " << r.err;
            said += r.err == kInterrupted;
            EXPECT_LT(took, std::chrono::milliseconds(run_us / 1000 + 2000)) << where;
        }
    }
    EXPECT_GT(interrupted, 0);
    EXPECT_GT(said, 0);
}

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

#endif

} // namespace
} // namespace textmatte::testing
