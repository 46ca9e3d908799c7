#include "run/driver.hpp"

#include "interchange/attributes.hpp"
#include "interchange/format.hpp"
#include "interchange/line_reader.hpp"
#include "interchange/scanner.hpp"
#include "run/options.hpp"
#include "state/state.hpp"

namespace textmatte {

namespace {

// The over-limit record; its Japanese words are Shift-JIS bytes.
constexpr const char* kOverLimitRecord =
    "he  \x97\x76\x91\x66\x90\x94\x83\x49\x81\x5b\x83\x6f\x81\x5b    MAX=%u\n";

constexpr std::size_t kFileBlock = 1 << 18;

int cannot(Output& err, const char* what, const char* name, int status) {
    print(err, "Cannot %s file: %s \n", {what, name});
    return status;
}

// Flushes and closes an output file; `durable` also syncs it first.
bool finish(Output& buffered, OutFile& file, bool durable) {
    bool ok = buffered.flush();
    if (ok && durable) ok = file.sync();
    return file.close() && ok;
}

// Where the host's file lies while the run has it. Every way out puts it
// back under the host's name, unless that name still (or again) exists,
// as it does on a file system that ignores case.
class Exchange {
  public:
    explicit Exchange(FileSystem& fs) : fs_(fs) {}

    // Moves the host's file to the working name; non-zero ends the run.
    int take_over(Output& err) {
        if (fs_.exists(kHostName)) {
            // Leftovers of an interrupted run must not be mistaken for input.
            fs_.remove(kFirstStep);
            fs_.remove(kSecondStep);
        }
        if (!fs_.rename(kHostName, kFirstStep)) return 0; // go on with the working name
        at_ = kFirstStep;
        if (!step(kSecondStep) || !step(kWorkName)) {
            print(err, "Cannot rename file: %s to %s \n",
                  {at_, at_ == kFirstStep ? kSecondStep : kWorkName});
            return 1;
        }
        return 0;
    }

    int put_back(Output& err, int status) {
        if (!at_ || fs_.exists(kHostName)) return status;
        if (fs_.rename(at_, kHostName)) return status;
        print(err, "Cannot rename file: %s to %s \n", {at_, kHostName});
        return status == 0 ? 1 : status;
    }

  private:
    bool step(const char* to) {
        if (!fs_.rename(at_, to)) return false;
        at_ = to;
        return true;
    }

    FileSystem& fs_;
    const char* at_ = nullptr; // null: the host's file was not moved
};

void end_of_run_traces(const RunState& run, unsigned jd_xmax, Output& fpw, Output& out) {
    const int isTest = run.settings.isTest;
    const int count = static_cast<int>(jd_xmax);
    if (isTest == 3) {
        print(out, "# ------------------ main() Pattern1 end file closing ------------------ \n");
        print(out, "# jd_xmax= %d stepcnt= %d Error(%d)\n", {count, run.scan.stepcnt, 0});
    }
    if (isTest == 1) {
        print(fpw, "# ------------------ main() Pattern1 end file closing ------------------ \n");
        print(fpw, "#    jd_xmax= %d stepcnt= %d KYlengTotal= %.8f\n",
              {count, run.scan.stepcnt, 0.0});
    }
}

// Counts, scans and writes the output; at level 0 it then replaces the
// working file. Returns the exit status.
int process(RunState& run, FileSystem& fs, Output& out, Output& err) {
    const LineCount count = Tcopy(fs, kWorkName, kOutputName, err);
    if (count.status != 0) return count.status;

    auto output_file = fs.open_write(kOutputName);
    if (!output_file) return cannot(err, "open", kOutputName, 1);
    Output fpw(*output_file, LineEnds::crlf, kFileBlock);

    if (count.lines > jd_limit) {
        print(fpw, kOverLimitRecord, {jd_limit});
        if (!finish(fpw, *output_file, false)) cannot(err, "write", kOutputName, 1);
        return 1;
    }

    auto input_file = fs.open_read(kWorkName);
    if (!input_file) {
        finish(fpw, *output_file, false);
        return cannot(err, "open", kWorkName, 1);
    }
    LineReader fp(*input_file, kFileBlock);
    convert(run, fp, fpw, out, count.lines);
    input_file->close();
    if (fp.failed()) {
        finish(fpw, *output_file, false);
        return cannot(err, "read", kWorkName, 1);
    }

    const bool copy_back = run.settings.isTest == 0;
    if (!finish(fpw, *output_file, copy_back)) return cannot(err, "write", kOutputName, 1);
    if (copy_back && !fs.rename(kOutputName, kWorkName)) {
        print(err, "Cannot rename file: %s to %s \n", {kOutputName, kWorkName});
        return 1;
    }
    return 0;
}

} // namespace

void convert(RunState& run, LineReader& fp, Output& fpw, Output& out, unsigned jd_xmax) {
    JW_PATTERN(run, fp, fpw, out, jd_xmax, jd_limit);
    if (fp.failed()) return;
    end_of_run_traces(run, jd_xmax, fpw, out);
    IniZokusei(run.attrs, fpw);
}

LineCount Tcopy(FileSystem& fs, const char* source, const char* destination, Output& err) {
    auto in = fs.open_read(source);
    if (!in) return {0, cannot(err, "open", source, -1)};
    auto out_file = fs.open_write(destination);
    if (!out_file) return {0, cannot(err, "open", destination, -1)};
    Output copy(*out_file, LineEnds::crlf, kFileBlock);
    LineReader reader(*in, kFileBlock);
    Line line;
    unsigned count = 0;
    while (count <= jd_limit && reader.next(line)) {
        ++count;
        copy.put(line.bytes.data(), line.bytes.size());
    }
    const bool written = finish(copy, *out_file, false);
    in->close();
    if (reader.failed()) return {count, cannot(err, "read", source, 1)};
    if (!written) return {count, cannot(err, "write", destination, 1)};
    return {count, 0};
}

int run(int argc, const char* const argv[], FileSystem& fs, Output& out, Output& err) {
    RunState state;
    for (int i = 1; i < argc && argv[i]; ++i)
        if (argv[i][0] == '-' || argv[i][0] == '/') opt(argv[i], state.settings, out, err);
    if (state.settings.isTest == 2) print(out, "\n\n#### debug #### Cmd-Option read\n");

    Exchange exchange(fs);
    int status = exchange.take_over(err);
    if (status == 0) status = process(state, fs, out, err);
    status = exchange.put_back(err, status);
    out.flush();
    err.flush();
    return status;
}

} // namespace textmatte
