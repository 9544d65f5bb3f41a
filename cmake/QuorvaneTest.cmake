# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Quorvane developers
# quorvane_add_test(NAME name SOURCES ... LIBS ...): one QtTest executable, run headless under CTest.
function(quorvane_add_test)
    cmake_parse_arguments(T "WINDOW" "NAME" "SOURCES;LIBS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} quorvane_testsupport Qt6::Test)
    quorvane_warnings(${T_NAME})
    set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/tests")
    # Wine passes on no QT_ variable: a test with a window (WINDOW) is told its platform on the command line.
    set(arguments)
    if(WIN32 AND T_WINDOW)
        set(arguments -platform offscreen)
    endif()
    add_test(NAME ${T_NAME} COMMAND ${T_NAME} ${arguments})
    set_tests_properties(${T_NAME} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ASAN_OPTIONS=detect_leaks=1;UBSAN_OPTIONS=print_stacktrace=1;LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp"
        TIMEOUT 300)
    if(WIN32)
        # Run under Wine (CMAKE_CROSSCOMPILING_EMULATOR), with the DLLs of the build folder and its plugins
        # (tests/qt.conf).
        set_property(TEST ${T_NAME} APPEND PROPERTY ENVIRONMENT
            "WINEPATH=Z:${CMAKE_BINARY_DIR}" "WINEDEBUG=-all" "WINEDLLOVERRIDES=mscoree,mshtml=")
    endif()
endfunction()
