# Cross-compiling for Windows x86-64 with Debian's mingw-w64 (posix threads, for std::thread).
# Libraries come from mingw's own sysroot and from the dependency prefix built by
# tools/windows/deps (MORROWDECK_WINDOWS_PREFIX).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(_prefix "$ENV{MORROWDECK_WINDOWS_PREFIX}")
if(NOT _prefix)
  set(_prefix "$ENV{HOME}/.cache/morrowdeck-windows/prefix")
endif()
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 "${_prefix}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Static executables import only Windows' own DLLs: nothing to ship beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# Lets gtest_discover_tests and ctest run the test programs under Wine.
find_program(_wine64 NAMES wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(_wine64)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${_wine64}")
endif()
