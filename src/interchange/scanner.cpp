#include "interchange/scanner.hpp"

#include <cstddef>

#include "background/matte.hpp"
#include "interchange/attributes.hpp"
#include "interchange/fields.hpp"
#include "interchange/format.hpp"
#include "interchange/reading.hpp"

namespace textmatte {

namespace {

constexpr int kTraceLevel = 3;
// Echo switches of the record table; no option or record changes them.
constexpr int isHD = 1;
constexpr int isWCNLCT = 0;

void copy_line(const Line& line, Output& fpw) {
    fpw.put(line.bytes.data(), line.bytes.size());
}

void text_type_record(RunState& run, const Line& line, Output& fpw) {
    if (isHD == 1 || isWCNLCT == 1) copy_line(line, fpw);
    switch (read_text_type(run.types, line)) {
    case TextTypeRecord::free_size: latch_free_size(run.attrs, run.types); break;
    case TextTypeRecord::numbered: latch_text_type(run.attrs, run.types); break;
    case TextTypeRecord::none: break;
    }
}

void text_record(RunState& run, const Line& line, Output& fpw, Output& out) {
    read_text_record(run.text, line);
    CHR_PRO(run, fpw, out);
}

void line_record(ScannerState& s, const Line& line) {
    scan(line.text, 1, "%lf %lf %lf %lf", {&s.x1, &s.y1, &s.x2, &s.y2});
    if (s.x1 != s.x2 || s.y1 != s.y2) s.stepcnt = 3;
}

// An attribute record read as decimal ("%d") or hexadecimal ("%x").
void attribute_record(const Line& line, Output& fpw, const char* fmt, int& current, int& latched) {
    if (isHD == 1) copy_line(line, fpw);
    scan(line.text, 2, fmt, {&current});
    latch(latched, current);
}

void l_record(RunState& run, const Line& line, Output& fpw) {
    Attributes& a = run.attrs;
    switch (line.at(1)) {
    case 'g': attribute_record(line, fpw, "%x", a.GROUP, a.GROUPi); break;
    case 'y': attribute_record(line, fpw, "%x", a.LAYER, a.LAYERi); break;
    case 't': attribute_record(line, fpw, "%d", a.TYPE, a.TYPEi); break;
    case 'c': attribute_record(line, fpw, "%d", a.COLOR, a.COLORi); break;
    default:
        if (isHD == 1) copy_line(line, fpw);
        break;
    }
}

void header_point(ScannerState& s, const Line& line, Output& out, bool trace) {
    const char kind = line.at(3);
    std::size_t coords;
    const char* trace_fmt = nullptr;
    switch (kind) {
    case ' ':
        coords = 3;
        trace_fmt = "##  hp%d   %.2f %.2f \n";
        break;
    case '+': coords = 4; break;
    case '/':
        coords = 4;
        trace_fmt = "##  hp%d/  %.2f %.2f \n";
        break;
    case '-':
        coords = 4;
        trace_fmt = "##  hp%d-  %.2f %.2f \n";
        break;
    case 'l':
    case 'c':
        if (line.at(4) != (kind == 'l' ? 'n' : 'h')) return;
        scan(line.text, 2, "%d", {&s.iPOINT});
        s.stepcnt = 2; // its coordinates are not kept
        return;
    default: return;
    }
    scan(line.text, 2, "%d", {&s.iPOINT});
    const bool stored = s.iPOINT >= 0 && s.iPOINT <= ScannerState::HPmax;
    if (!stored) return; // nothing to store, and no entry to trace
    const auto i = static_cast<std::size_t>(s.iPOINT);
    scan(line.text, coords, "%lf %lf", {&s.PX[i], &s.PY[i]});
    if (trace && trace_fmt) print(out, trace_fmt, {s.iPOINT, s.PX[i], s.PY[i]});
}

void h_record(RunState& run, const Line& line, Output& fpw, Output& out) {
    switch (line.at(1)) {
    case 'q':
        if (isHD == 1) fpw.put("hd\n");
        run.scan.stepcnt = 1;
        break;
    case 'p': header_point(run.scan, line, out, run.settings.isTest == kTraceLevel); break;
    case 'c': read_text_type_table(run.types, line); break;
    default: break; // "hs" and the rest: consumed
    }
}

void p_record(RunState& run, const Line& line, Output& fpw) {
    switch (line.at(1)) {
    case 'n': attribute_record(line, fpw, "%x", run.attrs.TENS, run.attrs.TENSi); break;
    case 'l':
        PLreset(run.scan);
        run.scan.iPL = 1;
        break;
    default: break; // "pt" and the rest: consumed
    }
}

void trace_line(const RunState& run, const Line& line, Output& out, unsigned jd_xmax,
                unsigned jd_limit) {
    print(out, "## ---- JW_PATTERN()  jwc_temp.txt processing --------\n");
    print(out, "##  jd_x=%u/%u : jd_x/jd_xmax  jd_limit=%u\n", {run.scan.jd_x, jd_xmax, jd_limit});
    out.put("##  buf=(");
    out.put(line.text);
    out.put(")\n");
}

} // namespace

void PLreset(ScannerState& scan) {
    scan.iPL = 0;
    scan.iPLcounter = 0;
    scan.iKtensu = 0;
    scan.KYleng = 0.0;
}

void dispatch(RunState& run, const Line& line, Output& fpw, Output& out) {
    switch (line.at(0)) {
    case '#':
        copy_line(line, fpw);
        PLreset(run.scan);
        break;
    case 'c':
        switch (line.at(1)) {
        case 'c':
            if (isHD == 1) copy_line(line, fpw);
            break;
        case 'n': text_type_record(run, line, fpw); break;
        case 'i': break; // circle: consumed
        default: text_record(run, line, fpw, out); break;
        }
        break;
    case 'b':
        if (line.at(1) == 'z' && isHD == 1) copy_line(line, fpw);
        break;
    case ' ': line_record(run.scan, line); break;
    case 'l': l_record(run, line, fpw); break;
    case 'h': h_record(run, line, fpw, out); break;
    case 'p': p_record(run, line, fpw); break;
    default: break; // "z", digits, capitals, tabs, empty lines ...: consumed
    }
}

int JW_PATTERN(RunState& run, LineReader& fp, Output& fpw, Output& out, unsigned jd_xmax,
               unsigned jd_limit) {
    Line line;
    const bool trace = run.settings.isTest == kTraceLevel;
    for (run.scan.jd_x = 0; run.scan.jd_x != jd_limit; ++run.scan.jd_x) {
        if (!fp.next(line)) break;
        if (trace) trace_line(run, line, out, jd_xmax, jd_limit);
        dispatch(run, line, fpw, out);
    }
    return 0;
}

} // namespace textmatte
