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

int Process::operator()() {
    LineCount count = Tcopy(fs_, kWorkName, kOutputName, errors_);
    if (count.destination) exchange_.output_created();
    if (count.status != 0) return count.status;
    InterruptibleSink output_file(*count.destination, interrupts_);
    Output output(output_file, LineEnds::crlf, kFileBlock);

    if (count.lines > kLineLimit) {
        write_over_limit_record(output);
        if (!finish_file(output, *count.destination, false)) fail("write", kOutputName, 1);
        return 1;
    }

    auto input_file = fs_.open_read(kWorkName);
    if (!input_file) {
        finish_file(output, *count.destination, false);
        return fail("open", kWorkName, 1);
    }
    InterruptibleSource input_bytes(*input_file, interrupts_);
    LineReader input(input_bytes, kFileBlock);
    convert(run_, input, output, console_, count.lines);
    input_file->close();
    if (input.failed()) {
        finish_file(output, *count.destination, false);
        return fail("read", kWorkName, 1);
    }

    const bool copy_back = run_.settings.isTest == DebugLevel::off;
    if (!finish_file(output, *count.destination, copy_back)) return fail("write", kOutputName, 1);
    if (interrupts_.pending()) return 1; // not yet complete: stop here
    return copy_back ? exchange_.replace_with_output() : 0;
}

} // namespace

LineCount Tcopy(FileSystem& fs, const char* source, const char* destination, Output& errors) {
    LineCount count;
    auto in = fs.open_read(source);
    if (!in) {
        count.status = cannot(errors, "open", source, -1);
        return count;
    }
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

RunResult run(int argc, const char* const argv[], FileSystem& fs, Output& console, Output& errors,
              const Interrupts& interrupts) {
    RunState state;
    for (int i = 1; i < argc && argv[i]; ++i)
        if (argv[i][0] == '-' || argv[i][0] == '/') opt(argv[i], state.settings, console, errors);
    if (state.settings.isTest == DebugLevel::text_trace)
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

} // namespace textmatte
