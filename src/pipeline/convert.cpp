#include "pipeline/convert.hpp"

#include "boxes/text_box.hpp"
#include "interchange/attributes.hpp"
#include "interchange/format.hpp"

namespace textmatte {

namespace {

void end_of_run_lines(const RunState& run, unsigned counted_pieces, Output& output,
                      Output& console) {
    const int count = static_cast<int>(counted_pieces);
    const int marked = static_cast<int>(run.scan.last_marked_record);
    switch (run.settings.debug_level) {
    case DebugLevel::scan_trace:
        write<"# ------------------ main() Pattern1 end file closing ------------------ \n"
              "# jd_xmax= %d stepcnt= %d Error(%d)\n">(console, count, marked, 0);
        break;
    case DebugLevel::closing_comments:
        write<"# ------------------ main() Pattern1 end file closing ------------------ \n"
              "#    jd_xmax= %d stepcnt= %d KYlengTotal= %.8f\n">(output, count, marked, 0.0);
        break;
    default: break;
    }
}

} // namespace

bool found_no_text_to_box(const RunState& run) {
    return run.scan.selection_replaced && run.scan.boxes_written == 0;
}

// "he", two blanks, then in Shift-JIS: there is no horizontal text in the
// selection.
void write_no_text_notice(Output& output) {
    write<"he  \x91\x49\x91\xf0\x94\xcd\x88\xcd\x82\xc9\x89\xa1\x8f\x91\x82\xab\x82\xcc"
          "\x95\xb6\x8e\x9a\x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1\n">(output);
}

void TextBoxes::handle_text(TextRecord& text, const TextTypes& types, unsigned) {
    box_text(settings_, text, types, output_, console_);
}

void convert(RunState& run, LineReader& input, Output& output, Output& console,
             unsigned counted_pieces) {
    TextBoxes boxes(run.settings, output, console);
    scan_records(run, ScanStreams{input, output, console}, boxes, counted_pieces, kPieceLimit);
    if (input.failed()) return;
    end_of_run_lines(run, counted_pieces, output, console);
    write_trailer(run.attrs, output);
}

} // namespace textmatte
