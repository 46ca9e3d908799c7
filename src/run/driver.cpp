#include "run/driver.hpp"

#include <algorithm>
#include <exception>
#include <memory>
#include <new>

#include "interchange/format.hpp"
#include "interchange/line_reader.hpp"
#include "options/options.hpp"
#include "pipeline/convert.hpp"
#include "run/exchange.hpp"
#include "run/failure.hpp"
#include "run/usage.hpp"
#include "state/state.hpp"

namespace textmatte {

namespace {

constexpr std::size_t kFileBlock = 1 << 16;

// The over-limit record; its Japanese words are Shift-JIS bytes.
void write_over_limit_record(Output& output) {
    write<"he  \x97\x76\x91\x66\x90\x94\x83\x49\x81\x5b\x83\x6f\x81\x5b    MAX=%u\n">(output,
                                                                                      kLineLimit);
}

// Flushes and closes an output file; `durable` also syncs it first.
[[nodiscard]] bool finish_file(Output& buffered, OutFile& file, bool durable) {
    bool ok = buffered.flush();
    if (ok && durable) ok = file.sync();
    return file.close() && ok;
}

// Reads and writes start failing as soon as an interrupt is pending, so a
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

// Lines as the scan reads them, up to one more than the limit.
unsigned count_lines(LineReader& reader) {
    return std::min(reader.count_pieces(kLineLimit), kLineLimit + 1);
}

// Transforms the host's drawing into the complete output file. Leaves
// replacing the host's file to the caller.
class Process {
  public:
    Process(RunState& run, FileSystem& fs, Exchange& exchange, Output& console,
            const Interrupts& interrupts)
        : run_(run), fs_(fs), exchange_(exchange), console_(console), interrupts_(interrupts) {}

    [[nodiscard]] Status operator()();

  private:
    [[nodiscard]] Status transform(std::unique_ptr<InFile> input, OutFile& output_file,
                                   unsigned counted);
    [[nodiscard]] Status refuse_over_limit(OutFile& output_file);
    // A normal run leaves no partial output behind; a debug run keeps what
    // it wrote, to be looked at.
    [[nodiscard]] Failure partial_output(Failure failure) {
        if (run_.settings.debug_level == DebugLevel::off) exchange_.discard_output();
        return failure;
    }

    RunState& run_;
    FileSystem& fs_;
    Exchange& exchange_;
    Output& console_;
    const Interrupts& interrupts_;
};

// The debug levels show the line count before the scan begins, so there
// the lines are counted first. A normal run shows it nowhere and needs only
// to know whether the input goes past the limit: its scan, which stops at
// the limit, counts for it, sparing a second pass over the input.
Status Process::operator()() {
    std::unique_ptr<InFile> input = fs_.open_read(exchange_.input_name());
    if (!input) return Failure::open(kWorkName, -1);
    std::unique_ptr<OutFile> output_file = exchange_.create_output();
    if (!output_file) return Failure::open(kOutputName, -1);
    if (run_.settings.debug_level == DebugLevel::off)
        return transform(std::move(input), *output_file, 0);

    LineReader counter(*input, kFileBlock);
    const unsigned counted = count_lines(counter);
    (void)input->close(); // a file only read loses nothing on a failed close
    if (counter.failed()) return Failure::read(kWorkName);
    if (counted > kLineLimit) return refuse_over_limit(*output_file);
    input = fs_.open_read(exchange_.input_name());
    if (!input) return Failure::open(kWorkName, 1);
    return transform(std::move(input), *output_file, counted);
}

Status Process::transform(std::unique_ptr<InFile> input, OutFile& output_file, unsigned counted) {
    const bool normal_run = run_.settings.debug_level == DebugLevel::off;
    InterruptibleSink output_sink(output_file, interrupts_);
    Output output(output_sink, LineEnds::crlf, kFileBlock);
    InterruptibleSource input_bytes(*input, interrupts_);
    LineReader reader(input_bytes, kFileBlock);
    convert(run_, reader, output, console_, counted);
    LinePiece beyond;
    const bool over_limit = normal_run && reader.next(beyond);
    (void)input->close(); // a file only read loses nothing on a failed close
    if (reader.failed()) {
        // A debug run shows what it wrote; a normal run's output goes.
        if (!normal_run) (void)finish_file(output, output_file, false); // the read failure counts
        return partial_output(Failure::read(kWorkName));
    }
    if (over_limit) {
        // What was written goes; the refusal alone takes its place.
        (void)output_file.close(); // its bytes go with the name
        if (!fs_.remove_name(kOutputName)) return Failure::open(kOutputName, 1);
        std::unique_ptr<OutFile> refusal = exchange_.create_output();
        if (!refusal) return Failure::open(kOutputName, 1);
        return refuse_over_limit(*refusal);
    }
    if (!finish_file(output, output_file, normal_run))
        return partial_output(Failure::write(kOutputName));
    if (!normal_run) exchange_.keep_output();
    return std::nullopt;
}

// The output file holds the over-limit record alone.
Status Process::refuse_over_limit(OutFile& output_file) {
    InterruptibleSink output_sink(output_file, interrupts_);
    Output output(output_sink, LineEnds::crlf, kFileBlock);
    write_over_limit_record(output);
    if (!finish_file(output, output_file, false)) return Failure::write(kOutputName);
    exchange_.keep_output();
    return Failure::of(Failure::Kind::too_many_lines);
}

void apply_options(int argc, const char* const argv[], RunSettings& settings, Output& console,
                   Output& errors) {
    for (int i = 1; i < argc && argv[i]; ++i)
        if (argv[i][0] == '-' || argv[i][0] == '/')
            write_option_notice(apply_option(argv[i], settings), console, errors);
    if (settings.debug_level == DebugLevel::text_trace)
        write<"\n\n#### debug #### Cmd-Option read\n">(console);
}

// The work of a run, up to the result in place: what went wrong, if anything.
[[nodiscard]] Status take_and_transform(RunState& state, FileSystem& fs, Exchange& exchange,
                                        Output& console, const Interrupts& interrupts) {
    if (Status failed = exchange.take_over()) return failed;
    if (Status failed = Process(state, fs, exchange, console, interrupts)()) return failed;
    // Until the output replaces the host's file the run can still stop.
    if (interrupts.pending()) return Failure::interrupted();
    if (state.settings.debug_level != DebugLevel::off) return std::nullopt;
    return exchange.replace_with_output();
}

// Options, then the file exchange around the transformation; every failure
// is said here, or, when an interrupt stopped the run, that it did.
RunResult transform(int argc, const char* const argv[], FileSystem& fs, Output& console,
                    Output& errors, const Interrupts& interrupts) {
    RunState state;
    apply_options(argc, argv, state.settings, console, errors);
    Exchange exchange(fs);
    Status failed;
    try {
        failed = take_and_transform(state, fs, exchange, console, interrupts);
    } catch (const std::bad_alloc&) {
        failed = Failure::of(Failure::Kind::out_of_memory);
        exchange.discard_output(); // stopped anywhere: what was written is partial
    } catch (const std::exception& e) {
        failed = Failure::unexpected(e.what());
        exchange.discard_output();
    }
    // Complete: whatever went wrong after that changes nothing.
    if (exchange.result_in_place()) failed.reset();
    // A failure an interrupt caused is the interrupt's.
    RunResult result;
    if (failed && interrupts.pending()) {
        result.interrupted_by = interrupts.pending();
        failed = Failure::interrupted();
        exchange.discard_output();
    }
    Status not_put_back = exchange.finish();
    if (result.interrupted_by) {
        if (!exchange.host_file_in_place()) failed->other = exchange.drawing_left_under();
        not_put_back.reset(); // the interrupt's line says where the drawing is
    }
    if (failed) report(*failed, errors);
    if (not_put_back) report(*not_put_back, errors);
    result.status = failed ? failed->status : not_put_back ? not_put_back->status : 0;
    console.flush();
    errors.flush();
    return result;
}

} // namespace

RunResult run(int argc, const char* const argv[], FileSystem& fs, Output& console, Output& errors,
              const Interrupts& interrupts) {
    switch (find_request(argc, argv)) {
    case Request::help: write_usage(console); break;
    case Request::version: write_version(console); break;
    case Request::none: return transform(argc, argv, fs, console, errors, interrupts);
    }
    console.flush();
    return {};
}

} // namespace textmatte
