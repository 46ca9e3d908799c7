// The output file on POSIX systems, on real descriptors: the bytes it
// writes behind the computation, how it reports a failed write, and that
// its writer thread takes no signal meant for the run and never outlives it.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "files/posix_output_file.hpp"
#include "files/posix_write_behind.hpp"

namespace textmatte::testing {
namespace {

constexpr std::size_t kBlock = WriteBehind::kBlock;

class TempFile {
  public:
    TempFile() {
        const int fd = mkstemp(path_.data());
        if (fd >= 0) ::close(fd);
    }
    ~TempFile() { std::remove(path_.c_str()); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const char* path() const { return path_.c_str(); }
    std::string bytes() const {
        std::ifstream in(path_, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

  private:
    std::string path_ = (std::filesystem::temp_directory_path() / "textmatte-out-XXXXXX").string();
};

std::unique_ptr<OutFile> open_output(const char* path) {
    const int fd = ::open(path, O_WRONLY | O_TRUNC | O_CLOEXEC);
    EXPECT_GE(fd, 0) << path;
    return make_posix_output_file(fd);
}

std::string random_bytes(std::size_t size) {
    std::mt19937 rng(7);
    std::string s(size, '\0');
    for (char& c : s)
        c = static_cast<char>(rng());
    return s;
}

// The status line of every thread of this process with the writer's name.
std::vector<std::string> writer_threads() {
    std::vector<std::string> found;
    DIR* tasks = opendir("/proc/self/task");
    if (!tasks) return found;
    while (const dirent* e = readdir(tasks)) {
        const std::string dir = std::string("/proc/self/task/") + e->d_name;
        std::string name;
        std::getline(std::ifstream(dir + "/comm"), name);
        if (name != WriteBehind::kThreadName) continue;
        std::ifstream status(dir + "/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind("SigBlk:", 0) == 0) found.push_back(line.substr(7));
    }
    closedir(tasks);
    return found;
}

bool blocks(const std::string& mask, int signal) {
    const unsigned long long bits = std::strtoull(mask.c_str(), nullptr, 16);
    return (bits >> (signal - 1)) & 1;
}

TEST(OutputFile, WritesEveryByteInOrder) {
    struct Case {
        const char* what;
        std::vector<std::size_t> pieces;
        bool sync;
    } cases[] = {
        {"one small write", {10}, true},
        {"40 blocks, past the first writeback step", std::vector<std::size_t>(40, kBlock), true},
        {"pieces larger and smaller than a block",
         {1, kBlock, 70000, 3, 200000, kBlock - 1, 17, 3 * kBlock + 5, 2},
         true},
        {"closed without a sync, as a debug run does", std::vector<std::size_t>(9, kBlock), false},
    };
    for (const Case& c : cases) {
        std::size_t total = 0;
        for (std::size_t n : c.pieces)
            total += n;
        const std::string bytes = random_bytes(total);
        TempFile temp;
        std::unique_ptr<OutFile> file = open_output(temp.path());
        std::size_t at = 0;
        for (std::size_t n : c.pieces) {
            EXPECT_TRUE(file->write(bytes.data() + at, n)) << c.what;
            at += n;
        }
        if (c.sync) {
            EXPECT_TRUE(file->sync()) << c.what;
        }
        EXPECT_TRUE(file->close()) << c.what;
        EXPECT_TRUE(temp.bytes() == bytes) << c.what;
    }
}

// A disk that is full from the start: whether the failure shows at a write
// or only once the last blocks are written, the sync and the close report
// it, and once a write has failed every later one does.
TEST(OutputFile, AFailedWriteIsReportedBySyncAndClose) {
    const std::string block = random_bytes(kBlock);
    for (int blocks : {1, 20}) {
        for (bool durable : {true, false}) {
            const int fd = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
            if (fd < 0) GTEST_SKIP() << "no /dev/full";
            std::unique_ptr<OutFile> file = make_posix_output_file(fd);
            bool failed = false;
            for (int i = 0; i < blocks; ++i) {
                const bool ok = file->write(block.data(), block.size());
                EXPECT_FALSE(failed && ok) << "a write went well after one failed, block " << i;
                failed = failed || !ok;
            }
            if (durable) {
                EXPECT_FALSE(file->sync()) << blocks;
            }
            EXPECT_FALSE(file->close()) << blocks << (durable ? ", synced" : "");
        }
    }
}

// However the file ends, its writer thread has ended with it; while it
// lives, it blocks the signals that ask the run to stop, so they reach the
// thread that checks for them, but not those of a fault of its own.
TEST(OutputFile, TheWriterThreadTakesNoInterruptAndEndsWithTheFile) {
    const std::string block = random_bytes(kBlock);
    enum class End { sync_and_close, close, destroyed_midway };
    for (End end : {End::sync_and_close, End::close, End::destroyed_midway}) {
        const int at = static_cast<int>(end);
        TempFile temp;
        std::unique_ptr<OutFile> file = open_output(temp.path());
        for (int i = 0; i < 10; ++i)
            ASSERT_TRUE(file->write(block.data(), block.size())) << at;
        const std::vector<std::string> writers = writer_threads();
        ASSERT_EQ(writers.size(), 1u) << at;
        for (int interrupt : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGALRM})
            EXPECT_TRUE(blocks(writers[0], interrupt)) << at << ": " << interrupt;
        for (int fault : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT})
            EXPECT_FALSE(blocks(writers[0], fault)) << at << ": " << fault;
        switch (end) {
        case End::sync_and_close: EXPECT_TRUE(file->sync() && file->close()); break;
        case End::close: EXPECT_TRUE(file->close()); break;
        case End::destroyed_midway: file.reset(); break;
        }
        EXPECT_TRUE(writer_threads().empty()) << at;
    }
}

} // namespace
} // namespace textmatte::testing
