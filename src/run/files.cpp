#include "run/files.hpp"

#include <cstdio>
#include <filesystem>
#include <system_error>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace textmatte {

namespace {

namespace fs = std::filesystem;

bool close_file(std::FILE*& f) {
    if (!f) return true;
    const bool ok = std::fclose(f) == 0;
    f = nullptr;
    return ok;
}

class StdInFile final : public InFile {
  public:
    explicit StdInFile(std::FILE* f) : f_(f) {}
    ~StdInFile() override { close(); }

    long read(char* data, std::size_t size) override {
        if (!f_) return -1;
        std::size_t got = std::fread(data, 1, size, f_);
        if (got == 0 && std::ferror(f_)) return -1;
        return static_cast<long>(got);
    }

    bool close() override { return close_file(f_); }

  private:
    std::FILE* f_;
};

class StdOutFile final : public OutFile {
  public:
    explicit StdOutFile(std::FILE* f) : f_(f) {}
    ~StdOutFile() override { close(); }

    bool write(const char* data, std::size_t size) override {
        return f_ && std::fwrite(data, 1, size, f_) == size;
    }

    bool sync() override {
        if (!f_ || std::fflush(f_) != 0) return false;
#if defined(_WIN32)
        return _commit(_fileno(f_)) == 0;
#else
        return fsync(fileno(f_)) == 0;
#endif
    }

    bool close() override {
        return close_file(f_);
    }

  private:
    std::FILE* f_;
};

class WorkingDirectory final : public FileSystem {
  public:
    std::unique_ptr<InFile> open_read(const char* name) override {
        std::error_code ec;
        if (fs::is_directory(name, ec)) return nullptr;
        std::FILE* f = std::fopen(name, "rb");
        if (!f) return nullptr;
        std::setvbuf(f, nullptr, _IONBF, 0); // reads come in large blocks already
        return std::make_unique<StdInFile>(f);
    }

    std::unique_ptr<OutFile> open_write(const char* name) override {
        std::FILE* f = std::fopen(name, "wb");
        if (!f) return nullptr;
        std::setvbuf(f, nullptr, _IONBF, 0); // writes come in large blocks already
        return std::make_unique<StdOutFile>(f);
    }

    bool rename(const char* from, const char* to) override {
#if defined(_WIN32)
        // The C runtime's rename refuses an existing target on Windows.
        return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) != 0;
#else
        return std::rename(from, to) == 0;
#endif
    }

    bool remove(const char* name) override {
        return std::remove(name) == 0;
    }

    bool exists(const char* name) override {
        std::error_code ec;
        return fs::exists(name, ec);
    }
};

class StdStream final : public ByteSink {
  public:
    explicit StdStream(std::FILE* f) : f_(f) {}
    bool write(const char* data, std::size_t size) override {
        return std::fwrite(data, 1, size, f_) == size && std::fflush(f_) == 0;
    }

  private:
    std::FILE* f_;
};

} // namespace

FileSystem& real_file_system() {
    static WorkingDirectory dir;
    return dir;
}

ByteSink& standard_output() {
    static StdStream out(stdout);
    return out;
}

ByteSink& standard_error() {
    static StdStream err(stderr);
    return err;
}

} // namespace textmatte
