// The file exchange with the host: the names in the working directory, the
// host's file while a run reads it, and the result that replaces it.
#pragma once

#include <memory>

#include "files/files.hpp"
#include "run/failure.hpp"

namespace textmatte {

inline constexpr const char* kHostName = "jwc_temp.txt";
inline constexpr const char* kFirstStep = "JWC_x2x2.$$";
inline constexpr const char* kSecondStep = "JWC_x2x2.$$$";
inline constexpr const char* kWorkName = "JWC_TEMP.TXT";
inline constexpr const char* kOutputName = "JWC_TEMP.$$$";
// Where a platform locks the exchange with a file of its own (Windows).
inline constexpr const char* kLockName = "JWC_TEMP.LCK";

// Takes the host's file for one run and hands it back on every way out,
// exceptions included.
//
// Where names tell case apart, the host's file stays under its own name for
// the whole run: it is read where it is, and only the complete, synced
// output replaces it, in one rename. Whatever ends the process, the name
// holds the drawing as the host wrote it or the complete result.
//
// Where names ignore case (Windows), the working name JWC_TEMP.TXT is the
// host's name: the file is moved there by way of the two intermediate
// names, and put back under the host's spelling unless the output has
// replaced it.
//
// Only the host's own file is ever taken: a missing host's file is the
// missing-file case whatever else lies in the directory, and anything but a
// regular file, or a link to one of the program's own names, is refused
// before a name is touched. Leftovers of earlier runs are removed as names.
class Exchange {
  public:
    explicit Exchange(FileSystem& fs) : fs_(fs) {}
    ~Exchange();
    Exchange(const Exchange&) = delete;
    Exchange& operator=(const Exchange&) = delete;

    // Locks the exchange against other runs and takes the host's file.
    [[nodiscard]] Status take_over();
    // The name the drawing is read from once it is taken.
    const char* input_name() const { return moves_host_file_ ? kWorkName : kHostName; }
    // Creates the output file, new, with the drawing's permissions; nullptr
    // when it cannot be made.
    std::unique_ptr<OutFile> create_output();
    // The output is complete as it stands (a debug run's, or the refusal of
    // an input over the line limit) and stays.
    void keep_output();
    // The output is incomplete: it goes on the way out.
    void discard_output() { discard_output_ = true; }
    // Replaces the host's file with the complete, synced output in one rename.
    [[nodiscard]] Status replace_with_output();
    // Removes a discarded output and puts the host's file back under its own
    // name if it was moved; a failure to put it back is returned.
    [[nodiscard]] Status finish();
    // Whether the output has replaced the host's file: the run is complete.
    bool result_in_place() const { return result_in_place_; }
    // Whether the host's file is under its own name (after finish()).
    bool host_file_in_place() const { return at_ == nullptr; }
    // Where the drawing lies when it is not (after finish()).
    const char* drawing_left_under() const { return at_; }

  private:
    [[nodiscard]] Status refuse_links(const Entry& host);
    void remove_leftover(const char* name);
    [[nodiscard]] Status move_host_file(const Entry& host);
    bool step(const char* to);
    bool put_back();

    FileSystem& fs_;
    std::unique_ptr<ExchangeLock> lock_;
    Entry host_;                   // the host's file as taken
    bool moves_host_file_ = false; // names ignore case: the file goes to the working name
    const char* at_ = nullptr;     // where the moved host's file is; null: not moved
    bool output_created_ = false;
    bool discard_output_ = false;
    bool result_in_place_ = false;
};

} // namespace textmatte
