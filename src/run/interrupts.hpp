// Requests from outside to stop a run (Ctrl-C, a closed terminal or
// console window, a service being stopped, any other signal that would end
// the process), and faults that end it.
#pragma once

namespace textmatte {

class Interrupts {
  public:
    // The interrupt that has arrived (a signal number, or a console event
    // on Windows); 0 while none has.
    virtual int pending() const = 0;

  protected:
    ~Interrupts() = default;
};

// A run that nothing interrupts: tests, and code that runs no process.
class NoInterrupts final : public Interrupts {
  public:
    int pending() const override { return 0; }
};

// Installs the process's handlers. A signal that would end the process only
// notes what arrived, so that the run can stop at its next step and leave
// the host's file as it was. On POSIX systems, a fault (a bad memory
// access, a stack overflow, an abort) removes the run's lock file and its
// output if not in place, undoing a swap (as RunEnding has the output's
// stage), says in one line whether the result was in place and ends the
// process at once, without a core file; and writes to a closed pipe or past
// a file-size limit fail as errors instead of ending the process.
const Interrupts& install_interrupt_handlers();

// Ends the process as the interrupt would have ended it, but without a core
// file: a signal whose default action dumps core ends it with 128 + its
// number.
[[noreturn]] void end_by_interrupt(int interrupt);

} // namespace textmatte
