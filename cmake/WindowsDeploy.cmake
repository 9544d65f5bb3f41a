# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Quorvane developers
# On Windows the two programs need beside them the DLLs they link and Qt's plugins: copied into the build
# folder, so that the programs run from there (under Wine too), and installed beside the programs.
# quorvane_deploy_windows(): after the targets exist.
function(quorvane_deploy_windows)
    get_filename_component(qtPrefix "${Qt6_DIR}/../../.." ABSOLUTE)
    pkg_get_variable(ffmpegPrefix libavutil prefix)
    set(dlls)
    foreach(module Core Gui Widgets)
        list(APPEND dlls "${qtPrefix}/bin/Qt6${module}.dll")
    endforeach()
    file(GLOB ffmpegDlls "${ffmpegPrefix}/bin/av*.dll")
    list(APPEND dlls ${ffmpegDlls})
    # The MinGW-w64 runtime of Debian's -posix compilers.
    foreach(runtime libgcc_s_seh-1.dll libstdc++-6.dll libwinpthread-1.dll)
        execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${runtime}
            OUTPUT_VARIABLE found OUTPUT_STRIP_TRAILING_WHITESPACE)
        if(NOT IS_ABSOLUTE "${found}" OR NOT EXISTS "${found}")
            message(FATAL_ERROR "the MinGW-w64 runtime ${runtime} is not where ${CMAKE_CXX_COMPILER} looks")
        endif()
        list(APPEND dlls "${found}")
    endforeach()
    # The hand pointer is a .CUR file, which Qt reads with its ICO plugin.
    set(plugins platforms/qwindows.dll platforms/qoffscreen.dll styles/qwindowsvistastyle.dll imageformats/qico.dll)

    set(copies)
    foreach(dll IN LISTS dlls)
        get_filename_component(name "${dll}" NAME)
        list(APPEND copies "${CMAKE_BINARY_DIR}/${name}")
        add_custom_command(OUTPUT "${CMAKE_BINARY_DIR}/${name}"
            COMMAND ${CMAKE_COMMAND} -E copy_if_different "${dll}" "${CMAKE_BINARY_DIR}/${name}" DEPENDS "${dll}")
        install(FILES "${dll}" DESTINATION ${CMAKE_INSTALL_BINDIR})
    endforeach()
    foreach(plugin IN LISTS plugins)
        get_filename_component(folder "${plugin}" DIRECTORY)
        list(APPEND copies "${CMAKE_BINARY_DIR}/${plugin}")
        add_custom_command(OUTPUT "${CMAKE_BINARY_DIR}/${plugin}"
            COMMAND ${CMAKE_COMMAND} -E copy_if_different "${qtPrefix}/plugins/${plugin}" "${CMAKE_BINARY_DIR}/${plugin}"
            DEPENDS "${qtPrefix}/plugins/${plugin}")
        install(FILES "${qtPrefix}/plugins/${plugin}" DESTINATION ${CMAKE_INSTALL_BINDIR}/${folder})
    endforeach()
    add_custom_target(windows_dlls ALL DEPENDS ${copies})
    if(QUORVANE_BUILD_TESTS)
        add_custom_command(OUTPUT "${CMAKE_BINARY_DIR}/tests/Qt6Test.dll"
            COMMAND ${CMAKE_COMMAND} -E make_directory "${CMAKE_BINARY_DIR}/tests"
            COMMAND ${CMAKE_COMMAND} -E copy_if_different "${qtPrefix}/bin/Qt6Test.dll" "${CMAKE_BINARY_DIR}/tests/"
            DEPENDS "${qtPrefix}/bin/Qt6Test.dll")
        # The test programs, one folder down, find the plugins beside the programs.
        file(WRITE "${CMAKE_BINARY_DIR}/tests/qt.conf" "[Paths]\nPrefix = ..\nPlugins = .\n")
        add_custom_target(windows_test_dlls ALL DEPENDS "${CMAKE_BINARY_DIR}/tests/Qt6Test.dll")
    endif()
endfunction()
