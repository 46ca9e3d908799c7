#include "run/ending.hpp"

#include <atomic>
#include <cassert>

#include "files/files.hpp"

namespace textmatte {

namespace {

// The output's stage and name as the fault handler reads them: process-wide,
// since a signal handler reaches nothing else.
std::atomic<int> fault_stage{static_cast<int>(OutputStage::none)};
std::atomic<const char*> fault_output_name{nullptr};
std::atomic<const char*> fault_lock_name{nullptr};
std::atomic<const char*> fault_host_name{nullptr};
// Written before the stage that reads it is stored, and read by a handler
// on the same thread: the stage's store orders it.
FileId fault_output_id;
static_assert(std::atomic<int>::is_always_lock_free &&
                  std::atomic<const char*>::is_always_lock_free,
              "read in a signal handler");

bool catastrophic(const Failure& f) {
    return f.report == Report::out_of_memory || f.report == Report::unexpected;
}

} // namespace

RunEnding::RunEnding(const Interrupts& interrupts, bool debug_run)
    : interrupts_(interrupts), debug_run_(debug_run) {
    set_stage(OutputStage::none); // nothing of an earlier run in this process
}

RunEnding::~RunEnding() {
    assert(attached_ == 0 && "the exchange ends before the ending it reports to");
    work_over();
}

// A result in place stays in place; anything else is no longer the run's.
void RunEnding::work_over() {
    work_over_ = true;
    fault_lock_name.store(nullptr);
    if (stage_ != OutputStage::in_place) set_stage(OutputStage::none);
}

void RunEnding::directory_locked(const char* lock_name) {
    fault_lock_name.store(lock_name);
}

namespace {

// The steps an output takes, as the exchange reports them: the fault
// handler relies on each stage covering the step that leads out of it. Any
// stage but `in_place` may end in `none`: the output gone, kept, or no
// longer the run's once its work is over.
constexpr bool may_follow(OutputStage from, OutputStage to) {
    using S = OutputStage;
    if (to == S::none) return from != S::in_place;
    switch (from) {
    case S::none: return to == S::creating;
    case S::creating: return to == S::partial;
    case S::partial: return to == S::complete;
    case S::complete: return to == S::complete || to == S::replacing || to == S::swapping;
    case S::replacing: return to == S::complete || to == S::in_place;
    case S::swapping: return to == S::complete || to == S::in_place;
    case S::in_place: return to == S::in_place;
    }
    return false;
}

} // namespace

void RunEnding::set_stage(OutputStage stage) {
    assert(may_follow(stage_, stage) && "an output stage out of its order");
    stage_ = stage;
    fault_stage.store(static_cast<int>(stage));
}

void RunEnding::output_creating(const char* name) {
    fault_output_name.store(name);
    set_stage(OutputStage::creating);
}

void RunEnding::output_created(const FileId& id) {
    fault_output_id = id;
    set_stage(OutputStage::partial);
}

void RunEnding::output_complete() {
    set_stage(OutputStage::complete);
}

void RunEnding::output_kept() {
    output_kept_ = true;
    set_stage(OutputStage::none);
}

void RunEnding::output_gone() {
    set_stage(OutputStage::none);
}

void RunEnding::output_replacing() {
    set_stage(OutputStage::replacing);
}

void RunEnding::output_swapping(const char* host_name) {
    fault_host_name.store(host_name);
    set_stage(OutputStage::swapping);
}

void RunEnding::output_in_place() {
    set_stage(OutputStage::in_place);
}

void RunEnding::stop(Failure failure) {
    if (!failure_) failure_ = std::move(failure);
}

void RunEnding::settle() {
    if (settled_) return;
    settled_ = true;
    if (failure_ && !result_in_place()) interrupted_by_ = interrupts_.pending();
}

bool RunEnding::discards_output() const {
    assert(settled_);
    if (result_in_place()) return false;
    if (interrupted() || (failure_ && catastrophic(*failure_))) return true;
    return !debug_run_ && !output_kept_;
}

RunResult RunEnding::report(const MaybeFailure& not_put_back, const char* left_under,
                            Output& errors) const {
    assert(settled_);
    RunResult result;
    if (result_in_place()) {
        // Complete: nothing after the result went in undoes that, but a
        // folder that could not be synced is said.
        if (failure_ && failure_->report == Report::not_durable) {
            write_failure(*failure_, errors);
            result.status = exit_code(ExitStatus::not_durable);
        }
        return result;
    }
    if (interrupted()) {
        result.interrupted_by = interrupted_by_;
        // The interrupt's line says where the drawing is.
        write_failure(not_put_back ? Failure::naming(Report::interrupted_left, left_under)
                                   : Failure::of(Report::interrupted),
                      errors);
        return result;
    }
    if (failure_) write_failure(*failure_, errors);
    if (not_put_back) write_failure(*not_put_back, errors);
    if (const MaybeFailure& first = failure_ ? failure_ : not_put_back)
        result.status = exit_code(status_of(first->report));
    return result;
}

FaultView fault_view() noexcept {
    return {static_cast<OutputStage>(fault_stage.load()), fault_output_name.load(),
            fault_lock_name.load(), fault_output_id, fault_host_name.load()};
}

namespace {

// A fault while the output swaps names with the host's file, or while the
// drawing that came out is checked: the swap, if it went through, is
// undone, and the output removed.
Report undo_swap_after_fault(const FaultView& view) noexcept {
    if (!names_file_at_once(view.output_name, view.output_id) &&
        names_file_at_once(view.host_name, view.output_id) &&
        !swap_at_once(view.output_name, view.host_name))
        return Report::fault_after; // the result stays in place
    if (names_file_at_once(view.output_name, view.output_id))
        (void)remove_name_at_once(view.output_name);
    return Report::fault_before;
}

} // namespace

namespace {

// What a fault does with the output at its stage, and which line it says.
Report clean_up_output_after_fault(const FaultView& view) noexcept {
    const char* name = view.output_name;
    switch (view.stage) {
    case OutputStage::none: return Report::fault_before;
    case OutputStage::creating:
    case OutputStage::partial:
    case OutputStage::complete:
        (void)remove_name_at_once(name); // nothing there: nothing to remove
        return Report::fault_before;
    case OutputStage::replacing:
        // Gone from its own name, it replaced the drawing; still there, or
        // not known, the drawing is as it was.
        return remove_name_at_once(name) == Removal::already_gone ? Report::fault_after
                                                                  : Report::fault_before;
    case OutputStage::in_place: return Report::fault_after;
    case OutputStage::swapping: return undo_swap_after_fault(view);
    }
    return Report::fault_before;
}

} // namespace

// The lock file goes last, once the output is seen to: until then no other
// run may take the folder and put its own output under the same name. The
// lock on the file goes with the process.
Report clean_up_after_fault() noexcept {
    const FaultView view = fault_view();
    const Report said = clean_up_output_after_fault(view);
    if (view.lock_name) (void)remove_name_at_once(view.lock_name);
    // Also one still being taken, before the ending learnt its name.
    (void)remove_own_lock_file_at_once();
    return said;
}

} // namespace textmatte
