// How a run ends, decided in one place.
//
// The work of a run stops in one of three ways: it completes, a failure
// stops it (a value that comes up to here), or an interrupt arrives; and a
// fault may end the process at any moment. RunEnding keeps what each needs:
// the exchange tells it where the output file stands, step by step, and
// which lock file the run holds, so that a fault knows whether there is an
// output to remove or a swap to undo, and whether the result had already
// replaced jwc_temp.txt; and once the work has stopped it decides what
// becomes of the output, what is said and the exit status.
#pragma once

#include "interchange/output.hpp"
#include "run/failure.hpp"
#include "run/interrupts.hpp"

namespace textmatte {

// Where this run's output file stands, as a fault would find it.
enum class OutputStage : int {
    none,      // not on disk, complete and to stay (a debug run's, the refusal),
               // or no longer the run's once its work is over
    creating,  // being created: whatever is there is this run's
    partial,   // on disk, being written
    complete,  // complete and synced, not yet in place (or back from a swap or
               // rename that did not go in)
    replacing, // being renamed over jwc_temp.txt: still there, it is not in place
    in_place,  // the result replaced jwc_temp.txt
    swapping,  // swapping names with jwc_temp.txt, until the drawing that came out
               // is checked and removed: in place only where jwc_temp.txt is the
               // output
};

// What a run ended with; the caller ends the process by the interrupt, if any.
struct RunResult {
    int status = exit_code(ExitStatus::complete);
    int interrupted_by = 0; // the interrupt that stopped the run; 0: none
};

class RunEnding {
  public:
    RunEnding(const Interrupts& interrupts, bool debug_run);
    ~RunEnding();
    RunEnding(const RunEnding&) = delete;
    RunEnding& operator=(const RunEnding&) = delete;

    // The run holds the directory by this lock file, which a fault removes.
    void directory_locked(const char* lock_name);

    // The output file's stages, each told before the step that brings it
    // there is taken or right after it is done, so a fault between the
    // two finds the stage that covers both.
    void output_creating(const char* name);      // before the file is created
    void output_created(const FileId& id);       // it is there, and is this file
    void output_complete();                      // written and synced, or back from a
                                                 // swap or rename that did not go in
    void output_kept();                          // stays where it is: complete, or
                                                 // in jwc_temp.txt after a failed
                                                 // swap back
    void output_gone();                          // not created, or removed
    void output_replacing();                     // before the rename over jwc_temp.txt
    void output_swapping(const char* host_name); // before the swap with the host's name
    void output_in_place();                      // the rename is done, or the swap
                                                 // checked
    // The run no longer touches its output or its lock file: a fault leaves
    // what is there (the directory may be another run's from now on).
    void work_over();
    bool work_is_over() const { return work_over_; }

    // The exchange that reports to this ending: it must end first, since its
    // last steps still use the ending (its destructor ends the work, and its
    // lock checks on release that the work is over). Checked when the
    // ending goes.
    class Attachment {
      public:
        explicit Attachment(RunEnding& ending) : ending_(ending) { ++ending_.attached_; }
        ~Attachment() { --ending_.attached_; }
        Attachment(const Attachment&) = delete;
        Attachment& operator=(const Attachment&) = delete;

      private:
        RunEnding& ending_;
    };

    // The work stopped: the first failure is the one that counts.
    void stop(Failure failure);
    void stop_if(MaybeFailure failure) {
        if (failure) stop(std::move(*failure));
    }

    bool result_in_place() const { return stage_ == OutputStage::in_place; }
    // Once the work has stopped: whether an interrupt stopped it, before its
    // result was in place. Decided once; what arrives later changes nothing.
    void settle();
    bool interrupted() const { return interrupted_by_ != 0; }
    // The output goes on the way out: an interrupted run's, a normal run's
    // that is not in place (but for the refusal of a drawing over the line
    // limit, which stays), and any after memory ran out or an unexpected
    // error; a debug run keeps what it wrote, to be looked at.
    bool discards_output() const;

    // Says how the run ended, on `errors`, and gives its status: `not_put_back`
    // is the exchange's failure to give the drawing back its name, and
    // `left_under` where the drawing then lies.
    RunResult report(const MaybeFailure& not_put_back, const char* left_under,
                     Output& errors) const;

  private:
    void set_stage(OutputStage stage);

    const Interrupts& interrupts_;
    bool debug_run_;
    OutputStage stage_ = OutputStage::none;
    int attached_ = 0; // exchanges not yet ended
    bool work_over_ = false;
    bool output_kept_ = false;
    bool settled_ = false;
    int interrupted_by_ = 0;
    MaybeFailure failure_;
};

// What a fault would find at this moment: the output's stage, name and
// identity, the lock file, and the name the output swaps with.
struct FaultView {
    OutputStage stage = OutputStage::none;
    const char* output_name = nullptr;
    const char* lock_name = nullptr; // the run's lock file; null: none held
    FileId output_id;                // the output file, once created
    const char* host_name = nullptr; // what the output swaps with
};
FaultView fault_view() noexcept;

// For the fault handler only: removes this run's lock file, and its output
// file if a fault finds one that is not in place (swapping it back first
// if a swap went through), and tells which line to say. Safe in a signal
// handler.
Report clean_up_after_fault() noexcept;

} // namespace textmatte
