// Interrupts on POSIX systems: SIGINT, SIGTERM and SIGHUP.
#include <csignal>
#include <initializer_list>

#include <unistd.h>

#include "run/interrupts.hpp"

namespace textmatte {

namespace {

volatile std::sig_atomic_t pending_signal = 0;

extern "C" void note_interrupt(int signal) {
    if (pending_signal == 0) pending_signal = signal;
}

class SignalInterrupts final : public Interrupts {
  public:
    int pending() const override { return pending_signal; }
};

// Without SA_RESTART, so a write blocked on a full pipe returns and the run
// gets on to its next step. A signal the caller ignores stays ignored (a
// job started with nohup, say).
void handle(int signal) {
    struct sigaction old {};
    if (sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) return;
    struct sigaction action {};
    action.sa_handler = note_interrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    sigaction(signal, &action, nullptr);
}

} // namespace

const Interrupts& install_interrupt_handlers() {
    static SignalInterrupts interrupts;
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        handle(signal);
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    return interrupts;
}

void end_by_interrupt(int interrupt) {
    std::signal(interrupt, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, interrupt);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    raise(interrupt);
    _exit(128 + interrupt); // only if the default action did not end the process
}

} // namespace textmatte
