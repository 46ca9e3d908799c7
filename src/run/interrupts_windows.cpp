// Interrupts on Windows: Ctrl-C, Ctrl-Break, and the console window being
// closed, the user logging off or the system shutting down.
#include <windows.h>

#include "run/interrupts.hpp"
#include "run/messages.hpp"

namespace textmatte {

namespace {

// The console event that arrived, plus one; 0 while none has.
volatile LONG pending_event = 0;
// Set once the run is over (the host's file back under its name, if it
// could be) and the process is about to end by the interrupt.
HANDLE cleaned_up = nullptr;
// How long a closing console waits for that; the system allows about 5 s.
constexpr DWORD kCloseWaitMs = 4000;

BOOL WINAPI note_console_event(DWORD type) {
    switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        InterlockedCompareExchange(&pending_event, static_cast<LONG>(type) + 1, 0);
        // After these the system ends the process as soon as the handler
        // returns: wait until the run has cleaned up.
        if (type >= CTRL_CLOSE_EVENT && cleaned_up) WaitForSingleObject(cleaned_up, kCloseWaitMs);
        return TRUE;
    default: return FALSE;
    }
}

class ConsoleInterrupts final : public Interrupts {
  public:
    int pending() const override {
        return static_cast<int>(InterlockedCompareExchange(&pending_event, 0, 0));
    }
};

} // namespace

const Interrupts& install_interrupt_handlers() {
    static ConsoleInterrupts interrupts;
    cleaned_up = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(note_console_event, TRUE);
    return interrupts;
}

void end_by_interrupt(int) {
    if (cleaned_up) SetEvent(cleaned_up);
    ExitProcess(kWindowsInterruptedStatus);
}

} // namespace textmatte
