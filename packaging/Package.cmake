# The Debian package: `cpack -G DEB` in the build directory packs what
# `cmake --install` installs, below /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kobaltron)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Kobaltron developers")
set(CPACK_PACKAGE_CONTACT "Kobaltron developers <dev@kobaltron.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "animated actors that live on the desktop")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://kobaltron.org/")
# The extended description; CPack puts the summary above it and indents it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Kobaltron puts animated characters, called actors, on the desktop in
shaped, borderless windows: they walk, climb, drop, play sequences with
sounds, answer the mouse, grow bored, sleep and hibernate, sit in the tray
with a menu, and send each other commands. Actors and playlists are plain
text files; two sample actors are included.")
# The libraries come from the programs themselves; the rest is what a user
# needs to open actor files from the desktop: xdg-mime finds their type with
# mimetype (File::MimeInfo), without which it falls back to file(1), which
# knows no registered type and calls them text/plain.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "shared-mime-info, desktop-file-utils, xdg-utils, libfile-mimeinfo-perl")
# Actors play their sounds through the desktop's sound server.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pipewire-pulse | pulseaudio")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${CMAKE_CURRENT_SOURCE_DIR}/debian/postinst ${CMAKE_CURRENT_SOURCE_DIR}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
