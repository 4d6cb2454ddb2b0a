set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
# Each .exe must run with no DLL beside it: libgcc, libstdc++ and winpthreads
# are linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
