// A file system in memory, for driving whole runs in-process. Names are
// compared with or without regard to case; links are not modelled. It
// keeps a record of the operations that change names, in order. Files can
// be held, as another program on Windows holds them, and the directory's
// sync can fail.
#pragma once

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "files/files.hpp"

namespace textmatte::testing {

namespace memory_detail {
struct Space {
    bool limited = false;
    std::size_t free = 0;
};
// A file's bytes, how often they were written (its modification time), and
// its number, never given to another file (unlike a freed inode's).
struct Stored {
    std::string bytes;
    std::int64_t writes = 0;
    std::uint64_t number = next_number();

    static std::uint64_t next_number() {
        static std::uint64_t last = 0;
        return ++last;
    }
};
} // namespace memory_detail

class MemoryFileSystem final : public FileSystem {
  public:
    explicit MemoryFileSystem(bool ignore_case = false) : ignore_case_(ignore_case) {}

    // A new file under the name.
    void put(const std::string& name, const std::string& bytes) {
        const std::string stored = stored_name(name);
        files_.erase(stored);
        files_[name] = std::make_shared<memory_detail::Stored>(memory_detail::Stored{bytes, 0});
    }
    // The same file, written anew.
    void rewrite(const std::string& name, const std::string& bytes) {
        auto it = files_.find(stored_name(name));
        if (it == files_.end()) return put(name, bytes);
        it->second->bytes = bytes;
        ++it->second->writes;
    }
    // The same file, written anew without a trace in its size or times (as
    // through a shared mapping).
    void rewrite_quietly(const std::string& name, const std::string& bytes) {
        auto it = files_.find(stored_name(name));
        if (it != files_.end() && it->second->bytes.size() == bytes.size())
            it->second->bytes = bytes;
    }
    // Looking at the name fails with an I/O error.
    void make_unreadable(const std::string& name) { unreadable_.insert(key(name)); }
    // Another program holds the file: renaming it fails so, and, unless it
    // shares it for reading, opening it too.
    void hold(const std::string& name, bool readable = false) {
        held_.insert(key(name));
        if (readable) readable_.insert(key(name));
    }
    void fail_directory_sync() { directory_sync_fails_ = true; }
    void make_directory(const std::string& name) { directories_.insert(name); }
    // Another run holds the exchange.
    void hold_lock(bool held) { lock_held_ = held; }
    // The file system offers no locks.
    void locks_unavailable() { locks_unavailable_ = true; }
    // The lock a run took is lost: its file was removed or replaced.
    void lose_lock() { *lock_lost_ = true; }
    // Names cannot be swapped (the file system cannot, as on Windows).
    void swaps_unsupported() { swaps_supported_ = false; }
    // A new file cannot be given the access of another.
    void refuse_access() { access_refused_ = true; }
    // A disk with this many bytes free: a write beyond them stops short and
    // fails; a removed file gives its bytes back.
    void set_free_space(std::size_t bytes) { space_->limited = true, space_->free = bytes; }
    std::size_t free_space() const { return space_->free; }
    // "rename FROM TO", "swap A B", "remove NAME", "create NAME", "sync directory", in order.
    // (Creating the lock file is not among them: it goes with the lock.)
    const std::vector<std::string>& operations() const { return operations_; }

    // Stored names and contents, as a directory listing would show them.
    std::map<std::string, std::string> listing() const {
        std::map<std::string, std::string> out;
        for (const auto& [name, stored] : files_)
            out[name] = stored->bytes;
        return out;
    }

    using FileSystem::create_new;
    OpenedFile open_read(const char* name) override;
    NewFile create_new(const char* name, const char* like_name) override;
    Outcome rename(const char* from, const char* to) override;
    Swap swap(const char* a, const char* b) override;
    Outcome remove_name(const char* name) override;
    Entry inspect(const char* name) override;
    std::vector<FileId> reached_through_links(const char*) override { return {}; }
    bool sync_directory(const char*) override {
        operations_.push_back("sync directory");
        return !directory_sync_fails_;
    }
    bool names_ignore_case() const override { return ignore_case_; }
    LockResult lock_directory(const char* lock_name, std::unique_ptr<ExchangeLock>& lock) override;

  private:
    using Content = std::shared_ptr<memory_detail::Stored>;

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
    bool is_held(const std::string& name) const { return held_.count(key(name)) > 0; }
    bool is_held_from_reading(const std::string& name) const {
        return is_held(name) && readable_.count(key(name)) == 0;
    }
    static FileState state_of(const Content& c) {
        return {{0, c->number}, c->bytes.size(), c->writes, 0};
    }

    bool ignore_case_;
    bool lock_held_ = false;
    std::shared_ptr<bool> lock_lost_ = std::make_shared<bool>(false);
    bool swaps_supported_ = true;
    bool locks_unavailable_ = false;
    std::set<std::string> unreadable_;
    bool access_refused_ = false;
    bool directory_sync_fails_ = false;
    std::set<std::string> held_, readable_;
    std::shared_ptr<memory_detail::Space> space_ = std::make_shared<memory_detail::Space>();
    std::map<std::string, Content> files_;
    std::set<std::string> directories_;
    std::vector<std::string> operations_;
};

namespace memory_detail {

class In final : public InFile {
  public:
    explicit In(std::shared_ptr<Stored> file) : file_(std::move(file)) {}
    long read(char* data, std::size_t size) override {
        const std::string& bytes = file_->bytes;
        const std::size_t n = pos_ < bytes.size() ? std::min(size, bytes.size() - pos_) : 0;
        bytes.copy(data, n, pos_);
        pos_ += n;
        return static_cast<long>(n);
    }
    bool rewind() override {
        pos_ = 0;
        return true;
    }
    bool close() override { return true; }

  private:
    std::shared_ptr<Stored> file_;
    std::size_t pos_ = 0;
};

class Out final : public OutFile {
  public:
    Out(std::shared_ptr<Stored> file, std::shared_ptr<Space> space)
        : file_(std::move(file)), space_(std::move(space)) {}
    bool write(const char* data, std::size_t size) override {
        const bool fits = !space_->limited || size <= space_->free;
        const std::size_t n = fits ? size : space_->free;
        file_->bytes.append(data, n);
        ++file_->writes;
        if (space_->limited) space_->free -= n;
        return fits;
    }
    bool sync() override { return true; }
    bool close() override { return true; }

  private:
    std::shared_ptr<Stored> file_;
    std::shared_ptr<Space> space_;
};

class Lock final : public ExchangeLock {
  public:
    explicit Lock(std::shared_ptr<bool> lost) : lost_(std::move(lost)) {}
    bool still_held() const override { return !*lost_; }

  private:
    std::shared_ptr<bool> lost_;
};

} // namespace memory_detail

inline OpenedFile MemoryFileSystem::open_read(const char* name) {
    if (is_held_from_reading(name)) return {nullptr, Outcome::held, {}};
    auto it = files_.find(stored_name(name));
    if (it == files_.end() || is_directory(name)) return {};
    return {std::make_unique<memory_detail::In>(it->second), Outcome::done, state_of(it->second)};
}

inline NewFile MemoryFileSystem::create_new(const char* name, const char* like_name) {
    if (is_directory(name) || files_.count(stored_name(name))) return {};
    if (like_name && access_refused_) return {nullptr, {}, true, nullptr};
    auto content = std::make_shared<memory_detail::Stored>();
    files_[name] = content;
    operations_.push_back(std::string("create ") + name);
    return {std::make_unique<memory_detail::Out>(content, space_), state_of(content).id, false,
            nullptr};
}

inline Swap MemoryFileSystem::swap(const char* a, const char* b) {
    if (!swaps_supported_) return Swap::unsupported;
    if (is_held(a) || is_held(b)) return Swap::failed;
    auto first = files_.find(stored_name(a));
    auto second = files_.find(stored_name(b));
    if (first == files_.end() || second == files_.end()) return Swap::failed;
    std::swap(first->second, second->second);
    operations_.push_back(std::string("swap ") + a + " " + b);
    return Swap::done;
}

inline Outcome MemoryFileSystem::rename(const char* from, const char* to) {
    if (is_held(from) || is_held(to)) return Outcome::held;
    if (is_directory(to)) return Outcome::failed;
    auto it = files_.find(stored_name(from));
    if (it == files_.end()) return Outcome::failed;
    Content moved = it->second;
    files_.erase(it);
    if (auto replaced = files_.find(stored_name(to)); replaced != files_.end()) {
        if (space_->limited) space_->free += replaced->second->bytes.size();
        files_.erase(replaced);
    }
    files_[to] = moved;
    operations_.push_back(std::string("rename ") + from + " " + to);
    return Outcome::done;
}

inline Outcome MemoryFileSystem::remove_name(const char* name) {
    if (is_held(name)) return Outcome::held;
    auto it = files_.find(stored_name(name));
    if (it == files_.end()) return Outcome::failed;
    if (space_->limited) space_->free += it->second->bytes.size();
    files_.erase(it);
    operations_.push_back(std::string("remove ") + name);
    return Outcome::done;
}

inline Entry MemoryFileSystem::inspect(const char* name) {
    Entry e;
    if (unreadable_.count(key(name))) {
        e.unreadable = true;
        return e;
    }
    if (is_directory(name)) {
        e.kind = EntryKind::directory;
        return e;
    }
    auto it = files_.find(stored_name(name));
    if (it == files_.end()) return e;
    e.kind = EntryKind::regular;
    e.target = state_of(it->second);
    e.entry_file = e.target.id;
    return e;
}

inline LockResult MemoryFileSystem::lock_directory(const char*,
                                                   std::unique_ptr<ExchangeLock>& lock) {
    if (lock_held_) return LockResult::busy;
    if (locks_unavailable_) return LockResult::unavailable;
    *lock_lost_ = false;
    lock = std::make_unique<memory_detail::Lock>(lock_lost_);
    return LockResult::locked;
}

} // namespace textmatte::testing
