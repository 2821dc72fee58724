# CPack pre-build script: the staged ledsign package holds the service unit configured for this
# build's install prefix; the package installs its program under CPACK_PACKAGING_INSTALL_PREFIX,
# so the unit configured for that prefix replaces it before the package is made.
# CPACK_LEDSIGN_PACKAGE_UNIT and CPACK_LEDSIGN_UNIT_DIR come from the CPack configuration.
set(staged_unit_dir
    ${CPACK_TEMPORARY_DIRECTORY}/cli${CPACK_PACKAGING_INSTALL_PREFIX}/${CPACK_LEDSIGN_UNIT_DIR})
get_filename_component(unit_name ${CPACK_LEDSIGN_PACKAGE_UNIT} NAME)
if(NOT EXISTS ${staged_unit_dir}/${unit_name})
    message(FATAL_ERROR "no staged ${unit_name} in ${staged_unit_dir}")
endif()
file(COPY_FILE ${CPACK_LEDSIGN_PACKAGE_UNIT} ${staged_unit_dir}/${unit_name})
