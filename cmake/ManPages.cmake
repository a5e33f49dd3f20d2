# varnel_man_pages(OUT program...): section 1 manual pages made from each program's --help at
# build time, gzipped as Debian wants them; OUT gets their paths (none without help2man).
# help2man is given the version, so a program needs no --version of its own.
function(varnel_man_pages out)
    find_program(VARNEL_HELP2MAN help2man)
    find_program(VARNEL_GZIP gzip)
    if(NOT VARNEL_HELP2MAN OR NOT VARNEL_GZIP)
        message(WARNING "help2man or gzip not found: no manual pages (the Debian package needs them; "
                        "install help2man, or configure with -DVARNEL_MANPAGES=OFF)")
        set(${out} "" PARENT_SCOPE)
        return()
    endif()
    set(varnel-host_NAME "headless host application that loads and drives the Varnel plug-in")
    set(varnel-app_NAME "Varnel job-management application, companion of the Varnel plug-in")
    set(varnel-inspect_NAME "decode and encode the Varnel plug-in's job files and messages")
    set(_pages)
    foreach(program IN LISTS ARGN)
        set(_dir ${CMAKE_CURRENT_BINARY_DIR}/man)
        set(_see_also)
        foreach(other IN LISTS ARGN)
            if(NOT other STREQUAL program)
                list(APPEND _see_also ".BR ${other} (1)")
            endif()
        endforeach()
        list(JOIN _see_also ",\n" _see_also)
        file(WRITE ${_dir}/${program}.h2m "[SEE ALSO]\n${_see_also}\n")
        set(_page ${_dir}/${program}.1)
        # A fixed locale and no info-page pointer: the page reads the same on every machine.
        add_custom_command(OUTPUT ${_page}.gz
            COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C.UTF-8
                    ${VARNEL_HELP2MAN} --no-info --no-discard-stderr --section=1
                    --version-string=${PROJECT_VERSION} --name=${${program}_NAME}
                    --include=${_dir}/${program}.h2m --output=${_page} $<TARGET_FILE:${program}>
            COMMAND ${VARNEL_GZIP} -9nf ${_page}
            DEPENDS ${program} ${_dir}/${program}.h2m
            COMMENT "Manual page ${program}(1)" VERBATIM)
        list(APPEND _pages ${_page}.gz)
    endforeach()
    add_custom_target(varnel_man_pages ALL DEPENDS ${_pages})
    set(${out} ${_pages} PARENT_SCOPE)
endfunction()
