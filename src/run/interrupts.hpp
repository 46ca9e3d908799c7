// Requests from outside to stop a run: Ctrl-C, a closed terminal or
// console window, a service being stopped.
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

// Installs the process's handlers, which only note what arrived, so that
// the run can stop at its next step and put the host's file back. Also
// makes writes to a closed pipe or past a file-size limit fail as errors
// instead of ending the process.
const Interrupts& install_interrupt_handlers();

// Ends the process as the interrupt would have ended it.
[[noreturn]] void end_by_interrupt(int interrupt);

} // namespace textmatte
