# CPack pre-build script: the staged ledsign package holds the service units configured for this
# build's install prefix; the package installs its program under CPACK_PACKAGING_INSTALL_PREFIX,
# so the units configured for that prefix replace them before the package is made.
# CPACK_LEDSIGN_PACKAGE_UNITS and CPACK_LEDSIGN_UNIT_DIR come from the CPack configuration.
set(staged_unit_dir
    ${CPACK_TEMPORARY_DIRECTORY}/cli${CPACK_PACKAGING_INSTALL_PREFIX}/${CPACK_LEDSIGN_UNIT_DIR})
foreach(package_unit ${CPACK_LEDSIGN_PACKAGE_UNITS})
    get_filename_component(unit_name ${package_unit} NAME)
    if(NOT EXISTS ${staged_unit_dir}/${unit_name})
        message(FATAL_ERROR "no staged ${unit_name} in ${staged_unit_dir}")
    endif()
    file(COPY_FILE ${package_unit} ${staged_unit_dir}/${unit_name})
endforeach()
