// The life of a run, in order. Each step names who takes it, the output
// stage it leaves with the run's ending (run/ending: the fault handler reads
// it), and what an interrupt, a fault or a kill leaves at that point. An
// interrupt is noted by its handler and acted on at the next step (a read
// or write of the drawing or the output gives up at once); a fault (Linux)
// runs the fault handler, which removes the lock file and an output that is
// not in place (undoing a swap first), says whether the result was in
// place, and ends with 128 + its number; a kill does nothing, and the next
// run clears what is left under the program's names.
//
//  1. Options read (driver). Nothing on disk yet.
//  2. The folder locked (exchange, take_over): JWC_TEMP.LCK opened, or made
//     if missing (Linux: made without a name where the file system can,
//     given its mode and linked into place, then flock on it; Windows: held open for this process
//     alone and deleted by the system when it closes). The ending learns the lock's name, so a
//     fault removes it. Kill: Linux leaves the lock file, which holds no lock any more and is taken
//     over by the next run.
//  3. The host's file looked at (exchange): a missing or irregular file, a
//     link through one of the program's names, a folder under the output's
//     name, or an output left that cannot be removed (or any, without a
//     lock) stops the run with the drawing untouched. Under the lock,
//     leftovers of earlier runs go as names.
//  4. Windows only: jwc_temp.txt moved to JWC_TEMP.TXT by way of
//     JWC_x2x2.$$ and JWC_x2x2.$$$. The first move takes the drawing off
//     the host's name in one step, so a failure there leaves all as it was;
//     the later moves give it the working name's spelling, which a move to
//     a name that differs only in case does not do on every file system.
//     A run killed between the moves leaves the drawing under one of the
//     intermediate names; killed later, under JWC_TEMP.TXT, which the next
//     run takes as the host's file and puts back. Every way out of this
//     run tries to put it back (exchange, finish, or its destructor).
//     Linux reads jwc_temp.txt where it is and never moves it.
//  5. The drawing opened (exchange, open_drawing) and kept open to the end
//     (on Windows, until just before the rename in step 8), with a
//     checksum of what is read.
//  6. JWC_TEMP.$$$ created new (exchange, create_output), on Linux with the
//     drawing's permissions, owner and group: stage `creating`, then
//     `partial`. From here to step 8 an interrupt removes the output, and a
//     fault too unless the output is kept (stage `none`, step 7); a kill
//     leaves it.
//  7. The scan writes the output (driver, OutputWriter, on this thread); it
//     is flushed and closed, and synced unless it is a debug run's. In a
//     normal run, a drawing over the line limit, or a selection without a
//     horizontal text, has its output removed (stage `none`) and made again
//     (`creating`, `partial`) with one record; a debug run counts the lines
//     first and writes the refusal into the output it made. A debug run and
//     the over-limit refusal keep their output (`none`); a normal run's
//     output stays `partial` until step 8.
//  8. A debug run only checks that the drawing is unchanged. A normal run's
//     result goes in (exchange, replace_drawing_with_output): stage
//     `complete`, then, once the lock is still the run's, the output still
//     its own and the drawing unchanged: Linux with RENAME_EXCHANGE: stage
//     `swapping`, the two names swap, the file that came out is checked
//     against the drawing as read and the lock looked at again. If both
//     hold, that file is removed; if not, the names swap back (stage
//     `complete`; if the swap back is refused, the result stays in
//     jwc_temp.txt, stage `none`). A fault meanwhile swaps back. A swap
//     refused for another reason stops the run (`complete`). Where no swap
//     can be had: stage `replacing`, one rename over the host's name
//     (`complete` again if it fails). Then `in_place`: from here nothing
//     undoes the result, an interrupt changes nothing, a fault says the
//     result is in place.
//  9. On Windows a second file under the working name, where names do tell
//     case apart, removed; the folder synced (Linux).
// 10. finish (exchange): the drawing closed, a discarded output removed,
//     the work over (the ending forgets the lock: a fault no longer touches
//     the folder, which may be another run's from now on), Windows puts the
//     drawing back under its name if the result did not replace it. Then
//     the ending reports; last, the exchange ends and releases the lock.
//
// The order is checked where assertions are on: the ending outlives the
// exchange (RunEnding::Attachment), the lock is released only once the work
// is over (Exchange::HeldLock), and each stage follows one it may follow
// (RunEnding::set_stage).
#include "run/driver.hpp"

#include <algorithm>
#include <exception>
#include <memory>
#include <new>

#include "interchange/format.hpp"
#include "interchange/line_reader.hpp"
#include "interchange/piece_limit.hpp"
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
                                                                                      kPieceLimit);
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
unsigned count_pieces_to_limit(LineReader& reader) {
    return std::min(reader.count_pieces(kPieceLimit), kPieceLimit + 1);
}

// Opens the drawing and writes a run's output file: the transformed
// drawing, or the over-limit refusal or the no-text notice alone. What
// becomes of the file after a failure is the run's ending to decide.
class OutputWriter {
  public:
    OutputWriter(RunState& run, Exchange& exchange, Output& console, const Interrupts& interrupts)
        : run_(run), exchange_(exchange), console_(console), interrupts_(interrupts) {}

    [[nodiscard]] MaybeFailure write();

  private:
    bool normal_run() const { return run_.settings.debug_level == DebugLevel::off; }
    // A read failure names the file that is there: the host's own, or on
    // Windows the working name it was moved to.
    Failure cannot_read() const {
        return Failure::naming(Report::cannot_read, exchange_.drawing_name(),
                               exchange_.drawing_read_error());
    }
    [[nodiscard]] MaybeFailure write_transformed(OutFile& output_file, unsigned counted);
    [[nodiscard]] MaybeFailure start_afresh(OutFile& partial, std::unique_ptr<OutFile>& fresh);
    [[nodiscard]] MaybeFailure replace_by_refusal(OutFile& partial);
    [[nodiscard]] MaybeFailure replace_by_no_text_notice(OutFile& partial);
    [[nodiscard]] MaybeFailure write_refusal(OutFile& output_file);

    RunState& run_;
    Exchange& exchange_;
    Output& console_;
    const Interrupts& interrupts_;
};

// The debug levels show the line count before the scan begins, so there
// the lines are counted first. A normal run shows it nowhere and needs only
// to know whether the input goes past the limit: its scan, which stops at
// the limit, counts for it, sparing a second pass over the input.
MaybeFailure OutputWriter::write() {
    if (MaybeFailure failed = exchange_.open_drawing()) return failed;
    std::unique_ptr<OutFile> output_file;
    if (MaybeFailure failed = exchange_.create_output(output_file)) return failed;
    if (normal_run()) return write_transformed(*output_file, 0);

    LineReader counter(exchange_.drawing(), kFileBlock);
    const unsigned counted = count_pieces_to_limit(counter);
    if (counter.failed()) return cannot_read();
    if (counted > kPieceLimit) return write_refusal(*output_file);
    if (!exchange_.read_drawing_again()) return cannot_read();
    return write_transformed(*output_file, counted);
}

// The drawing stays open: it is read again to check the result's swap.
MaybeFailure OutputWriter::write_transformed(OutFile& output_file, unsigned counted) {
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
MaybeFailure OutputWriter::start_afresh(OutFile& partial, std::unique_ptr<OutFile>& fresh) {
    (void)partial.close(); // its bytes go with the name
    if (const Outcome removed = exchange_.remove_output(); removed != Outcome::done)
        return Failure::naming(Report::cannot_open, kOutputName, removed.system_error);
    if (MaybeFailure failed = exchange_.create_output(fresh))
        return failed->report == Report::no_output_file
                   ? Failure::naming(Report::cannot_open, kOutputName, failed->system_error)
                   : failed;
    return std::nullopt;
}

// The refusal alone takes the place of what was written.
MaybeFailure OutputWriter::replace_by_refusal(OutFile& partial) {
    std::unique_ptr<OutFile> refusal;
    if (MaybeFailure failed = start_afresh(partial, refusal)) return failed;
    return write_refusal(*refusal);
}

// The notice alone is the result: the host shows it and leaves the drawing
// as it was.
MaybeFailure OutputWriter::replace_by_no_text_notice(OutFile& partial) {
    std::unique_ptr<OutFile> notice_file;
    if (MaybeFailure failed = start_afresh(partial, notice_file)) return failed;
    InterruptibleSink output_sink(*notice_file, interrupts_);
    Output output(output_sink, LineEnds::crlf, kFileBlock);
    write_no_text_notice(output);
    if (!flush_and_close(output, *notice_file, true))
        return Failure::writing(kOutputName, notice_file->system_error());
    return std::nullopt;
}

// The output file holds the over-limit record alone, and stays.
MaybeFailure OutputWriter::write_refusal(OutFile& output_file) {
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
[[nodiscard]] MaybeFailure work(RunState& state, Exchange& exchange, Output& console,
                                const Interrupts& interrupts) {
    if (MaybeFailure failed = exchange.take_over()) return failed;
    if (MaybeFailure failed = OutputWriter(state, exchange, console, interrupts).write())
        return failed;
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
    const MaybeFailure not_put_back = exchange.finish(ending.discards_output());
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
