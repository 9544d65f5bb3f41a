# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Quorvane developers
# The manual page, the licence, and the Debian package that `cpack -G DEB` (or the `package` target) makes.

# Manual pages are installed compressed, as Debian's policy asks.
include(ManPage)
find_program(GZIP_EXE gzip REQUIRED)
add_custom_command(OUTPUT "${PROJECT_BINARY_DIR}/man/quorvane-split.1.gz"
    COMMAND ${GZIP_EXE} -9nkf "${PROJECT_BINARY_DIR}/man/quorvane-split.1"
    DEPENDS "${PROJECT_BINARY_DIR}/man/quorvane-split.1" "${PROJECT_SOURCE_DIR}/docs/quorvane-split.1"
        "${PROJECT_SOURCE_DIR}/splitter/contract/exitcodes.h"
    COMMENT "Compressing the manual page" VERBATIM)
add_custom_target(manpages ALL DEPENDS "${PROJECT_BINARY_DIR}/man/quorvane-split.1.gz")
install(FILES "${PROJECT_BINARY_DIR}/man/quorvane-split.1.gz" DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# Debian looks for the licence in /usr/share/doc/<package>/copyright.
install(FILES "${PROJECT_SOURCE_DIR}/LICENSE" "${PROJECT_SOURCE_DIR}/resources/desktop/copyright"
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quorvane)

set(CPACK_PACKAGE_NAME "quorvane")
set(CPACK_PACKAGE_VENDOR "Brindlecot")
set(CPACK_PACKAGE_CONTACT "Quorvane developers <support@brindlecot.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "cut videos into pieces of equal length without re-encoding")
set(CPACK_PACKAGE_DESCRIPTION "Quorvane cuts video files into consecutive pieces of equal playing time, cut at
keyframes and without re-encoding. Files are gathered in a list (file dialog, a folder tree, drag and drop),
and every file becomes clip_001.mp4, clip_002.mp4 and so on in the chosen folder. The source files are only
read. The package also holds quorvane-split, the command-line tool that does the cutting.")
set(CPACK_PACKAGE_HOMEPAGE_URL "${QUORVANE_HOMEPAGE}")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR "DEB")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "video")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
# The dependencies are read off the shared libraries the two programs really link.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
include(CPack)
