// Runs the built program the way the host does: in a directory of its own,
// with standard output and error captured, and optionally a file-size
// limit, a signal at a chosen moment, or closed console streams.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace textmatte::testing {

// Signals a test may send; on Windows, kill is TerminateProcess and
// interrupt a Ctrl-Break console event.
constexpr int kKillSignal = 9;
constexpr int kInterruptSignal = 2;
constexpr int kHangupSignal = 1;
constexpr int kTerminateSignal = 15;

struct ProgramResult {
    int status = -1000; // exit status as the shell sees it (0..255); 1000 + signal
    std::string out;
    std::string err;
    bool signal_undelivered = false; // the launch's signal could not be sent
};

struct Launch {
    long file_size = -1;          // RLIMIT_FSIZE in bytes; -1: none
    long address_space = -1;      // RLIMIT_AS in bytes; -1: as the test's
    long stack = -1;              // RLIMIT_STACK in bytes; -1: as the test's
    bool core_files = false;      // RLIMIT_CORE unlimited, so a core file would show
    bool as_nobody = false;       // started as the unprivileged user nobody (needs root)
    int umask = -1;               // the file-creation mask; -1: as the test's
    std::vector<std::string> env; // NAME=value pairs added
    long signal_after_us = -1;    // send `signal` after this long; -1: never
    int signal = kKillSignal;
    bool stdout_closed = false; // standard output is a pipe that nobody reads
    bool stderr_closed = false;
};

// A fresh, empty directory, removed with everything in it at the end.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string at(const std::string& name) const { return path_ + "/" + name; }
    void write(const std::string& name, const std::string& bytes) const;
    void make_directory(const std::string& name) const;
    // Every regular file in the directory, by folded name.
    std::map<std::string, std::string> files() const;

  private:
    std::string path_;
};

// A file name as a directory listing of this platform shows it: Windows
// compares names without regard to case, so there they are folded to lower
// case (JWC_TEMP.TXT and jwc_temp.txt are one file).
std::string fold(std::string name);
std::map<std::string, std::string> folded(const std::map<std::string, std::string>& files);

// The exit status of a program that returns -1.
#if defined(_WIN32)
constexpr int kStatusMinusOne = -1;
#else
constexpr int kStatusMinusOne = 255;
#endif

// The status of a run that an interrupt ended: the signal's default action
// on POSIX, the Ctrl-C exit code on Windows.
int status_after_interrupt(int signal);

// Whether a file-size limit can be set for a child (not on Windows).
bool file_size_limits_supported();

// Whether a child can be started as the user nobody (POSIX, as root).
bool can_run_as_nobody();

// A copy of `program` that the user nobody can reach and run: the program
// itself may lie where only its owner may enter (a root's home). Made once,
// in a folder of its own under the system's temporary folder, and tried:
// "" with the reason in `why_not` where nobody cannot run it.
std::string program_for_nobody(const std::string& program, std::string& why_not);

// The user-mode emulator the built programs run under, or "" where they run
// natively: the 32-bit Linux build on a machine without 32-bit support.
#ifndef TEXTMATTE_PROGRAM_EMULATOR
#define TEXTMATTE_PROGRAM_EMULATOR ""
#endif
constexpr const char* kProgramEmulator = TEXTMATTE_PROGRAM_EMULATOR;
inline bool programs_are_emulated() {
    return kProgramEmulator[0] != '\0';
}

// A program started and not yet waited for.
class Running {
  public:
    Running(const std::string& program, const std::string& dir,
            const std::vector<std::string>& args, const Launch& launch);
    ~Running();
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;

    // Sends a signal; false if the platform could not deliver it.
    bool send(int signal);
    // Waits for the end (sending the launch's signal on time) and collects
    // what the program left on its console streams.
    ProgramResult wait();

  private:
    struct Impl;
    Impl* impl_;
};

ProgramResult run_program(const std::string& program, const std::string& dir,
                          const std::vector<std::string>& args, const Launch& launch = {});

std::string read_file(const std::string& path);

// A drawing of `texts` text records, labelled by their number, at places
// and in directions that vary: large enough drawings for runs to be
// stopped, signalled or limited midway.
std::string text_drawing(int texts);

} // namespace textmatte::testing
