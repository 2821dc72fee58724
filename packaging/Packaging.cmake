# Installation and Debian packaging: `cmake --install` puts the programs, fonts, man pages,
# completion, service unit and desktop files under the prefix; `cpack -G DEB` (through
# scripts/package.sh) splits the same tree into two packages, ledsign (no Qt) and
# ledsign-editor. Windows has its own rules (packaging/windows/Windows.cmake). Included at the
# end of the top-level CMakeLists.txt, after every target.

foreach(tool ledsign ledsign-emulator ledsign-editor)
    if(TARGET ${tool})
        target_compile_definitions(${tool} PRIVATE LEDSIGN_VERSION="${PROJECT_VERSION}")
    endif()
endforeach()

if(WIN32)
    include(${CMAKE_CURRENT_LIST_DIR}/windows/Windows.cmake)
    return()
endif()
# The layout below is that of a POSIX system.
if(NOT UNIX OR APPLE)
    return()
endif()

set(LEDSIGN_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})
set(LEDSIGN_APP_ID org.ledsign.Editor)
set(LEDSIGN_MAINTAINER "The ledsign developers <ledsign@example.org>"
    CACHE STRING "Maintainer named in the Debian packages")
set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc)
set(generated ${CMAKE_CURRENT_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${generated})

# Component "cli" becomes the package ledsign, "editor" the package ledsign-editor. These are
# the only install rules of the programs and fonts, so `cmake --install` and the packages install
# the same files once.
if(TARGET ledsign)
    install(TARGETS ledsign RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT cli)
endif()
if(TARGET ledsign-emulator)
    install(TARGETS ledsign-emulator RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT cli)
endif()
file(GLOB font_files ${CMAKE_SOURCE_DIR}/fonts/*.fnt)
install(FILES ${font_files} DESTINATION ${CMAKE_INSTALL_DATADIR}/ledsign/fonts COMPONENT cli)

# Man pages and changelogs are installed compressed (gzip -n: no time stamp, so rebuilds give
# the same bytes), as Debian's policy asks.
find_program(LEDSIGN_GZIP gzip REQUIRED)
set(compressed_outputs "")
function(ledsign_compressed source output)
    configure_file(${source} ${generated}/${output} @ONLY)
    add_custom_command(OUTPUT ${generated}/${output}.gz
                       COMMAND ${LEDSIGN_GZIP} -9 -n -f -k ${generated}/${output}
                       DEPENDS ${generated}/${output} ${source})
    set(compressed_outputs ${compressed_outputs} ${generated}/${output}.gz PARENT_SCOPE)
endfunction()
set(VERSION ${PROJECT_VERSION})
foreach(page ledsign ledsign-emulator ledsign-editor)
    ledsign_compressed(${LEDSIGN_PACKAGING_DIR}/man/${page}.1 ${page}.1)
endforeach()
ledsign_compressed(${LEDSIGN_PACKAGING_DIR}/debian/changelog changelog)
add_custom_target(ledsign_packaging_data ALL DEPENDS ${compressed_outputs})
configure_file(${LEDSIGN_PACKAGING_DIR}/desktop/${LEDSIGN_APP_ID}.metainfo.xml
               ${generated}/${LEDSIGN_APP_ID}.metainfo.xml @ONLY)

set(man1 ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${generated}/ledsign.1.gz ${generated}/ledsign-emulator.1.gz DESTINATION ${man1}
        COMPONENT cli)
install(FILES ${LEDSIGN_PACKAGING_DIR}/completion/ledsign
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions COMPONENT cli)
# The service units name the program by its absolute path, which systemd requires: the installed
# program of this build's prefix for `cmake --install`, and the package prefix's for the Debian
# package, whose staged copies are replaced by the second ones (packaging/UsePackageUnit.cmake).
# `ledsign mqtt` exists where tools/CMakeLists.txt found libmosquitto, and so does its unit: a
# unit starting a missing command would only fail.
set(LEDSIGN_PACKAGE_PREFIX /usr)
set(units ledsign-watch@.service)
set(unit_examples watch.conf)
if(TARGET ledsign AND LEDSIGN_MOSQUITTO_LIBRARY AND LEDSIGN_MOSQUITTO_INCLUDE)
    list(APPEND units ledsign-mqtt.service)
    list(APPEND unit_examples mqtt.conf)
endif()
set(CPACK_LEDSIGN_UNIT_DIR lib/systemd/system)
set(CPACK_LEDSIGN_PACKAGE_UNITS "")
foreach(unit ${units})
    set(LEDSIGN_UNIT_BINDIR ${CMAKE_INSTALL_FULL_BINDIR})
    configure_file(${LEDSIGN_PACKAGING_DIR}/systemd/${unit}.in ${generated}/${unit} @ONLY)
    set(LEDSIGN_UNIT_BINDIR ${LEDSIGN_PACKAGE_PREFIX}/${CMAKE_INSTALL_BINDIR})
    configure_file(${LEDSIGN_PACKAGING_DIR}/systemd/${unit}.in ${generated}/package/${unit} @ONLY)
    install(FILES ${generated}/${unit} DESTINATION ${CPACK_LEDSIGN_UNIT_DIR} COMPONENT cli)
    list(APPEND CPACK_LEDSIGN_PACKAGE_UNITS ${generated}/package/${unit})
endforeach()
foreach(example ${unit_examples})
    install(FILES ${LEDSIGN_PACKAGING_DIR}/systemd/${example}
            DESTINATION ${doc_dir}/ledsign/examples COMPONENT cli)
endforeach()

if(TARGET ledsign-editor)
    install(TARGETS ledsign-editor RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT editor)
    install(FILES ${generated}/ledsign-editor.1.gz DESTINATION ${man1} COMPONENT editor)
    install(FILES ${LEDSIGN_PACKAGING_DIR}/desktop/${LEDSIGN_APP_ID}.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT editor)
    install(FILES ${generated}/${LEDSIGN_APP_ID}.metainfo.xml
            DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT editor)
    # The MIME types of *.kom and *.kzb; the package's trigger rebuilds the MIME database.
    install(FILES ${LEDSIGN_PACKAGING_DIR}/mime/${LEDSIGN_APP_ID}.xml
            DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages COMPONENT editor)
    set(icons ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
    install(FILES ${LEDSIGN_PACKAGING_DIR}/icons/ledsign.svg DESTINATION ${icons}/scalable/apps
            RENAME ${LEDSIGN_APP_ID}.svg COMPONENT editor)
    foreach(size 16 24 32 48 64 128 256)
        install(FILES ${LEDSIGN_PACKAGING_DIR}/icons/ledsign-${size}.png
                DESTINATION ${icons}/${size}x${size}/apps RENAME ${LEDSIGN_APP_ID}.png
                COMPONENT editor)
    endforeach()
endif()

# Each package carries its own copyright and changelog.
foreach(component_package cli:ledsign editor:ledsign-editor)
    string(REPLACE ":" ";" pair ${component_package})
    list(GET pair 0 component)
    list(GET pair 1 package)
    if(component STREQUAL "editor" AND NOT TARGET ledsign-editor)
        continue()
    endif()
    install(FILES ${LEDSIGN_PACKAGING_DIR}/debian/copyright ${generated}/changelog.gz
            DESTINATION ${doc_dir}/${package} COMPONENT ${component})
endforeach()

# --- Debian packages ---
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ledsign)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${LEDSIGN_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX ${LEDSIGN_PACKAGE_PREFIX})
set(CPACK_PRE_BUILD_SCRIPTS ${LEDSIGN_PACKAGING_DIR}/UsePackageUnit.cmake)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL cli)
if(TARGET ledsign-editor)
    list(APPEND CPACK_COMPONENTS_ALL editor)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

set(CPACK_DEBIAN_CLI_PACKAGE_NAME ledsign)
# dh_installsystemd handles no template units: these scripts reload systemd and restart, stop and
# (on purge) disable the ledsign-watch@ instances and ledsign-mqtt, and purge their configuration
# and state.
set(maintscripts ${LEDSIGN_PACKAGING_DIR}/debian/maintscripts)
set(CPACK_DEBIAN_CLI_PACKAGE_CONTROL_EXTRA
    ${maintscripts}/postinst ${maintscripts}/prerm ${maintscripts}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_COMPONENT_CLI_DESCRIPTION
    "controller for a 64 x 8 LED moving-message sign (command line)
ledsign drives a one-row LED sign of 64 x 8 dots on a serial line: it builds
message files, plays them on a simulated strip, sends messages and message
sets to the sign, sets its clock and chooses the message it shows.
.
'ledsign watch' follows a text file and sends its first line to the sign
whenever it changes; the template unit ledsign-watch@.service runs it as a
service. 'ledsign mqtt' bridges an MQTT broker and the signs (messages, the
slot shown and the clock as commands, each sign's state published, Home
Assistant discovery); ledsign-mqtt.service runs it. The package also holds
ledsign-emulator, a software sign on a pseudo-terminal for trying everything
without hardware, and the five fonts.
It needs no graphical toolkit.")

set(CPACK_DEBIAN_EDITOR_PACKAGE_NAME ledsign-editor)
set(CPACK_DEBIAN_EDITOR_PACKAGE_SECTION editors)
set(CPACK_COMPONENT_EDITOR_DEPENDS cli)
# The Qt platform plugins are only recommended by the GUI library, yet without them the editor
# cannot start. The translations only give the Polish labels of the standard buttons (English
# without them), so they are recommended rather than required.
set(CPACK_DEBIAN_EDITOR_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_EDITOR_PACKAGE_RECOMMENDS "qt6-translations-l10n")
set(CPACK_COMPONENT_EDITOR_DESCRIPTION
    "desktop editor for a 64 x 8 LED moving-message sign
ledsign-editor is the Qt editor of the sign (its user interface is in Polish).
Messages are typed into a character grid with five bitmap fonts, live fields
(time, date, temperature) and special characters; single messages and sets
of eight are saved, loaded and sent to the sign, whose clock can be set.
A strip preview plays the message as the sign shows it, and a
synchronisation mode sends the first line of a text file whenever it
changes.")

include(CPack)
