// whole_run TEXTMATTE RUNS DRAWING...: runs the built program on each
// drawing RUNS times, each time in a fresh directory as the host would, and
// prints the median, fastest and slowest wall time and the peak resident
// memory. This launcher stays small, so a child's memory is its own.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

int main(int argc, char* argv[]) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: whole_run TEXTMATTE RUNS DRAWING...\n");
        return 2;
    }
    const std::string program = fs::absolute(argv[1]).string();
    const int runs = std::atoi(argv[2]);
    std::printf("%-28s %10s %10s %10s %12s\n", "drawing", "median ms", "min ms", "max ms",
                "peak RSS kB");
    for (int d = 3; d < argc; ++d) {
        const fs::path drawing = fs::absolute(argv[d]);
        std::vector<double> ms;
        long peak = 0;
        for (int r = 0; r < runs; ++r) {
            const fs::path dir =
                fs::temp_directory_path() / ("textmatte-bench-" + std::to_string(getpid()));
            fs::remove_all(dir);
            fs::create_directories(dir);
            fs::copy_file(drawing, dir / "jwc_temp.txt");
            const auto start = std::chrono::steady_clock::now();
            pid_t pid = fork();
            if (pid == 0) {
                if (chdir(dir.c_str()) != 0) _exit(127);
                execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
                _exit(127);
            }
            int status = 0;
            rusage usage{};
            wait4(pid, &status, 0, &usage);
            const auto stop = std::chrono::steady_clock::now();
            fs::remove_all(dir);
            if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
                std::fprintf(stderr, "run on %s failed with status %d\n", argv[d],
                             WEXITSTATUS(status));
                return 1;
            }
            ms.push_back(std::chrono::duration<double, std::milli>(stop - start).count());
            peak = std::max(peak, usage.ru_maxrss);
        }
        std::sort(ms.begin(), ms.end());
        std::printf("%-28s %10.1f %10.1f %10.1f %12ld\n", drawing.filename().c_str(),
                    ms[ms.size() / 2], ms.front(), ms.back(), peak);
    }
    return 0;
}
