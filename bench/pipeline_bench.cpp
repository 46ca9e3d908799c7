// Throughput of the in-memory pipeline on maximum-size drawings, side by
// side with the same work done the straightforward way (fgets, sscanf,
// fprintf) as the baseline.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "background/matte.hpp"
#include "drawings.hpp"
#include "interchange/line_reader.hpp"
#include "pipeline/convert.hpp"

namespace textmatte::bench {
namespace {

constexpr int kLines = 50000;

// Counts the bytes it is given and drops them, as a file's cache would.
class CountingSink final : public ByteSink {
  public:
    bool write(const char*, std::size_t size) override {
        bytes += size;
        return true;
    }
    std::size_t bytes = 0;
};

void report(benchmark::State& state, std::size_t output_bytes) {
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kLines);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * output_bytes));
    state.counters["out_MB"] = static_cast<double>(output_bytes) / 1e6;
}

// One run of the program's pipeline; returns the bytes it would write.
std::size_t pipeline_pass(const std::string& input) {
    RunState run;
    CountingSink file, console;
    Output output(file, LineEnds::crlf, 1 << 18), out(console, LineEnds::lf);
    StringSource source(input);
    LineReader reader(source, 1 << 18);
    convert(run, reader, output, out, kLines);
    output.flush();
    return file.bytes;
}

void Pipeline(benchmark::State& state, Kind kind) {
    const std::string input = make_drawing(kind, kLines);
    std::size_t output_bytes = 0;
    for (auto _ : state)
        output_bytes = pipeline_pass(input);
    report(state, output_bytes);
}

// The same records written the way a first version would: a text-mode
// stream, fgets, sscanf and fprintf. Geometry is shared with the program.
void baseline_pass(const std::string& input, std::FILE* out) {
    std::FILE* in = fmemopen(const_cast<char*>(input.data()), input.size(), "r");
    char buf[255];
    RunState run;
    TextRecord& t = run.text;
    TextTypes& types = run.types;
    Attributes& a = run.attrs;
    while (std::fgets(buf, sizeof buf, in)) {
        switch (buf[0]) {
        case '#': std::fputs(buf, out); break;
        case 'l':
            std::fputs(buf, out);
            if (buf[1] == 'c')
                std::sscanf(buf + 2, "%d", &a.COLOR);
            else if (buf[1] == 'y')
                std::sscanf(buf + 2, "%x", reinterpret_cast<unsigned*>(&a.LAYER));
            break;
        case 'h':
            if (buf[1] == 'q')
                std::fputs("hd\n", out);
            else if (buf[1] == 'c' && buf[2] == 'h') {
                double* h = types.MOJI_H.data();
                std::sscanf(buf + 4, "%lf %lf %lf %lf %lf %lf %lf %lf %lf %lf", h + 1, h + 2, h + 3,
                            h + 4, h + 5, h + 6, h + 7, h + 8, h + 9, h + 10);
            }
            break;
        case 'c':
            if (buf[1] == 'n') {
                std::fputs(buf, out);
                std::sscanf(buf + 2, "%d", &types.MOJIS);
            } else if (buf[1] != 'c' && buf[1] != 'i') {
                std::memset(t.ChSTR0.data(), 0, t.ChSTR0.size());
                std::sscanf(buf + 2, "%lf %lf %lf %lf \"%260c", &t.ChX, &t.ChY, &t.ChDX, &t.ChDY,
                            t.ChSTR0.data());
                std::size_t n = std::strcspn(t.ChSTR0.data(), "\r\n");
                if (n > 231) n = 231;
                std::memcpy(t.ChSTR.data(), t.ChSTR0.data(), n);
                t.ChSTR[n] = '\0';
                const double h = types.has(types.MOJIS) ? types.MOJI_H[types.MOJIS] : 0.0;
                const Box b = text_box(t.ChX, t.ChY, t.ChDX, t.ChDY, h, 3.0);
                std::fprintf(out, "lc10 #%06x\n", kShades[5]);
                std::fprintf(out, "sl %.12f %.12f %.12f %.12f %.12f %.12f %.12f %.12f\n", b.x1,
                             b.y1, b.x2, b.y2, b.x3, b.y3, b.x4, b.y4);
                std::fprintf(out, "ch %.10f %.10f %.10f %.10f \"%s\n", t.ChX, t.ChY, t.ChDX, t.ChDY,
                             t.ChSTR.data());
            }
            break;
        default: break;
        }
    }
    std::fclose(in);
}

void Baseline(benchmark::State& state, Kind kind) {
    const std::string input = make_drawing(kind, kLines);
    std::FILE* out = std::fopen("/dev/null", "w");
    static char buffer[1 << 18];
    std::setvbuf(out, buffer, _IOFBF, sizeof buffer);
    for (auto _ : state)
        baseline_pass(input, out);
    std::fclose(out);
    // Output size as the program writes it, for a comparable MB/s figure.
    report(state, pipeline_pass(input));
}

BENCHMARK_CAPTURE(Pipeline, texts, Kind::texts)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Baseline, texts, Kind::texts)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Pipeline, mix, Kind::mix)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Baseline, mix, Kind::mix)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Pipeline, long_texts, Kind::long_texts)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Baseline, long_texts, Kind::long_texts)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace textmatte::bench

BENCHMARK_MAIN();
