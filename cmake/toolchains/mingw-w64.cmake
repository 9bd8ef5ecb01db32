# Shared part of the mingw-w64 toolchain files: set RFLASH_MINGW_TRIPLET and
# CMAKE_SYSTEM_PROCESSOR, then include this file.
#
# Debian ships each compiler in two thread models. The test suites need the posix one
# (GoogleTest uses std::mutex and friends); the shipped rflash.exe uses the win32 one, which pulls
# in no threading library and no import newer than the program's oldest target.
set(CMAKE_SYSTEM_NAME Windows)

set(RFLASH_MINGW_THREADS posix CACHE STRING "Thread model of the mingw-w64 compilers: posix or win32")
set_property(CACHE RFLASH_MINGW_THREADS PROPERTY STRINGS posix win32)

set(CMAKE_C_COMPILER ${RFLASH_MINGW_TRIPLET}-gcc-${RFLASH_MINGW_THREADS})
set(CMAKE_CXX_COMPILER ${RFLASH_MINGW_TRIPLET}-g++-${RFLASH_MINGW_THREADS})
set(CMAKE_RC_COMPILER ${RFLASH_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${RFLASH_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static runtime: the programs need no DLL beyond the system's own (and the system's C runtime).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
