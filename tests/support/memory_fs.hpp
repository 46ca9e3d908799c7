// A file system in memory, for driving whole runs in-process. Names are
// compared with or without regard to case; links are not modelled.
#pragma once

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "files/files.hpp"

namespace textmatte::testing {

class MemoryFileSystem final : public FileSystem {
  public:
    explicit MemoryFileSystem(bool ignore_case = false) : ignore_case_(ignore_case) {}

    void put(const std::string& name, const std::string& bytes) {
        const std::string stored = stored_name(name);
        files_.erase(stored);
        files_[name] = std::make_shared<std::string>(bytes);
    }
    void make_directory(const std::string& name) { directories_.insert(name); }
    // Another run holds the directory.
    void hold_lock(bool held) { lock_held_ = held; }

    // Stored names and contents, as a directory listing would show them.
    std::map<std::string, std::string> listing() const {
        std::map<std::string, std::string> out;
        for (const auto& [name, bytes] : files_)
            out[name] = *bytes;
        return out;
    }

    std::unique_ptr<InFile> open_read(const char* name) override;
    std::unique_ptr<OutFile> create_new(const char* name) override;
    bool rename(const char* from, const char* to) override;
    bool remove_name(const char* name) override;
    Entry inspect(const char* name) override;
    LockResult lock_directory(std::unique_ptr<DirectoryLock>& lock) override;

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
    bool lock_held_ = false;
    std::map<std::string, Content> files_;
    std::set<std::string> directories_;
};

namespace memory_detail {

class In final : public InFile {
  public:
    explicit In(std::shared_ptr<std::string> bytes) : bytes_(std::move(bytes)) {}
    long read(char* data, std::size_t size) override {
        const std::size_t n = std::min(size, bytes_->size() - pos_);
        bytes_->copy(data, n, pos_);
        pos_ += n;
        return static_cast<long>(n);
    }
    bool close() override { return true; }

  private:
    std::shared_ptr<std::string> bytes_;
    std::size_t pos_ = 0;
};

class Out final : public OutFile {
  public:
    explicit Out(std::shared_ptr<std::string> bytes) : bytes_(std::move(bytes)) {}
    bool write(const char* data, std::size_t size) override {
        bytes_->append(data, size);
        return true;
    }
    bool sync() override { return true; }
    bool close() override { return true; }

  private:
    std::shared_ptr<std::string> bytes_;
};

class Lock final : public DirectoryLock {};

} // namespace memory_detail

inline std::unique_ptr<InFile> MemoryFileSystem::open_read(const char* name) {
    auto it = files_.find(stored_name(name));
    if (it == files_.end() || is_directory(name)) return nullptr;
    return std::make_unique<memory_detail::In>(it->second);
}

inline std::unique_ptr<OutFile> MemoryFileSystem::create_new(const char* name) {
    if (is_directory(name) || files_.count(stored_name(name))) return nullptr;
    auto content = std::make_shared<std::string>();
    files_[name] = content;
    return std::make_unique<memory_detail::Out>(content);
}

inline bool MemoryFileSystem::rename(const char* from, const char* to) {
    if (is_directory(to)) return false;
    auto it = files_.find(stored_name(from));
    if (it == files_.end()) return false;
    Content moved = it->second;
    files_.erase(it);
    files_.erase(stored_name(to));
    files_[to] = moved;
    return true;
}

inline bool MemoryFileSystem::remove_name(const char* name) {
    return files_.erase(stored_name(name)) > 0;
}

inline Entry MemoryFileSystem::inspect(const char* name) {
    Entry e;
    if (is_directory(name)) {
        e.kind = EntryKind::directory;
        return e;
    }
    auto it = files_.find(stored_name(name));
    if (it == files_.end()) return e;
    e.kind = EntryKind::regular;
    e.itself.file = reinterpret_cast<std::uintptr_t>(it->second.get());
    e.target = e.itself;
    return e;
}

inline LockResult MemoryFileSystem::lock_directory(std::unique_ptr<DirectoryLock>& lock) {
    if (lock_held_) return LockResult::busy;
    lock = std::make_unique<memory_detail::Lock>();
    return LockResult::locked;
}

} // namespace textmatte::testing
