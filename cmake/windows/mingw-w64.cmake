# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Quorvane developers
# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (the -posix compilers: C++ threads), for the
# Windows kit (scripts/windows/make-kit) and for the program itself (scripts/windows/build).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)
set(CMAKE_AR ${triple}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${triple}-ranlib CACHE FILEPATH "")
# Libraries and packages from the MinGW root and the kit (remembered from the first configuration, so that a
# later one from any shell finds it); programs from the build machine. FFmpeg through the kit's pkg-config
# files, never the build machine's.
if(DEFINED ENV{QUORVANE_WINDOWS_KIT})
    set(QUORVANE_WINDOWS_KIT "$ENV{QUORVANE_WINDOWS_KIT}" CACHE PATH "The Windows kit (scripts/windows/make-kit)")
endif()
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${triple})
if(QUORVANE_WINDOWS_KIT)
    list(APPEND CMAKE_FIND_ROOT_PATH "${QUORVANE_WINDOWS_KIT}")
    set(ENV{PKG_CONFIG_LIBDIR} "${QUORVANE_WINDOWS_KIT}/ffmpeg/lib/pkgconfig")
    set(ENV{PKG_CONFIG_PATH} "")
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The tests run under Wine.
find_program(QUORVANE_WINE wine)
if(QUORVANE_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR "${QUORVANE_WINE}")
endif()
