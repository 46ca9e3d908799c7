// Failures the system reports, tried from outside against the built
// program: each says the program's words, then the system's reason, and
// ends with its status, touching nothing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <cerrno>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "e2e/program.hpp"
#include "files/files.hpp"

namespace textmatte::testing {
namespace {

namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;

const std::string kHost = "jwc_temp.txt";
const std::string kDrawing = "lc3\r\nch 10 20 30 0 \"ABC\r\n";

// A line with the system's words for `system_error` in its place.
std::string with_reason(const std::string& words, int system_error) {
    return words + " (" + system_reason(system_error) + ") \n";
}

// Every name in the folder, folders included, and what it is.
Files everything_in(const TempDir& dir) {
    Files out;
    for (const auto& e : fs::directory_iterator(dir.path()))
        out[fold(e.path().filename().string())] = e.is_directory() ? "a folder" : "a file";
    return out;
}

#if defined(_WIN32)
constexpr int kAccessDenied = ERROR_ACCESS_DENIED;
#endif

// A folder under one of the program's own names: the lock's and the
// output's refuse the run (the output's with the line a host has always
// seen), and where the system gives a reason it is said; the intermediate
// and working names' are left alone and the run goes on. The folder stays,
// and the drawing is as written or the result.
TEST(Failures, AFolderUnderAnOwnNameIsSaidAsWhatItIs) {
    struct Case {
        const char* name;
        int status;
        std::string err;
    } cases[] = {
#if defined(_WIN32)
        {"JWC_TEMP.LCK", 1, with_reason("Cannot open file: JWC_TEMP.LCK", kAccessDenied)},
        {"JWC_TEMP.$$$", kStatusMinusOne, "Cannot open file: JWC_TEMP.$$$ \n"},
        {"JWC_x2x2.$$", 0, ""},
        {"JWC_x2x2.$$$", 1,
         with_reason("Cannot rename file: JWC_x2x2.$$ to JWC_x2x2.$$$", kAccessDenied)},
#else
        {"JWC_TEMP.LCK", 1, with_reason("Cannot open file: JWC_TEMP.LCK", EISDIR)},
        {"JWC_TEMP.$$$", kStatusMinusOne, "Cannot open file: JWC_TEMP.$$$ \n"},
        {"JWC_TEMP.TXT", 0, ""},
        {"JWC_x2x2.$$", 0, ""},
        {"JWC_x2x2.$$$", 0, ""},
#endif
    };
    for (const Case& c : cases) {
        TempDir dir;
        dir.write(kHost, kDrawing);
        dir.make_directory(c.name);
        const ProgramResult r = run_program(TEXTMATTE_EXE, dir.path(), {});
        EXPECT_EQ(r.status, c.status) << c.name;
        EXPECT_EQ(r.err, c.err) << c.name;
        EXPECT_EQ(everything_in(dir), (Files{{fold(kHost), "a file"}, {fold(c.name), "a folder"}}))
            << c.name;
        const std::string left = dir.files()[fold(kHost)];
        if (c.status == 0)
            EXPECT_NE(left, kDrawing) << c.name;
        else
            EXPECT_EQ(left, kDrawing) << c.name;
    }
}

#if !defined(_WIN32)

// A folder the run may not write to, or a drawing it may not read: the
// line names the file and gives the system's reason, with status 1, and
// the folder is as it was.
TEST(Failures, WhatTheSystemRefusesIsSaidWithItsReason) {
    if (programs_are_emulated()) GTEST_SKIP() << "started as nobody, the emulator's target";
    std::string why_not;
    const std::string program = program_for_nobody(TEXTMATTE_EXE, why_not);
    if (program.empty()) GTEST_SKIP() << why_not;
    Launch nobody;
    nobody.as_nobody = true;
    struct Case {
        const char* what;
        mode_t folder_mode;
        mode_t drawing_mode;
        std::string err;
    } cases[] = {
        {"a folder nobody may not write to", 0755, 0644,
         with_reason("Cannot open file: JWC_TEMP.LCK", EACCES)},
        {"a drawing nobody may not read", 0777, 0600,
         with_reason("Cannot open file: jwc_temp.txt", EACCES)},
    };
    for (const Case& c : cases) {
        TempDir dir;
        dir.write(kHost, kDrawing);
        ASSERT_EQ(chmod(dir.at(kHost).c_str(), c.drawing_mode), 0);
        ASSERT_EQ(chmod(dir.path().c_str(), c.folder_mode), 0);
        const ProgramResult r = run_program(program, dir.path(), {}, nobody);
        EXPECT_EQ(r.status, 1) << c.what;
        EXPECT_EQ(r.err, c.err) << c.what;
        EXPECT_EQ(everything_in(dir), (Files{{kHost, "a file"}})) << c.what;
        EXPECT_EQ(dir.files()[kHost], kDrawing) << c.what;
    }
}

// A folder on a file system mounted read-only: nothing can be made there,
// and the system says why.
TEST(Failures, AReadOnlyFolderIsSaid) {
    if (geteuid() != 0) GTEST_SKIP() << "mounting a folder read-only needs root";
    TempDir dir;
    dir.write(kHost, kDrawing);
    if (mount(dir.path().c_str(), dir.path().c_str(), nullptr, MS_BIND, nullptr) != 0)
        GTEST_SKIP() << "cannot bind-mount a folder here";
    struct Unmount {
        std::string path;
        ~Unmount() { (void)umount(path.c_str()); }
    } unmount{dir.path()};
    if (mount(nullptr, dir.path().c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
        GTEST_SKIP() << "cannot make a bind mount read-only here";
    const ProgramResult r = run_program(TEXTMATTE_EXE, dir.path(), {});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, with_reason("Cannot open file: JWC_TEMP.LCK", EROFS));
    EXPECT_EQ(everything_in(dir), (Files{{kHost, "a file"}}));
    EXPECT_EQ(dir.files()[kHost], kDrawing);
}

#endif

} // namespace
} // namespace textmatte::testing
