// Windows: running the program with CreateProcess, in a directory of its
// own. The file system there ignores case, so listings are folded.
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "e2e/program.hpp"

namespace textmatte::testing {

namespace fs = std::filesystem;

std::string fold(std::string name) {
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return name;
}

bool file_size_limits_supported() {
    return false;
}

std::string program_for_nobody(const std::string&, std::string& why_not) {
    why_not = "there is no user nobody to start programs as on Windows";
    return "";
}

bool can_run_as_nobody() {
    return false;
}

TempDir::TempDir() {
    static unsigned counter = 0;
    for (;;) {
        const fs::path p =
            fs::temp_directory_path() / ("textmatte-e2e-" + std::to_string(GetCurrentProcessId()) +
                                         "-" + std::to_string(counter++));
        if (CreateDirectoryA(p.string().c_str(), nullptr)) {
            path_ = p.string();
            return;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) throw std::runtime_error("no temp dir");
    }
}

namespace {

// The console's CR LF line ends, folded to LF as on other platforms.
std::string lf_lines(std::string s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i)
        if (!(s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n')) out += s[i];
    return out;
}

std::string quoted(const std::string& arg) {
    std::string q = "\"";
    for (char c : arg) {
        if (c == '"') q += '\\';
        q += c;
    }
    return q + "\"";
}

HANDLE inheritable_file(const std::string& path) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The current environment with the extra variables added.
std::string environment_block(const std::vector<std::string>& extra) {
    std::string block;
    char* env = GetEnvironmentStringsA();
    for (const char* p = env; *p; p += std::strlen(p) + 1)
        block.append(p, std::strlen(p) + 1);
    FreeEnvironmentStringsA(env);
    for (const std::string& e : extra)
        block.append(e.c_str(), e.size() + 1);
    block += '\0';
    return block;
}

} // namespace

int status_after_interrupt(int) {
    return static_cast<int>(0xC000013Au); // how Ctrl-C and Ctrl-Break end a console program
}

struct Running::Impl {
    TempDir capture;
    PROCESS_INFORMATION pi{};
    Launch launch;
    ULONGLONG started = 0;
};

namespace {

// A handle the child inherits for one of its standard streams: a file, or
// a pipe whose reading end is already closed.
HANDLE child_stream(const std::string& path, bool closed) {
    if (!closed) return inheritable_file(path);
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE read_end = INVALID_HANDLE_VALUE, write_end = INVALID_HANDLE_VALUE;
    if (!CreatePipe(&read_end, &write_end, &sa, 0)) return INVALID_HANDLE_VALUE;
    CloseHandle(read_end);
    return write_end;
}

} // namespace

Running::Running(const std::string& program, const std::string& dir,
                 const std::vector<std::string>& args, const Launch& launch)
    : impl_(new Impl) {
    if (launch.file_size >= 0 || launch.address_space >= 0 || launch.stack >= 0 || launch.as_nobody)
        throw std::runtime_error("no resource limits or other users here on Windows");
    impl_->launch = launch;
    HANDLE out = child_stream(impl_->capture.path() + "\\stdout", launch.stdout_closed);
    HANDLE err = child_stream(impl_->capture.path() + "\\stderr", launch.stderr_closed);
    std::string command = quoted(program);
    for (const std::string& a : args)
        command.append(1, ' ').append(quoted(a));
    std::string env = environment_block(launch.env);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = out;
    si.hStdError = err;
    // A process group of its own, so a console event can be sent to it alone.
    const BOOL started =
        CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, TRUE,
                       CREATE_NEW_PROCESS_GROUP, env.data(), dir.c_str(), &si, &impl_->pi);
    CloseHandle(out);
    CloseHandle(err);
    if (!started) {
        delete impl_;
        throw std::runtime_error("CreateProcess failed for " + program);
    }
    impl_->started = GetTickCount64();
}

Running::~Running() {
    if (impl_->pi.hProcess) {
        TerminateProcess(impl_->pi.hProcess, 9);
        WaitForSingleObject(impl_->pi.hProcess, INFINITE);
        CloseHandle(impl_->pi.hThread);
        CloseHandle(impl_->pi.hProcess);
    }
    delete impl_;
}

bool Running::send(int signal) {
    if (!impl_->pi.hProcess) return false;
    if (signal == kKillSignal) return TerminateProcess(impl_->pi.hProcess, 9) != 0;
    // Wine, having no console here, cannot deliver console events.
    return GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, impl_->pi.dwProcessId) != 0;
}

ProgramResult Running::wait() {
    bool undelivered = false;
    if (impl_->launch.signal_after_us >= 0) {
        // The signal goes only to a program that is still running.
        const ULONGLONG at = impl_->started + impl_->launch.signal_after_us / 1000;
        const ULONGLONG now = GetTickCount64();
        const DWORD wait_ms = at > now ? static_cast<DWORD>(at - now) : 0;
        if (WaitForSingleObject(impl_->pi.hProcess, wait_ms) == WAIT_TIMEOUT)
            undelivered = !send(impl_->launch.signal);
    }
    WaitForSingleObject(impl_->pi.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(impl_->pi.hProcess, &code);
    CloseHandle(impl_->pi.hThread);
    CloseHandle(impl_->pi.hProcess);
    impl_->pi = {};
    ProgramResult r;
    r.status = static_cast<int>(code);
    r.signal_undelivered = undelivered;
    r.out = lf_lines(read_file(impl_->capture.path() + "\\stdout"));
    r.err = lf_lines(read_file(impl_->capture.path() + "\\stderr"));
    return r;
}

} // namespace textmatte::testing
