# `cmake --install` and the Debian package (debian/, which installs exactly this): the program
# lives in one folder with its sounds and help (it finds them next to itself), reached through a
# link in bin/; a desktop entry and the icon let the desktop's menu start it, the metainfo lets
# software centres list it; the manual page documents it and its command line.
include(GNUInstallDirs)
# The program's own folder, not a library folder: never the multiarch one a Debian build passes
# as CMAKE_INSTALL_LIBDIR.
set(pv_home lib/pellavine)
set(pv_appstream_id internal.pellavine.pellavine)

install(TARGETS pellavine RUNTIME DESTINATION ${pv_home})
install(FILES ${PELLAVINE_BIN_DIR}/Send.wav ${PELLAVINE_BIN_DIR}/Wnd.wav ${PELLAVINE_BIN_DIR}/Msg.wav
              ${PELLAVINE_BIN_DIR}/help.htm
        DESTINATION ${pv_home})
# The interface's translations and the help documents in other languages go beside the program,
# which looks for them there.
foreach(language IN LISTS PELLAVINE_LANGUAGES)
    install(FILES ${PELLAVINE_BIN_DIR}/pellavine_${language}.qm DESTINATION ${pv_home})
    if(EXISTS ${CMAKE_SOURCE_DIR}/assets/help.${language}.htm)
        install(FILES ${PELLAVINE_BIN_DIR}/help.${language}.htm DESTINATION ${pv_home})
    endif()
endforeach()
install(FILES ${CMAKE_SOURCE_DIR}/assets/pellavine.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/assets/${pv_appstream_id}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${CMAKE_SOURCE_DIR}/assets/pictures/app_icon.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME pellavine.svg)
# Manual pages (the package gzips them all): man1/ holds the English one, which man shows in every
# language without a page of its own; the Russian one (assets/pellavine.1, in the language the
# program is written in) and any other go to <language>/man1/.
install(FILES ${CMAKE_SOURCE_DIR}/assets/pellavine.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/ru/man1)
foreach(language IN LISTS PELLAVINE_LANGUAGES)
    set(page ${CMAKE_SOURCE_DIR}/assets/pellavine.${language}.1)
    if(language STREQUAL "en")
        install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 RENAME pellavine.1)
    elseif(EXISTS ${page})
        install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/${language}/man1 RENAME pellavine.1)
    endif()
endforeach()
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
    # Under /usr (the package) the program starts with every graphical session: a copy of its
    # desktop entry in the system's XDG autostart folder. A file of its own, not a link, so that
    # the package can keep it as a configuration file: an administrator who deletes it turns the
    # autostart off for everyone, and upgrades respect that. Its TryExec makes an entry left
    # behind by a removal (not a purge) start nothing. A user turns it off in the desktop's
    # autostart settings.
    if(CMAKE_INSTALL_PREFIX STREQUAL \"/usr\")
        file(INSTALL \"${CMAKE_SOURCE_DIR}/assets/pellavine.desktop\" DESTINATION \"/etc/xdg/autostart\")
    endif()
")
