// Runs the built program the way the host does: in a directory of its own,
// with standard output and error captured, and optionally a file-size limit.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace textmatte::testing {

struct ProgramResult {
    int status = -1000; // exit status as the shell sees it (0..255); 1000 + signal
    std::string out;
    std::string err;
};

struct Launch {
    long file_size = -1;          // RLIMIT_FSIZE in bytes; -1: none
    std::vector<std::string> env; // NAME=value pairs added
    long kill_after_us = -1;      // SIGKILL after this long; -1: never
};

// A fresh, empty directory, removed with everything in it at the end.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
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

// Whether a file-size limit can be set for a child (not on Windows).
bool file_size_limits_supported();

ProgramResult run_program(const std::string& program, const std::string& dir,
                          const std::vector<std::string>& args, const Launch& launch = {});

std::string read_file(const std::string& path);

} // namespace textmatte::testing
