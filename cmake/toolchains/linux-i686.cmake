# 32-bit x86 Linux with the distribution's multilib g++ (Debian: g++-multilib):
# the same 32-bit code paths as the Windows exe users deploy (no 128-bit
# integers, 32-bit size_t and long), built and tested on a 64-bit machine.
# Where the machine cannot run 32-bit programs, they run under a user-mode
# emulator (qemu-i386-static), which loads the distribution's 32-bit C
# library (installed with g++-multilib) for the dynamically linked ones.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT -m32)
set(CMAKE_CXX_FLAGS_INIT -m32)
set(CMAKE_EXE_LINKER_FLAGS_INIT -m32)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -m32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
