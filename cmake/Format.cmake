# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Quorvane developers
# `cmake --build build --target format` rewrites every C++ source with the committed .clang-format.
find_program(CLANG_FORMAT_EXE NAMES clang-format clang-format-14)
if(CLANG_FORMAT_EXE)
    file(GLOB_RECURSE QUORVANE_FORMAT_SOURCES CONFIGURE_DEPENDS
         ${CMAKE_SOURCE_DIR}/app/*.cpp ${CMAKE_SOURCE_DIR}/app/*.h
         ${CMAKE_SOURCE_DIR}/core/*.cpp ${CMAKE_SOURCE_DIR}/core/*.h
         ${CMAKE_SOURCE_DIR}/resources/*.cpp ${CMAKE_SOURCE_DIR}/resources/*.h
         ${CMAKE_SOURCE_DIR}/bench/*.cpp ${CMAKE_SOURCE_DIR}/bench/*.h
         ${CMAKE_SOURCE_DIR}/filelist/*.cpp ${CMAKE_SOURCE_DIR}/filelist/*.h
         ${CMAKE_SOURCE_DIR}/split/*.cpp ${CMAKE_SOURCE_DIR}/split/*.h
         ${CMAKE_SOURCE_DIR}/platform/*.cpp ${CMAKE_SOURCE_DIR}/platform/*.h
         ${CMAKE_SOURCE_DIR}/splitter/*.cpp ${CMAKE_SOURCE_DIR}/splitter/*.h
         ${CMAKE_SOURCE_DIR}/tests/*.cpp ${CMAKE_SOURCE_DIR}/tests/*.h)
    add_custom_target(format COMMAND ${CLANG_FORMAT_EXE} -i ${QUORVANE_FORMAT_SOURCES}
                      COMMENT "Formatting the C++ sources")
endif()
