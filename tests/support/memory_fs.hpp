// A file system in memory, for driving whole runs in-process: names may be
// compared with or without regard to case, and any single operation can be
// made to fail.
#pragma once

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "run/files.hpp"

namespace textmatte::testing {

class MemoryFileSystem final : public FileSystem {
  public:
    explicit MemoryFileSystem(bool ignore_case = false) : ignore_case_(ignore_case) {}

    // Operation number `n` (counting from 1) fails; 0 fails none.
    void fail_operation(long n) { fail_at_ = n; }
    long operations() const { return ops_; }
    bool failure_injected() const { return fail_at_ != 0 && ops_ >= fail_at_; }

    void put(const std::string& name, const std::string& bytes) {
        files_[stored_name(name)] = std::make_shared<std::string>(bytes);
    }
    void make_directory(const std::string& name) { directories_.insert(name); }

    // Stored names and contents, as a directory listing would show them.
    std::map<std::string, std::string> listing() const {
        std::map<std::string, std::string> out;
        for (const auto& [name, bytes] : files_)
            out[name] = *bytes;
        return out;
    }

    std::unique_ptr<InFile> open_read(const char* name) override;
    std::unique_ptr<OutFile> open_write(const char* name) override;
    bool rename(const char* from, const char* to) override;
    bool remove(const char* name) override;
    bool exists(const char* name) override;

    // Counts an operation; false when it is the one to fail.
    bool step() { return ++ops_ != fail_at_; }

  private:
    using Content = std::shared_ptr<std::string>;

    std::string key(const std::string& name) const {
        if (!ignore_case_) return name;
        std::string k = name;
        std::transform(k.begin(), k.end(), k.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return k;
    }
    // The stored name that `name` refers to, or `name` itself when none.
    std::string stored_name(const std::string& name) const {
        for (const auto& [stored, bytes] : files_)
            if (key(stored) == key(name)) return stored;
        return name;
    }
    bool is_directory(const std::string& name) const {
        for (const auto& d : directories_)
            if (key(d) == key(name)) return true;
        return false;
    }

    bool ignore_case_;
    long fail_at_ = 0;
    long ops_ = 0;
    std::map<std::string, Content> files_;
    std::set<std::string> directories_;
};

namespace detail {

class MemoryIn final : public InFile {
  public:
    MemoryIn(MemoryFileSystem& fs, std::shared_ptr<std::string> bytes) : fs_(fs), bytes_(bytes) {}
    long read(char* data, std::size_t size) override {
        if (!fs_.step()) return -1;
        std::size_t n = std::min(size, bytes_->size() - pos_);
        bytes_->copy(data, n, pos_);
        pos_ += n;
        return static_cast<long>(n);
    }
    bool close() override { return fs_.step(); }

  private:
    MemoryFileSystem& fs_;
    std::shared_ptr<std::string> bytes_;
    std::size_t pos_ = 0;
};

class MemoryOut final : public OutFile {
  public:
    MemoryOut(MemoryFileSystem& fs, std::shared_ptr<std::string> bytes) : fs_(fs), bytes_(bytes) {}
    bool write(const char* data, std::size_t size) override {
        if (!fs_.step()) {
            bytes_->append(data, size / 2); // a short write
            return false;
        }
        bytes_->append(data, size);
        return true;
    }
    bool sync() override { return fs_.step(); }
    bool close() override { return fs_.step(); }

  private:
    MemoryFileSystem& fs_;
    std::shared_ptr<std::string> bytes_;
};

} // namespace detail

inline std::unique_ptr<InFile> MemoryFileSystem::open_read(const char* name) {
    if (!step() || is_directory(name)) return nullptr;
    auto it = files_.find(stored_name(name));
    if (it == files_.end()) return nullptr;
    return std::make_unique<detail::MemoryIn>(*this, it->second);
}

inline std::unique_ptr<OutFile> MemoryFileSystem::open_write(const char* name) {
    if (!step() || is_directory(name)) return nullptr;
    auto content = std::make_shared<std::string>();
    files_[stored_name(name)] = content;
    return std::make_unique<detail::MemoryOut>(*this, content);
}

inline bool MemoryFileSystem::rename(const char* from, const char* to) {
    if (!step() || is_directory(to)) return false;
    auto it = files_.find(stored_name(from));
    if (it == files_.end()) return false;
    Content moved = it->second;
    files_.erase(it);
    files_.erase(stored_name(to));
    files_[to] = moved;
    return true;
}

inline bool MemoryFileSystem::remove(const char* name) {
    if (!step()) return false;
    return files_.erase(stored_name(name)) > 0;
}

inline bool MemoryFileSystem::exists(const char* name) {
    return files_.count(stored_name(name)) > 0 || is_directory(name);
}

} // namespace textmatte::testing
