// textmatte-peak-rss PROGRAM [ARGS...]: runs PROGRAM and prints its peak resident
// memory in kB. A child forked from a large process counts that process's
// pages as its own until it execs, so the measurement is taken from this
// small launcher instead of from the test itself.
#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char* argv[]) {
    if (argc < 2) return 2;
    pid_t pid = fork();
    if (pid < 0) return 2;
    if (pid == 0) {
        execv(argv[1], argv + 1);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    std::printf("%ld\n", usage.ru_maxrss);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 3;
}
