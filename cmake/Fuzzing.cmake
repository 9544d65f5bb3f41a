# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Quorvane developers
# With QUORVANE_FUZZ every target is built for libFuzzer, which steers by the coverage of what it compiles, under
# AddressSanitizer and UndefinedBehaviorSanitizer; the fuzz targets of tests/fuzz link libFuzzer's own main.
# Clang only (scripts/fuzz).
if(QUORVANE_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "QUORVANE_FUZZ needs clang: CXX=clang++ (scripts/fuzz sets it)")
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()
