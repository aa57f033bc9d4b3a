# A Debian package of exactly what the install rules install, under /usr: built by
# tools/package.sh (cpack in the build folder). Depends come from the shared libraries
# (dpkg-shlibdeps); the maintainer script grants the port to the installed program.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pellavine)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Orvath")
set(CPACK_PACKAGE_CONTACT "Orvath <orvath@pellavine.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "messenger for the computers of a local network, without a server")
# The long description; CPack puts the summary above it and indents it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Every running copy listens on TCP port 243 and sends one-line messages to
any other computer of the network named by its computer name or IPv4 address.
It lives in the system tray (XEmbed or StatusNotifierItem) and starts with
every graphical session. The interface is in Russian.")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://pellavine.example.org/")
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The maintainer script needs setcap. The rest is loaded at run time, so no library names it:
# sounds through PulseAudio or PipeWire, native Wayland without XWayland, the default event
# sound and the fonts of the windows.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libcap2-bin")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libcanberra-pulse, qt6-wayland, sound-theme-freedesktop, fonts-liberation")

set(PV_PROGRAM_PATH "${CPACK_PACKAGING_INSTALL_PREFIX}/${pv_home}/pellavine")
configure_file(${CMAKE_CURRENT_LIST_DIR}/deb/postinst.in ${CMAKE_BINARY_DIR}/deb/postinst @ONLY)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/deb/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)

include(CPack)
