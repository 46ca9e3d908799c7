// A file layer that passes everything to another one, except at its Nth
// operation: that operation fails, an interrupt arrives just before it, or,
// if it is one that allocates memory (opening, creating, locking), memory
// runs out in it.
// Every operation counts, the same over the real and the in-memory file
// system: opening, creating, reading, writing, syncing, closing, renaming,
// removing, inspecting, locking and syncing the directory.
#pragma once

#include <memory>
#include <new>
#include <vector>

#include "files/files.hpp"
#include "run/interrupts.hpp"

namespace textmatte::testing {

enum class Fault { fail, interrupt, out_of_memory };

class FaultyFileSystem final : public FileSystem, public Interrupts {
  public:
    // Operation `at` (counting from 1) meets the fault; 0: none does.
    FaultyFileSystem(FileSystem& base, long at, Fault fault = Fault::fail)
        : base_(base), at_(at), fault_(fault) {}

    // Whether the run reached the operation of the fault.
    bool fired() const { return fired_; }
    long operations() const { return ops_; }
    // Counts an operation; false when it is the one to fail.
    bool step(bool allocates = false) {
        if (++ops_ != at_) return true;
        fired_ = true;
        if (fault_ == Fault::out_of_memory && allocates) throw std::bad_alloc();
        return fault_ != Fault::fail;
    }
    // An interrupt, once the operation of the fault is reached: SIGINT's number.
    int pending() const override { return fault_ == Fault::interrupt && fired_ ? 2 : 0; }

    using FileSystem::create_new;
    OpenedFile open_read(const char* name) override;
    NewFile create_new(const char* name, const char* like_name) override;
    Outcome rename(const char* from, const char* to) override {
        return step() ? base_.rename(from, to) : Outcome(Outcome::failed);
    }
    Swap swap(const char* a, const char* b) override {
        return step() ? base_.swap(a, b) : Swap(Swap::failed);
    }
    Outcome remove_name(const char* name) override {
        return step() ? base_.remove_name(name) : Outcome(Outcome::failed);
    }
    Entry inspect(const char* name) override {
        // A failed look finds nothing there, and says so.
        if (step()) return base_.inspect(name);
        Entry failed;
        failed.unreadable = true;
        return failed;
    }
    std::vector<FileId> reached_through_links(const char* name) override {
        return step(true) ? base_.reached_through_links(name) : std::vector<FileId>{};
    }
    bool sync_directory(const char* file_in_it) override {
        return step() && base_.sync_directory(file_in_it);
    }
    bool names_ignore_case() const override { return base_.names_ignore_case(); }
    LockResult lock_directory(const char* lock_name, std::unique_ptr<ExchangeLock>& lock) override {
        return step(true) ? base_.lock_directory(lock_name, lock) : LockResult(LockResult::refused);
    }

  private:
    FileSystem& base_;
    long at_;
    Fault fault_;
    long ops_ = 0;
    bool fired_ = false;
};

namespace faulty_detail {

class In final : public InFile {
  public:
    In(FaultyFileSystem& fs, std::unique_ptr<InFile> base) : fs_(fs), base_(std::move(base)) {}
    long read(char* data, std::size_t size) override {
        return fs_.step() ? base_->read(data, size) : -1;
    }
    bool rewind() override { return fs_.step() && base_->rewind(); }
    bool close() override {
        const bool ok = fs_.step();
        return base_->close() && ok;
    }

  private:
    FaultyFileSystem& fs_;
    std::unique_ptr<InFile> base_;
};

class Out final : public OutFile {
  public:
    Out(FaultyFileSystem& fs, std::unique_ptr<OutFile> base) : fs_(fs), base_(std::move(base)) {}
    bool write(const char* data, std::size_t size) override {
        if (fs_.step()) return base_->write(data, size);
        (void)base_->write(data, size / 2); // a short write, as a full disk gives
        return false;
    }
    bool sync() override { return fs_.step() && base_->sync(); }
    bool close() override {
        const bool ok = fs_.step();
        return base_->close() && ok;
    }

  private:
    FaultyFileSystem& fs_;
    std::unique_ptr<OutFile> base_;
};

} // namespace faulty_detail

inline OpenedFile FaultyFileSystem::open_read(const char* name) {
    if (!step(true)) return {};
    OpenedFile opened = base_.open_read(name);
    if (opened.file)
        opened.file = std::make_unique<faulty_detail::In>(*this, std::move(opened.file));
    return opened;
}

inline NewFile FaultyFileSystem::create_new(const char* name, const char* like_name) {
    if (!step(true)) return {};
    NewFile made = base_.create_new(name, like_name);
    if (made.file) made.file = std::make_unique<faulty_detail::Out>(*this, std::move(made.file));
    return made;
}

} // namespace textmatte::testing
