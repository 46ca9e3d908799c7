// The user's file survives every fault: failing file operations, a kill at
// any moment, and memory use does not grow with the drawing.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "e2e/program.hpp"

namespace textmatte::testing {
namespace {

using Files = std::map<std::string, std::string>;

const std::string kHost = "jwc_temp.txt";
// Names that hold the host's file at some moment of a run.
const std::vector<std::string> kCarriers = {"jwc_temp.txt", "JWC_x2x2.$$", "JWC_x2x2.$$$",
                                            "JWC_TEMP.TXT"};

std::string random_text_drawing(int texts) {
    std::mt19937 rng(42);
    std::uniform_real_distribution<double> coord(-1000, 1000), angle(0, 6.283), len(5, 120);
    std::string s;
    char line[160];
    for (int i = 0; i < texts; ++i) {
        const double a = angle(rng), l = len(rng);
        std::snprintf(line, sizeof line, "ch %.6f %.6f %.6f %.6f \"label %d\r\n", coord(rng),
                      coord(rng), l * std::cos(a), l * std::sin(a), i);
        s += line;
    }
    return s;
}

const std::string kValgrind = "/usr/bin/valgrind";

// Why valgrind cannot watch a run of the program here; empty where it can.
std::string why_no_valgrind() {
    if (programs_are_emulated()) return "valgrind cannot run programs that need an emulator";
    if (!std::filesystem::exists(kValgrind)) return "valgrind is not installed";
    return "";
}

struct Clean {
    int status;
    Files files;
    std::string output; // what the host reads back after a complete level-0 run
};

Clean clean_run(const std::string& drawing, const std::vector<std::string>& args) {
    TempDir dir;
    dir.write(kHost, drawing);
    ProgramResult r = run_program(TEXTMATTE_EXE, dir.path(), args);
    EXPECT_TRUE(r.status == 0 || r.status == 1);
    Clean c{r.status, dir.files(), {}};
    c.output = c.files.count(kHost) ? c.files[kHost] : "";
    return c;
}

// After any run, complete or not: every name that ever carries the host's
// file holds the drawing as written or the complete output, never a part,
// and one of them holds it.
void expect_host_content_safe(const Files& files, const std::string& drawing,
                              const std::string& output, const std::string& where) {
    bool kept = false;
    for (const std::string& name : kCarriers) {
        auto it = files.find(fold(name));
        if (it == files.end()) continue;
        const bool whole = it->second == drawing || it->second == output;
        EXPECT_TRUE(whole) << name << " holds " << it->second.size() << " bytes, " << where;
        kept = kept || whole;
    }
    EXPECT_TRUE(kept) << "the drawing is gone, " << where;
}

TEST(Safety, EveryFailingFileOperationInTurn) {
    const std::string example = read_file(TEXTMATTE_EXAMPLES "/drawing.txt");
    std::string over_limit;
    for (int i = 0; i < 50001; ++i)
        over_limit += "#\r\n";
    struct Case {
        const char* what;
        std::string drawing;
        std::vector<std::string> args;
    } cases[] = {
        {"level 0", example, {}},
        {"level 1", example, {"/t1"}},
        {"over the line limit", over_limit, {}},
    };
    TempDir reports;
    const std::string report = reports.path() + "/fired";
    for (const Case& c : cases) {
        const Clean clean = clean_run(c.drawing, c.args);
        long n = 1;
        for (;; ++n) {
            std::filesystem::remove(report);
            TempDir dir;
            dir.write(kHost, c.drawing);
            Launch launch;
            launch.env = {"TEXTMATTE_FAIL_AT=" + std::to_string(n),
                          "TEXTMATTE_FAULT_REPORT=" + report};
            ProgramResult r = run_program(TEXTMATTE_FAULTY_EXE, dir.path(), c.args, launch);
            const bool fired = std::filesystem::exists(report);
            const Files files = dir.files();
            const std::string where = std::string(c.what) + ", operation " + std::to_string(n);
            if (r.status == clean.status && files == clean.files && r.err.empty()) {
                // A fault the run could shrug off (closing its input, say).
            } else if (r.status == 0 && r.err.empty()) {
                // Complete, but the input could not be cleared away after
                // the output took its place: the drawing may stay behind
                // under the working name (Windows) or, swapped out, under
                // the output's (Linux), and the next run removes it.
                Files under_work_name = clean.files, under_output_name = clean.files;
                under_work_name[fold("JWC_TEMP.TXT")] = c.drawing;
                under_output_name[fold("JWC_TEMP.$$$")] = c.drawing;
                EXPECT_TRUE(files == under_work_name || files == under_output_name)
                    << where << ": " << files.size() << " files";
            } else {
                EXPECT_NE(r.err, "") << where;
                expect_host_content_safe(files, c.drawing, clean.output, where);
                if (files.count(kHost)) {
                    const std::string& host = files.at(kHost);
                    EXPECT_TRUE(host == c.drawing || host == clean.output) << where;
                }
            }
            if (!fired) break;
            ASSERT_LT(n, 200) << c.what;
        }
        EXPECT_GT(n, 5) << c.what; // the walk did reach the run's operations
    }
}

TEST(Safety, AKillAtAnyMomentNeverLeavesAPartialFile) {
#ifdef TEXTMATTE_SANITIZED
    GTEST_SKIP() << "timing differs too much under the sanitizers";
#endif
    const std::string drawing = random_text_drawing(50000);
    const Clean clean = clean_run(drawing, {});
    // Time a whole run, then kill runs at moments spread over it.
    const auto start = std::chrono::steady_clock::now();
    clean_run(drawing, {});
    const long run_us = static_cast<long>(std::chrono::duration_cast<std::chrono::microseconds>(
                                              std::chrono::steady_clock::now() - start)
                                              .count());
    std::mt19937 rng(2026);
    std::uniform_int_distribution<long> moment(0, run_us + 2000);
    constexpr int kKills = 40;
    // A kill that found the run at its work: the process ended by the kill
    // (Windows: its exit code), with a name of the run's own still there
    // (the lock file, which Windows removes with the process, the output,
    // an intermediate name).
    int mid_run = 0;
    for (int k = 0; k < kKills; ++k) {
        TempDir dir;
        dir.write(kHost, drawing);
        const long at = moment(rng);
        Launch launch;
        launch.signal_after_us = at;
        const int status = run_program(TEXTMATTE_EXE, dir.path(), {}, launch).status;
        const std::string where = "killed after " + std::to_string(at) + " us";
        const Files files = dir.files();
        const bool killed = status == 1000 + kKillSignal || status == kKillSignal;
        if (killed && (files.size() > 1 || !files.count(kHost))) ++mid_run;
        expect_host_content_safe(files, drawing, clean.output, where);
        if (fold("JWC_TEMP.TXT") != kHost) {
            // Where names tell case apart the host's name is never empty.
            ASSERT_EQ(files.count(kHost), 1u) << where;
            EXPECT_TRUE(files.at(kHost) == drawing || files.at(kHost) == clean.output) << where;
        }
        // The host writes its file again and starts the next run, which
        // clears whatever the killed one left.
        dir.write(kHost, drawing);
        EXPECT_EQ(run_program(TEXTMATTE_EXE, dir.path(), {}).status, 0) << where;
        EXPECT_EQ(dir.files(), clean.files) << where;
    }
    // Moments spread over a whole run: many kills land in its work (a third
    // to two thirds here, fewer under an emulator, where starting takes
    // longer). Too few there and the walk tested next to nothing.
    EXPECT_GE(mid_run, kKills / 10) << "kills that landed mid-run, of " << kKills;
}

TEST(Safety, MemoryDoesNotGrowWithTheDrawing) {
#if defined(TEXTMATTE_SANITIZED) || defined(_WIN32)
    GTEST_SKIP() << "measured on Linux builds without the sanitizers";
#else
    if (programs_are_emulated()) GTEST_SKIP() << "under an emulator, its own memory is measured";
    long peak[2];
    const int sizes[2] = {500, 50000};
    for (int i = 0; i < 2; ++i) {
        TempDir dir;
        dir.write(kHost, random_text_drawing(sizes[i]));
        ProgramResult r = run_program(PEAK_RSS_EXE, dir.path(), {TEXTMATTE_EXE});
        ASSERT_EQ(r.status, 0);
        peak[i] = std::stol(r.out);
    }
    EXPECT_LT(std::labs(peak[1] - peak[0]), 1024) << peak[0] << " kB against " << peak[1] << " kB";
#endif
}

// Memcheck watches the heap of the program linked against the shared C
// library; the program itself is linked statically, with the same code.
TEST(Safety, MemcheckFindsNoErrorInTheExampleRuns) {
#if defined(TEXTMATTE_SANITIZED)
    GTEST_SKIP() << "memcheck does not run sanitized programs";
#elif defined(_WIN32)
    GTEST_SKIP() << "memcheck runs Linux programs only";
#endif
    if (const std::string why = why_no_valgrind(); !why.empty()) GTEST_SKIP() << why;
    const std::string example = read_file(TEXTMATTE_EXAMPLES "/drawing.txt");
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{}, {"/t1"}, {"/t2", "/c3", "/f2"}, {"/t3", "/d-2"}}) {
        TempDir dir;
        dir.write(kHost, example);
        std::vector<std::string> args = {"-q", "--error-exitcode=99", "--leak-check=full",
                                         "--errors-for-leak-kinds=definite", TEXTMATTE_SHARED_EXE};
        args.insert(args.end(), options.begin(), options.end());
        ProgramResult r = run_program(kValgrind, dir.path(), args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
    }
}

// The hot path allocates nothing per line: a drawing a hundred times longer
// costs not one heap allocation more.
TEST(Safety, NoHeapAllocationPerLine) {
#if defined(TEXTMATTE_SANITIZED) || defined(_WIN32)
    GTEST_SKIP() << "counted with valgrind on Linux builds without the sanitizers";
#else
    if (const std::string why = why_no_valgrind(); !why.empty()) GTEST_SKIP() << why;
    auto allocations = [&](int texts) {
        TempDir dir;
        dir.write(kHost, random_text_drawing(texts) + "lc3\r\n# comment\r\nhq\r\n 0 0 1 1\r\n");
        ProgramResult r =
            run_program(kValgrind, dir.path(), {"--tool=memcheck", TEXTMATTE_SHARED_EXE});
        EXPECT_EQ(r.status, 0);
        const std::size_t at = r.err.find("total heap usage: ");
        EXPECT_NE(at, std::string::npos) << r.err;
        return at == std::string::npos ? -1L : std::stol(r.err.substr(at + 18));
    };
    EXPECT_EQ(allocations(100), allocations(10000));
#endif
}

} // namespace
} // namespace textmatte::testing
