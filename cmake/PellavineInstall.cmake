# `cmake --install`: the program lives in one folder with its sounds and help (it finds them next
# to itself), reached through a link in bin/; a desktop entry and the icon let the desktop's menu
# start it; the manual page documents it and its command line.
include(GNUInstallDirs)
set(pv_home ${CMAKE_INSTALL_LIBDIR}/pellavine)

install(TARGETS pellavine RUNTIME DESTINATION ${pv_home})
install(FILES ${PELLAVINE_BIN_DIR}/Send.wav ${PELLAVINE_BIN_DIR}/Wnd.wav ${PELLAVINE_BIN_DIR}/Msg.wav
              ${PELLAVINE_BIN_DIR}/help.htm
        DESTINATION ${pv_home})
install(FILES ${CMAKE_SOURCE_DIR}/assets/pellavine.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/assets/pellavine.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_SOURCE_DIR}/assets/pictures/app_icon.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME pellavine.svg)
install(CODE "
    set(prefix \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
    file(MAKE_DIRECTORY \"\${prefix}/${CMAKE_INSTALL_BINDIR}\")
    file(CREATE_LINK \"../${pv_home}/pellavine\" \"\${prefix}/${CMAKE_INSTALL_BINDIR}/pellavine\" SYMBOLIC)
    # Port 243 is below 1024; granting the right needs root and is lost on every copy. A staged
    # install (DESTDIR, as for a package) is copied once more: there the package grants it.
    if(\"\$ENV{DESTDIR}\" STREQUAL \"\")
        execute_process(COMMAND setcap cap_net_bind_service=+ep \"\${prefix}/${pv_home}/pellavine\"
                        RESULT_VARIABLE rc ERROR_QUIET)
        if(NOT rc EQUAL 0)
            message(STATUS \"Could not grant port 243 to the program: run  sudo setcap cap_net_bind_service=+ep \${prefix}/${pv_home}/pellavine\")
        endif()
    endif()
    # Under /usr (the package) the program starts with every graphical session: its desktop
    # entry, linked into the system's XDG autostart folder (a link, so that it goes with the
    # program). A user turns it off in the desktop's autostart settings.
    if(CMAKE_INSTALL_PREFIX STREQUAL \"/usr\")
        file(MAKE_DIRECTORY \"\$ENV{DESTDIR}/etc/xdg/autostart\")
        file(CREATE_LINK \"../../../usr/${CMAKE_INSTALL_DATADIR}/applications/pellavine.desktop\"
             \"\$ENV{DESTDIR}/etc/xdg/autostart/pellavine.desktop\" SYMBOLIC)
    endif()
")
