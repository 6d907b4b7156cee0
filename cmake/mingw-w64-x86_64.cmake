# Cross-build for 64-bit Windows with Debian's MinGW-w64, win32 thread model: libstdc++'s
# thread-safe statics and exceptions then rest on Win32 primitives, and no winpthreads is
# linked into the programs (they start no thread). That model's GCC 12 has no std::thread or
# std::mutex: code that starts threads (only tests do) uses Win32's own calls.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PLEXMOOR_TOOLCHAIN_CXX x86_64-w64-mingw32-g++-win32)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER ${PLEXMOOR_TOOLCHAIN_CXX})
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
