#include "run/driver.hpp"

#include <algorithm>
#include <exception>
#include <memory>
#include <new>

#include "interchange/format.hpp"
#include "interchange/line_limit.hpp"
#include "interchange/line_reader.hpp"
#include "options/options.hpp"
#include "pipeline/convert.hpp"
#include "run/exchange.hpp"
#include "run/failure.hpp"
#include "run/usage.hpp"
#include "state/state.hpp"

namespace textmatte {

namespace {

// The over-limit record; its Japanese words are Shift-JIS bytes.
void write_over_limit_record(Output& output) {
    write<"he  \x97\x76\x91\x66\x90\x94\x83\x49\x81\x5b\x83\x6f\x81\x5b    MAX=%u\n">(output,
                                                                                      kLineLimit);
}

// Flushes and closes an output file; `durable` also syncs it first.
[[nodiscard]] bool flush_and_close(Output& buffered, OutFile& file, bool durable) {
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

// Writes a run's output file: the transformed drawing, or, for a drawing
// over the line limit, the refusal alone. What becomes of the file after
// a failure is the run's ending to decide.
class OutputWriter {
  public:
    OutputWriter(RunState& run, Exchange& exchange, Output& console, const Interrupts& interrupts)
        : run_(run), exchange_(exchange), console_(console), interrupts_(interrupts) {}

    [[nodiscard]] Status write();

  private:
    bool normal_run() const { return run_.settings.debug_level == DebugLevel::off; }
    // A read failure names the file that is there: the host's own, or on
    // Windows the working name it was moved to.
    Failure cannot_read() const {
        return Failure::naming(Report::cannot_read, exchange_.drawing_name(),
                               exchange_.drawing_read_error());
    }
    [[nodiscard]] Status write_transformed(OutFile& output_file, unsigned counted);
    [[nodiscard]] Status start_afresh(OutFile& partial, std::unique_ptr<OutFile>& fresh);
    [[nodiscard]] Status replace_by_refusal(OutFile& partial);
    [[nodiscard]] Status replace_by_no_text_notice(OutFile& partial);
    [[nodiscard]] Status write_refusal(OutFile& output_file);

    RunState& run_;
    Exchange& exchange_;
    Output& console_;
    const Interrupts& interrupts_;
};

// The debug levels show the line count before the scan begins, so there
// the lines are counted first. A normal run shows it nowhere and needs only
// to know whether the input goes past the limit: its scan, which stops at
// the limit, counts for it, sparing a second pass over the input.
Status OutputWriter::write() {
    if (Status failed = exchange_.open_drawing()) return failed;
    std::unique_ptr<OutFile> output_file;
    if (Status failed = exchange_.create_output(output_file)) return failed;
    if (normal_run()) return write_transformed(*output_file, 0);

    LineReader counter(exchange_.drawing(), kFileBlock);
    const unsigned counted = count_lines(counter);
    if (counter.failed()) return cannot_read();
    if (counted > kLineLimit) return write_refusal(*output_file);
    if (!exchange_.read_drawing_again()) return cannot_read();
    return write_transformed(*output_file, counted);
}

// The drawing stays open: it is read again to check the result's swap.
Status OutputWriter::write_transformed(OutFile& output_file, unsigned counted) {
    InterruptibleSink output_sink(output_file, interrupts_);
    Output output(output_sink, LineEnds::crlf, kFileBlock);
    InterruptibleSource input_bytes(exchange_.drawing(), interrupts_);
    LineReader reader(input_bytes, kFileBlock);
    convert(run_, reader, output, console_, counted);
    LinePiece beyond;
    const bool over_limit = normal_run() && reader.next(beyond);
    if (reader.failed()) {
        // A debug run shows what it wrote; the read failure is what counts.
        if (!normal_run()) (void)flush_and_close(output, output_file, false);
        return cannot_read();
    }
    if (over_limit) return replace_by_refusal(output_file);
    if (normal_run() && found_no_text_to_box(run_)) return replace_by_no_text_notice(output_file);
    if (!flush_and_close(output, output_file, normal_run()))
        return Failure::writing(kOutputName, output_file.system_error());
    if (!normal_run()) exchange_.keep_output();
    return std::nullopt;
}

// What was written goes, and a new, empty output file takes its place.
Status OutputWriter::start_afresh(OutFile& partial, std::unique_ptr<OutFile>& fresh) {
    (void)partial.close(); // its bytes go with the name
    if (const Outcome removed = exchange_.remove_output(); removed != Outcome::done)
        return Failure::naming(Report::cannot_open, kOutputName, removed.system_error);
    if (Status failed = exchange_.create_output(fresh))
        return failed->report == Report::no_output_file
                   ? Failure::naming(Report::cannot_open, kOutputName, failed->system_error)
                   : failed;
    return std::nullopt;
}

// The refusal alone takes the place of what was written.
Status OutputWriter::replace_by_refusal(OutFile& partial) {
    std::unique_ptr<OutFile> refusal;
    if (Status failed = start_afresh(partial, refusal)) return failed;
    return write_refusal(*refusal);
}

// The notice alone is the result: the host shows it and leaves the drawing
// as it was.
Status OutputWriter::replace_by_no_text_notice(OutFile& partial) {
    std::unique_ptr<OutFile> notice_file;
    if (Status failed = start_afresh(partial, notice_file)) return failed;
    InterruptibleSink output_sink(*notice_file, interrupts_);
    Output output(output_sink, LineEnds::crlf, kFileBlock);
    write_no_text_notice(output);
    if (!flush_and_close(output, *notice_file, true))
        return Failure::writing(kOutputName, notice_file->system_error());
    return std::nullopt;
}

// The output file holds the over-limit record alone, and stays.
Status OutputWriter::write_refusal(OutFile& output_file) {
    InterruptibleSink output_sink(output_file, interrupts_);
    Output output(output_sink, LineEnds::crlf, kFileBlock);
    write_over_limit_record(output);
    if (!flush_and_close(output, output_file, false))
        return Failure::writing(kOutputName, output_file.system_error());
    exchange_.keep_output();
    return Failure::of(Report::too_many_lines);
}

void apply_options(int argc, const char* const argv[], RunSettings& settings, Output& console,
                   Output& errors) {
    for (int i = 1; i < argc && argv[i]; ++i)
        if (argv[i][0] == '-' || argv[i][0] == '/')
            write_option_notice(apply_option(argv[i], settings), console, errors);
    if (settings.debug_level == DebugLevel::text_trace)
        write<"\n\n#### debug #### Cmd-Option read\n">(console);
}

// The work of a run, up to its result in place: what stopped it, if anything.
[[nodiscard]] Status work(RunState& state, Exchange& exchange, Output& console,
                          const Interrupts& interrupts) {
    if (Status failed = exchange.take_over()) return failed;
    if (Status failed = OutputWriter(state, exchange, console, interrupts).write()) return failed;
    // Until the output replaces the host's file the run can still stop.
    if (interrupts.pending()) return Failure::of(Report::interrupted);
    if (state.settings.debug_level != DebugLevel::off) return exchange.check_drawing_unchanged();
    return exchange.replace_drawing_with_output();
}

// The file exchange around the work, on every way out; the run's ending
// says how it went.
RunResult run_exchange(RunState& state, FileSystem& fs, Output& console, Output& errors,
                       const Interrupts& interrupts) {
    RunEnding ending(interrupts, state.settings.debug_level != DebugLevel::off);
    Exchange exchange(fs, ending);
    try {
        ending.stop_if(work(state, exchange, console, interrupts));
    } catch (const std::bad_alloc&) {
        ending.stop(Failure::of(Report::out_of_memory));
    } catch (const std::exception& e) {
        ending.stop(Failure::unexpected(e.what()));
    }
    ending.settle();
    const Status not_put_back = exchange.finish(ending.discards_output());
    return ending.report(not_put_back, exchange.drawing_left_under(), errors);
}

} // namespace

RunResult run(int argc, const char* const argv[], FileSystem& fs, Output& console, Output& errors,
              const Interrupts& interrupts) {
    RunResult result;
    switch (find_request(argc, argv)) {
    case Request::help: write_usage(console); break;
    case Request::version: write_version(console); break;
    case Request::none: {
        RunState state;
        apply_options(argc, argv, state.settings, console, errors);
        result = run_exchange(state, fs, console, errors, interrupts);
        break;
    }
    }
    console.flush();
    errors.flush();
    return result;
}

} // namespace textmatte
