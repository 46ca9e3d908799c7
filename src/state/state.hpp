// The state that one run of textmatte shares between its parts.
//
// Everything lives in plain structs owned by the run and handed around by
// reference, so the scanner, the box routine and the trailer can be driven
// in memory, many times in one process. The debug traces still print some
// older words for these fields (MOJIS, ChSTR, wSCLR, stepcnt ...); they are
// part of the traces' bytes, not names in the code.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>

namespace textmatte {

// What each debug level adds to a run. Every level but `off` leaves the
// host's file as the host wrote it and the output in the output file.
enum class DebugLevel : int {
    off = 0,              // a normal run
    closing_comments = 1, // two comment lines in the output before the trailer
    text_trace = 2,       // the options-read line and nine lines per text
    scan_trace = 3,       // option trace, three lines per line read, stored header
                          // points, end lines
    options_only = 4,     // levels 4, 5 and 6: the option trace only
};

// Levels from 3 up follow every option with the option trace.
constexpr bool traces_options(DebugLevel level) {
    return level >= DebugLevel::scan_trace;
}

// Settings chosen on the command line; fixed once the options are read.
struct RunSettings {
    DebugLevel debug_level = DebugLevel::off;
    int shade_index = 5; // into the shade table, 0..9
    // A colour of the user's own for the box, 0xRRGGBB, in place of the shade.
    std::optional<int> own_colour;
    int margin = 3;        // around a text, drawing units; negative shrinks the box
    int decoration = 0;    // decoration prefix 0..3
    int traced_number = 0; // shown only by the option trace
};

// The text types: width, height, character spacing and pen of each.
// Types 1..10 come from the table records, entry 0 from the latest
// free-size text-type record. The type in force may be outside 0..10.
struct TextTypes {
    static constexpr int kEntries = 11;
    std::array<double, kEntries> width{};
    std::array<double, kEntries> height{};
    std::array<double, kEntries> spacing{};
    std::array<int, kEntries> pen{};
    int in_force = 1;

    bool has(int type) const { return type >= 0 && type < kEntries; }
};

// The text record being handled: start point, direction vector and the raw
// string (the bytes after the opening quote, line end included).
struct TextRecord {
    static constexpr std::size_t kRawCapacity = 260;
    static constexpr std::size_t kCleanMax = 231;

    double x = 0.0;
    double y = 0.0;
    double dx = 0.0;
    double dy = 0.0;
    std::array<char, kRawCapacity + 1> raw{};  // NUL-terminated
    std::array<char, kCleanMax + 1> cleaned{}; // NUL-terminated: what is written back
};

// The first value of an attribute in the file, not seen until a record of
// its kind sets it. A first value of 20 does not hold the latch: 20 is what
// the trailer writes for an attribute never seen, so a later record of its
// kind is latched instead.
class FirstSeen {
  public:
    static constexpr int kWrittenWhenNotSeen = 20;

    void offer(int value) {
        if (!held()) value_ = value;
    }
    // Whether a value other than 20 was latched.
    bool held() const { return value_ && *value_ != kWrittenWhenNotSeen; }
    // The latched value, or 20 for an attribute never seen.
    int value() const { return value_.value_or(kWrittenWhenNotSeen); }

  private:
    std::optional<int> value_;
};

// The free text size of text type 0, as a free-size text-type record gives it.
struct FreeSize {
    double width = 0.0;
    double height = 0.0;
    double spacing = 0.0;
    int pen = 0;
};

// Current value and first-seen latch of every attribute.
struct Attributes {
    int colour = 1;
    int line_type = 1;
    int layer = 0;
    int layer_group = 0;
    int pen = 1;
    FirstSeen first_colour, first_line_type, first_layer, first_layer_group, first_pen;
    // The text type and the free size share one latch: whichever of a
    // text-type record and a free-size record comes first decides it.
    FirstSeen first_text_type;
    std::optional<FreeSize> first_free_size; // set with a first text type of 0
};

// The kinds of record the closing lines of debug levels 1 and 3 report,
// as the number each is printed with there.
enum class MarkedRecord : int {
    none = 0,
    host_request = 1,      // an "hq" record
    header_line_point = 2, // a header point's "ln" or "ch" form
    drawn_line = 3,        // a line record whose ends differ
};

// What the scanner keeps from line to line.
struct ScannerState {
    static constexpr int kLastHeaderPoint = 3; // header points 0..3

    unsigned piece_index = 0; // of the piece being scanned, from 0
    // The latest marked record: only the closing lines show it.
    MarkedRecord last_marked_record = MarkedRecord::none;
    // The last line record's end points: fields a line lacks keep their values.
    double x1 = 0.0, y1 = 0.0, x2 = 0.0, y2 = 0.0;
    std::array<double, kLastHeaderPoint + 1> header_x{};
    std::array<double, kLastHeaderPoint + 1> header_y{};
    int header_point_index = 0;

    // Set once an "hq" is answered with "hd": the host then deletes what
    // the user selected and draws the output, so from here on every element
    // the program does not change is written back as it was read.
    bool selection_replaced = false;
    // A line longer than a piece goes as a whole: the piece being read
    // continues a line whose first piece was copied as read (then it is
    // copied too) or was not (then it is dropped).
    bool continues_line = false;
    bool line_copied = false;
    // The last colour record read, as read, line end included. A box's own
    // colour record changes the colour in force, so after a box this one is
    // written again before the next element written back, unless the input
    // sets a colour first.
    std::string last_colour_record;
    bool line_is_colour_record = false; // the line being read is that record
    bool box_colour_in_force = false;
    unsigned boxes_written = 0;
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
