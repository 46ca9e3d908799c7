// The state that one run of textmatte shares between its parts.
//
// Everything lives in plain structs owned by the run and handed around by
// reference, so the scanner, the box routine and the trailer can be driven
// in memory, many times in one process. Field names are the program's
// traditional ones (isTest, MOJI_H, COLORi ...) so the code reads like the
// record formats it implements.
#pragma once

#include <array>
#include <cstddef>

namespace textmatte {

// What each debug level adds to a run. Every level but `off` leaves the
// host's file as the host wrote it and the output in the output file.
enum class DebugLevel : int {
    off = 0,              // a normal run
    closing_comments = 1, // two comment lines in the output before the trailer
    text_trace = 2,       // the options-read line and nine lines per text
    scan_trace = 3,       // option trace, three lines per line read, end lines
    option_trace_4 = 4,   // levels 4 to 6 add the option trace only
    option_trace_5 = 5,
    option_trace_6 = 6,
};

// Levels from 3 up follow every option with the option trace.
constexpr bool traces_options(DebugLevel level) {
    return level >= DebugLevel::scan_trace;
}

// Settings chosen on the command line; fixed once the options are read.
struct RunSettings {
    DebugLevel isTest = DebugLevel::off;
    int iGRAY = 5; // shade index
    int iBACK = 3; // margin around a text, drawing units
    int iBOLD = 0; // decoration prefix 0..3
    int wSCLR = 0; // shown only by the option trace
};

// Text types 1..10 come from the table records, entry 0 from the latest
// free-size text-type record. MOJIS may name a type outside 0..10.
struct TextTypes {
    static constexpr int kEntries = 11;
    std::array<double, kEntries> MOJI_W{};
    std::array<double, kEntries> MOJI_H{};
    std::array<double, kEntries> MOJI_D{};
    std::array<int, kEntries> MOJI_C{};
    int MOJIS = 1;

    bool has(int type) const { return type >= 0 && type < kEntries; }
};

// The text record being handled: start point, direction vector and the raw
// string (the bytes after the opening quote, line end included).
struct TextRecord {
    static constexpr std::size_t kRawCapacity = 260;
    static constexpr std::size_t kCleanMax = 231;

    double ChX = 0.0;
    double ChY = 0.0;
    double ChDX = 0.0;
    double ChDY = 0.0;
    std::array<char, kRawCapacity + 1> ChSTR0{}; // NUL-terminated
    std::array<char, kCleanMax + 1> ChSTR{};     // NUL-terminated
};

// Current value and first-seen latch of every attribute. A latch holds the
// sentinel 20 until a record of its kind sets it.
struct Attributes {
    static constexpr int kSentinel = 20;

    int COLOR = 1, COLORi = kSentinel;
    int TYPE = 1, TYPEi = kSentinel;
    int LAYER = 0, LAYERi = kSentinel;
    int GROUP = 0, GROUPi = kSentinel;
    int TENS = 1, TENSi = kSentinel;
    int MOJISi = kSentinel;
    // Free text size latches; the negative width keeps the free-size line
    // out of a trailer that never saw a free-size record.
    double MOJIWi = -20.0;
    double MOJIHi = 20.0;
    double MOJIDi = 20.0;
    int MOJICi = kSentinel;
};

// What the scanner keeps from line to line.
struct ScannerState {
    static constexpr int kLastHeaderPoint = 3; // header points 0..3

    unsigned jd_x = 0;
    int stepcnt = 0;
    // The last line record's end points: fields a line lacks keep their values.
    double x1 = 0.0, y1 = 0.0, x2 = 0.0, y2 = 0.0;
    std::array<double, kLastHeaderPoint + 1> PX{};
    std::array<double, kLastHeaderPoint + 1> PY{};
    int iPOINT = 0;
};

// Everything one run shares; a fresh object is a fresh run.
struct RunState {
    RunSettings settings;
    TextTypes types;
    TextRecord text;
    Attributes attrs;
    ScannerState scan;
};

} // namespace textmatte
