#include "pipeline/convert.hpp"

#include "background/matte.hpp"
#include "interchange/attributes.hpp"
#include "interchange/format.hpp"

namespace textmatte {

namespace {

void end_of_run_lines(const RunState& run, unsigned jd_xmax, Output& output, Output& console) {
    const int count = static_cast<int>(jd_xmax);
    switch (run.settings.isTest) {
    case DebugLevel::scan_trace:
        write<"# ------------------ main() Pattern1 end file closing ------------------ \n"
              "# jd_xmax= %d stepcnt= %d Error(%d)\n">(console, count, run.scan.stepcnt, 0);
        break;
    case DebugLevel::closing_comments:
        write<"# ------------------ main() Pattern1 end file closing ------------------ \n"
              "#    jd_xmax= %d stepcnt= %d KYlengTotal= %.8f\n">(output, count, run.scan.stepcnt,
                                                                  0.0);
        break;
    default: break;
    }
}

} // namespace

void TextBoxes::handle_text(TextRecord& text, const TextTypes& types, unsigned) {
    CHR_PRO(settings_, text, types, output_, console_);
}

void convert(RunState& run, LineReader& input, Output& output, Output& console, unsigned jd_xmax) {
    TextBoxes boxes(run.settings, output, console);
    JW_PATTERN(run, ScanStreams{input, output, console}, boxes, jd_xmax, kLineLimit);
    if (input.failed()) return;
    end_of_run_lines(run, jd_xmax, output, console);
    IniZokusei(run.attrs, output);
}

} // namespace textmatte
