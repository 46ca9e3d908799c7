#include "files/windows_output_file.hpp"
#include "files/windows_handle.hpp"

namespace textmatte {

namespace {

class WindowsOutFile final : public OutFile {
  public:
    explicit WindowsOutFile(HANDLE h) : handle_(h) {}
    ~WindowsOutFile() override { (void)close_handle(handle_); } // nothing to report on the way out

    bool write(const char* data, std::size_t size) override {
        while (size > 0) {
            if (handle_ == INVALID_HANDLE_VALUE) return false;
            const DWORD want = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
            DWORD put = 0;
            if (!WriteFile(handle_, data, want, &put, nullptr) || put == 0) return false;
            data += put;
            size -= put;
        }
        return true;
    }
    bool sync() override {
        return handle_ != INVALID_HANDLE_VALUE && FlushFileBuffers(handle_) != 0;
    }
    bool close() override { return close_handle(handle_); }

  private:
    HANDLE handle_;
};

} // namespace

std::unique_ptr<OutFile> make_windows_output_file(HANDLE h) {
    return std::make_unique<WindowsOutFile>(h);
}

} // namespace textmatte
