// What a record is, by its head, and the reading of the text and text-type
// records into the run's state: shared by the record scanner and the
// preview, so both read a drawing alike.
#pragma once

#include "interchange/line_reader.hpp"
#include "state/state.hpp"

namespace textmatte {

// The records told apart by their first one or two bytes (the host's
// "file=" line by its first five).
enum class RecordHead {
    comment,         // "#"
    line,            // " " and the end points
    text,            // "ch": a horizontal text, the one kind that gets a box
    text_type,       // "cn"
    circle,          // "ci"
    cc,              // "cc"
    bz,              // "bz"
    layer_group,     // "lg"
    layer,           // "ly"
    line_type,       // "lt"
    colour,          // "lc"
    other_attribute, // "l" followed by anything else
    pen,             // "pn"
    point,           // "pt"
    solid,           // "sl"
    hq,              // "hq"
    header_point,    // "hp"
    text_type_table, // "hc"
    header,          // "h" followed by anything else, and the host's "file=" line
    other,           // any other element or record: "cv" and the other "c"
                     // records, "z", "BL", digits, capitals, empty lines ...
};

// The host's line naming its drawing file, among the header records.
inline bool is_file_name_line(const LinePiece& line) {
    return line.at(0) == 'f' && line.at(1) == 'i' && line.at(2) == 'l' && line.at(3) == 'e' &&
           line.at(4) == '=';
}

inline RecordHead classify(const LinePiece& line) {
    const char second = line.at(1);
    switch (line.at(0)) {
    case '#': return RecordHead::comment;
    case ' ': return RecordHead::line;
    case 'c':
        switch (second) {
        case 'n': return RecordHead::text_type;
        case 'i': return RecordHead::circle;
        case 'c': return RecordHead::cc;
        case 'h': return RecordHead::text;
        default: return RecordHead::other;
        }
    case 'b': return second == 'z' ? RecordHead::bz : RecordHead::other;
    case 'l':
        switch (second) {
        case 'g': return RecordHead::layer_group;
        case 'y': return RecordHead::layer;
        case 't': return RecordHead::line_type;
        case 'c': return RecordHead::colour;
        default: return RecordHead::other_attribute;
        }
    case 'p':
        switch (second) {
        case 'n': return RecordHead::pen;
        case 't': return RecordHead::point;
        default: return RecordHead::other;
        }
    case 's': return second == 'l' ? RecordHead::solid : RecordHead::other;
    case 'h':
        switch (second) {
        case 'q': return RecordHead::hq;
        case 'p': return RecordHead::header_point;
        case 'c': return RecordHead::text_type_table;
        default: return RecordHead::header;
        }
    case 'f': return is_file_name_line(line) ? RecordHead::header : RecordHead::other;
    default: return RecordHead::other;
    }
}

// Reads a text record's start point, direction and raw string; fields
// that do not convert keep the previous text's values.
void read_text_record(TextRecord& t, const LinePiece& line);

enum class TextTypeRecord { free_size, numbered, none };

// Reads a "cn" record: "cn0" sets the free size (entry 0) and type 0, "cn"
// and a quote reads nothing, any other reads the type in force from byte 2
// (which stays as it was when no number is there).
TextTypeRecord read_text_type(TextTypes& t, const LinePiece& line);

// Reads an "hcw", "hch", "hcd" or "hcc" record into entries 1 to 10.
void read_text_type_table(TextTypes& t, const LinePiece& line);

} // namespace textmatte
