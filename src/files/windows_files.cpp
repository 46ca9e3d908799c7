// The file layer on Windows, on the system's own file handles.
#include <windows.h>

#include "files/files.hpp"
#include "files/windows_handle.hpp"
#include "files/windows_output_file.hpp"

namespace textmatte {

namespace {

class WindowsInFile final : public InFile {
  public:
    explicit WindowsInFile(HANDLE h) : handle_(h) {}
    ~WindowsInFile() override { (void)close_handle(handle_); } // nothing to report on the way out

    long read(char* data, std::size_t size) override {
        if (handle_ == INVALID_HANDLE_VALUE) return -1;
        const DWORD want = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
        DWORD got = 0;
        if (!ReadFile(handle_, data, want, &got, nullptr)) return -1;
        return static_cast<long>(got);
    }
    bool rewind() override {
        return handle_ != INVALID_HANDLE_VALUE &&
               SetFilePointer(handle_, 0, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER;
    }
    bool close() override { return close_handle(handle_); }

  private:
    HANDLE handle_;
};

class WindowsLock final : public ExchangeLock {
  public:
    explicit WindowsLock(HANDLE h) : handle_(h) {}
    ~WindowsLock() override { (void)close_handle(handle_); } // the system deletes the file

  private:
    HANDLE handle_;
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

// Done, or failed; held when the file was still held after the wait.
template <typename Attempt> Outcome retry_while_held(Attempt attempt) {
    DWORD waited = 0;
    for (DWORD wait = 10;; wait *= 2) {
        if (attempt()) return Outcome::done;
        if (!is_held(GetLastError())) return Outcome::failed;
        if (waited >= kHeldForAtMostMs) return Outcome::held;
        if (wait > kHeldForAtMostMs - waited) wait = kHeldForAtMostMs - waited;
        Sleep(wait);
        waited += wait;
    }
}

// CreateFileA, tried again while the file is held.
HANDLE open_retrying(const char* name, DWORD access, DWORD share, DWORD disposition, DWORD flags,
                     Outcome& outcome) {
    HANDLE h = INVALID_HANDLE_VALUE;
    outcome = retry_while_held([&] {
        h = CreateFileA(name, access, share, nullptr, disposition, flags, nullptr);
        return h != INVALID_HANDLE_VALUE;
    });
    return h;
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// What a name leads to (`follow`) or the entry itself (a link's own file).
bool file_information(const char* name, bool follow, BY_HANDLE_FILE_INFORMATION& info, DWORD& type,
                      bool& held) {
    DWORD flags = FILE_FLAG_BACKUP_SEMANTICS; // directories too
    if (!follow) flags |= FILE_FLAG_OPEN_REPARSE_POINT;
    HANDLE h = CreateFileA(name, 0, kShareAll, nullptr, OPEN_EXISTING, flags, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        held = is_held(GetLastError());
        return false;
    }
    const bool ok = GetFileInformationByHandle(h, &info) != 0;
    type = GetFileType(h);
    (void)close_handle(h); // only looked at
    return ok;
}

FileId identity(const BY_HANDLE_FILE_INFORMATION& info) {
    return {info.dwVolumeSerialNumber,
            (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

// The file's identity, size and last write (in 100 ns steps, as nanoseconds).
FileState state_of(const BY_HANDLE_FILE_INFORMATION& info) {
    const std::uint64_t size =
        (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    const std::uint64_t written =
        (static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
        info.ftLastWriteTime.dwLowDateTime;
    return {identity(info), size, static_cast<std::int64_t>(written) * 100, 0};
}

class WorkingDirectory final : public FileSystem {
  public:
    OpenedFile open_read(const char* name) override {
        OpenedFile opened;
        HANDLE h = open_retrying(name, GENERIC_READ, kShareAll, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, opened.outcome);
        if (h == INVALID_HANDLE_VALUE) return opened;
        BY_HANDLE_FILE_INFORMATION info{};
        if (GetFileType(h) != FILE_TYPE_DISK || !GetFileInformationByHandle(h, &info) ||
            (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            (void)close_handle(h); // refused anyway
            return {};
        }
        return {std::make_unique<WindowsInFile>(h), Outcome::done, state_of(info)};
    }

    // A new file takes the access the directory gives it, as every file there.
    NewFile create_new(const char* name, const char*) override {
        Outcome outcome = Outcome::failed;
        HANDLE h = open_retrying(name, GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, outcome);
        if (h == INVALID_HANDLE_VALUE) return {};
        BY_HANDLE_FILE_INFORMATION info{};
        const bool known = GetFileInformationByHandle(h, &info) != 0;
        NewFile made{make_windows_output_file(h), identity(info), false, nullptr};
        if (!known) {
            made.file.reset();       // closed: the file cannot be told apart from another
            (void)DeleteFileA(name); // made here just now and still empty
        }
        return made;
    }

    // Written through: the rename is on the disk when it returns.
    Outcome rename(const char* from, const char* to) override {
        return retry_while_held([&] {
            return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
        });
    }

    // Windows has no swap of two names in one step.
    Swap swap(const char*, const char*) override { return Swap::unsupported; }

    Outcome remove_name(const char* name) override {
        return retry_while_held([&] { return DeleteFileA(name) != 0; });
    }

    Entry inspect(const char* name) override {
        Entry e;
        const DWORD attributes = GetFileAttributesA(name);
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            const DWORD error = GetLastError();
            e.unreadable =
                error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND && !is_held(error);
            return e;
        }
        e.is_link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        BY_HANDLE_FILE_INFORMATION info{};
        DWORD type = FILE_TYPE_UNKNOWN;
        if (!file_information(name, false, info, type, e.held)) {
            e.kind = EntryKind::other;
            return e;
        }
        e.entry_file = identity(info);
        if (!file_information(name, true, info, type, e.held)) {
            e.kind = EntryKind::other; // a link that leads nowhere
            return e;
        }
        e.target = state_of(info);
        if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            e.kind = EntryKind::directory;
        else
            e.kind = type == FILE_TYPE_DISK ? EntryKind::regular : EntryKind::other;
        return e;
    }

    // A link is followed by the system in one step; what it leads to is all
    // there is to compare.
    std::vector<FileId> reached_through_links(const char* name) override {
        const Entry e = inspect(name);
        if (!e.is_link || e.kind == EntryKind::missing || e.kind == EntryKind::other) return {};
        return {e.target.id};
    }

    // Renames write through to the disk; nothing is left to sync.
    bool sync_directory(const char*) override { return true; }

    bool names_ignore_case() const override { return true; }

    // The lock file is opened for this run alone (another run's open fails
    // at once, not retried) and deleted by the system when it closes, also
    // when the process is killed.
    LockResult lock_directory(const char* lock_name, std::unique_ptr<ExchangeLock>& lock) override {
        HANDLE h = CreateFileA(lock_name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return is_held(GetLastError()) ? LockResult::busy : LockResult::unavailable;
        lock = std::make_unique<WindowsLock>(h);
        return LockResult::locked;
    }
};

} // namespace

FileSystem& real_file_system() {
    static WorkingDirectory dir;
    return dir;
}

bool remove_name_at_once(const char* name) noexcept {
    return DeleteFileA(name) != 0;
}

// Never asked: Windows has no swap.
bool names_file_at_once(const char*, const FileId&) noexcept {
    return false;
}

bool swap_at_once(const char*, const char*) noexcept {
    return false;
}

// ReadFile and WriteFile are not cut short by console events.
void give_up_cut_short_calls_when(StopQuestion) noexcept {}

bool cut_short_call_gives_up() noexcept {
    return false;
}

} // namespace textmatte
