// Other programs and other users in the host's folder, tried against the
// built program: a second run while one is live, whatever becomes of the
// drawing meanwhile; links through the program's own names; the drawing's
// permissions and ACL whatever the run's privileges; a folder whose sync
// fails; a final rename the system refuses.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "e2e/program.hpp"

#if !defined(_WIN32)
#include <csignal>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace textmatte::testing {
namespace {

#if !defined(_WIN32)

namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;

const std::string kHost = "jwc_temp.txt";
const std::string kLocked = "Cannot lock file: jwc_temp.txt (another run is using it) \n";
const std::string kChanged = "Cannot replace file: jwc_temp.txt (it changed during the run) \n";
const std::string kSmallDrawing = "lc3\r\nch 10 20 30 0 \"ABC\r\n";
const std::string kSmallResult =
    "lc3\r\nlc10 #aaaaaa\r\n"
    "sl 7.000000000000 17.000000000000 43.000000000000 17.000000000000 "
    "43.000000000000 23.000000000000 7.000000000000 23.000000000000\r\n"
    "ch 10.0000000000 20.0000000000 30.0000000000 0.0000000000 \"ABC\r\n"
    "lg14\r\nly14\r\nlt20\r\nlc3\r\n";

// Every name in the folder and what it holds, links and lock file
// included: what a run that touches nothing leaves as it was.
Files everything_in(const TempDir& dir) {
    Files out;
    for (const auto& e : fs::directory_iterator(dir.path())) {
        const std::string name = e.path().filename().string();
        out[name] = e.is_symlink() ? "link to " + fs::read_symlink(e.path()).string()
                                   : std::to_string(fs::file_size(e.path())) + " bytes";
    }
    return out;
}

// Stops a run once its output has bytes and it is still short of its
// result; false if it ended first or never got there.
bool stop_midway(Running& run, const TempDir& dir) {
    const auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < std::chrono::seconds(10)) {
        std::error_code ec;
        if (fs::file_size(dir.at("JWC_TEMP.$$$"), ec) > 0 && !ec) {
            if (!run.send(SIGSTOP)) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            return fs::exists(dir.at("JWC_TEMP.$$$")); // not yet renamed into place
        }
    }
    return false;
}

// What another program may do to the drawing while a run is stopped.
enum class Change { rewritten_in_place, replaced_by_a_new_file, removed };

void change_drawing(const TempDir& dir, Change change, const std::string& drawing) {
    switch (change) {
    case Change::rewritten_in_place: {
        std::FILE* f = std::fopen(dir.at(kHost).c_str(), "wb"); // truncates: the same file
        std::fwrite(drawing.data(), 1, drawing.size(), f);
        std::fclose(f);
        break;
    }
    case Change::replaced_by_a_new_file:
        dir.write("new", drawing);
        fs::rename(dir.at("new"), dir.at(kHost));
        break;
    case Change::removed: fs::remove(dir.at(kHost)); break;
    }
}

// A run is stopped halfway; meanwhile the drawing is rewritten, replaced or
// removed, and a second run starts. The second stops at its start and
// touches nothing. The first, once continued, does not put its result over
// a drawing it was not made from: the host's name keeps what the other
// program left there, and nothing else is left.
TEST(Sharing, ASecondRunWhileOneIsLiveTouchesNothingWhateverBecameOfTheDrawing) {
    if (programs_are_emulated()) GTEST_SKIP() << "the emulator is too slow to stop halfway";
    const std::string drawing = text_drawing(50000);
    const std::string newer = "lc4\r\nch 1 2 3 0 \"new\r\n";
    for (Change change :
         {Change::rewritten_in_place, Change::replaced_by_a_new_file, Change::removed}) {
        const std::string what = change == Change::rewritten_in_place       ? "rewritten in place"
                                 : change == Change::replaced_by_a_new_file ? "a new file"
                                                                            : "removed";
        int stopped = 0;
        for (int attempt = 0; attempt < 5 && stopped == 0; ++attempt) {
            TempDir dir;
            dir.write(kHost, drawing);
            Running first(TEXTMATTE_EXE, dir.path(), {}, Launch{});
            if (!stop_midway(first, dir)) {
                first.send(SIGCONT);
                (void)first.wait();
                continue;
            }
            ++stopped;
            change_drawing(dir, change, newer);
            const Files before = everything_in(dir);
            const ProgramResult second = run_program(TEXTMATTE_EXE, dir.path(), {});
            EXPECT_EQ(second.status, 1) << what << ": " << second.err;
            EXPECT_EQ(second.err, kLocked) << what;
            EXPECT_EQ(everything_in(dir), before) << what;
            first.send(SIGCONT);
            const ProgramResult r = first.wait();
            EXPECT_EQ(r.status, 1) << what << ": " << r.err;
            EXPECT_EQ(r.err, kChanged) << what;
            const Files left = dir.files();
            if (change == Change::removed)
                EXPECT_EQ(left, Files{}) << what;
            else
                EXPECT_EQ(left, (Files{{kHost, newer}})) << what;
        }
        EXPECT_EQ(stopped, 1) << what << ": no run could be stopped halfway";
    }
}

// A run of another user that cannot even read the drawing still finds the
// folder taken: it stops at its start, and the live run's output stays.
TEST(Sharing, ARunThatCannotReadTheDrawingStillFindsTheFolderTaken) {
    if (programs_are_emulated()) GTEST_SKIP() << "the emulator is too slow to stop halfway";
    std::string why_not;
    const std::string program = program_for_nobody(TEXTMATTE_EXE, why_not);
    if (program.empty()) GTEST_SKIP() << why_not;
    const std::string drawing = text_drawing(50000);
    Launch nobody;
    nobody.as_nobody = true;
    for (int attempt = 0; attempt < 5; ++attempt) {
        TempDir dir;
        dir.write(kHost, drawing);
        chmod(dir.at(kHost).c_str(), 0600); // root's, and private
        chmod(dir.path().c_str(), 0777);
        Running first(TEXTMATTE_EXE, dir.path(), {}, Launch{});
        if (!stop_midway(first, dir)) {
            first.send(SIGCONT);
            (void)first.wait();
            continue;
        }
        const Files before = everything_in(dir);
        const ProgramResult second = run_program(program, dir.path(), {}, nobody);
        EXPECT_EQ(second.status, 1) << second.err;
        EXPECT_EQ(second.err, kLocked);
        EXPECT_EQ(everything_in(dir), before);
        first.send(SIGCONT);
        const ProgramResult r = first.wait();
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(dir.files().size(), 1u);
        EXPECT_EQ(dir.files().count(kHost), 1u);
        return;
    }
    FAIL() << "no run could be stopped halfway";
}

// A host's name that leads, through one link or two, through one of the
// program's own names to a file elsewhere is refused, and nothing is
// touched: the run would otherwise remove or rename over the drawing. (A
// link under the lock file's name is refused as a lock file first.)
TEST(Sharing, ALinkThroughTheProgramsOwnNamesIsRefused) {
    for (const char* own :
         {"JWC_TEMP.$$$", "JWC_TEMP.TXT", "JWC_x2x2.$$", "JWC_x2x2.$$$", "JWC_TEMP.LCK"}) {
        for (bool two_links : {false, true}) {
            TempDir keep;
            keep.write("d.txt", kSmallDrawing);
            TempDir dir;
            fs::create_symlink(keep.at("d.txt"), dir.at(own));
            if (two_links) {
                fs::create_symlink(own, dir.at("hop"));
                fs::create_symlink("hop", dir.at(kHost));
            } else {
                fs::create_symlink(std::string("./") + own, dir.at(kHost));
            }
            const Files before = everything_in(dir);
            const ProgramResult r = run_program(TEXTMATTE_EXE, dir.path(), {});
            const std::string where = std::string(own) + (two_links ? ", two links" : "");
            EXPECT_EQ(r.status, 1) << where;
            const std::string said = std::string(own) == "JWC_TEMP.LCK"
                                         ? "Cannot open file: JWC_TEMP.LCK \n"
                                         : "Cannot take over file: jwc_temp.txt (it is a link to " +
                                               std::string(own) + ") \n";
            EXPECT_EQ(r.err, said) << where;
            EXPECT_EQ(everything_in(dir), before) << where;
            EXPECT_EQ(read_file(keep.at("d.txt")), kSmallDrawing) << where;
        }
    }
}

bool have_command(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

// A run as root without the right to change another user's file's mode
// (CAP_FOWNER) still gives the result the drawing's mode: the mode is set
// while the new file is still the run's own, then the owner.
TEST(Sharing, TheResultKeepsTheModeWithoutTheRightToChangeOthersFiles) {
    if (!can_run_as_nobody()) GTEST_SKIP() << "another user's drawing needs root";
    if (!have_command("setpriv")) GTEST_SKIP() << "setpriv (util-linux) is not installed";
    if (programs_are_emulated()) GTEST_SKIP() << "setpriv would start the emulator's target";
    const passwd* nobody = getpwnam("nobody");
    TempDir dir;
    dir.write(kHost, kSmallDrawing);
    ASSERT_EQ(chown(dir.at(kHost).c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    chmod(dir.at(kHost).c_str(), 0644);
    Launch launch;
    launch.umask = 077;
    const ProgramResult r =
        run_program("/usr/bin/setpriv", dir.path(),
                    {"--inh-caps=-fowner", "--bounding-set=-fowner", TEXTMATTE_EXE}, launch);
    ASSERT_EQ(r.status, 0) << r.err;
    struct stat st {};
    ASSERT_EQ(stat(dir.at(kHost).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    EXPECT_EQ(st.st_uid, nobody->pw_uid);
    EXPECT_EQ(read_file(dir.at(kHost)), kSmallResult);
}

std::string output_of(const std::string& command) {
    std::string out;
    if (std::FILE* p = popen(command.c_str(), "r")) {
        char buffer[512];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;)
            out.append(buffer, n);
        pclose(p);
    }
    return out;
}

// The result keeps the drawing's access ACL: a named user keeps its rights
// and the owning group does not gain the mask's.
TEST(Sharing, TheResultKeepsTheDrawingsAccessAcl) {
    if (!have_command("setfacl") || !have_command("getfacl"))
        GTEST_SKIP() << "setfacl and getfacl (Debian: acl) are not installed";
    TempDir dir;
    dir.write(kHost, kSmallDrawing);
    const std::string set = "setfacl -m u:nobody:rw,g::r,m::rw " + dir.at(kHost) + " 2>/dev/null";
    if (std::system(set.c_str()) != 0) GTEST_SKIP() << "the file system here has no ACLs";
    const std::string get = "getfacl --omit-header --absolute-names " + dir.at(kHost);
    const std::string acl = output_of(get);
    ASSERT_NE(acl.find("user:nobody:rw-"), std::string::npos) << acl;
    const ProgramResult r = run_program(TEXTMATTE_EXE, dir.path(), {});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_file(dir.at(kHost)), kSmallResult);
    EXPECT_EQ(output_of(get), acl);
}

// The folder's sync, the last step, fails with an I/O error (injected by
// strace): the result is in place, and the run says it may not survive a
// power loss, with status 2.
TEST(Sharing, AFailedFolderSyncIsSaid) {
    if (!have_command("strace")) GTEST_SKIP() << "strace is not installed";
    if (programs_are_emulated()) GTEST_SKIP() << "strace would trace the emulator";
    // LeakSanitizer cannot work under ptrace; the rest of a sanitized build can.
    Launch traceable;
    traceable.env = {"ASAN_OPTIONS=detect_leaks=0"};
    TempDir probe;
    probe.write(kHost, kSmallDrawing);
    const ProgramResult traced =
        run_program("/usr/bin/strace", probe.path(),
                    {"-f", "-qq", "-e", "trace=fsync", TEXTMATTE_EXE}, traceable);
    if (traced.status != 0) GTEST_SKIP() << "strace cannot trace here: " << traced.err;
    // The folder's sync is the run's last fsync.
    std::size_t syncs = 0;
    for (std::size_t at = 0; (at = traced.err.find("fsync(", at)) != std::string::npos; ++at)
        ++syncs;
    ASSERT_GE(syncs, 1u) << traced.err;
    TempDir dir;
    dir.write(kHost, kSmallDrawing);
    const ProgramResult r =
        run_program("/usr/bin/strace", dir.path(),
                    {"-f", "-qq", "-o", "/dev/null", "-e", "trace=fsync", "-e",
                     "inject=fsync:error=EIO:when=" + std::to_string(syncs), TEXTMATTE_EXE},
                    traceable);
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_EQ(r.err, "Cannot sync folder: the result is in jwc_temp.txt but may not survive a "
                     "power loss \n");
    EXPECT_EQ(dir.files(), (Files{{kHost, kSmallResult}}));
}

// The system refuses the final rename (an immutable jwc_temp.txt): the
// complete output goes like a partial one, and the host's file is all that
// remains.
TEST(Sharing, ARefusedFinalRenameLeavesOnlyTheDrawing) {
    if (geteuid() != 0) GTEST_SKIP() << "making a file immutable needs root";
    if (!have_command("chattr")) GTEST_SKIP() << "chattr (e2fsprogs) is not installed";
    TempDir dir;
    dir.write(kHost, kSmallDrawing);
    const std::string path = dir.at(kHost);
    if (std::system(("chattr +i " + path + " 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "the file system here has no immutable files";
    struct Mutable {
        std::string path;
        ~Mutable() { (void)!std::system(("chattr -i " + path).c_str()); }
    } made_mutable_again{path};
    const ProgramResult r = run_program(TEXTMATTE_EXE, dir.path(), {});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Cannot rename file: JWC_TEMP.$$$ to jwc_temp.txt \n");
    EXPECT_EQ(everything_in(dir),
              (Files{{kHost, std::to_string(kSmallDrawing.size()) + " bytes"}}));
    EXPECT_EQ(read_file(path), kSmallDrawing);
}

#endif

} // namespace
} // namespace textmatte::testing
