// textmatte-io-floor BYTES: the least that any program doing textmatte's job
// must do with the files, and nothing else, as the yardstick of whole runs.
// In the working directory it reads jwc_temp.txt where it lies, as textmatte
// does on Linux, writes BYTES bytes (the size of textmatte's result) to a new
// JWC_TEMP.$$$, syncs it, renames it over jwc_temp.txt and syncs the folder:
// the durability textmatte promises. No lock, no checks, no computation.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "interchange/byte_buffer.hpp"

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: textmatte-io-floor BYTES\n");
        return 2;
    }
    long long left = std::atoll(argv[1]);
    static char block[textmatte::kFileBlock]; // the block textmatte reads and writes in
    const int in = open("jwc_temp.txt", O_RDONLY | O_CLOEXEC);
    const int out = open("JWC_TEMP.$$$", O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (in < 0 || out < 0) return 1;
    // Read in blocks, writing the result's bytes at the same pace: a block
    // out for each block in, the rest at the end.
    ssize_t got = 0;
    while ((got = read(in, block, sizeof block)) > 0)
        if (left > 0) {
            const ssize_t n = left < got ? static_cast<ssize_t>(left) : got;
            if (write(out, block, static_cast<size_t>(n)) != n) return 1;
            left -= n;
        }
    if (got < 0) return 1;
    while (left > 0) {
        const ssize_t n = left < static_cast<long long>(sizeof block)
                              ? static_cast<ssize_t>(left)
                              : static_cast<ssize_t>(sizeof block);
        if (write(out, block, static_cast<size_t>(n)) != n) return 1;
        left -= n;
    }
    if (fsync(out) != 0 || close(out) != 0 || close(in) != 0) return 1;
    if (rename("JWC_TEMP.$$$", "jwc_temp.txt") != 0) return 1;
    const int dir = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0 || fsync(dir) != 0 || close(dir) != 0) return 1;
    return 0;
}
