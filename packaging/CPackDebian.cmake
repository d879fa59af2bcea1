# Read by cpack before it packs. The shared library's package depends on the packages that
# dpkg-shlibdeps finds its library needs; CPack's own run of dpkg-shlibdeps is off for that
# package, because it would also call ldconfig from the maintainer scripts.
if(CPACK_GENERATOR STREQUAL "DEB")
    include(${CPACK_COMPUTER_ID_DEBIAN_DIR}/shared_library.cmake)
    execute_process(COMMAND dpkg-shlibdeps -O ${computer_id_shared_library}
        WORKING_DIRECTORY ${CPACK_COMPUTER_ID_DEBIAN_DIR}/shlibdeps
        RESULT_VARIABLE result OUTPUT_VARIABLE substitution ERROR_VARIABLE messages)
    if(NOT result EQUAL 0 OR NOT substitution MATCHES "^shlibs:Depends=([^\n]+)")
        message(FATAL_ERROR "dpkg-shlibdeps on ${computer_id_shared_library} failed: ${messages}")
    endif()
    set(CPACK_DEBIAN_LIBRARY_PACKAGE_DEPENDS ${CMAKE_MATCH_1})
endif()
