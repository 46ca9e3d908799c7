// For the Windows tests: holds a file open without sharing it, as a virus
// scanner or backup agent does for a moment, then lets it go.
//   hold_file NAME MILLISECONDS READY
// READY is created once the file is held, so a test knows when to start.
#include <windows.h>

#include <cstdlib>

int main(int argc, char* argv[]) {
    if (argc != 4) return 2;
    HANDLE held = CreateFileA(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING,
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
