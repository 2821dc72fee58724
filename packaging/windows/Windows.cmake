# Windows: the programs' resources (icon, version, manifest) and the install rules of a native
# Windows build. Included by packaging/Packaging.cmake, after every target.
#
# `cmake --install` of a native build (Qt's own kits, MinGW or MSVC) puts both programs, the fonts
# and the licences into bin/ and runs Qt's windeployqt there, which copies the Qt libraries,
# plugins, translations and the compiler's runtime beside the editor; `cpack -G ZIP` packs that
# tree. The cross-build from Linux has no windeployqt (Debian's host Qt ships none):
# scripts/package.sh lays out its ZIP itself, in the same layout.

enable_language(RC)
set(LEDSIGN_WINDOWS_DIR ${CMAKE_CURRENT_LIST_DIR})

# ledsign_windows_resources(<target> <description>)
# Gives <target> the icon, the version information of project(VERSION) and the manifest.
function(ledsign_windows_resources target description)
    set(LEDSIGN_RC_NAME ${target})
    set(LEDSIGN_RC_DESCRIPTION "${description}")
    set(LEDSIGN_RC_ICON ${LEDSIGN_WINDOWS_DIR}/ledsign.ico)
    set(generated ${CMAKE_BINARY_DIR}/windows/${target})
    set(LEDSIGN_RC_MANIFEST ${generated}/${target}.manifest)
    configure_file(${LEDSIGN_WINDOWS_DIR}/program.manifest.in ${LEDSIGN_RC_MANIFEST} @ONLY)
    configure_file(${LEDSIGN_WINDOWS_DIR}/program.rc.in ${generated}/${target}.rc @ONLY)
    target_sources(${target} PRIVATE ${generated}/${target}.rc)
    # The resource compiler's dependency scan does not follow ICON and manifest lines.
    set_source_files_properties(${generated}/${target}.rc TARGET_DIRECTORY ${target} PROPERTIES
        OBJECT_DEPENDS "${LEDSIGN_RC_ICON};${LEDSIGN_RC_MANIFEST}")
    if(MSVC)
        # The resources carry the manifest; the linker's own would be a second one.
        target_link_options(${target} PRIVATE /MANIFEST:NO)
    endif()
endfunction()

if(TARGET ledsign)
    ledsign_windows_resources(ledsign "ledsign: LED sign command line")
endif()
if(TARGET ledsign-editor)
    ledsign_windows_resources(ledsign-editor "ledsign-editor: LED sign editor")
endif()

# Every file in one folder: the programs look for their fonts beside themselves, Qt for its
# plugins beside the program that loads it.
set(bin ${CMAKE_INSTALL_BINDIR})
if(TARGET ledsign)
    install(TARGETS ledsign RUNTIME DESTINATION ${bin})
endif()
file(GLOB font_files ${CMAKE_SOURCE_DIR}/fonts/*.fnt)
install(FILES ${font_files} DESTINATION ${bin})
install(FILES ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION ${bin} RENAME LICENSE.txt)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/debian/copyright DESTINATION ${bin}
        RENAME COPYRIGHT.txt)
if(TARGET ledsign-editor)
    install(TARGETS ledsign-editor RUNTIME DESTINATION ${bin})
    if(LEDSIGN_WINDEPLOYQT) # found by app/CMakeLists.txt in a native build
        install(CODE "
            execute_process(
                COMMAND \"${LEDSIGN_WINDEPLOYQT}\" $<IF:$<CONFIG:Debug>,--debug,--release>
                        --compiler-runtime
                        \"\${CMAKE_INSTALL_PREFIX}/${bin}/$<TARGET_FILE_NAME:ledsign-editor>\"
                COMMAND_ERROR_IS_FATAL ANY)")
    endif()
endif()

set(CPACK_PACKAGE_NAME ledsign)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME "ledsign-${PROJECT_VERSION}-win64")
set(CPACK_GENERATOR ZIP)
include(CPack)
