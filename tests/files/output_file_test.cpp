// The output file on POSIX systems, on real descriptors: the bytes it
// writes, and how it reports a failed write and the system's code for it.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "files/posix_output_file.hpp"
#include "interchange/byte_buffer.hpp"

namespace textmatte::testing {
namespace {

constexpr std::size_t kBlock = kFileBlock;

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

// A disk that is full from the start: the first write fails, every later
// one, the sync and the close report it too, and the system's code (ENOSPC)
// stays with the file.
TEST(OutputFile, AFailedWriteIsReportedBySyncAndClose) {
    const std::string block = random_bytes(kBlock);
    for (int blocks : {1, 20}) {
        for (bool durable : {true, false}) {
            const int fd = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
            if (fd < 0) GTEST_SKIP() << "no /dev/full";
            std::unique_ptr<OutFile> file = make_posix_output_file(fd);
            for (int i = 0; i < blocks; ++i)
                EXPECT_FALSE(file->write(block.data(), block.size())) << "block " << i;
            if (durable) {
                EXPECT_FALSE(file->sync()) << blocks;
            }
            EXPECT_FALSE(file->close()) << blocks << (durable ? ", synced" : "");
            EXPECT_EQ(file->system_error(), ENOSPC) << blocks;
        }
    }
}

} // namespace
} // namespace textmatte::testing
