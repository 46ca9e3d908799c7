// The record scanner: one pass over the interchange file, a line at a time.
//
// Each line is dispatched on its head: comment records, attribute records
// (text-type records among them) and "cc" and "bz" records are copied
// through as read, each "hq" is answered with "hd", horizontal text records
// ("ch") are read and handed to the text handler the caller gives, and the
// other header records are consumed: "hc" records fill the text-type table
// and "hp" records the header points on the way. Every other element
// (lines, circles, solids, other texts and records of unknown kinds) is
// written back as read once an "hq" has been answered, since the host then
// deletes the selection; before that it is consumed. A line longer than a
// piece goes as a whole, with its first piece or not at all.
#pragma once

#include "interchange/line_reader.hpp"
#include "interchange/output.hpp"
#include "state/state.hpp"

namespace textmatte {

// Receives each text record once its fields are read and writes what the
// text becomes; convert() hands the scanner the box routine this way.
class TextHandler {
  public:
    virtual void handle_text(TextRecord& text, const TextTypes& types, unsigned piece_index) = 0;

  protected:
    ~TextHandler() = default;
};

// The scanner's input, its output file, and standard output for traces.
struct ScanStreams {
    LineReader& input;
    Output& output;
    Output& console;
};

// Scans at most `piece_limit` pieces, as the line reader cuts the lines (a
// line longer than a piece counts once for each piece); at the scan-trace
// level traces every piece on the console. `counted_pieces`, the count made
// before the scan, shows in that trace only.
void scan_records(RunState& run, const ScanStreams& streams, TextHandler& texts,
                  unsigned counted_pieces, unsigned piece_limit);

// Handles one piece of a line; the scan's body, exposed so a line's output
// can be checked on its own.
void dispatch(RunState& run, const LinePiece& piece, const ScanStreams& streams,
              TextHandler& texts);

} // namespace textmatte
