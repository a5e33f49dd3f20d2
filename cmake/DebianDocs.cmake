# varnel_debian_docs(OUT): the copyright file and the gzipped Debian changelog for
# share/doc/varnel. The changelog's latest entry has to be this version's, so a release never
# ships another version's notes.
function(varnel_debian_docs out)
    set(_source ${PROJECT_SOURCE_DIR}/packaging)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_source}/changelog)
    file(STRINGS ${_source}/changelog _first LIMIT_COUNT 1)
    if(NOT _first MATCHES "^varnel \\(([^)]+)\\) ")
        message(FATAL_ERROR "packaging/changelog: the first line is not a Debian changelog entry's")
    endif()
    if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
        message(FATAL_ERROR "packaging/changelog: the latest entry is ${CMAKE_MATCH_1}, the project is "
                            "${PROJECT_VERSION}: add an entry for ${PROJECT_VERSION}")
    endif()
    find_program(VARNEL_GZIP gzip REQUIRED)
    set(_gz ${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog.gz)
    # -n: no name or time stamp in the header, so the file is the same on every build.
    add_custom_command(OUTPUT ${_gz}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/packaging
        COMMAND ${VARNEL_GZIP} -9n < ${_source}/changelog > ${_gz}
        DEPENDS ${_source}/changelog
        COMMENT "Debian changelog")
    add_custom_target(varnel_changelog ALL DEPENDS ${_gz})
    set(${out} ${_source}/copyright ${_gz} PARENT_SCOPE)
endfunction()
