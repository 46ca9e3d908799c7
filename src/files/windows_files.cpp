// The file layer on Windows, on the system's own file handles.
#include <windows.h>

#include "files/files.hpp"
#include "files/windows_output_file.hpp"

namespace textmatte {

namespace {

bool close_handle(HANDLE& h) {
    if (h == INVALID_HANDLE_VALUE) return true;
    const bool ok = CloseHandle(h) != 0;
    h = INVALID_HANDLE_VALUE;
    return ok;
}

class WindowsInFile final : public InFile {
  public:
    explicit WindowsInFile(HANDLE h) : h_(h) {}
    ~WindowsInFile() override { (void)close_handle(h_); } // nothing to report on the way out

    long read(char* data, std::size_t size) override {
        if (h_ == INVALID_HANDLE_VALUE) return -1;
        const DWORD want = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
        DWORD got = 0;
        if (!ReadFile(h_, data, want, &got, nullptr)) return -1;
        return static_cast<long>(got);
    }
    bool close() override { return close_handle(h_); }

  private:
    HANDLE h_;
};

class WindowsLock final : public ExchangeLock {
  public:
    explicit WindowsLock(HANDLE h) : h_(h) {}
    ~WindowsLock() override { (void)close_handle(h_); } // the system deletes the file

  private:
    HANDLE h_;
};

// A virus scanner, indexer or backup agent commonly opens a file for a
// moment just after it was written; opening, renaming or removing the file
// then fails as if another program were using it. Such a failure is tried
// again, with growing waits, for up to 2 s before it counts.
constexpr DWORD kHeldForAtMostMs = 2000;

bool is_held(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
           error == ERROR_LOCK_VIOLATION;
}

template <typename Attempt> bool retry_while_held(Attempt attempt) {
    DWORD waited = 0;
    for (DWORD wait = 10;; wait *= 2) {
        if (attempt()) return true;
        if (!is_held(GetLastError()) || waited >= kHeldForAtMostMs) return false;
        if (wait > kHeldForAtMostMs - waited) wait = kHeldForAtMostMs - waited;
        Sleep(wait);
        waited += wait;
    }
}

// CreateFileA, tried again while the file is held.
HANDLE open_retrying(const char* name, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
    HANDLE h = INVALID_HANDLE_VALUE;
    retry_while_held([&] {
        h = CreateFileA(name, access, share, nullptr, disposition, flags, nullptr);
        return h != INVALID_HANDLE_VALUE;
    });
    return h;
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// What a name leads to (`follow`) or the entry itself (a link's own file).
bool file_information(const char* name, bool follow, BY_HANDLE_FILE_INFORMATION& info,
                      DWORD& type) {
    DWORD flags = FILE_FLAG_BACKUP_SEMANTICS; // directories too
    if (!follow) flags |= FILE_FLAG_OPEN_REPARSE_POINT;
    HANDLE h = CreateFileA(name, 0, kShareAll, nullptr, OPEN_EXISTING, flags, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const bool ok = GetFileInformationByHandle(h, &info) != 0;
    type = GetFileType(h);
    (void)close_handle(h); // only looked at
    return ok;
}

FileId identity(const BY_HANDLE_FILE_INFORMATION& info) {
    return {info.dwVolumeSerialNumber,
            (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

class WorkingDirectory final : public FileSystem {
  public:
    std::unique_ptr<InFile> open_read(const char* name) override {
        HANDLE h = open_retrying(name, GENERIC_READ, kShareAll, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN);
        if (h == INVALID_HANDLE_VALUE) return nullptr;
        BY_HANDLE_FILE_INFORMATION info{};
        if (GetFileType(h) != FILE_TYPE_DISK || !GetFileInformationByHandle(h, &info) ||
            (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            (void)close_handle(h); // refused anyway
            return nullptr;
        }
        return std::make_unique<WindowsInFile>(h);
    }

    // A new file takes the access the directory gives it, as every file there.
    std::unique_ptr<OutFile> create_new(const char* name, const Access&) override {
        HANDLE h =
            open_retrying(name, GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
        if (h == INVALID_HANDLE_VALUE) return nullptr;
        return make_windows_output_file(h);
    }

    // Written through: the rename is on the disk when it returns.
    bool rename(const char* from, const char* to) override {
        return retry_while_held([&] {
            return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
        });
    }

    bool remove_name(const char* name) override {
        return retry_while_held([&] { return DeleteFileA(name) != 0; });
    }

    Entry inspect(const char* name) override {
        Entry e;
        const DWORD attributes = GetFileAttributesA(name);
        if (attributes == INVALID_FILE_ATTRIBUTES) return e;
        e.is_link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        BY_HANDLE_FILE_INFORMATION info{};
        DWORD type = FILE_TYPE_UNKNOWN;
        if (!file_information(name, false, info, type)) {
            e.kind = EntryKind::other;
            return e;
        }
        e.itself = identity(info);
        if (!file_information(name, true, info, type)) {
            e.kind = EntryKind::other; // a link that leads nowhere
            return e;
        }
        e.target = identity(info);
        if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            e.kind = EntryKind::directory;
        else
            e.kind = type == FILE_TYPE_DISK ? EntryKind::regular : EntryKind::other;
        return e;
    }

    // Renames write through to the disk; nothing is left to sync.
    bool sync_directory(const char*) override { return true; }

    bool names_ignore_case() const override { return true; }

    // The host's file is renamed during a run, so the lock is a file of its
    // own: opened for this run alone (another run's open fails at once, not
    // retried) and deleted by the system when it closes, also when the
    // process is killed.
    LockResult lock_exchange(const char*, const char* lock_name,
                             std::unique_ptr<ExchangeLock>& lock) override {
        HANDLE h = CreateFileA(lock_name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return is_held(GetLastError()) ? LockResult::busy : LockResult::unavailable;
        lock = std::make_unique<WindowsLock>(h);
        return LockResult::locked;
    }

    // A fault ends the process without a handler here; the next run removes
    // what it leaves.
    void remove_if_crashed(const char*) override {}
};

} // namespace

FileSystem& real_file_system() {
    static WorkingDirectory dir;
    return dir;
}

void remove_crash_leftover() noexcept {}

} // namespace textmatte
