// Interrupts and faults on POSIX systems.
#include <atomic>
#include <cassert>
#include <csignal>
#include <cstring>
#include <initializer_list>

#include <unistd.h>

#include "files/files.hpp"
#include "run/interrupts.hpp"

namespace textmatte {

namespace {

volatile std::sig_atomic_t pending_signal = 0;
std::atomic<bool> result_in_place{false};

extern "C" void note_interrupt(int signal) {
    if (pending_signal == 0) pending_signal = signal;
}

class SignalInterrupts final : public Interrupts {
  public:
    int pending() const override { return pending_signal; }
};

// Signals whose default action ends the process and that may arrive at any
// moment: the run notes them and stops at its next step.
constexpr int kEnding[] = {
    SIGHUP,    SIGINT, SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU,
#ifdef SIGIO
    SIGIO,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
};

// Signals of a fault in the process itself, which cannot go on.
constexpr int kFaults[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGSYS, SIGTRAP};

// Signals whose default action writes a core file.
constexpr int kDumpingCore[] = {SIGQUIT, SIGILL,  SIGTRAP, SIGABRT, SIGBUS,
                                SIGFPE,  SIGSEGV, SIGXCPU, SIGXFSZ, SIGSYS};

bool dumps_core(int signal) {
    for (int s : kDumpingCore)
        if (s == signal) return true;
    return false;
}

// A line written from a signal handler: no formatting, no allocation.
void say(const char* text) {
    (void)!::write(STDERR_FILENO, text, std::strlen(text)); // nothing to do if it fails
}

extern "C" void end_after_fault(int signal) {
    remove_crash_leftover();
    char number[4] = {};
    int n = signal, i = n >= 100 ? 3 : n >= 10 ? 2 : 1;
    for (int k = i - 1; k >= 0; --k, n /= 10)
        number[k] = static_cast<char>('0' + n % 10);
    say("Stopped by signal ");
    say(number);
    say(result_in_place.load() ? " after the result replaced jwc_temp.txt \n"
                               : ": jwc_temp.txt is as it was before the run \n");
    ::_exit(128 + signal);
}

// Without SA_RESTART, so a write blocked on a full pipe returns and the run
// gets on to its next step. A signal the caller ignores stays ignored (a
// job started with nohup, say).
void note(int signal) {
    struct sigaction old {};
    if (sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) return;
    struct sigaction action {};
    action.sa_handler = note_interrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    (void)sigaction(signal, &action, nullptr); // a signal that cannot be caught keeps its default
}

// The sanitizers report faults themselves; their report is worth more than
// a removed partial output.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// On a stack of their own, so a stack overflow can be handled too.
void end_on_fault(int signal) {
    struct sigaction action {};
    action.sa_handler = end_after_fault;
    sigfillset(&action.sa_mask);
    action.sa_flags = SA_ONSTACK | SA_RESETHAND;
    (void)sigaction(signal, &action, nullptr); // without it a fault ends the run as before
}

void install_fault_handlers() {
    static char fault_stack[1 << 16];
    stack_t stack{};
    stack.ss_sp = fault_stack;
    stack.ss_size = sizeof fault_stack;
    if (sigaltstack(&stack, nullptr) != 0) return;
    for (int signal : kFaults)
        end_on_fault(signal);
}

} // namespace

const Interrupts& install_interrupt_handlers() {
    static SignalInterrupts interrupts;
    for (int signal : kEnding)
        note(signal);
    for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal)
        note(signal);
    if (!kSanitized) install_fault_handlers();
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    return interrupts;
}

namespace {
sigset_t mask_before_holding;
bool holding = false;
} // namespace

// The program runs on one thread, so the process's mask is the thread's.
SignalsHeldBack::SignalsHeldBack() {
    assert(!holding);
    sigset_t all;
    sigfillset(&all);
    holding = sigprocmask(SIG_BLOCK, &all, &mask_before_holding) == 0;
}

SignalsHeldBack::~SignalsHeldBack() {
    if (holding) (void)sigprocmask(SIG_SETMASK, &mask_before_holding, nullptr); // cannot fail
    holding = false;
}

void note_result_in_place() {
    result_in_place.store(true);
}

void end_by_interrupt(int interrupt) {
    if (dumps_core(interrupt)) ::_exit(128 + interrupt);
    std::signal(interrupt, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, interrupt);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    raise(interrupt);
    ::_exit(128 + interrupt); // only if the default action did not end the process
}

} // namespace textmatte
