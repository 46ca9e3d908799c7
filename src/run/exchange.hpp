// The file exchange with the host: the names in the working directory and
// where the host's file lies while a run has it.
#pragma once

#include "files/files.hpp"
#include "interchange/output.hpp"

namespace textmatte {

inline constexpr const char* kHostName = "jwc_temp.txt";
inline constexpr const char* kFirstStep = "JWC_x2x2.$$";
inline constexpr const char* kSecondStep = "JWC_x2x2.$$$";
inline constexpr const char* kWorkName = "JWC_TEMP.TXT";
inline constexpr const char* kOutputName = "JWC_TEMP.$$$";

// Takes the host's file over under the working name and puts it back on
// every way out, exceptions included, unless the output has replaced it.
//
// Only the host's own file is ever taken: a missing host's file is the
// missing-file case whatever else lies in the directory, and anything but a
// regular file, or a link to one of the program's own names, is refused
// before a name is touched. Leftovers of earlier runs are removed as names.
class Exchange {
  public:
    Exchange(FileSystem& fs, Output& errors) : fs_(fs), errors_(errors) {}
    ~Exchange();
    Exchange(const Exchange&) = delete;
    Exchange& operator=(const Exchange&) = delete;

    // Moves the host's file to the working name; a non-zero status, with
    // its message written, ends the run.
    int take_over();
    // The output file now exists and belongs to this run.
    void output_created() { output_created_ = true; }
    // Replaces the host's file with the complete output file in one rename;
    // non-zero (with its message written) when that fails.
    int replace_with_output();
    // Removes this run's output file on the way out: it is incomplete.
    void discard_output();
    // Puts the host's file back under its own name, if it was moved and the
    // output has not replaced it; returns the run's status, made non-zero
    // when the file could not be put back.
    int finish(int status);
    // Whether the host's file is under its own name (after finish()).
    bool host_file_in_place() const { return at_ == nullptr; }

  private:
    int refuse_links(const Entry& host);
    bool step(const char* to);
    bool put_back();

    FileSystem& fs_;
    Output& errors_;
    const char* at_ = nullptr; // where the moved host's file is; null: not moved
    bool output_created_ = false;
    bool discard_output_ = false;
};

} // namespace textmatte
