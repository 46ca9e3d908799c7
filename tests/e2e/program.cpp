// POSIX: running the program with fork and exec, in a directory of its own.
#include "e2e/program.hpp"

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
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

bool can_run_as_nobody() {
    return geteuid() == 0 && getpwnam("nobody") != nullptr;
}

std::string program_for_nobody(const std::string& program, std::string& why_not) {
    if (!can_run_as_nobody()) {
        why_not = "starting a program as another user needs root and the user nobody";
        return "";
    }
    static TempDir shared; // lives as long as the test program
    const std::string copy = shared.at(fs::path(program).filename().string());
    std::error_code ec;
    if (!fs::exists(copy)) {
        fs::copy_file(program, copy, ec);
        chmod(shared.path().c_str(), 0755);
        chmod(copy.c_str(), 0755);
    }
    TempDir dir;
    chmod(dir.path().c_str(), 0777);
    Launch nobody;
    nobody.as_nobody = true;
    const ProgramResult r = run_program(copy, dir.path(), {"--version"}, nobody);
    if (ec || r.status != 0) {
        why_not = "the user nobody cannot run " + copy + " (copied from " + program + "): status " +
                  std::to_string(r.status) + ", " + r.err;
        return "";
    }
    return copy;
}

int status_after_interrupt(int signal) {
    return 1000 + signal;
}

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "textmatte-e2e-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

struct Running::Impl {
    TempDir capture; // outside the working directory, which is checked whole
    pid_t pid = -1;
    Launch launch;
    std::chrono::steady_clock::time_point started;
};

namespace {

// The standard stream `fd` of the child: a file, or a pipe nobody reads.
bool redirect(int fd, const std::string& path, bool closed) {
    int target;
    if (closed) {
        int ends[2];
        if (pipe(ends) != 0) return false;
        close(ends[0]);
        target = ends[1];
    } else {
        target = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    return target >= 0 && dup2(target, fd) >= 0;
}

} // namespace

Running::Running(const std::string& program, const std::string& dir,
                 const std::vector<std::string>& args, const Launch& launch)
    : impl_(new Impl) {
    impl_->launch = launch;
    const std::string out_path = impl_->capture.path() + "/stdout";
    const std::string err_path = impl_->capture.path() + "/stderr";
    impl_->started = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        // The host's signal dispositions: everything at its default.
        for (int s : {SIGPIPE, SIGXFSZ, SIGINT, SIGTERM, SIGHUP})
            signal(s, SIG_DFL);
        if (!redirect(1, out_path, launch.stdout_closed) ||
            !redirect(2, err_path, launch.stderr_closed) || chdir(dir.c_str()) != 0)
            _exit(200);
        auto limit = [](int resource, long bytes) {
            if (bytes < 0) return;
            rlimit rl{static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
            setrlimit(resource, &rl);
        };
        limit(RLIMIT_FSIZE, launch.file_size);
        limit(RLIMIT_AS, launch.address_space);
        limit(RLIMIT_STACK, launch.stack);
        if (launch.core_files) {
            rlimit rl{RLIM_INFINITY, RLIM_INFINITY};
            setrlimit(RLIMIT_CORE, &rl);
        }
        if (launch.umask >= 0) umask(static_cast<mode_t>(launch.umask));
        if (launch.as_nobody) {
            const passwd* nobody = getpwnam("nobody");
            if (!nobody || setgroups(0, nullptr) != 0 || setgid(nobody->pw_gid) != 0 ||
                setuid(nobody->pw_uid) != 0)
                _exit(202);
        }
        for (const std::string& e : launch.env)
            putenv(const_cast<char*>(e.c_str()));
        std::vector<char*> argv;
        if (programs_are_emulated()) argv.push_back(const_cast<char*>(kProgramEmulator));
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(201);
    }
    impl_->pid = pid;
}

Running::~Running() {
    if (impl_->pid > 0) {
        kill(impl_->pid, SIGKILL);
        waitpid(impl_->pid, nullptr, 0);
    }
    delete impl_;
}

bool Running::send(int signal) {
    return impl_->pid > 0 && kill(impl_->pid, signal) == 0;
}

ProgramResult Running::wait() {
    int wstatus = 0;
    bool ended = false, undelivered = false;
    if (impl_->launch.signal_after_us >= 0) {
        // The signal goes only to a program that is still running.
        const auto at = impl_->started + std::chrono::microseconds(impl_->launch.signal_after_us);
        while (!ended && std::chrono::steady_clock::now() < at) {
            ended = waitpid(impl_->pid, &wstatus, WNOHANG) == impl_->pid;
            if (!ended) std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        if (!ended) undelivered = !send(impl_->launch.signal);
    }
    if (!ended) waitpid(impl_->pid, &wstatus, 0);
    impl_->pid = -1;
    ProgramResult r;
    r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 1000 + WTERMSIG(wstatus);
    r.signal_undelivered = undelivered;
    r.out = read_file(impl_->capture.path() + "/stdout");
    r.err = read_file(impl_->capture.path() + "/stderr");
    return r;
}

} // namespace textmatte::testing
