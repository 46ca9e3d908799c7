// Other programs and other users in the host's folder, tried against the
// built program: a second run while one is live, whatever becomes of the
// drawing meanwhile; a lock file another user removes mid-run; rewrites
// that leave the drawing's size and times alone; links through the
// program's own names, folders included; a read that blocks; the drawing's
// permissions and ACL whatever the run's privileges, and a failure to give
// them; a lock file made complete before it shows; a leftover output where
// the folder has no locks; a folder whose sync fails; a final rename the
// system refuses.
#include <gtest/gtest.h>

#include <atomic>
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
#include <sys/mman.h>
#include <sys/mount.h>
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
        out[name] = e.is_symlink()     ? "link to " + fs::read_symlink(e.path()).string()
                    : e.is_directory() ? "a folder"
                                       : std::to_string(fs::file_size(e.path())) + " bytes";
    }
    return out;
}

// Stops a run once its output has bytes and it is still short of its
// result; false if it ended first or never got there. Short of its result:
// the output is still there and the host's name still holds the drawing
// (after a swap of names the output's name holds the drawing that came
// out, until it is removed).
bool stop_midway(Running& run, const TempDir& dir, std::uintmax_t drawing_size = 0) {
    std::error_code ec;
    if (drawing_size == 0) drawing_size = fs::file_size(dir.at(kHost), ec);
    const auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < std::chrono::seconds(10)) {
        if (fs::file_size(dir.at("JWC_TEMP.$$$"), ec) > 0 && !ec) {
            if (!run.send(SIGSTOP)) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            return fs::exists(dir.at("JWC_TEMP.$$$")) &&
                   fs::file_size(dir.at(kHost), ec) == drawing_size && !ec;
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

// A host's name that leads through one of the program's own names to a
// file elsewhere is refused, and nothing is touched: the run would
// otherwise remove or rename over the drawing itself, or remove the name it
// leads through and lose it. The own name may be the last link of one or
// two, or a folder on the way: a link to a folder, or a folder itself. (A
// lock file's name that is not a plain file is refused as a lock file
// first.)
TEST(Sharing, ALinkThroughTheProgramsOwnNamesIsRefused) {
    enum class Way { link, two_links, link_to_folder, folder };
    const std::map<Way, const char*> said_as = {{Way::link, "one link"},
                                                {Way::two_links, "two links"},
                                                {Way::link_to_folder, "a link to a folder"},
                                                {Way::folder, "a folder"}};
    for (const char* own :
         {"JWC_TEMP.$$$", "JWC_TEMP.TXT", "JWC_x2x2.$$", "JWC_x2x2.$$$", "JWC_TEMP.LCK"}) {
        for (const auto& [way, what] : said_as) {
            TempDir keep;
            keep.write("d.txt", kSmallDrawing);
            TempDir dir;
            switch (way) {
            case Way::link:
                fs::create_symlink(keep.at("d.txt"), dir.at(own));
                fs::create_symlink(std::string("./") + own, dir.at(kHost));
                break;
            case Way::two_links:
                fs::create_symlink(keep.at("d.txt"), dir.at(own));
                fs::create_symlink(own, dir.at("hop"));
                fs::create_symlink("hop", dir.at(kHost));
                break;
            case Way::link_to_folder:
                fs::create_symlink(keep.path(), dir.at(own));
                fs::create_symlink(std::string(own) + "/d.txt", dir.at(kHost));
                break;
            case Way::folder:
                dir.make_directory(own);
                dir.write(std::string(own) + "/d.txt", kSmallDrawing);
                fs::create_symlink(std::string(own) + "/./d.txt", dir.at(kHost));
                break;
            }
            const Files before = everything_in(dir);
            const ProgramResult r = run_program(TEXTMATTE_EXE, dir.path(), {});
            const std::string where = std::string(own) + ", " + what;
            EXPECT_EQ(r.status, 1) << where;
            // A folder under the lock's name is said as the system says it.
            const std::string said = std::string(own) != "JWC_TEMP.LCK"
                                         ? "Cannot take over file: jwc_temp.txt (it is a link to " +
                                               std::string(own) + ") \n"
                                     : way == Way::folder
                                         ? "Cannot open file: JWC_TEMP.LCK (Is a directory) \n"
                                         : "Cannot open file: JWC_TEMP.LCK \n";
            EXPECT_EQ(r.err, said) << where;
            EXPECT_EQ(everything_in(dir), before) << where;
            EXPECT_EQ(read_file(keep.at("d.txt")), kSmallDrawing) << where;
            if (way == Way::folder) {
                EXPECT_EQ(read_file(dir.at(std::string(own) + "/d.txt")), kSmallDrawing) << where;
            }
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
    EXPECT_EQ(r.err,
              "Cannot rename file: JWC_TEMP.$$$ to jwc_temp.txt (Operation not permitted) \n");
    EXPECT_EQ(everything_in(dir),
              (Files{{kHost, std::to_string(kSmallDrawing.size()) + " bytes"}}));
    EXPECT_EQ(read_file(path), kSmallDrawing);
}

// How often a run of the program on a small drawing makes the calls
// `syscall`, counted by strace; -1 where strace cannot trace here.
int calls_in_a_run(const std::string& syscall, const Launch& launch) {
    TempDir probe;
    probe.write(kHost, kSmallDrawing);
    const ProgramResult traced =
        run_program("/usr/bin/strace", probe.path(),
                    {"-f", "-qq", "-e", "trace=" + syscall, TEXTMATTE_EXE}, launch);
    if (traced.status != 0) return -1;
    int calls = 0;
    for (std::size_t at = 0; (at = traced.err.find(syscall + "(", at)) != std::string::npos; ++at)
        ++calls;
    return calls;
}

// A run under strace, which changes what the `at`-th call of `syscall`
// does (`what`: an error or a signal, as strace's inject= says); with
// `on_file`, only calls on that file count.
ProgramResult run_injected(const TempDir& dir, const std::string& syscall, int at,
                           const std::string& what, const Launch& launch,
                           const std::string& on_file = "") {
    std::vector<std::string> args = {"-f", "-qq", "-o", "/dev/null"};
    if (!on_file.empty()) args.insert(args.end(), {"-P", on_file});
    args.insert(args.end(),
                {"-e", "trace=" + syscall, "-e",
                 "inject=" + syscall + ":" + what + ":when=" + std::to_string(at), TEXTMATTE_EXE});
    return run_program("/usr/bin/strace", dir.path(), args, launch);
}

// Why strace cannot be used here, or "".
std::string why_no_strace() {
    if (!have_command("strace")) return "strace is not installed";
    if (programs_are_emulated()) return "strace would trace the emulator";
    return "";
}

// LeakSanitizer cannot work under ptrace; the rest of a sanitized build can.
Launch traceable() {
    Launch launch;
    launch.env = {"ASAN_OPTIONS=detect_leaks=0"};
    return launch;
}

// A sticky folder open to all (1777), where another user made the lock
// file first and so may remove it (its owner may) while a run holds it.
// The next run then takes a fresh lock, removes the live run's output as a
// leftover and writes its own. The first run, once it goes on, must not
// put the second's partial output over the drawing: it finds its lock gone
// and says another run is using the folder, and leaves the second's
// output alone, which then completes.
TEST(Sharing, ALockFileItsOwnerRemovesMidRunLetsNoRunLie) {
    if (programs_are_emulated()) GTEST_SKIP() << "the emulator is too slow to stop halfway";
    if (!can_run_as_nobody()) GTEST_SKIP() << "a second user's lock file needs root";
    const passwd* nobody = getpwnam("nobody");
    const std::string drawing = text_drawing(50000);
    const std::string result = [&] {
        TempDir clean;
        clean.write(kHost, drawing);
        EXPECT_EQ(run_program(TEXTMATTE_EXE, clean.path(), {}).status, 0);
        return read_file(clean.at(kHost));
    }();
    Launch as_nobody;
    as_nobody.as_nobody = true;
    for (int attempt = 0; attempt < 5; ++attempt) {
        TempDir dir;
        chmod(dir.path().c_str(), 01777);
        dir.write(kHost, drawing);
        dir.write("JWC_TEMP.LCK", "");
        ASSERT_EQ(chown(dir.at("JWC_TEMP.LCK").c_str(), nobody->pw_uid, nobody->pw_gid), 0);
        Running first(TEXTMATTE_EXE, dir.path(), {}, Launch{});
        if (!stop_midway(first, dir)) continue;
        const ProgramResult removed =
            run_program("/bin/rm", dir.path(), {"-f", "JWC_TEMP.LCK"}, as_nobody);
        ASSERT_EQ(removed.status, 0) << removed.err;
        const std::string output = dir.at("JWC_TEMP.$$$");
        struct stat before {};
        ::stat(output.c_str(), &before);
        Running second(TEXTMATTE_EXE, dir.path(), {}, Launch{});
        // Once the second run has removed the first's output and begun its
        // own, it is stopped while its own is still short of the result.
        const auto start = std::chrono::steady_clock::now();
        for (struct stat now{};
             std::chrono::steady_clock::now() - start < std::chrono::seconds(10) &&
             !(::stat(output.c_str(), &now) == 0 && now.st_ino != before.st_ino);) {
        }
        if (!stop_midway(second, dir, drawing.size())) {
            first.send(SIGCONT);
            continue;
        }
        first.send(SIGCONT);
        const ProgramResult a = first.wait();
        EXPECT_EQ(a.status, 1) << a.err;
        EXPECT_EQ(a.err, kLocked);
        EXPECT_TRUE(read_file(dir.at(kHost)) == drawing) << "the first run put something in place";
        second.send(SIGCONT);
        const ProgramResult b = second.wait();
        EXPECT_EQ(b.status, 0) << b.err;
        EXPECT_EQ(dir.files().size(), 1u);
        EXPECT_TRUE(read_file(dir.at(kHost)) == result) << "not the second run's whole result";
        return;
    }
    FAIL() << "no two runs could be stopped halfway";
}

// A shared, writable mapping of a file, released at the end.
class SharedMapping {
  public:
    SharedMapping(const std::string& path, std::size_t size) : size_(size) {
        const int fd = open(path.c_str(), O_RDWR);
        if (fd < 0) return;
        void* map = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        close(fd); // the mapping holds the file
        if (map != MAP_FAILED) bytes_ = static_cast<char*>(map);
    }
    ~SharedMapping() {
        if (bytes_) munmap(bytes_, size_);
    }
    SharedMapping(const SharedMapping&) = delete;
    SharedMapping& operator=(const SharedMapping&) = delete;
    char* bytes() const { return bytes_; }

  private:
    char* bytes_ = nullptr;
    std::size_t size_;
};

bool same_size_and_times(const struct stat& a, const struct stat& b) {
    return a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
           a.st_mtim.tv_nsec == b.st_mtim.tv_nsec && a.st_ctim.tv_sec == b.st_ctim.tv_sec &&
           a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

// Another program rewrites the drawing through a shared memory mapping it
// made writable before the run: a write to a page already written moves
// no time, and the size stays. The run, stopped halfway meanwhile and
// continued, sees from the bytes that the drawing is not what it read,
// says so, and leaves the rewritten drawing in place.
TEST(Sharing, ARewriteThroughASharedMappingIsSeen) {
    if (programs_are_emulated()) GTEST_SKIP() << "the emulator is too slow to stop halfway";
    const std::string drawing = text_drawing(50000);
    std::string rewritten = drawing;
    rewritten[100] = rewritten[100] == '7' ? '8' : '7';
    // A sync of the whole file system meanwhile (another program's, or a
    // run's in a folder it cannot read) writes the page back, and the next
    // write through the mapping moves the times: then again.
    for (int attempt = 0; attempt < 20; ++attempt) {
        TempDir dir;
        dir.write(kHost, drawing);
        SharedMapping mapping(dir.at(kHost), drawing.size());
        ASSERT_NE(mapping.bytes(), nullptr);
        mapping.bytes()[100] = drawing[100]; // the page is written, and its times moved, now
        struct stat before {};
        ASSERT_EQ(stat(dir.at(kHost).c_str(), &before), 0);
        Running run(TEXTMATTE_EXE, dir.path(), {}, Launch{});
        if (!stop_midway(run, dir)) continue;
        mapping.bytes()[100] = rewritten[100];
        struct stat after {};
        ASSERT_EQ(stat(dir.at(kHost).c_str(), &after), 0);
        if (!same_size_and_times(before, after)) continue;
        run.send(SIGCONT);
        const ProgramResult r = run.wait();
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_EQ(r.err, kChanged);
        EXPECT_EQ(dir.files().size(), 1u);
        EXPECT_TRUE(read_file(dir.at(kHost)) == rewritten) << "not the rewritten drawing";
        return;
    }
    FAIL() << "no run could be stopped halfway with the drawing's times kept";
}

// A folder on a file system with one-second times (ext2 with small
// inodes, on a loop device), mounted for the test and unmounted after.
class CoarseTimesFolder {
  public:
    CoarseTimesFolder() {
        if (geteuid() != 0) {
            why_not_ = "mounting a file system needs root";
            return;
        }
        if (!have_command("mkfs.ext2")) {
            why_not_ = "mkfs.ext2 (e2fsprogs) is not installed";
            return;
        }
        const std::string image = holder_.at("fs.img");
        const std::string make =
            "truncate -s 32M " + image + " && mkfs.ext2 -q -F -I 128 " + image + " >/dev/null 2>&1";
        mount_point_ = holder_.at("mnt");
        holder_.make_directory("mnt");
        if (std::system(make.c_str()) != 0 ||
            std::system(("mount -o loop " + image + " " + mount_point_ + " 2>/dev/null").c_str()) !=
                0) {
            why_not_ = "a loop device cannot be mounted here";
            return;
        }
        mounted_ = true;
    }
    ~CoarseTimesFolder() {
        if (mounted_) (void)umount(mount_point_.c_str());
    }
    CoarseTimesFolder(const CoarseTimesFolder&) = delete;
    CoarseTimesFolder& operator=(const CoarseTimesFolder&) = delete;
    const std::string& why_not() const { return why_not_; }
    const std::string& path() const { return mount_point_; }

  private:
    TempDir holder_;
    std::string mount_point_;
    std::string why_not_;
    bool mounted_ = false;
};

// On a file system with one-second times, another program rewrites the
// drawing in place, same size, and sets its modification time back, within
// the second it was written in: its size and times are as they were. The
// bytes tell.
TEST(Sharing, ASameSecondRewriteWithItsTimesSetBackIsSeen) {
    if (programs_are_emulated()) GTEST_SKIP() << "the emulator is too slow to stop halfway";
    CoarseTimesFolder folder;
    if (!folder.why_not().empty()) GTEST_SKIP() << folder.why_not();
    const std::string drawing = text_drawing(50000);
    std::string rewritten = drawing;
    rewritten[100] = rewritten[100] == '7' ? '8' : '7';
    for (int attempt = 0; attempt < 10; ++attempt) {
        const std::string host = folder.path() + "/" + kHost;
        std::remove(host.c_str());
        std::remove((folder.path() + "/JWC_TEMP.$$$").c_str());
        {
            std::FILE* f = std::fopen(host.c_str(), "wb");
            ASSERT_NE(f, nullptr);
            std::fwrite(drawing.data(), 1, drawing.size(), f);
            std::fclose(f);
        }
        struct stat written {};
        ASSERT_EQ(stat(host.c_str(), &written), 0);
        Running run(TEXTMATTE_EXE, folder.path(), {}, Launch{});
        const auto start = std::chrono::steady_clock::now();
        bool midway = false;
        while (!midway && std::chrono::steady_clock::now() - start < std::chrono::seconds(1)) {
            struct stat out {};
            midway = stat((folder.path() + "/JWC_TEMP.$$$").c_str(), &out) == 0 && out.st_size > 0;
        }
        if (!midway || !run.send(SIGSTOP)) continue;
        {
            std::FILE* f = std::fopen(host.c_str(), "r+b");
            ASSERT_NE(f, nullptr);
            std::fwrite(rewritten.data(), 1, rewritten.size(), f);
            std::fclose(f);
        }
        const timespec times[2] = {written.st_atim, written.st_mtim};
        ASSERT_EQ(utimensat(AT_FDCWD, host.c_str(), times, 0), 0);
        struct stat now {};
        ASSERT_EQ(stat(host.c_str(), &now), 0);
        if (now.st_ctim.tv_sec != written.st_ctim.tv_sec || now.st_mtim.tv_nsec != 0) {
            run.send(SIGCONT); // a second went by, or the times are not coarse: again
            (void)run.wait();
            continue;
        }
        run.send(SIGCONT);
        const ProgramResult r = run.wait();
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_EQ(r.err, kChanged);
        EXPECT_TRUE(read_file(host) == rewritten) << "not the rewritten drawing";
        return;
    }
    FAIL() << "no run could be stopped within the second its drawing was written";
}

// A read that blocks (here a tracing pipe, which waits for events, standing
// for a hung network or FUSE file): SIGTERM still stops the run, which
// removes its output and lock file and ends by the signal.
TEST(Sharing, AnInterruptStopsABlockedRead) {
    std::string pipe;
    for (const char* at :
         {"/sys/kernel/tracing/trace_pipe", "/sys/kernel/debug/tracing/trace_pipe"})
        if (pipe.empty() && access(at, R_OK) == 0) pipe = at;
    bool mounted_here = false;
    if (pipe.empty() && geteuid() == 0 &&
        mount("nodev", "/sys/kernel/tracing", "tracefs", 0, nullptr) == 0) {
        mounted_here = true;
        pipe = "/sys/kernel/tracing/trace_pipe";
    }
    if (pipe.empty()) GTEST_SKIP() << "no tracing pipe to block a read on (tracefs needs root)";
    struct Unmount {
        bool mounted;
        ~Unmount() {
            if (mounted) (void)umount("/sys/kernel/tracing");
        }
    } unmount{mounted_here};
    TempDir dir;
    fs::create_symlink(pipe, dir.at(kHost));
    Running run(TEXTMATTE_EXE, dir.path(), {}, Launch{});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_TRUE(run.send(SIGTERM));
    // A run that stays blocked is killed after a while, and fails below.
    std::atomic<bool> ended{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 100 && !ended; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (!ended) run.send(SIGKILL);
    });
    const ProgramResult r = run.wait();
    ended = true;
    watchdog.join();
    EXPECT_EQ(r.status, status_after_interrupt(SIGTERM)) << r.err;
    EXPECT_EQ(r.err, "Interrupted: jwc_temp.txt is as it was before the run \n");
    EXPECT_EQ(everything_in(dir), (Files{{kHost, "link to " + pipe}}));
}

// The output's mode cannot be set (fchmod fails, injected by strace): the
// result would not keep the drawing's permissions, so nothing replaces the
// drawing; the run says so with status 1 and leaves only the drawing, with
// its own mode.
TEST(Sharing, AnOutputThatCannotGetTheDrawingsModeReplacesNothing) {
    if (const std::string why = why_no_strace(); !why.empty()) GTEST_SKIP() << why;
    const int calls = calls_in_a_run("fchmod", traceable());
    if (calls < 0) GTEST_SKIP() << "strace cannot trace here";
    ASSERT_GE(calls, 1);
    TempDir dir;
    dir.write(kHost, kSmallDrawing);
    chmod(dir.at(kHost).c_str(), 0640);
    // The output's is the run's last.
    const ProgramResult r = run_injected(dir, "fchmod", calls, "error=EIO", traceable());
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.err, "Cannot write file: JWC_TEMP.$$$ (Input/output error) \n");
    EXPECT_EQ(dir.files(), (Files{{kHost, kSmallDrawing}}));
    struct stat st {};
    ASSERT_EQ(stat(dir.at(kHost).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

// A run killed while it gives its new lock file its mode (under a umask
// that would make it private) leaves no lock file other users' runs cannot
// open: none at all, or one they may open.
TEST(Sharing, ALockFileIsCompleteBeforeItShows) {
    if (const std::string why = why_no_strace(); !why.empty()) GTEST_SKIP() << why;
    Launch launch = traceable();
    launch.umask = 077;
    if (calls_in_a_run("fchmod", launch) < 1) GTEST_SKIP() << "strace cannot trace here";
    TempDir dir;
    chmod(dir.path().c_str(), 01777);
    dir.write(kHost, kSmallDrawing);
    const ProgramResult r = run_injected(dir, "fchmod", 1, "signal=SIGKILL", launch);
    EXPECT_NE(r.status, 0);
    struct stat st {};
    if (lstat(dir.at("JWC_TEMP.LCK").c_str(), &st) == 0) {
        EXPECT_EQ(st.st_mode & 07777, 0644u) << "a lock file other users cannot open";
    }
    EXPECT_EQ(read_file(dir.at(kHost)), kSmallDrawing);
}

// Where the folder offers no locks (flock fails, injected by strace), a
// leftover output may be a live run's: it stays, and the run says what it
// is and what to do, touching nothing.
TEST(Sharing, ALeftoverOutputWithoutLocksIsSaid) {
    if (const std::string why = why_no_strace(); !why.empty()) GTEST_SKIP() << why;
    if (calls_in_a_run("flock", traceable()) < 1) GTEST_SKIP() << "strace cannot trace here";
    TempDir dir;
    dir.write(kHost, kSmallDrawing);
    dir.write("JWC_TEMP.$$$", "partial");
    const ProgramResult r = run_injected(dir, "flock", 1, "error=ENOLCK", traceable());
    EXPECT_EQ(r.status, 255) << r.err;
    EXPECT_EQ(r.err, "Cannot create file: JWC_TEMP.$$$ (left by an earlier run; delete it when "
                     "no run is live) \n");
    EXPECT_EQ(dir.files(), (Files{{kHost, kSmallDrawing}, {"JWC_TEMP.$$$", "partial"}}));
}

// Taking the lock fails (flock, injected by strace): only the answers that
// mean the file system has no locks let the run go on without one; any
// other refuses the run with the system's reason, and leaves the folder as
// it was, the lock file it made removed again.
TEST(Sharing, OnlyAFileSystemWithoutLocksLetsARunGoOnUnlocked) {
    if (const std::string why = why_no_strace(); !why.empty()) GTEST_SKIP() << why;
    if (calls_in_a_run("flock", traceable()) < 1) GTEST_SKIP() << "strace cannot trace here";
    struct Case {
        const char* error;
        std::string err; // "": the run goes on unlocked and completes
    } cases[] = {
        {"ENOLCK", ""},
        {"EOPNOTSUPP", ""},
        {"ENOSYS", ""},
        {"EIO", "Cannot open file: JWC_TEMP.LCK (Input/output error) \n"},
        {"ENOMEM", "Cannot open file: JWC_TEMP.LCK (Cannot allocate memory) \n"},
        {"EINVAL", "Cannot open file: JWC_TEMP.LCK (Invalid argument) \n"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        dir.write(kHost, kSmallDrawing);
        const ProgramResult r =
            run_injected(dir, "flock", 1, std::string("error=") + c.error, traceable());
        EXPECT_EQ(r.status, c.err.empty() ? 0 : 1) << c.error;
        EXPECT_EQ(r.err, c.err) << c.error;
        EXPECT_EQ(dir.files(), (Files{{kHost, c.err.empty() ? kSmallResult : kSmallDrawing}}))
            << c.error;
        EXPECT_EQ(everything_in(dir).size(), 1u) << c.error;
    }
}

// A read of the drawing fails with an I/O error (injected by strace): the
// message names the file that is there, jwc_temp.txt.
TEST(Sharing, AReadFailureNamesTheHostsFile) {
    if (const std::string why = why_no_strace(); !why.empty()) GTEST_SKIP() << why;
    if (calls_in_a_run("read", traceable()) < 1) GTEST_SKIP() << "strace cannot trace here";
    TempDir dir;
    dir.write(kHost, kSmallDrawing);
    const ProgramResult r = run_injected(dir, "read", 1, "error=EIO", traceable(), dir.at(kHost));
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.err, "Cannot read file: jwc_temp.txt (Input/output error) \n");
    EXPECT_EQ(dir.files(), (Files{{kHost, kSmallDrawing}}));
}

#endif

} // namespace
} // namespace textmatte::testing
