// For the Windows tests: holds a file open without sharing it, or sharing
// it for reading only, as a virus scanner, backup agent or viewer does,
// then lets it go.
//   hold_file NAME MILLISECONDS READY [read]
// READY is created once the file is held, so a test knows when to start.
#include <windows.h>

#include <cstdlib>
#include <cstring>

int main(int argc, char* argv[]) {
    if (argc != 4 && argc != 5) return 2;
    const DWORD share = argc == 5 && std::strcmp(argv[4], "read") == 0 ? FILE_SHARE_READ : 0;
    HANDLE held = CreateFileA(argv[1], GENERIC_READ, share, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (held == INVALID_HANDLE_VALUE) return 3;
    HANDLE ready = CreateFileA(argv[3], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ready == INVALID_HANDLE_VALUE) return 4;
    CloseHandle(ready);
    Sleep(static_cast<DWORD>(std::atol(argv[2])));
    CloseHandle(held);
    return 0;
}
