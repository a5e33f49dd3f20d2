# Run at install time: writes the companion's desktop entry and D-Bus service file with Exec
# naming the installed program, for whatever prefix is being installed to. They are added to
# the install manifest as file(INSTALL) would, so what lists installed files lists them too.
# In: VARNEL_SOURCE_DIR, VARNEL_BINDIR, VARNEL_DATAROOT (relative to the prefix).
set(_program "${CMAKE_INSTALL_PREFIX}/${VARNEL_BINDIR}/varnel-app")
set(_share "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${VARNEL_DATAROOT}")
foreach(_entry "applications/com.corvane.Varnel.desktop" "dbus-1/services/com.corvane.Varnel.service")
    get_filename_component(_name "${_entry}" NAME)
    set(_source "${VARNEL_SOURCE_DIR}/resources/${_name}")
    if(NOT EXISTS "${_source}")
        continue()
    endif()
    file(READ "${_source}" _text)
    string(REGEX REPLACE "(^|\n)Exec=[^\n]*" "\\1Exec=${_program}" _text "${_text}")
    message(STATUS "Installing: ${_share}/${_entry}")
    file(WRITE "${_share}/${_entry}" "${_text}")
    file(CHMOD "${_share}/${_entry}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${_share}/${_entry}")
endforeach()
