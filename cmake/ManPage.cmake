# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Quorvane developers
# The tool's manual page, with its list of exit statuses made from the rows of splitter/contract/exitcodes.h, the one
# place they are written down: QUORVANE_EXIT_STATUS_LIST in docs/quorvane-split.1.
set(exitCodes "${PROJECT_SOURCE_DIR}/splitter/contract/exitcodes.h")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${exitCodes}")
file(READ "${exitCodes}" header)
string(REPLACE ";" "<semicolon>" header "${header}") # a CMake list would split the rows there
string(REGEX MATCHALL "X\\([A-Za-z]+, [0-9]+, \"[^\"]*\"\\)" rows "${header}")
if(NOT rows)
    message(FATAL_ERROR "no exit status rows found in ${exitCodes}")
endif()
set(QUORVANE_EXIT_STATUS_LIST "")
foreach(row IN LISTS rows)
    string(REGEX REPLACE "X\\([A-Za-z]+, ([0-9]+), \"([^\"]*)\"\\)" ".TP\n.B \\1\n\\2" item "${row}")
    string(REPLACE "<semicolon>" ";" item "${item}")
    string(APPEND QUORVANE_EXIT_STATUS_LIST "${item}\n")
endforeach()
string(STRIP "${QUORVANE_EXIT_STATUS_LIST}" QUORVANE_EXIT_STATUS_LIST)
configure_file("${PROJECT_SOURCE_DIR}/docs/quorvane-split.1" "${PROJECT_BINARY_DIR}/man/quorvane-split.1" @ONLY)
