#include "interchange/scanner.hpp"

#include <cstddef>

#include "interchange/attributes.hpp"
#include "interchange/fields.hpp"
#include "interchange/format.hpp"
#include "interchange/reading.hpp"

namespace textmatte {

namespace {

bool ends_line(const LinePiece& piece) {
    const std::string_view bytes = piece.bytes();
    return !bytes.empty() && bytes.back() == '\n';
}

// A piece holds at most one newline, at its end.
void copy_line(const LinePiece& line, Output& output) {
    const std::string_view bytes = line.bytes();
    if (!ends_line(line)) return output.literal(bytes);
    output.literal(bytes.substr(0, bytes.size() - 1));
    output.end_line();
}

// An element the program does not change. Once the host deletes the
// selection it is written back as read; when a box's colour came after the
// input's last colour record, that record is written again first, so the
// element keeps the colour it was read in (with no colour record read
// before, nothing restores it). Before that the host keeps the element,
// and writing it would draw it twice. Whether it was written.
bool write_back_element(ScannerState& s, const LinePiece& line, Output& output) {
    if (!s.selection_replaced) return false;
    if (s.box_colour_in_force && !s.last_colour_record.empty()) output.text(s.last_colour_record);
    s.box_colour_in_force = false;
    copy_line(line, output);
    return true;
}

// A later piece of a line longer than a piece is no record of its own: it
// goes where the line's first piece went.
void continue_line(ScannerState& s, const LinePiece& piece, Output& output) {
    if (!s.line_copied) return;
    copy_line(piece, output);
    if (s.line_is_colour_record) s.last_colour_record += piece.bytes();
}

void text_type_record(RunState& run, const LinePiece& line, Output& output) {
    copy_line(line, output);
    switch (read_text_type(run.types, line)) {
    case TextTypeRecord::free_size: latch_free_size(run.attrs, run.types); break;
    case TextTypeRecord::numbered: latch_text_type(run.attrs, run.types); break;
    case TextTypeRecord::none: break;
    }
}

// Only the closing lines of debug levels 1 and 3 show the marked record,
// which is all a line record changes: elsewhere its fields need not be
// read, which spares a drawing of lines most of its reading.
bool shows_marked_record(DebugLevel level) {
    return level == DebugLevel::closing_comments || level == DebugLevel::scan_trace;
}

void read_line_record(ScannerState& s, const LinePiece& line) {
    FieldReader f(line.text(), 1);
    f.real(s.x1) && f.real(s.y1) && f.real(s.x2) && f.real(s.y2);
    if (s.x1 != s.x2 || s.y1 != s.y2) s.last_marked_record = MarkedRecord::drawn_line;
}

enum class Radix { decimal, hexadecimal };

// An attribute record: copied, its number read from byte 2, then latched.
void attribute_record(const LinePiece& line, Output& output, Radix radix, int& current,
                      FirstSeen& latched) {
    copy_line(line, output);
    FieldReader f(line.text(), 2);
    radix == Radix::decimal ? f.decimal(current) : f.hex(current);
    latch(latched, current);
}

// The kinds of header point record, by byte 3: the byte after an index of
// one digit (a longer index leaves a digit there, and the record is not
// stored).
enum class PointKind { plain, plus, slash, minus };

void trace_header_point(Output& console, PointKind kind, int index, double x, double y) {
    switch (kind) {
    case PointKind::plain: write<"##  hp%d   %.2f %.2f \n">(console, index, x, y); break;
    case PointKind::slash: write<"##  hp%d/  %.2f %.2f \n">(console, index, x, y); break;
    case PointKind::minus: write<"##  hp%d-  %.2f %.2f \n">(console, index, x, y); break;
    case PointKind::plus: break; // stored without a trace
    }
}

void header_point(ScannerState& s, const LinePiece& line, Output& console, bool trace) {
    const char kind_byte = line.at(3);
    PointKind kind;
    std::size_t coordinates = 4;
    switch (kind_byte) {
    case ' ':
        kind = PointKind::plain;
        coordinates = 3;
        break;
    case '+': kind = PointKind::plus; break;
    case '/': kind = PointKind::slash; break;
    case '-': kind = PointKind::minus; break;
    case 'l':
    case 'c':
        if (line.at(4) != (kind_byte == 'l' ? 'n' : 'h')) return;
        FieldReader(line.text(), 2).decimal(s.header_point_index);
        s.last_marked_record = MarkedRecord::header_line_point; // its coordinates are not kept
        return;
    default: return;
    }
    FieldReader(line.text(), 2).decimal(s.header_point_index);
    if (s.header_point_index < 0 || s.header_point_index > ScannerState::kLastHeaderPoint)
        return; // no entry to store
    const auto i = static_cast<std::size_t>(s.header_point_index);
    FieldReader f(line.text(), coordinates);
    f.real(s.header_x[i]) && f.real(s.header_y[i]);
    if (trace)
        trace_header_point(console, kind, s.header_point_index, s.header_x[i], s.header_y[i]);
}

// The input's colour record: copied and latched like every attribute
// record, and kept as read, to set the colour again after a box.
void colour_record(RunState& run, const LinePiece& line, Output& output) {
    Attributes& a = run.attrs;
    attribute_record(line, output, Radix::decimal, a.colour, a.first_colour);
    run.scan.last_colour_record.assign(line.bytes());
    run.scan.line_is_colour_record = true;
    run.scan.box_colour_in_force = false;
}

// Handles the first piece of a line by its head; whether the piece was
// copied as read.
bool dispatch_record(RunState& run, const LinePiece& line, const ScanStreams& streams,
                     TextHandler& texts) {
    Output& output = streams.output;
    Attributes& a = run.attrs;
    ScannerState& s = run.scan;
    switch (classify(line)) {
    case RecordHead::comment:
    case RecordHead::cc:
    case RecordHead::bz:
    case RecordHead::other_attribute: copy_line(line, output); return true;
    case RecordHead::line:
        if (shows_marked_record(run.settings.debug_level)) read_line_record(s, line);
        return write_back_element(s, line, output);
    case RecordHead::text:
        read_text_record(run.text, line);
        texts.handle_text(run.text, run.types, s.piece_index);
        s.box_colour_in_force = true;
        ++s.boxes_written;
        return false;
    case RecordHead::text_type: text_type_record(run, line, output); return true;
    case RecordHead::layer_group:
        attribute_record(line, output, Radix::hexadecimal, a.layer_group, a.first_layer_group);
        return true;
    case RecordHead::layer:
        attribute_record(line, output, Radix::hexadecimal, a.layer, a.first_layer);
        return true;
    case RecordHead::line_type:
        attribute_record(line, output, Radix::decimal, a.line_type, a.first_line_type);
        return true;
    case RecordHead::colour: colour_record(run, line, output); return true;
    case RecordHead::pen:
        attribute_record(line, output, Radix::hexadecimal, a.pen, a.first_pen);
        return true;
    case RecordHead::hq:
        write<"hd\n">(output);
        s.last_marked_record = MarkedRecord::host_request;
        s.selection_replaced = true;
        return false;
    case RecordHead::header_point:
        header_point(s, line, streams.console, run.settings.debug_level == DebugLevel::scan_trace);
        return false;
    case RecordHead::text_type_table: read_text_type_table(run.types, line); return false;
    case RecordHead::header: return false; // consumed
    case RecordHead::circle:
    case RecordHead::point:
    case RecordHead::solid:
    case RecordHead::other: return write_back_element(s, line, output);
    }
    return false;
}

void trace_line(const RunState& run, const LinePiece& line, Output& console,
                unsigned counted_pieces, unsigned piece_limit) {
    write<"## ---- JW_PATTERN()  jwc_temp.txt processing --------\n"
          "##  jd_x=%u/%u : jd_x/jd_xmax  jd_limit=%u\n"
          "##  buf=(%s)\n">(console, run.scan.piece_index, counted_pieces, piece_limit,
                            line.text());
}

} // namespace

void dispatch(RunState& run, const LinePiece& piece, const ScanStreams& streams,
              TextHandler& texts) {
    ScannerState& s = run.scan;
    if (s.continues_line) {
        continue_line(s, piece, streams.output);
    } else {
        s.line_is_colour_record = false;
        s.line_copied = dispatch_record(run, piece, streams, texts);
    }
    s.continues_line = !ends_line(piece);
}

void scan_records(RunState& run, const ScanStreams& streams, TextHandler& texts,
                  unsigned counted_pieces, unsigned piece_limit) {
    LinePiece line;
    const bool trace = run.settings.debug_level == DebugLevel::scan_trace;
    for (run.scan.piece_index = 0; run.scan.piece_index != piece_limit; ++run.scan.piece_index) {
        if (!streams.input.next(line)) break;
        if (trace) trace_line(run, line, streams.console, counted_pieces, piece_limit);
        dispatch(run, line, streams, texts);
    }
}

} // namespace textmatte
