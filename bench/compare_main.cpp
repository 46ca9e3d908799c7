// textmatte-compare: measures textmatte side by side with the
// straightforward way of doing its work, alternating the two in one run so
// the machine's noise falls on both, and prints one table of ratios.
//
//   textmatte-compare TEXTMATTE STRAIGHTFORWARD IO_FLOOR [WINE64 EXE64 WINE32 EXE32]
//   textmatte-compare --builds BEFORE AFTER IO_FLOOR
//
// In memory: the pipeline over buffers against fgets, sscanf and fprintf on
// a memory stream (the straightforward pipeline), on drawings of 50,000
// lines. Whole runs: the built programs started as the host starts them, in
// a fresh directory each time. Against the I/O floor: whole runs of
// textmatte against the program that only reads the drawing and writes, syncs
// and renames as many bytes as the result has, wall and processor time. With
// the Windows executables and their Wines given, the 32-bit exe against the
// 64-bit one on the same drawing. With --builds, two builds of textmatte
// against each other and the I/O floor, in whole runs.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "boxes/text_box.hpp"
#include "drawings.hpp"
#include "interchange/line_reader.hpp"
#include "interchange/output.hpp"
#include "pipeline/convert.hpp"
#include "state/state.hpp"

namespace textmatte::bench {
namespace {

namespace fs = std::filesystem;
constexpr int kLines = 50000;
constexpr int kPairs = 15;
// The runs against the floor are short and depend on the disk: more pairs.
constexpr int kFloorPairs = 31;

using Clock = std::chrono::steady_clock;

double seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Counts the bytes it is given and drops them, as a file's cache would.
class CountingSink final : public ByteSink {
  public:
    bool write(const char*, std::size_t size) override {
        bytes += size;
        return true;
    }
    std::size_t bytes = 0;
};

void pipeline_pass(const std::string& input) {
    RunState run;
    CountingSink file, console;
    Output output(file, LineEnds::crlf, 1 << 18), out(console, LineEnds::lf);
    StringSource source(input);
    LineReader reader(source, 1 << 18);
    convert(run, reader, output, out, kLines);
    output.flush();
}

// The same records written the way a first version would: a text-mode
// stream, fgets, sscanf and fprintf, and the C library's atan2, sin, cos.
void baseline_pass(const std::string& input, std::FILE* out) {
    std::FILE* in = fmemopen(const_cast<char*>(input.data()), input.size(), "r");
    char buf[255];
    TextRecord t;
    TextTypes types;
    int colour = 1, layer = 0;
    while (std::fgets(buf, sizeof buf, in)) {
        switch (buf[0]) {
        case '#': std::fputs(buf, out); break;
        case 'l':
            std::fputs(buf, out);
            if (buf[1] == 'c') std::sscanf(buf + 2, "%d", &colour);
            if (buf[1] == 'y') std::sscanf(buf + 2, "%x", reinterpret_cast<unsigned*>(&layer));
            break;
        case 'h':
            if (buf[1] == 'q') std::fputs("hd\n", out);
            if (buf[1] == 'c' && buf[2] == 'h') {
                double* h = types.height.data();
                std::sscanf(buf + 4, "%lf %lf %lf %lf %lf %lf %lf %lf %lf %lf", h + 1, h + 2, h + 3,
                            h + 4, h + 5, h + 6, h + 7, h + 8, h + 9, h + 10);
            }
            break;
        case 'c':
            if (buf[1] == 'n') {
                std::fputs(buf, out);
                std::sscanf(buf + 2, "%d", &types.in_force);
            } else if (buf[1] != 'c' && buf[1] != 'i') {
                std::memset(t.raw.data(), 0, t.raw.size());
                std::sscanf(buf + 2, "%lf %lf %lf %lf \"%260c", &t.x, &t.y, &t.dx, &t.dy,
                            t.raw.data());
                std::size_t n = std::strcspn(t.raw.data(), "\r\n");
                if (n > 231) n = 231;
                std::memcpy(t.cleaned.data(), t.raw.data(), n);
                t.cleaned[n] = '\0';
                const double h = types.has(types.in_force) ? types.height[types.in_force] : 0.0;
                const double L = std::sqrt(t.dx * t.dx + t.dy * t.dy);
                const double th = std::atan2(t.dy, t.dx), c = std::cos(th), s = std::sin(th);
                const double m = 3.0, x = t.x, y = t.y;
                std::fprintf(out, "lc10 #%06x\n", kShades[5]);
                std::fprintf(out, "sl %.12f %.12f %.12f %.12f %.12f %.12f %.12f %.12f\n",
                             x + (-m * c + m * s), y + (-m * c - m * s), x + ((L + m) * c + m * s),
                             y + (-m * c + (L + m) * s), x + ((L + m) * c - (h + m) * s),
                             y + ((L + m) * s + (h + m) * c), x + (-m * c - (h + m) * s),
                             y + ((h + m) * c - m * s));
                std::fprintf(out, "ch %.10f %.10f %.10f %.10f \"%s\n", t.x, t.y, t.dx, t.dy,
                             t.cleaned.data());
            }
            break;
        default: break;
        }
    }
    std::fclose(in);
}

double seconds_of(const std::function<void()>& f) {
    const auto start = Clock::now();
    f();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Pair {
    double ours = 0, theirs = 0;         // median seconds
    double ours_cpu = 0, theirs_cpu = 0; // median processor seconds, user and system
    long peak_kb = 0;                    // ours
};

// Alternates the two, kPairs times each, after one warm-up of each.
Pair alternate(const std::function<void()>& ours, const std::function<void()>& theirs) {
    ours();
    theirs();
    std::vector<double> a, b;
    for (int i = 0; i < kPairs; ++i) {
        a.push_back(seconds_of(ours));
        b.push_back(seconds_of(theirs));
    }
    return {median(a), median(b), 0, 0, 0};
}

struct Timed {
    double wall = 0, cpu = 0; // seconds; processor time is user and system
    long peak_kb = 0;
};

// One whole run of `argv` on a copy of `drawing` in a fresh directory, timed
// without the directory's making: only the program's run.
Timed timed_run(const std::vector<std::string>& argv, const fs::path& drawing) {
    const fs::path dir =
        fs::temp_directory_path() / ("textmatte-compare-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    fs::copy_file(drawing, dir / "jwc_temp.txt");
    // Spawned, not forked: the child shares none of this process's memory,
    // so its start costs what the host's would and its peak is its own.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    const auto start = Clock::now();
    if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) {
        std::fprintf(stderr, "cannot start %s\n", args[0]);
        std::exit(1);
    }
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    fs::remove_all(dir);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed on %s\n", argv.back().c_str(), drawing.c_str());
        std::exit(1);
    }
    return {wall, seconds(usage.ru_utime) + seconds(usage.ru_stime), usage.ru_maxrss};
}

// Runs each program once to warm up, then all of them in turn, `rounds`
// times: the machine's noise falls on all alike.
std::vector<std::vector<Timed>> rotate_runs(const std::vector<std::vector<std::string>>& programs,
                                            const fs::path& drawing, int rounds) {
    for (const auto& argv : programs)
        (void)timed_run(argv, drawing);
    std::vector<std::vector<Timed>> runs(programs.size());
    for (int i = 0; i < rounds; ++i)
        for (std::size_t p = 0; p < programs.size(); ++p)
            runs[p].push_back(timed_run(programs[p], drawing));
    return runs;
}

double median_wall(const std::vector<Timed>& runs) {
    std::vector<double> v;
    for (const Timed& t : runs)
        v.push_back(t.wall);
    return median(v);
}

double median_cpu(const std::vector<Timed>& runs) {
    std::vector<double> v;
    for (const Timed& t : runs)
        v.push_back(t.cpu);
    return median(v);
}

Pair alternate_runs(const std::vector<std::string>& ours, const std::vector<std::string>& theirs,
                    const fs::path& drawing, int pairs = kPairs) {
    const auto runs = rotate_runs({ours, theirs}, drawing, pairs);
    long peak = 0;
    for (const Timed& t : runs[0])
        peak = std::max(peak, t.peak_kb);
    return {median_wall(runs[0]), median_wall(runs[1]), median_cpu(runs[0]), median_cpu(runs[1]),
            peak};
}

// The size of textmatte's result of a drawing: the bytes the I/O floor
// writes.
std::uintmax_t result_size(const std::string& program, const fs::path& drawing) {
    const fs::path dir =
        fs::temp_directory_path() / ("textmatte-compare-size-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    fs::copy_file(drawing, dir / "jwc_temp.txt");
    const std::string command = "cd '" + dir.string() + "' && '" + program + "' >/dev/null";
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "%s failed on %s\n", program.c_str(), drawing.c_str());
        std::exit(1);
    }
    const std::uintmax_t size = fs::file_size(dir / "jwc_temp.txt");
    fs::remove_all(dir);
    return size;
}

// textmatte's peak resident memory on a drawing, in kB, measured by the
// small launcher from tools/ (a child of this large process would count its
// pages as its own).
long peak_kb(const std::string& program, const fs::path& drawing) {
    const fs::path dir =
        fs::temp_directory_path() / ("textmatte-compare-peak-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    fs::copy_file(drawing, dir / "jwc_temp.txt");
    const std::string launcher = TEXTMATTE_PEAK_RSS;
    const std::string report = (dir / "peak").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    posix_spawn_file_actions_addopen(&actions, 1, report.c_str(), O_WRONLY | O_CREAT, 0644);
    std::vector<char*> args = {const_cast<char*>(launcher.c_str()),
                               const_cast<char*>(program.c_str()), nullptr};
    pid_t pid = -1;
    long kb = -1;
    if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        std::ifstream(report) >> kb;
    }
    posix_spawn_file_actions_destroy(&actions);
    fs::remove_all(dir);
    return kb;
}

void row(const char* what, double ours, double theirs, const char* goal,
         bool lower_is_ours = true) {
    const double ratio = lower_is_ours ? theirs / ours : ours / theirs;
    std::printf("| %-44s | %9.1f ms | %9.1f ms | %6.2f× | %-8s |\n", what, ours * 1e3, theirs * 1e3,
                ratio, goal);
}

// Whole runs of textmatte against the I/O floor writing as many bytes as
// its result has: wall and processor time, and how many times the floor's
// wall time textmatte takes.
void floor_table(const std::string& ours, const std::string& floor, const fs::path& texts,
                 const fs::path& mix, const fs::path& long_texts) {
    std::printf("\nAgainst the I/O floor (read the drawing, write as many bytes as the result, "
                "fsync,\nrename, fsync the folder): medians of %d alternating runs each; "
                "ratio = textmatte / floor.\n\n",
                kFloorPairs);
    std::printf("| %-30s | %12s | %12s | %7s | %12s | %12s | %-8s |\n", "", "textmatte",
                "I/O floor", "ratio", "its cpu", "floor's cpu", "goal");
    std::printf("|%s|%s|%s|%s|%s|%s|%s|\n", std::string(32, '-').c_str(),
                std::string(14, '-').c_str(), std::string(14, '-').c_str(),
                std::string(9, '-').c_str(), std::string(14, '-').c_str(),
                std::string(14, '-').c_str(), std::string(10, '-').c_str());
    const std::pair<const char*, const fs::path*> rows[] = {
        {"whole run, 50,000 texts", &texts},
        {"whole run, typical mix", &mix},
        {"whole run, 50,000 long texts", &long_texts}};
    for (const auto& [title, drawing] : rows) {
        const std::string bytes = std::to_string(result_size(ours, *drawing));
        const Pair p = alternate_runs({ours}, {floor, bytes}, *drawing, kFloorPairs);
        std::printf("| %-30s | %9.1f ms | %9.1f ms | %6.2f× | %9.1f ms | %9.1f ms | %-8s |\n",
                    title, p.ours * 1e3, p.theirs * 1e3, p.ours / p.theirs, p.ours_cpu * 1e3,
                    p.theirs_cpu * 1e3, "≤ 1.25×");
    }
}

// Two builds of textmatte and the I/O floor in turn, on the drawing of
// 50,000 texts and on a typical drawing of 2,000 lines, the size of what
// users select: how a change to the program moves whole runs.
int builds_table(const std::string& before, const std::string& after, const std::string& floor) {
    const fs::path work =
        fs::temp_directory_path() / ("textmatte-builds-" + std::to_string(getpid()));
    fs::create_directories(work);
    std::printf("Whole runs of two builds and the I/O floor in turn: medians of %d rounds; "
                "ratios to the floor.\n\n",
                kFloorPairs);
    std::printf("| %-24s | %10s | %10s | %10s | %7s | %7s | %10s | %10s |\n", "", "before", "after",
                "I/O floor", "before", "after", "cpu before", "cpu after");
    std::printf(
        "|%s|%s|%s|%s|%s|%s|%s|%s|\n", std::string(24, '-').c_str(), std::string(12, '-').c_str(),
        std::string(12, '-').c_str(), std::string(12, '-').c_str(), std::string(9, '-').c_str(),
        std::string(9, '-').c_str(), std::string(12, '-').c_str(), std::string(12, '-').c_str());
    const struct {
        Kind kind;
        int lines;
        const char* title;
    } cases[] = {{Kind::texts, kLines, "50,000 texts"},
                 {Kind::mix, 2000, "typical mix, 2,000 lines"}};
    for (const auto& c : cases) {
        const fs::path drawing = work / (std::string(name(c.kind)) + ".txt");
        std::ofstream(drawing, std::ios::binary) << make_drawing(c.kind, c.lines);
        const std::string bytes = std::to_string(result_size(after, drawing));
        const auto runs = rotate_runs({{before}, {after}, {floor, bytes}}, drawing, kFloorPairs);
        const double b = median_wall(runs[0]), a = median_wall(runs[1]), f = median_wall(runs[2]);
        std::printf("| %-24s | %7.2f ms | %7.2f ms | %7.2f ms | %6.2f× | %6.2f× | %7.2f ms | "
                    "%7.2f ms |\n",
                    c.title, b * 1e3, a * 1e3, f * 1e3, b / f, a / f, median_cpu(runs[0]) * 1e3,
                    median_cpu(runs[1]) * 1e3);
    }
    fs::remove_all(work);
    return 0;
}

} // namespace
} // namespace textmatte::bench

int main(int argc, char* argv[]) {
    using namespace textmatte::bench;
    if (argc == 5 && std::strcmp(argv[1], "--builds") == 0)
        return builds_table(fs::absolute(argv[2]).string(), fs::absolute(argv[3]).string(),
                            fs::absolute(argv[4]).string());
    if (argc != 4 && argc != 8) {
        std::fprintf(stderr, "usage: textmatte-compare TEXTMATTE STRAIGHTFORWARD IO_FLOOR "
                             "[WINE64 EXE64 WINE32 EXE32]\n"
                             "       textmatte-compare --builds BEFORE AFTER IO_FLOOR\n");
        return 2;
    }
    const std::string ours = fs::absolute(argv[1]).string();
    const std::string theirs = fs::absolute(argv[2]).string();
    const std::string floor = fs::absolute(argv[3]).string();
    const fs::path work =
        fs::temp_directory_path() / ("textmatte-drawings-" + std::to_string(getpid()));
    fs::create_directories(work);
    struct Drawing {
        Kind kind;
        const char* title;
        const char* goal;
        std::string bytes;
        fs::path path;
    } drawings[] = {{Kind::texts, "50,000 texts", "≥ 8×", {}, {}},
                    {Kind::mix, "typical mix", "≥ 6×", {}, {}},
                    {Kind::long_texts, "50,000 long texts", "≥ 6×", {}, {}}};
    for (Drawing& d : drawings) {
        d.bytes = make_drawing(d.kind, kLines);
        d.path = work / (std::string(name(d.kind)) + ".txt");
        std::ofstream(d.path, std::ios::binary) << d.bytes;
    }
    std::printf(
        "Medians of %d alternating runs each; ratio = how many times faster textmatte is.\n\n",
        kPairs);
    std::printf("| %-44s | %12s | %12s | %7s | %-8s |\n", "", "textmatte", "straightforward",
                "ratio", "goal");
    std::printf("|%s|%s|%s|%s|%s|\n", std::string(46, '-').c_str(), std::string(14, '-').c_str(),
                std::string(14, '-').c_str(), std::string(9, '-').c_str(),
                std::string(10, '-').c_str());
    std::FILE* null = std::fopen("/dev/null", "w");
    static char buffer[1 << 18];
    std::setvbuf(null, buffer, _IOFBF, sizeof buffer);
    for (const Drawing& d : drawings) {
        const Pair p =
            alternate([&] { pipeline_pass(d.bytes); }, [&] { baseline_pass(d.bytes, null); });
        row((std::string("in memory, ") + d.title).c_str(), p.ours, p.theirs,
            d.kind == Kind::texts ? "≥ 12×" : "");
    }
    for (const Drawing& d : drawings) {
        const Pair p = alternate_runs({ours}, {theirs}, d.path);
        row((std::string("whole run, ") + d.title).c_str(), p.ours, p.theirs, d.goal);
    }
    if (argc == 8) {
        const Drawing& d = drawings[0];
        const Pair p = alternate_runs({argv[6], argv[7]}, {argv[4], argv[5]}, d.path);
        std::printf("| %-44s | %9.1f ms | %9.1f ms | %6.2f× | %-8s |\n",
                    "Wine: 32-bit exe (left) / 64-bit exe, texts", p.ours * 1e3, p.theirs * 1e3,
                    p.ours / p.theirs, "≤ 1.3×");
    }
    floor_table(ours, floor, drawings[0].path, drawings[1].path, drawings[2].path);
    std::printf("\nPeak memory of textmatte's whole runs:");
    for (const Drawing& d : drawings)
        std::printf(" %s %.1f MB%s", d.title, peak_kb(ours, d.path) / 1024.0,
                    &d == &drawings[2] ? "\n" : ",");
    fs::remove_all(work);
    return 0;
}
