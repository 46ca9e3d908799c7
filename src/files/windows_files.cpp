// The file layer on Windows, on the system's own file handles.
#include <windows.h>

#include <string>

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
        if (handle_ == INVALID_HANDLE_VALUE) return fail(ERROR_INVALID_HANDLE), -1;
        const DWORD want = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
        DWORD got = 0;
        if (!ReadFile(handle_, data, want, &got, nullptr)) return fail(GetLastError()), -1;
        return static_cast<long>(got);
    }
    bool rewind() override {
        if (handle_ == INVALID_HANDLE_VALUE) return fail(ERROR_INVALID_HANDLE);
        return SetFilePointer(handle_, 0, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER ||
               fail(GetLastError());
    }
    bool close() override { return close_handle(handle_); }
    int system_error() const override { return error_; }

  private:
    // Notes the failure's code; always false.
    bool fail(DWORD code) {
        error_ = static_cast<int>(code != 0 ? code : ERROR_READ_FAULT);
        return false;
    }

    HANDLE handle_;
    int error_ = 0;
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

// Only these mean another program has the file open; access denied, a
// missing path or a folder under the name is said as what it is.
bool is_held(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

// Done, or failed with the system's code; held when the file was still
// held after the wait.
template <typename Attempt> Outcome retry_while_held(Attempt attempt) {
    DWORD waited = 0;
    for (DWORD wait = 10;; wait *= 2) {
        if (attempt()) return Outcome::done;
        const DWORD error = GetLastError();
        if (!is_held(error)) return {Outcome::failed, static_cast<int>(error)};
        if (waited >= kHeldForAtMostMs) return {Outcome::held, static_cast<int>(error)};
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

// Whether another program has the file open: an open that shares nothing
// then meets a sharing violation. Opened, it is closed again at once.
bool open_elsewhere(const char* name) {
    HANDLE h =
        CreateFileA(name, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_SHARING_VIOLATION;
    (void)close_handle(h); // only tried
    return false;
}

// What a name leads to (`follow`) or the entry itself (a link's own file);
// on failure, the system's code in `error`.
bool file_information(const char* name, bool follow, BY_HANDLE_FILE_INFORMATION& info, DWORD& type,
                      DWORD& error) {
    DWORD flags = FILE_FLAG_BACKUP_SEMANTICS; // directories too
    if (!follow) flags |= FILE_FLAG_OPEN_REPARSE_POINT;
    HANDLE h = CreateFileA(name, 0, kShareAll, nullptr, OPEN_EXISTING, flags, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = GetLastError();
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
        if (h == INVALID_HANDLE_VALUE) {
            const int error = opened.outcome.system_error;
            opened.no_such_file = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
            return opened;
        }
        BY_HANDLE_FILE_INFORMATION info{};
        if (GetFileType(h) != FILE_TYPE_DISK || !GetFileInformationByHandle(h, &info) ||
            (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            (void)close_handle(h); // refused anyway
            opened.no_such_file = true;
            return opened;
        }
        return {std::make_unique<WindowsInFile>(h), Outcome::done, state_of(info), false};
    }

    // A new file takes the access the directory gives it, as every file there.
    NewFile create_new(const char* name, const char*) override {
        Outcome outcome = Outcome::failed;
        HANDLE h = open_retrying(name, GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, outcome);
        if (h == INVALID_HANDLE_VALUE) return {nullptr, {}, false, nullptr, outcome.system_error};
        BY_HANDLE_FILE_INFORMATION info{};
        const bool known = GetFileInformationByHandle(h, &info) != 0;
        NewFile made{make_windows_output_file(h), identity(info), false, nullptr,
                     known ? 0 : static_cast<int>(GetLastError())};
        if (!known) {
            made.file.reset();       // closed: the file cannot be told apart from another
            (void)DeleteFileA(name); // made here just now and still empty
        }
        return made;
    }

    // Written through: the rename is on the disk when it returns. Replacing
    // a file another program has open fails as access denied, as does a
    // refusal: it counts as held only when one of the two files is open
    // elsewhere.
    Outcome rename(const char* from, const char* to) override {
        return retry_while_held([&] {
            if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
                return true;
            const DWORD error = GetLastError();
            const bool in_use =
                error == ERROR_ACCESS_DENIED && (open_elsewhere(to) || open_elsewhere(from));
            SetLastError(in_use ? ERROR_SHARING_VIOLATION : error); // the rename's, not the probes'
            return false;
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
            if (e.unreadable) e.system_error = static_cast<int>(error);
            return e;
        }
        e.is_link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        BY_HANDLE_FILE_INFORMATION info{};
        DWORD type = FILE_TYPE_UNKNOWN;
        DWORD error = ERROR_SUCCESS;
        if (!file_information(name, false, info, type, error)) {
            e.kind = EntryKind::other;
            e.held = is_held(error);
            // There, but not to be looked at (no right to it, say).
            e.unreadable = !e.held && error != ERROR_FILE_NOT_FOUND;
            if (e.unreadable) e.system_error = static_cast<int>(error);
            return e;
        }
        e.entry_file = identity(info);
        if (!file_information(name, true, info, type, error)) {
            e.kind = EntryKind::other; // a link that leads nowhere
            e.held = is_held(error);
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
    // at once with a sharing violation, not retried) and deleted by the
    // system when it closes, also when the process is killed. Every other
    // failure refuses the run: a run never goes on unlocked.
    //
    // The last run's lock file is deleted when its process ends; a virus
    // scanner that opened it just then keeps it pending deletion, and until
    // the scanner lets go an open answers "access denied". That is waited
    // for, as a held file is (a folder under the name is refused at once).
    LockResult lock_directory(const char* lock_name, std::unique_ptr<ExchangeLock>& lock) override {
        DWORD waited = 0;
        for (DWORD wait = 10;; wait *= 2) {
            HANDLE h = CreateFileA(lock_name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                   FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
            if (h != INVALID_HANDLE_VALUE) {
                lock = std::make_unique<WindowsLock>(h);
                return LockResult::locked;
            }
            const DWORD error = GetLastError();
            if (error == ERROR_SHARING_VIOLATION) return LockResult::busy;
            const DWORD attributes = GetFileAttributesA(lock_name);
            const bool folder = attributes != INVALID_FILE_ATTRIBUTES &&
                                (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            if (error != ERROR_ACCESS_DENIED || folder || waited >= kHeldForAtMostMs)
                return {LockResult::refused, static_cast<int>(error)};
            if (wait > kHeldForAtMostMs - waited) wait = kHeldForAtMostMs - waited;
            Sleep(wait);
            waited += wait;
        }
    }
};

} // namespace

FileSystem& real_file_system() {
    static WorkingDirectory dir;
    return dir;
}

namespace {

// The system's text for a code in the given language; "" where it has none.
std::string message_text(DWORD code, WORD language) {
    char text[512];
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, language, text, sizeof text, nullptr);
    return std::string(text, length);
}

} // namespace

// English where the system has it, else in the language it chooses; on one
// line, without the closing period.
std::string system_reason(int system_error) {
    const DWORD code = static_cast<DWORD>(system_error);
    std::string text = message_text(code, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    if (text.empty()) text = message_text(code, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    std::string line;
    for (char c : text) {
        const bool blank = c == '\r' || c == '\n' || c == ' ' || c == '\t';
        if (blank && (line.empty() || line.back() == ' ')) continue;
        line.push_back(blank ? ' ' : c);
    }
    while (!line.empty() && (line.back() == ' ' || line.back() == '.'))
        line.pop_back();
    return line.empty() ? "error " + std::to_string(system_error) : line;
}

Removal remove_name_at_once(const char* name) noexcept {
    if (DeleteFileA(name)) return Removal::removed;
    return GetLastError() == ERROR_FILE_NOT_FOUND ? Removal::already_gone : Removal::failed;
}

// Never asked: Windows has no swap.
// The system deletes the lock file with the process.
Removal remove_own_lock_file_at_once() noexcept {
    return Removal::already_gone;
}

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
