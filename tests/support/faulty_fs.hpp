// A file layer that passes everything to another one, except at its Nth
// operation: that operation fails, or an interrupt arrives just before it.
// Every operation counts, the same over the real and the in-memory file
// system: opening, creating, reading, writing, syncing, closing, renaming,
// removing, inspecting and locking.
#pragma once

#include <memory>

#include "files/files.hpp"
#include "run/interrupts.hpp"

namespace textmatte::testing {

enum class Fault { fail, interrupt };

class FaultyFileSystem final : public FileSystem, public Interrupts {
  public:
    // Operation `at` (counting from 1) meets the fault; 0: none does.
    FaultyFileSystem(FileSystem& base, long at, Fault fault = Fault::fail)
        : base_(base), at_(at), fault_(fault) {}

    // Whether the run reached the operation of the fault.
    bool fired() const { return fired_; }
    long operations() const { return ops_; }
    // Counts an operation; false when it is the one to fail.
    bool step() {
        if (++ops_ != at_) return true;
        fired_ = true;
        return fault_ == Fault::interrupt;
    }
    // An interrupt, once the operation of the fault is reached: SIGINT's number.
    int pending() const override { return fault_ == Fault::interrupt && fired_ ? 2 : 0; }

    std::unique_ptr<InFile> open_read(const char* name) override;
    std::unique_ptr<OutFile> create_new(const char* name) override;
    bool rename(const char* from, const char* to) override {
        return step() && base_.rename(from, to);
    }
    bool remove_name(const char* name) override { return step() && base_.remove_name(name); }
    Entry inspect(const char* name) override {
        // A failed look finds nothing there.
        return step() ? base_.inspect(name) : Entry{};
    }
    LockResult lock_directory(std::unique_ptr<DirectoryLock>& lock) override {
        return step() ? base_.lock_directory(lock) : LockResult::failed;
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
        base_->write(data, size / 2); // a short write, as a full disk gives
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

inline std::unique_ptr<InFile> FaultyFileSystem::open_read(const char* name) {
    if (!step()) return nullptr;
    auto f = base_.open_read(name);
    return f ? std::make_unique<faulty_detail::In>(*this, std::move(f)) : nullptr;
}

inline std::unique_ptr<OutFile> FaultyFileSystem::create_new(const char* name) {
    if (!step()) return nullptr;
    auto f = base_.create_new(name);
    return f ? std::make_unique<faulty_detail::Out>(*this, std::move(f)) : nullptr;
}

} // namespace textmatte::testing
