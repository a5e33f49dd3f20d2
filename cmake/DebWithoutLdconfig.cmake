# Run by cpack after it made the Debian package (CPACK_POST_BUILD_SCRIPTS). CPack gives any package
# with a library below /usr/lib a postinst and a postrm that only call ldconfig; ours are private
# to /usr/lib/varnel, outside ldconfig's folders, and dpkg triggers ldconfig itself where needed,
# so lintian rightly refuses those scripts. The package is built again without them; a script
# holding anything else is kept.
find_program(_dpkg_deb dpkg-deb REQUIRED)
foreach(_deb IN LISTS CPACK_PACKAGE_FILES)
    if(NOT _deb MATCHES "\\.deb$")
        continue()
    endif()
    set(_tree "${CPACK_TOPLEVEL_DIRECTORY}/without-ldconfig")
    file(REMOVE_RECURSE "${_tree}")
    execute_process(COMMAND ${_dpkg_deb} --raw-extract "${_deb}" "${_tree}" COMMAND_ERROR_IS_FATAL ANY)
    set(_dropped)
    foreach(_script postinst postrm)
        set(_path "${_tree}/DEBIAN/${_script}")
        if(NOT EXISTS "${_path}")
            continue()
        endif()
        file(STRINGS "${_path}" _lines)
        list(FILTER _lines EXCLUDE REGEX "^(#!/bin/sh|set -e|if \\[ \"\\$1\" = \"[a-z]+\" \\]; then|[ \t]*ldconfig|fi|[ \t]*)$")
        if(NOT _lines)
            file(REMOVE "${_path}")
            list(APPEND _dropped ${_script})
        endif()
    endforeach()
    if(_dropped)
        execute_process(COMMAND ${_dpkg_deb} --root-owner-group --build "${_tree}" "${_deb}"
                        OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
        message(STATUS "CPack: ${_deb}: without ${_dropped}, which only called ldconfig")
    endif()
    file(REMOVE_RECURSE "${_tree}")
endforeach()
