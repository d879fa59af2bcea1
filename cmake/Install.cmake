# Installs the libraries, their public headers, the program and a CMake package
# (find_package(ComputerID) gives ComputerID::sha, ComputerID::computer_id and the C
# interface's shared library ComputerID::c) where GNUInstallDirs puts them: configured with
# the prefix /usr on Debian (preset package) the libraries land in the multiarch folder. The
# static build packages only the stand-alone program and its documents instead.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(CPACK_PACKAGE_NAME computer-id)
set(CPACK_PACKAGE_VENDOR "computer_id developers")
set(CPACK_PACKAGE_CONTACT "computer_id developers <computer-id@users.noreply.example.org>")
# Folders that install and cpack create get 0755 whatever the umask of the build.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/computer-id)
# Lets a group read the serial numbers: shipped as an example, which the package does not enable.
set(serials_recipe ${PROJECT_SOURCE_DIR}/packaging/computer-id-serials.conf)
# README.md and, at the same relative places, the documents it links to and those they link to.
set(readme ${PROJECT_SOURCE_DIR}/README.md)
set(readme_docs computer-id.md benchmarks.md linux-transcript.txt windows-wine-transcript.txt)
list(TRANSFORM readme_docs PREPEND ${PROJECT_SOURCE_DIR}/docs/)

function(computer_id_install_readme component)
    install(FILES ${readme} DESTINATION ${doc_dir} COMPONENT ${component})
    install(FILES ${readme_docs} DESTINATION ${doc_dir}/docs COMPONENT ${component})
endfunction()

if(COMPUTER_ID_STATIC)
    # The program, the README with its documents, the licence and the serials recipe.
    install(TARGETS computer_id RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT program)
    computer_id_install_readme(program)
    install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${doc_dir} COMPONENT program)
    install(FILES ${serials_recipe} DESTINATION ${doc_dir}/examples COMPONENT program)
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
# The C interface: on Linux libcomputer_id.so.0 in its own package and the link to it that
# the linker looks for in the -dev package; on Windows the DLL beside the program and
# MinGW's import library, with the .def and an import library for MSVC's linker.
install(TARGETS computer_id_c EXPORT ComputerIDTargets
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT library
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library
        NAMELINK_COMPONENT development
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
if(WIN32)
    install(FILES ${PROJECT_SOURCE_DIR}/computer_id/computer_id.def
        DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
endif()
if(WIN32 AND CMAKE_DLLTOOL)
    install(FILES $<TARGET_FILE_DIR:computer_id_c>/computer_id.lib
        DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
endif()

install(TARGETS computer_id RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT program)
computer_id_install_readme(program)
if(WIN32)
    install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${doc_dir} COMPONENT program)
else()
    install(FILES ${serials_recipe} DESTINATION ${doc_dir}/examples COMPONENT program)
endif()

install(DIRECTORY ${PROJECT_SOURCE_DIR}/sha/include/ ${PROJECT_SOURCE_DIR}/computer_id/include/
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)

# The bindings: Python's package where Debian's python3 finds it, and on Windows in the bin
# folder with its own copy of the DLL inside, laid out as in its wheel; the C# source for
# projects to compile in.
set(python_binding ${PROJECT_SOURCE_DIR}/bindings/python/computer_id/__init__.py
    ${PROJECT_SOURCE_DIR}/bindings/python/computer_id/py.typed)
if(WIN32)
    install(FILES ${python_binding} $<TARGET_FILE:computer_id_c>
        DESTINATION ${CMAKE_INSTALL_BINDIR}/computer_id COMPONENT python)
else()
    install(FILES ${python_binding} DESTINATION lib/python3/dist-packages/computer_id
        COMPONENT python)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/bindings/csharp/ComputerId.cs
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/computer-id/csharp COMPONENT development)

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
    # The prefix is found from the .pc file's own folder, so that the file holds wherever the
    # tree is installed (cmake --install --prefix), in the multiarch folder or in lib.
    set(pkgconfig_dir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
    cmake_path(RELATIVE_PATH CMAKE_INSTALL_PREFIX
        BASE_DIRECTORY ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig OUTPUT_VARIABLE pkgconfig_dir_to_prefix)
    configure_file(${PROJECT_SOURCE_DIR}/packaging/computer-id.pc.in
        ${PROJECT_BINARY_DIR}/packaging/computer-id.pc @ONLY)
    install(FILES ${PROJECT_BINARY_DIR}/packaging/computer-id.pc
        DESTINATION ${pkgconfig_dir} COMPONENT development)
    include(${PROJECT_SOURCE_DIR}/packaging/Debian.cmake)
endif()
include(CPack)
