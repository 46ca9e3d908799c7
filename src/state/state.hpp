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

// Settings chosen on the command line; fixed once the options are read.
struct RunSettings {
    int isTest = 0; // debug level 0..6
    int iGRAY = 5;  // shade index into inGRAY
    int iBACK = 3;  // margin around a text, drawing units
    int iBOLD = 0;  // decoration prefix 0..3
    int wSCLR = 0;  // shown only by the option trace
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
    std::array<char, 3> MOJI_head{'c', 'h', '\0'};
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
    static constexpr int HPmax = 3;

    unsigned jd_x = 0;
    int stepcnt = 0;
    // Last line record's end points; unread fields keep their values.
    double x1 = 0.0, y1 = 0.0, x2 = 0.0, y2 = 0.0;
    std::array<double, HPmax + 1> PX{};
    std::array<double, HPmax + 1> PY{};
    int iPOINT = 0;
    // Polyline bookkeeping: kept, but no output depends on it.
    int iPL = 0;
    int iPLcounter = 0;
    int iKtensu = 0;
    double KYleng = 0.0;
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
