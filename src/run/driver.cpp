#include "run/driver.hpp"

#include "interchange/format.hpp"
#include "interchange/line_reader.hpp"
#include "pipeline/convert.hpp"
#include "run/exchange.hpp"
#include "run/options.hpp"
#include "state/state.hpp"

namespace textmatte {

namespace {

// The over-limit record; its Japanese words are Shift-JIS bytes.
void write_over_limit_record(Output& output) {
    write<"he  \x97\x76\x91\x66\x90\x94\x83\x49\x81\x5b\x83\x6f\x81\x5b    MAX=%u\n">(output,
                                                                                      kLineLimit);
}

constexpr std::size_t kFileBlock = 1 << 18;

int cannot(Output& errors, const char* what, const char* name, int status) {
    write<"Cannot %s file: %s \n">(errors, what, name);
    return status;
}

// Flushes and closes an output file; `durable` also syncs it first.
bool finish_file(Output& buffered, OutFile& file, bool durable) {
    bool ok = buffered.flush();
    if (ok && durable) ok = file.sync();
    return file.close() && ok;
}

// Counts, transforms and writes the output; at level 0 it then replaces
// the host's file. Returns the exit status.
int process(RunState& run, FileSystem& fs, Exchange& exchange, Output& console, Output& errors) {
    LineCount count = Tcopy(fs, kWorkName, kOutputName, errors);
    if (count.status != 0) return count.status;
    OutFile& output_file = *count.destination;
    Output output(output_file, LineEnds::crlf, kFileBlock);

    if (count.lines > kLineLimit) {
        write_over_limit_record(output);
        if (!finish_file(output, output_file, false)) cannot(errors, "write", kOutputName, 1);
        return 1;
    }

    auto input_file = fs.open_read(kWorkName);
    if (!input_file) {
        finish_file(output, output_file, false);
        return cannot(errors, "open", kWorkName, 1);
    }
    LineReader input(*input_file, kFileBlock);
    convert(run, input, output, console, count.lines);
    input_file->close();
    if (input.failed()) {
        finish_file(output, output_file, false);
        return cannot(errors, "read", kWorkName, 1);
    }

    const bool copy_back = run.settings.isTest == DebugLevel::off;
    if (!finish_file(output, output_file, copy_back))
        return cannot(errors, "write", kOutputName, 1);
    return copy_back ? exchange.replace_with_output() : 0;
}

} // namespace

LineCount Tcopy(FileSystem& fs, const char* source, const char* destination, Output& errors) {
    LineCount count;
    auto in = fs.open_read(source);
    if (!in) {
        count.status = cannot(errors, "open", source, -1);
        return count;
    }
    fs.remove_name(destination); // a leftover, removed as a name
    count.destination = fs.create_new(destination);
    if (!count.destination) {
        count.status = cannot(errors, "open", destination, -1);
        return count;
    }
    LineReader reader(*in, kFileBlock);
    count.lines = reader.count_pieces(kLineLimit);
    if (count.lines > kLineLimit + 1) count.lines = kLineLimit + 1;
    in->close();
    if (reader.failed()) count.status = cannot(errors, "read", source, 1);
    return count;
}

int run(int argc, const char* const argv[], FileSystem& fs, Output& console, Output& errors) {
    RunState state;
    for (int i = 1; i < argc && argv[i]; ++i)
        if (argv[i][0] == '-' || argv[i][0] == '/') opt(argv[i], state.settings, console, errors);
    if (state.settings.isTest == DebugLevel::text_trace)
        write<"\n\n#### debug #### Cmd-Option read\n">(console);

    int status;
    {
        Exchange exchange(fs, errors);
        status = exchange.take_over();
        if (status == 0) status = process(state, fs, exchange, console, errors);
        status = exchange.finish(status);
    }
    console.flush();
    errors.flush();
    return status;
}

} // namespace textmatte
