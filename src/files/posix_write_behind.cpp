#include "files/posix_write_behind.hpp"

#include <csignal>
#include <cstring>
#include <new>

namespace textmatte {

namespace {

// Room for the writer's few calls, whatever the stack limit of the process
// (a small one would otherwise be every thread's size).
constexpr std::size_t kWriterStack = 1 << 18;

// Every signal but those of a fault in the thread itself, which must run
// the process's fault handler rather than end it with a core file.
sigset_t asynchronous_signals() {
    sigset_t set;
    sigfillset(&set);
    for (int fault : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGSYS, SIGTRAP})
        sigdelset(&set, fault);
    return set;
}

class ThreadAttributes {
  public:
    ThreadAttributes() : ok_(pthread_attr_init(&attr_) == 0) {}
    ~ThreadAttributes() {
        if (ok_) (void)pthread_attr_destroy(&attr_); // cannot fail on an initialised one
    }
    ThreadAttributes(const ThreadAttributes&) = delete;
    ThreadAttributes& operator=(const ThreadAttributes&) = delete;
    bool ok() const { return ok_; }
    pthread_attr_t* get() { return &attr_; }

  private:
    pthread_attr_t attr_;
    bool ok_;
};

} // namespace

WriteBehind::WriteBehind(ByteSink& sink) : sink_(sink), ring_(kSlots * kBlock) {}

std::unique_ptr<WriteBehind> WriteBehind::start(ByteSink& sink) {
    std::unique_ptr<WriteBehind> behind;
    try {
        behind.reset(new WriteBehind(sink));
    } catch (const std::bad_alloc&) {
        return nullptr; // no ring: the caller writes itself
    }
    if (!behind->launch()) return nullptr;
    return behind;
}

// The new thread starts with the asynchronous signals blocked, as it
// inherits the mask: none can reach it before it could block them itself.
bool WriteBehind::launch() {
    ThreadAttributes attributes;
    if (!attributes.ok() || pthread_attr_setstacksize(attributes.get(), kWriterStack) != 0)
        return false;
    const sigset_t blocked = asynchronous_signals();
    sigset_t before;
    if (pthread_sigmask(SIG_BLOCK, &blocked, &before) != 0) return false;
    running_ = pthread_create(&thread_, attributes.get(), &WriteBehind::run, this) == 0;
    (void)pthread_sigmask(SIG_SETMASK, &before, nullptr); // restores what was: cannot fail
#if defined(__linux__)
    if (running_) (void)pthread_setname_np(thread_, kThreadName); // only shown, never needed
#endif
    return running_;
}

WriteBehind::~WriteBehind() {
    if (!running_) return;
    {
        const std::lock_guard lock(mutex_);
        abandoned_ = true;
    }
    work_.notify_one();
    end_thread();
}

bool WriteBehind::write(const char* data, std::size_t size) {
    while (size > 0) {
        const std::size_t piece = size < kBlock ? size : kBlock;
        if (!hand_over(data, piece)) return false;
        data += piece;
        size -= piece;
    }
    return true;
}

// The slot past the queued blocks is the caller's until it is queued: the
// writer only touches queued ones, so the copy needs no lock.
bool WriteBehind::hand_over(const char* data, std::size_t size) {
    std::unique_lock lock(mutex_);
    if (queued_ == kSlots) {
        caller_waiting_ = true;
        room_.wait(lock, [&] { return queued_ < kSlots; });
        caller_waiting_ = false;
    }
    if (failed_) return false;
    const std::size_t index = (first_ + queued_) % kSlots;
    lock.unlock();
    std::memcpy(slot(index), data, size);
    sizes_[index] = size;
    lock.lock();
    ++queued_;
    if (writer_idle_ && queued_ == kBatch) work_.notify_one();
    return true;
}

bool WriteBehind::finish() {
    if (!running_) return !failed_;
    {
        const std::lock_guard lock(mutex_);
        finishing_ = true;
    }
    work_.notify_one();
    end_thread();
    return !failed_; // the thread has ended: nothing else writes it
}

void WriteBehind::end_thread() {
    (void)pthread_join(thread_, nullptr); // a thread of ours, joined once: cannot fail
    running_ = false;
}

void* WriteBehind::run(void* self) {
    static_cast<WriteBehind*>(self)->write_blocks();
    return nullptr;
}

// Writes whatever is queued each time it wakes, in order. After a failed
// write the rest are dropped: the output is incomplete anyway.
void WriteBehind::write_blocks() {
    std::unique_lock lock(mutex_);
    for (;;) {
        writer_idle_ = true;
        work_.wait(lock, [&] { return abandoned_ || finishing_ || queued_ >= kBatch; });
        writer_idle_ = false;
        while (queued_ > 0 && !abandoned_) {
            const std::size_t index = first_;
            const bool skip = failed_;
            lock.unlock();
            const bool ok = skip || sink_.write(slot(index), sizes_[index]);
            lock.lock();
            if (!ok) failed_ = true;
            first_ = (first_ + 1) % kSlots;
            --queued_;
            if (caller_waiting_) room_.notify_one();
        }
        if (abandoned_ || finishing_) return;
    }
}

} // namespace textmatte
