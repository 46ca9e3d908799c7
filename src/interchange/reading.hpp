// Reading of the text and text-type records into the run's state: shared by
// the record scanner and the preview, so both read a drawing alike.
#pragma once

#include "interchange/line_reader.hpp"
#include "state/state.hpp"

namespace textmatte {

// A text record: "c" followed by anything but "c", "n" or "i".
inline bool is_text_record(const Line& line) {
    return line.at(0) == 'c' && line.at(1) != 'c' && line.at(1) != 'n' && line.at(1) != 'i';
}

// Reads a text record's start point, direction and raw string; fields
// that do not convert keep the previous text's values.
void read_text_record(TextRecord& t, const Line& line);

enum class TextTypeRecord { free_size, numbered, none };

// Reads a "cn" record: "cn0" sets the free size (entry 0) and type 0, "cn"
// and a quote reads nothing, any other sets the type in force.
TextTypeRecord read_text_type(TextTypes& t, const Line& line);

// Reads an "hcw", "hch", "hcd" or "hcc" record into entries 1 to 10.
void read_text_type_table(TextTypes& t, const Line& line);

} // namespace textmatte
