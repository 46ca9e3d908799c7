// The file exchange with the host: the names in the working directory, the
// host's file while a run reads it, and the result that replaces it.
#pragma once

#include <cassert>
#include <cstdint>
#include <memory>

#include "files/files.hpp"
#include "run/checksum.hpp"
#include "run/ending.hpp"
#include "run/failure.hpp"

namespace textmatte {

inline constexpr const char* kHostName = "jwc_temp.txt";
// Where names ignore case, the host's file moves to the working name by way
// of these two, one rename each.
inline constexpr const char* kFirstIntermediateName = "JWC_x2x2.$$";
inline constexpr const char* kSecondIntermediateName = "JWC_x2x2.$$$";
inline constexpr const char* kWorkName = "JWC_TEMP.TXT";
inline constexpr const char* kOutputName = "JWC_TEMP.$$$";
// The lock that keeps other runs out of the directory.
inline constexpr const char* kLockName = "JWC_TEMP.LCK";

// Takes the host's file for one run and hands it back on every way out,
// exceptions included.
//
// A run first locks the directory, so no other run gets past its start
// while this one is live, whatever becomes of the host's file meanwhile
// (where the file system offers no locks, runs are not kept apart).
//
// Where names tell case apart, the host's file stays under its own name for
// the whole run: it is read where it is, and kept open to the end, so that
// no other file can take its identity. Only the complete, synced output
// replaces it, in one step, and only while the run still holds its lock
// and its output under their names: where the file system can swap two
// names, the two files swap, and the file that comes out must be the very
// file that was read, with the same size, time and bytes, or they swap
// back; elsewhere the output is renamed over the drawing if the name still
// holds that file, unchanged as far as its size and times tell. Whatever
// ends the process, the name holds the drawing as the host wrote it or the
// complete result.
//
// Where names ignore case (Windows), the working name JWC_TEMP.TXT is the
// host's name: the file is moved there by way of the two intermediate
// names, and put back under the host's spelling unless the output has
// replaced it.
//
// Only the host's own file is ever taken: a missing host's file is the
// missing-file case whatever else lies in the directory, and anything but a
// regular file, or a name that leads through one of the program's own
// names, is refused before a name is touched. Leftovers of earlier runs are
// removed as names, and only under the lock.
class Exchange {
  public:
    Exchange(FileSystem& fs, RunEnding& ending)
        : fs_(fs), ending_(ending), moves_host_file_(fs.names_ignore_case()) {}
    ~Exchange();
    Exchange(const Exchange&) = delete;
    Exchange& operator=(const Exchange&) = delete;

    // Locks the directory against other runs and takes the host's file.
    [[nodiscard]] MaybeFailure take_over();
    // Opens the drawing where it lies now, notes how it stood, and keeps it
    // open until finish() (on Windows, until just before the rename, since
    // Windows replaces no open file).
    [[nodiscard]] MaybeFailure open_drawing();
    // The open drawing's bytes, from its start; each byte read counts
    // towards the checksum the result's check compares.
    ByteSource& drawing() { return drawing_source_; }
    // Reads the drawing again from its start: after counting its lines, and
    // to check the file a swap took out.
    [[nodiscard]] bool read_drawing_again();
    // The system's code for the last read of the drawing that failed; 0: none.
    int drawing_read_error() const { return drawing_file_ ? drawing_file_->system_error() : 0; }
    // The name the drawing is read from once it is taken.
    const char* drawing_name() const { return moves_host_file_ ? kWorkName : kHostName; }
    // Creates the output file, new; on POSIX systems with the drawing's
    // permissions, owner, group and ACL, on Windows with the folder's.
    [[nodiscard]] MaybeFailure create_output(std::unique_ptr<OutFile>& file);
    // Removes the output file, so that another can take its name; only this
    // run's own output, never a file another put under its name.
    [[nodiscard]] Outcome remove_output();
    // The output is complete as it stands (a debug run's, or the refusal of
    // an input over the line limit) and stays.
    void keep_output();
    // Whether the drawing is still the file that was read, unchanged.
    [[nodiscard]] MaybeFailure check_drawing_unchanged();
    // Replaces the host's file with the complete, synced output in one
    // step, once the lock, the output and the drawing are still as the run
    // left them, then makes the step durable.
    [[nodiscard]] MaybeFailure replace_drawing_with_output();
    // Closes the drawing, removes the output when it is to go, tells the
    // ending the work is over, and puts the host's file back under its own
    // name if it was moved; a failure to put it back is returned.
    [[nodiscard]] MaybeFailure finish(bool discard_output);
    // Where the drawing lies when it could not be put back (after finish()).
    const char* drawing_left_under() const { return moved_drawing_at_; }

  private:
    // Counts what the drawing yields towards the checksum.
    class ChecksummedDrawing final : public ByteSource {
      public:
        explicit ChecksummedDrawing(Exchange& exchange) : exchange_(exchange) {}
        long read(char* data, std::size_t size) override;

      private:
        Exchange& exchange_;
    };

    [[nodiscard]] MaybeFailure refuse_links(const Entry& host);
    [[nodiscard]] MaybeFailure clear_leftover_output(bool locked);
    [[nodiscard]] MaybeFailure check_still_ours();
    [[nodiscard]] MaybeFailure swap_in_output();
    [[nodiscard]] MaybeFailure check_came_out_as_read();
    [[nodiscard]] bool output_is_ours(const char* name);
    [[nodiscard]] MaybeFailure rename_output_over_drawing();
    [[nodiscard]] MaybeFailure after_result_in_place();
    [[nodiscard]] Outcome remove_leftover(const char* name);
    [[nodiscard]] MaybeFailure move_host_file(const Entry& host);
    [[nodiscard]] Outcome move_drawing_to(const char* to);
    [[nodiscard]] Outcome put_back();

    // The lock, released only once the run's work is over: until then a
    // fault removes the lock file as the run's own, and after the release
    // the file may be another run's.
    class HeldLock {
      public:
        explicit HeldLock(const RunEnding& ending) : ending_(ending) {}
        ~HeldLock() { assert(!lock || ending_.work_is_over()); }
        HeldLock(const HeldLock&) = delete;
        HeldLock& operator=(const HeldLock&) = delete;

        std::unique_ptr<ExchangeLock> lock;

      private:
        const RunEnding& ending_;
    };

    FileSystem& fs_;
    RunEnding& ending_;
    // Declared before everything it outlasts: the lock and the files go first.
    RunEnding::Attachment attachment_{ending_};
    HeldLock lock_{ending_};
    bool moves_host_file_;                   // names ignore case: the file goes to the working name
    const char* moved_drawing_at_ = nullptr; // where the moved host's file is; null: not moved
    std::unique_ptr<InFile> drawing_file_;   // open from open_drawing() to finish()
    FileState drawing_as_read_;              // the drawing when it was opened
    ChecksummedDrawing drawing_source_{*this};
    std::uint64_t checksum_seed_ = 0;
    Checksum checksum_{0}; // of the bytes read since the drawing's start
    std::uint64_t bytes_read_ = 0;
    std::unique_ptr<char[]> check_block_; // the drawing read again into it
    bool read_failed_ = false;
    FileId output_id_;                      // this run's output file
    std::unique_ptr<FileHold> output_hold_; // keeps its identity its own to the end
    bool output_on_disk_ = false;
};

} // namespace textmatte
