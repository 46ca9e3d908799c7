#include "files/windows_output_file.hpp"
#include "files/windows_handle.hpp"

namespace textmatte {

namespace {

class WindowsOutFile final : public OutFile {
  public:
    explicit WindowsOutFile(HANDLE h) : handle_(h) {}
    ~WindowsOutFile() override { (void)close_handle(handle_); } // nothing to report on the way out

    bool write(const char* data, std::size_t size) override {
        if (error_ != 0) return false;
        while (size > 0) {
            if (handle_ == INVALID_HANDLE_VALUE) return fail(ERROR_INVALID_HANDLE);
            const DWORD want = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
            DWORD put = 0;
            if (!WriteFile(handle_, data, want, &put, nullptr)) return fail(GetLastError());
            if (put == 0) return fail(ERROR_DISK_FULL); // nothing more fits
            data += put;
            size -= put;
        }
        return true;
    }
    bool sync() override {
        if (handle_ == INVALID_HANDLE_VALUE) return fail(ERROR_INVALID_HANDLE);
        if (error_ != 0) return false;
        return FlushFileBuffers(handle_) != 0 || fail(GetLastError());
    }
    bool close() override {
        if (!close_handle(handle_)) return fail(GetLastError());
        return error_ == 0;
    }
    int system_error() const override { return error_; }

  private:
    // Notes the first failure's code; always false. Once a write has
    // failed, every later write, the sync and the close fail too.
    bool fail(DWORD code) {
        if (error_ == 0) error_ = static_cast<int>(code != 0 ? code : ERROR_WRITE_FAULT);
        return false;
    }

    HANDLE handle_;
    int error_ = 0; // the system's code of the first failure; 0: none
};

} // namespace

std::unique_ptr<OutFile> make_windows_output_file(HANDLE h) {
    return std::make_unique<WindowsOutFile>(h);
}

} // namespace textmatte
