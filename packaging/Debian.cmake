# The Debian packages, one per CPack component, each with what Debian's policy asks of a
# package: the copyright file, the changelog, a manual page for the program, stripped
# binaries, and for the shared library its shlibs file and the ldconfig trigger.
set(deb_dir ${PROJECT_BINARY_DIR}/packaging/debian)
get_target_property(soversion computer_id_c SOVERSION)
set(library_package libcomputer-id${soversion})
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL program library development python)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
if(CMAKE_CROSSCOMPILING)
    # CPack would ask dpkg, which names the build machine's architecture.
    execute_process(COMMAND dpkg-architecture -t ${CMAKE_LIBRARY_ARCHITECTURE} -qDEB_HOST_ARCH
        OUTPUT_VARIABLE CPACK_DEBIAN_PACKAGE_ARCHITECTURE OUTPUT_STRIP_TRAILING_WHITESPACE
        ERROR_QUIET COMMAND_ERROR_IS_FATAL ANY)
endif()

# Each description's first line is the package's synopsis; CPack puts the rest below it.
set(CPACK_DEBIAN_PROGRAM_PACKAGE_NAME computer-id)
set(CPACK_DEBIAN_PROGRAM_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PROGRAM_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PROGRAM_DESCRIPTION [[derive a stable ID of this computer from its hardware
computer_id prints an ID of this machine: the SHA-256 digest of the strings
that describe its processor (from the CPUID instruction on x86-64, from the
Main ID Register on arm64), base board and BIOS (from the SMBIOS strings in
/sys/class/dmi/id), the properties Windows' WMI reports for them. The ID
stays the same across reboots, reinstalls of the operating system and
updates of this package within its major version.

The serial numbers are readable by root only, so other users get a different
ID unless an administrator enables the rule shipped as an example, which lets
a group read them.]])

set(CPACK_DEBIAN_LIBRARY_PACKAGE_NAME ${library_package})
set(CPACK_DEBIAN_LIBRARY_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_LIBRARY_DESCRIPTION [[stable ID of this computer from its hardware - shared library
The C interface of computer_id: the ID of this machine, the same that the
computer_id program prints, optionally with a trace of each platform call;
an application's own ID of the machine, keyed with a secret of its own
(computer_id_get_for_app); a description of what the ID rests on, without
its values (computer_id_describe); and the library's version. Programs in
any language that can call C use it; python3-computer-id and the C# source
in computer-id-dev do.]])

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME computer-id-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "${library_package} (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION [[stable ID of this computer from its hardware - development files
The headers and the link for the C interface in the shared library, with its
pkg-config file (computer-id); the static C++ libraries of the ID and of its
SHA-2 message digests; the CMake package for find_package(ComputerID); the
source of the C# binding.]])

set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-computer-id)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PYTHON_PACKAGE_ARCHITECTURE all)
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "python3, ${library_package} (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_PYTHON_DESCRIPTION [[stable ID of this computer from its hardware - Python 3 binding
The package computer_id gives Python programs the ID of this machine, the
same that the computer_id program prints, through the C interface in the
shared library, with ctypes.]])

# LICENSE and CHANGELOG.md are read below: a change to either configures again.
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
    ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/CHANGELOG.md)

# The copyright file in Debian's machine-readable format, made from LICENSE.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE license)
if(NOT license MATCHES "Copyright \\(c\\) ([^\n]+)\n\n(.+[^\n])\n*$")
    message(FATAL_ERROR "LICENSE holds no copyright line followed by the licence's terms")
endif()
set(copyright_holders ${CMAKE_MATCH_1})
string(REPLACE "\n" "\n " license_text " ${CMAKE_MATCH_2}")
string(REPLACE "\n \n" "\n .\n" license_text "${license_text}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/copyright.in ${deb_dir}/copyright @ONLY)

# The changelog of a native package, made from this version's entry in CHANGELOG.md: its
# items and its date.
file(READ ${PROJECT_SOURCE_DIR}/CHANGELOG.md changelog)
string(REPLACE "." "\\." version_pattern ${PROJECT_VERSION})
if(NOT changelog MATCHES "\n## ${version_pattern} \\(([0-9]+-[0-9]+-[0-9]+)\\)\n")
    message(FATAL_ERROR "CHANGELOG.md has no heading '## ${PROJECT_VERSION} (YYYY-MM-DD)'")
endif()
set(release_day ${CMAKE_MATCH_1})
string(FIND "${changelog}" "${CMAKE_MATCH_0}" start)
string(LENGTH "${CMAKE_MATCH_0}" heading_length)
math(EXPR start "${start} + ${heading_length}")
string(SUBSTRING "${changelog}" ${start} -1 items)
string(FIND "${items}" "\n## " end)
string(SUBSTRING "${items}" 0 ${end} items)
string(STRIP "${items}" items)
string(REPLACE "\n- " "\n* " items "\n${items}")
string(REPLACE "\n" "\n  " items "${items}")
string(REPLACE "\n  \n" "\n\n" items "${items}")
execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C date -u -R -d ${release_day}
    OUTPUT_VARIABLE release_date OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
file(CONFIGURE OUTPUT ${deb_dir}/changelog.txt @ONLY CONTENT
"computer-id (@PROJECT_VERSION@) unstable; urgency=medium
@items@

 -- @CPACK_PACKAGE_CONTACT@  @release_date@
")

# gzip -9n, as Debian compresses them: no name or time stamp, so the same input gives the
# same bytes.
find_program(COMPUTER_ID_GZIP gzip REQUIRED)
set(changelog_gz ${deb_dir}/gz/changelog.gz)
set(manual_gz ${deb_dir}/gz/computer_id.1.gz)
add_custom_command(OUTPUT ${changelog_gz}
    COMMAND ${CMAKE_COMMAND} -E copy ${deb_dir}/changelog.txt ${deb_dir}/gz/changelog
    COMMAND ${COMPUTER_ID_GZIP} -9nf ${deb_dir}/gz/changelog
    DEPENDS ${deb_dir}/changelog.txt VERBATIM)
add_custom_command(OUTPUT ${manual_gz}
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_LIST_DIR}/computer_id.1 ${deb_dir}/gz/
    COMMAND ${COMPUTER_ID_GZIP} -9nf ${deb_dir}/gz/computer_id.1
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/computer_id.1 VERBATIM)
add_custom_target(computer_id_debian_files ALL DEPENDS ${changelog_gz} ${manual_gz})

install(FILES ${manual_gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT program)
foreach(component program library development python)
    string(TOUPPER ${component} component_variable)
    set(package ${CPACK_DEBIAN_${component_variable}_PACKAGE_NAME})
    install(FILES ${deb_dir}/copyright ${changelog_gz}
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component})
endforeach()

# CPack would make the shlibs file itself, but the same switch makes it call ldconfig from
# the maintainer scripts, where Debian wants the trigger instead. So both files are written
# here, and the library's dependencies are worked out by dpkg-shlibdeps at packaging time
# (packaging/CPackDebian.cmake).
file(WRITE ${deb_dir}/library/shlibs
    "libcomputer_id ${soversion} ${library_package} (>= ${PROJECT_VERSION})\n")
file(WRITE ${deb_dir}/library/triggers "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_LIBRARY_PACKAGE_CONTROL_EXTRA ${deb_dir}/library/shlibs ${deb_dir}/library/triggers)
file(WRITE ${deb_dir}/shlibdeps/debian/control
    "Source: computer-id\n\nPackage: ${library_package}\nArchitecture: any\n")
file(GENERATE OUTPUT ${deb_dir}/shared_library.cmake
    CONTENT "set(computer_id_shared_library [[$<TARGET_FILE:computer_id_c>]])\n")
set(CPACK_COMPUTER_ID_DEBIAN_DIR ${deb_dir})
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/CPackDebian.cmake)

# The Python module's byte code is compiled on install and cleaned before removal, by the
# scripts dh_python3 gives Debian's Python packages; otherwise the byte code Python writes
# when root imports the module would stay behind.
set(python_package ${CPACK_DEBIAN_PYTHON_PACKAGE_NAME})
file(CONFIGURE OUTPUT ${deb_dir}/python/postinst @ONLY CONTENT [[#!/bin/sh
set -e
if command -v py3compile >/dev/null 2>&1; then
    py3compile -p @python_package@
fi
if command -v pypy3compile >/dev/null 2>&1; then
    pypy3compile -p @python_package@ || true
fi
]])
file(CONFIGURE OUTPUT ${deb_dir}/python/prerm @ONLY CONTENT [[#!/bin/sh
set -e
if command -v py3clean >/dev/null 2>&1; then
    py3clean -p @python_package@
else
    dpkg -L @python_package@ | sed -En -e '/^(.*)\/(.+)\.py$/s,,rm "\1/__pycache__/\2".*,e'
    find /usr/lib/python3/dist-packages/ -type d -name __pycache__ -empty -print0 |
        xargs --null --no-run-if-empty rmdir
fi
]])
set(CPACK_DEBIAN_PYTHON_PACKAGE_CONTROL_EXTRA ${deb_dir}/python/postinst ${deb_dir}/python/prerm)
