// The whole transformation over buffers: the scan with a filled box behind
// every text, the end-of-run lines of the debug levels and the trailer.
// The run feeds it from the host's file; the preview, from memory.
#pragma once

#include "interchange/line_reader.hpp"
#include "interchange/output.hpp"
#include "interchange/piece_limit.hpp"
#include "interchange/scanner.hpp"
#include "state/state.hpp"

namespace textmatte {

// The text handler that writes a box behind every text: the box
// routine wired into the scanner.
class TextBoxes final : public TextHandler {
  public:
    TextBoxes(const RunSettings& settings, Output& output, Output& console)
        : settings_(settings), output_(output), console_(console) {}
    void handle_text(TextRecord& text, const TextTypes& types, unsigned piece_index) override;

  private:
    const RunSettings& settings_;
    Output& output_;
    Output& console_;
};

// The scan of at most kPieceLimit pieces, the end-of-run lines and the
// trailer. Stops after the scan when the input could not be read.
void convert(RunState& run, LineReader& input, Output& output, Output& console,
             unsigned counted_pieces);

// Whether the host asked for the selection to be replaced and the scan found
// no text to box: a normal run then writes the no-text notice alone, and
// the host leaves the drawing as it was.
bool found_no_text_to_box(const RunState& run);

// The record that tells the host there was no horizontal text in the
// selection; the host shows it as an error.
void write_no_text_notice(Output& output);

} // namespace textmatte
