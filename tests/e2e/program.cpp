#include "e2e/program.hpp"

#include <filesystem>
#include <stdexcept>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace textmatte::testing {

namespace fs = std::filesystem;

std::string fold(std::string name) {
    return name;
}

bool file_size_limits_supported() {
    return true;
}

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "textmatte-e2e-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

ProgramResult run_program(const std::string& program, const std::string& dir,
                          const std::vector<std::string>& args, const Launch& launch) {
    TempDir capture; // outside the working directory, which is checked whole
    const std::string out_path = capture.path() + "/stdout";
    const std::string err_path = capture.path() + "/stderr";
    pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 || chdir(dir.c_str()) != 0)
            _exit(200);
        if (launch.file_size >= 0) {
            signal(SIGXFSZ, SIG_IGN); // a write past the limit fails instead
            rlimit rl{static_cast<rlim_t>(launch.file_size), static_cast<rlim_t>(launch.file_size)};
            setrlimit(RLIMIT_FSIZE, &rl);
        }
        for (const std::string& e : launch.env)
            putenv(const_cast<char*>(e.c_str()));
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(201);
    }
    if (launch.kill_after_us >= 0) {
        usleep(static_cast<useconds_t>(launch.kill_after_us));
        kill(pid, SIGKILL);
    }
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    ProgramResult r;
    r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 1000 + WTERMSIG(wstatus);
    r.out = read_file(out_path);
    r.err = read_file(err_path);
    return r;
}

} // namespace textmatte::testing
