// Writing behind the computation on POSIX systems: a thread of its own
// writes the output's blocks while the caller computes the next ones.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>

#include <pthread.h>

#include "interchange/byte_buffer.hpp"
#include "interchange/output.hpp"

namespace textmatte {

// Blocks handed over are copied into a small ring and written to `sink` by
// a writer thread, in order, a few at a time (one wake-up per few blocks
// keeps the hand-over cheap). The caller waits only when the ring is full.
//
// A write that fails is reported by the next hand-over and by finish(); no
// block after it is written. The writer thread blocks the asynchronous
// signals, so they reach the calling thread as before; a fault in it still
// runs the process's fault handler. It never outlives the object: finish()
// ends it after the last block, and the destructor ends it at once, writing
// nothing more, on a way out that did not finish (an exception, a failure).
class WriteBehind {
  public:
    // The largest block handed over at once: the size the output is
    // written in.
    static constexpr std::size_t kBlock = 1 << 16;
    // The writer thread's name, where threads have names (Linux).
    static constexpr const char* kThreadName = "textmatte-write";

    // A writer for `sink`, which only the writer thread uses until
    // finish() or the destructor returns; nullptr when the thread or its
    // ring cannot be had (the caller then writes itself).
    static std::unique_ptr<WriteBehind> start(ByteSink& sink);
    ~WriteBehind();
    WriteBehind(const WriteBehind&) = delete;
    WriteBehind& operator=(const WriteBehind&) = delete;

    // Hands bytes over to be written; false once a write has failed.
    [[nodiscard]] bool write(const char* data, std::size_t size);
    // Writes everything handed over and ends the thread; whether every
    // write went well.
    [[nodiscard]] bool finish();

  private:
    static constexpr std::size_t kSlots = 6;
    // The writer wakes when this many blocks wait (or to finish).
    static constexpr std::size_t kBatch = 4;

    explicit WriteBehind(ByteSink& sink);
    [[nodiscard]] bool launch();
    [[nodiscard]] bool hand_over(const char* data, std::size_t size);
    static void* run(void* self);
    void write_blocks();
    void end_thread();
    char* slot(std::size_t index) { return ring_.data() + index * kBlock; }

    ByteSink& sink_;
    ByteBuffer ring_;
    std::size_t sizes_[kSlots] = {};
    std::mutex mutex_;
    std::condition_variable work_; // the writer waits for blocks
    std::condition_variable room_; // the caller waits for a free slot
    // Guarded by mutex_:
    std::size_t first_ = 0;  // the oldest block handed over and not yet written
    std::size_t queued_ = 0; // blocks handed over and not yet written
    bool writer_idle_ = false;
    bool caller_waiting_ = false;
    bool failed_ = false;
    bool finishing_ = false; // write what is left, then end
    bool abandoned_ = false; // end now
    // The caller's:
    pthread_t thread_{};
    bool running_ = false;
};

} // namespace textmatte
