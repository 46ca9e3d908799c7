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

ProgramResult run_program(const std::string& program, const std::string& dir,
                          const std::vector<std::string>& args, const Launch& launch) {
    if (launch.file_size >= 0) throw std::runtime_error("no file-size limit on Windows");
    TempDir capture;
    const std::string out_path = capture.path() + "\\stdout";
    const std::string err_path = capture.path() + "\\stderr";
    HANDLE out = inheritable_file(out_path);
    HANDLE err = inheritable_file(err_path);
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
    PROCESS_INFORMATION pi{};
    const BOOL started = CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, TRUE, 0,
                                        env.data(), dir.c_str(), &si, &pi);
    CloseHandle(out);
    CloseHandle(err);
    if (!started) throw std::runtime_error("CreateProcess failed for " + program);
    if (launch.kill_after_us >= 0) {
        Sleep(static_cast<DWORD>(launch.kill_after_us / 1000));
        TerminateProcess(pi.hProcess, 9);
    }
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    ProgramResult r;
    r.status = static_cast<int>(code);
    r.out = lf_lines(read_file(out_path));
    r.err = lf_lines(read_file(err_path));
    return r;
}

} // namespace textmatte::testing
