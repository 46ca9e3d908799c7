#include "interchange/scanner.hpp"

#include <cstddef>

#include "interchange/attributes.hpp"
#include "interchange/fields.hpp"
#include "interchange/format.hpp"
#include "interchange/reading.hpp"

namespace textmatte {

namespace {

// A piece holds at most one newline, at its end.
void copy_line(const LinePiece& line, Output& output) {
    const std::string_view bytes = line.bytes();
    if (bytes.empty() || bytes.back() != '\n') return output.literal(bytes);
    output.literal(bytes.substr(0, bytes.size() - 1));
    output.end_line();
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

void line_record(ScannerState& s, const LinePiece& line) {
    FieldReader f(line.text(), 1);
    f.real(s.x1) && f.real(s.y1) && f.real(s.x2) && f.real(s.y2);
    if (s.x1 != s.x2 || s.y1 != s.y2) s.last_marked_record = MarkedRecord::drawn_line;
}

enum class Radix { decimal, hexadecimal };

// An attribute record: copied, its number read from byte 2, then latched.
void attribute_record(const LinePiece& line, Output& output, Radix radix, int& current,
                      int& latched) {
    copy_line(line, output);
    FieldReader f(line.text(), 2);
    radix == Radix::decimal ? f.decimal(current) : f.hex(current);
    latch(latched, current);
}

// The kinds of header point record, by the byte after the index.
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

void trace_line(const RunState& run, const LinePiece& line, Output& console, unsigned counted_lines,
                unsigned line_limit) {
    write<"## ---- JW_PATTERN()  jwc_temp.txt processing --------\n"
          "##  jd_x=%u/%u : jd_x/jd_xmax  jd_limit=%u\n"
          "##  buf=(%s)\n">(console, run.scan.line_index, counted_lines, line_limit, line.text());
}

} // namespace

void dispatch(RunState& run, const LinePiece& line, const ScanStreams& streams,
              TextHandler& texts) {
    Output& output = streams.output;
    Attributes& a = run.attrs;
    switch (classify(line)) {
    case RecordHead::comment:
    case RecordHead::cc:
    case RecordHead::bz:
    case RecordHead::other_attribute: copy_line(line, output); break;
    case RecordHead::line:
        if (shows_marked_record(run.settings.debug_level)) line_record(run.scan, line);
        break;
    case RecordHead::text:
        read_text_record(run.text, line);
        texts.handle_text(run.text, run.types, run.scan.line_index);
        break;
    case RecordHead::text_type: text_type_record(run, line, output); break;
    case RecordHead::layer_group:
        attribute_record(line, output, Radix::hexadecimal, a.layer_group, a.first_layer_group);
        break;
    case RecordHead::layer:
        attribute_record(line, output, Radix::hexadecimal, a.layer, a.first_layer);
        break;
    case RecordHead::line_type:
        attribute_record(line, output, Radix::decimal, a.line_type, a.first_line_type);
        break;
    case RecordHead::colour:
        attribute_record(line, output, Radix::decimal, a.colour, a.first_colour);
        break;
    case RecordHead::pen:
        attribute_record(line, output, Radix::hexadecimal, a.pen, a.first_pen);
        break;
    case RecordHead::hq:
        write<"hd\n">(output);
        run.scan.last_marked_record = MarkedRecord::host_request;
        break;
    case RecordHead::header_point:
        header_point(run.scan, line, streams.console,
                     run.settings.debug_level == DebugLevel::scan_trace);
        break;
    case RecordHead::text_type_table: read_text_type_table(run.types, line); break;
    case RecordHead::circle:
    case RecordHead::point:
    case RecordHead::solid:
    case RecordHead::other: break; // consumed
    }
}

void scan_records(RunState& run, const ScanStreams& streams, TextHandler& texts,
                  unsigned counted_lines, unsigned line_limit) {
    LinePiece line;
    const bool trace = run.settings.debug_level == DebugLevel::scan_trace;
    for (run.scan.line_index = 0; run.scan.line_index != line_limit; ++run.scan.line_index) {
        if (!streams.input.next(line)) break;
        if (trace) trace_line(run, line, streams.console, counted_lines, line_limit);
        dispatch(run, line, streams, texts);
    }
}

} // namespace textmatte
