# Cross-compiling for 64-bit Windows with MinGW-w64 (posix threads, so that
# std::thread and std::mutex work). Every Windows build uses this file:
# Kestrel's, which runs its tests under Wine, and the libraries built for it
# from Debian's sources (scripts/windows-qt.sh, windows-server-deps.sh),
# which set KESTREL_MINGW_LIBRARY.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
# Qt for Windows (scripts/windows-qt.sh) is found below its own prefix.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KESTREL_WINDOWS_QT KESTREL_MINGW_LIBRARY)
if(KESTREL_WINDOWS_QT)
  list(APPEND CMAKE_FIND_ROOT_PATH ${KESTREL_WINDOWS_QT})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
if(NOT KESTREL_MINGW_LIBRARY)
  # The compiler's runtime (libstdc++, libgcc, winpthread) goes into each
  # program, so that Wine runs them without the compiler's DLLs on its path.
  set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
  # CTest and gtest_discover_tests start the test programs through Wine:
  # the scripts pass the one they found (packaging/windows/wine-env.sh).
  find_program(KESTREL_WINE NAMES wine64 wine NO_CMAKE_FIND_ROOT_PATH)
  if(KESTREL_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${KESTREL_WINE})
  endif()
endif()
