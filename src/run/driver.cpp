#include "run/driver.hpp"

#include "interchange/format.hpp"
#include "interchange/line_reader.hpp"
#include "options/options.hpp"
#include "pipeline/convert.hpp"
#include "run/exchange.hpp"
#include "run/usage.hpp"
#include "state/state.hpp"

namespace textmatte {

namespace {

// The over-limit record; its Japanese words are Shift-JIS bytes.
void write_over_limit_record(Output& output) {
    write<"he  \x97\x76\x91\x66\x90\x94\x83\x49\x81\x5b\x83\x6f\x81\x5b    MAX=%u\n">(output,
                                                                                      kLineLimit);
}

constexpr std::size_t kFileBlock = 1 << 16;

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

// Reads and writes stop failing as soon as an interrupt is pending, so a
// run on a large drawing stops within one block.
class InterruptibleSource final : public ByteSource {
  public:
    InterruptibleSource(ByteSource& base, const Interrupts& interrupts)
        : base_(base), interrupts_(interrupts) {}
    long read(char* data, std::size_t size) override {
        return interrupts_.pending() ? -1 : base_.read(data, size);
    }

  private:
    ByteSource& base_;
    const Interrupts& interrupts_;
};

class InterruptibleSink final : public ByteSink {
  public:
    InterruptibleSink(ByteSink& base, const Interrupts& interrupts)
        : base_(base), interrupts_(interrupts) {}
    bool write(const char* data, std::size_t size) override {
        return !interrupts_.pending() && base_.write(data, size);
    }

  private:
    ByteSink& base_;
    const Interrupts& interrupts_;
};

// Counts, transforms and writes the output; at level 0 it then replaces
// the host's file. Returns the exit status. Failures an interrupt caused
// are not reported: the run says it was interrupted instead.
class Process {
  public:
    Process(RunState& run, FileSystem& fs, Exchange& exchange, Output& console, Output& errors,
            const Interrupts& interrupts)
        : run_(run), fs_(fs), exchange_(exchange), console_(console), errors_(errors),
          interrupts_(interrupts) {}

    int operator()();

  private:
    int refuse_over_limit(LineCount& count);
    int fail(const char* what, const char* name, int status) {
        return interrupts_.pending() ? status : cannot(errors_, what, name, status);
    }

    RunState& run_;
    FileSystem& fs_;
    Exchange& exchange_;
    Output& console_;
    Output& errors_;
    const Interrupts& interrupts_;
};

// The debug levels show the line count before the scan begins, so there
// the lines are counted first. A normal run shows it nowhere and needs only
// to know whether the input goes past the limit: its scan, which stops at
// the limit, counts for it, and sparing a second pass over the input.
int Process::operator()() {
    const bool count_first = run_.settings.debug_level != DebugLevel::off;
    LineCount count = Tcopy(fs_, kWorkName, kOutputName, errors_,
                            count_first ? Counting::first : Counting::during_scan);
    if (count.destination) exchange_.output_created();
    if (count.status != 0) return count.status;
    if (count_first && count.lines > kLineLimit) return refuse_over_limit(count);

    std::unique_ptr<InFile> input_file =
        count_first ? fs_.open_read(kWorkName) : std::move(count.source);
    InterruptibleSink output_file(*count.destination, interrupts_);
    Output output(output_file, LineEnds::crlf, kFileBlock);
    if (!input_file) {
        finish_file(output, *count.destination, false);
        return fail("open", kWorkName, 1);
    }
    InterruptibleSource input_bytes(*input_file, interrupts_);
    LineReader input(input_bytes, kFileBlock);
    convert(run_, input, output, console_, count.lines);
    Line beyond;
    const bool over_limit = !count_first && input.next(beyond);
    input_file->close();
    if (input.failed()) {
        finish_file(output, *count.destination, false);
        return fail("read", kWorkName, 1);
    }
    if (over_limit) {
        // What was written goes; the refusal alone takes its place.
        count.destination->close();
        fs_.remove_name(kOutputName);
        count.destination = fs_.create_new(kOutputName);
        if (!count.destination) return fail("open", kOutputName, 1);
        return refuse_over_limit(count);
    }

    const bool copy_back = run_.settings.debug_level == DebugLevel::off;
    if (!finish_file(output, *count.destination, copy_back)) return fail("write", kOutputName, 1);
    if (interrupts_.pending()) return 1; // not yet complete: stop here
    return copy_back ? exchange_.replace_with_output() : 0;
}

// The output file holds the over-limit record alone; status 1.
int Process::refuse_over_limit(LineCount& count) {
    InterruptibleSink output_file(*count.destination, interrupts_);
    Output output(output_file, LineEnds::crlf, kFileBlock);
    write_over_limit_record(output);
    if (!finish_file(output, *count.destination, false)) fail("write", kOutputName, 1);
    return 1;
}

// Options, then the file exchange around the transformation.
RunResult transform(int argc, const char* const argv[], FileSystem& fs, Output& console,
                    Output& errors, const Interrupts& interrupts) {
    RunState state;
    for (int i = 1; i < argc && argv[i]; ++i)
        if (argv[i][0] == '-' || argv[i][0] == '/')
            write_option_notice(apply_option(argv[i], state.settings), console, errors);
    if (state.settings.debug_level == DebugLevel::text_trace)
        write<"\n\n#### debug #### Cmd-Option read\n">(console);

    RunResult result;
    std::unique_ptr<DirectoryLock> lock;
    if (fs.lock_directory(lock) == LockResult::busy) {
        write<"Cannot lock file: %s (another run is using it) \n">(errors, kHostName);
        result.status = 1;
    } else {
        Exchange exchange(fs, errors);
        result.status = exchange.take_over();
        if (result.status == 0)
            result.status = Process(state, fs, exchange, console, errors, interrupts)();
        // A run that has not completed when an interrupt arrives leaves no output.
        if (result.status != 0 && interrupts.pending()) {
            result.interrupted_by = interrupts.pending();
            exchange.discard_output();
        }
        result.status = exchange.finish(result.status);
        if (result.interrupted_by && exchange.host_file_in_place())
            write<"Interrupted: %s is as it was before the run \n">(errors, kHostName);
        else if (result.interrupted_by)
            write<"Interrupted: the drawing is left under %s \n">(errors, kWorkName);
    }
    console.flush();
    errors.flush();
    return result;
}

} // namespace

LineCount Tcopy(FileSystem& fs, const char* source, const char* destination, Output& errors,
                Counting counting) {
    LineCount count;
    count.source = fs.open_read(source);
    if (!count.source) {
        count.status = cannot(errors, "open", source, -1);
        return count;
    }
    count.destination = fs.create_new(destination);
    if (!count.destination) {
        count.status = cannot(errors, "open", destination, -1);
        return count;
    }
    if (counting == Counting::during_scan) return count;
    LineReader reader(*count.source, kFileBlock);
    count.lines = reader.count_pieces(kLineLimit);
    if (count.lines > kLineLimit + 1) count.lines = kLineLimit + 1;
    count.source->close();
    count.source.reset();
    if (reader.failed()) count.status = cannot(errors, "read", source, 1);
    return count;
}

RunResult run(int argc, const char* const argv[], FileSystem& fs, Output& console, Output& errors,
              const Interrupts& interrupts) {
    RunResult result;
    switch (find_request(argc, argv)) {
    case Request::help: write_usage(console); break;
    case Request::version: write_version(console); break;
    case Request::none: return transform(argc, argv, fs, console, errors, interrupts);
    }
    console.flush();
    return result;
}

} // namespace textmatte
