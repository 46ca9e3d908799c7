// The file layer on Windows, on the system's own file handles.
#include <windows.h>

#include "files/files.hpp"

namespace textmatte {

namespace {

// While a run holds this file open, no other run can open it; the system
// deletes it when the handle closes, also when the process is killed.
constexpr const char* kLockName = "JWC_TEMP.LCK";

bool close_handle(HANDLE& h) {
    if (h == INVALID_HANDLE_VALUE) return true;
    const bool ok = CloseHandle(h) != 0;
    h = INVALID_HANDLE_VALUE;
    return ok;
}

class WindowsInFile final : public InFile {
  public:
    explicit WindowsInFile(HANDLE h) : h_(h) {}
    ~WindowsInFile() override { close_handle(h_); }

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

class WindowsOutFile final : public OutFile {
  public:
    explicit WindowsOutFile(HANDLE h) : h_(h) {}
    ~WindowsOutFile() override { close_handle(h_); }

    bool write(const char* data, std::size_t size) override {
        while (size > 0) {
            if (h_ == INVALID_HANDLE_VALUE) return false;
            const DWORD want = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
            DWORD put = 0;
            if (!WriteFile(h_, data, want, &put, nullptr) || put == 0) return false;
            data += put;
            size -= put;
        }
        return true;
    }
    bool sync() override { return h_ != INVALID_HANDLE_VALUE && FlushFileBuffers(h_) != 0; }
    bool close() override { return close_handle(h_); }

  private:
    HANDLE h_;
};

class WindowsLock final : public DirectoryLock {
  public:
    explicit WindowsLock(HANDLE h) : h_(h) {}
    ~WindowsLock() override { close_handle(h_); }

  private:
    HANDLE h_;
};

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
    close_handle(h);
    return ok;
}

FileId identity(const BY_HANDLE_FILE_INFORMATION& info) {
    return {info.dwVolumeSerialNumber,
            (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

class WorkingDirectory final : public FileSystem {
  public:
    std::unique_ptr<InFile> open_read(const char* name) override {
        HANDLE h = CreateFileA(name, GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (h == INVALID_HANDLE_VALUE) return nullptr;
        BY_HANDLE_FILE_INFORMATION info{};
        if (GetFileType(h) != FILE_TYPE_DISK || !GetFileInformationByHandle(h, &info) ||
            (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            close_handle(h);
            return nullptr;
        }
        return std::make_unique<WindowsInFile>(h);
    }

    std::unique_ptr<OutFile> create_new(const char* name) override {
        HANDLE h = CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return nullptr;
        return std::make_unique<WindowsOutFile>(h);
    }

    bool rename(const char* from, const char* to) override {
        return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) != 0;
    }

    bool remove_name(const char* name) override { return DeleteFileA(name) != 0; }

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

    LockResult lock_directory(std::unique_ptr<DirectoryLock>& lock) override {
        HANDLE h = CreateFileA(kLockName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED
                       ? LockResult::busy
                       : LockResult::failed;
        }
        lock = std::make_unique<WindowsLock>(h);
        return LockResult::locked;
    }
};

} // namespace

FileSystem& real_file_system() {
    static WorkingDirectory dir;
    return dir;
}

} // namespace textmatte
