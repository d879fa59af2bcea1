# Installs the libraries, their public headers, the program and a CMake package
# (find_package(ComputerID) gives ComputerID::sha and ComputerID::computer_id) where
# GNUInstallDirs puts them: configured with the prefix /usr on Debian (preset package) the
# libraries land in the multiarch folder. The static build packages only the stand-alone
# program instead.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(CPACK_PACKAGE_NAME computer-id)
set(CPACK_PACKAGE_VENDOR "computer_id developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Derives a stable computer ID from the machine's hardware")
set(CPACK_PACKAGE_CONTACT "computer_id developers <computer-id@localhost>")
# Lets a group read the serial numbers: shipped as an example, which the package does not enable.
set(serials_recipe ${PROJECT_SOURCE_DIR}/packaging/computer-id-serials.conf)
set(serials_recipe_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/computer-id/examples)

if(COMPUTER_ID_STATIC)
    # The program, the README and the serials recipe, nothing else.
    install(TARGETS computer_id RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT program)
    install(FILES ${PROJECT_SOURCE_DIR}/README.md
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/computer-id COMPONENT program)
    install(FILES ${serials_recipe} DESTINATION ${serials_recipe_dir} COMPONENT program)
    set(CPACK_GENERATOR TGZ)
    set(CPACK_PACKAGE_FILE_NAME
        computer-id-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR}-static)
    include(CPack)
    return()
endif()

set(package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/ComputerID)

install(TARGETS computer_id_sha computer_id_platform computer_id_library
    EXPORT ComputerIDTargets
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
install(TARGETS computer_id RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT program)
if(NOT WIN32)
    install(FILES ${serials_recipe} DESTINATION ${serials_recipe_dir} COMPONENT program)
endif()

install(DIRECTORY ${PROJECT_SOURCE_DIR}/sha/include/ ${PROJECT_SOURCE_DIR}/computer_id/include/
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)

install(EXPORT ComputerIDTargets NAMESPACE ComputerID:: DESTINATION ${package_dir}
    COMPONENT development)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/ComputerIDConfig.cmake.in
    ${PROJECT_BINARY_DIR}/ComputerIDConfig.cmake INSTALL_DESTINATION ${package_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/ComputerIDConfigVersion.cmake
    COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/ComputerIDConfig.cmake
    ${PROJECT_BINARY_DIR}/ComputerIDConfigVersion.cmake
    DESTINATION ${package_dir} COMPONENT development)

if(WIN32)
    set(CPACK_GENERATOR ZIP)
else()
    # Two packages, the Debian way: computer-id holds the program, computer-id-dev the
    # static libraries, headers and CMake package, which need nothing from the program.
    set(CPACK_GENERATOR DEB)
    set(CPACK_DEB_COMPONENT_INSTALL ON)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
    set(CPACK_DEBIAN_PROGRAM_PACKAGE_NAME computer-id)
    set(CPACK_DEBIAN_PROGRAM_PACKAGE_SECTION utils)
    set(CPACK_DEBIAN_PROGRAM_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1")
    set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME computer-id-dev)
    set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
    set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION
        "Static libraries, headers and CMake package of computer_id")
endif()
include(CPack)
