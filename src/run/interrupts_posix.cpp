// Interrupts and faults on POSIX systems.
#include <csignal>
#include <string_view>

#include <unistd.h>

#include "files/files.hpp"
#include "run/ending.hpp"
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

bool interrupt_pending() noexcept {
    return pending_signal != 0;
}

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
void say(std::string_view text) {
    (void)!::write(STDERR_FILENO, text.data(), text.size()); // nothing to do if it fails
}

// The decimal digits of a signal number.
std::string_view signal_number(int signal, char (&digits)[4]) {
    int n = signal, count = n >= 100 ? 3 : n >= 10 ? 2 : 1;
    for (int k = count - 1; k >= 0; --k, n /= 10)
        digits[k] = static_cast<char>('0' + n % 10);
    return {digits, static_cast<std::size_t>(count)};
}

extern "C" void end_after_fault(int signal) {
    const AroundNumber line = around_number(row_of(clean_up_after_fault()).format);
    char digits[4];
    say(line.before);
    say(signal_number(signal, digits));
    say(line.after);
    ::_exit(kFaultStatusBase + signal);
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
    // A read or write that blocks (a hung network file) and is cut short
    // by one of them gives up, so the run stops.
    give_up_cut_short_calls_when(interrupt_pending);
    if (!kSanitized) install_fault_handlers();
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    return interrupts;
}

void end_by_interrupt(int interrupt) {
    if (dumps_core(interrupt)) ::_exit(kFaultStatusBase + interrupt);
    std::signal(interrupt, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, interrupt);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    raise(interrupt);
    ::_exit(kFaultStatusBase + interrupt); // only if the default action did not end the process
}

} // namespace textmatte
