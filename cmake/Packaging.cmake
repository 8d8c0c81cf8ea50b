# Installation (cmake --install) and the Debian package (cpack -G DEB).
#
# Installed: the program in bin/, its network module in <libdir>/quellwerk,
# its desktop entry, its icon in the hicolor theme (the SVG and PNG sizes
# rendered from it by packaging/icons/render-icons.sh), its AppStream
# metadata, its manual page and the Debian copyright file. The helper quellwerk-saved-connection of
# scripts/run is not installed.
include(GNUInstallDirs)

set(QW_APP_ID org.example.quellwerk)
set(QW_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
# The day release ${PROJECT_VERSION} was made: the metadata's release and the
# manual page's date. A new version in project() needs a new date here.
set(QW_RELEASE_DATE 2026-12-07)

install(TARGETS quellwerk RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The network module (common/NetworkModule.h), found through the program's run path.
install(TARGETS quellwerk_network LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/quellwerk)
set_target_properties(quellwerk PROPERTIES
  INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}/quellwerk")
install(FILES ${QW_PACKAGING_DIR}/quellwerk.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${QW_PACKAGING_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quellwerk)

# The manual page, gzip-compressed as Debian keeps them (-n: no name or time
# stamp inside, so that the same sources give the same file).
configure_file(${QW_PACKAGING_DIR}/quellwerk.1.in ${PROJECT_BINARY_DIR}/packaging/quellwerk.1 @ONLY)
add_custom_command(
  OUTPUT ${PROJECT_BINARY_DIR}/packaging/quellwerk.1.gz
  COMMAND gzip -9nfk ${PROJECT_BINARY_DIR}/packaging/quellwerk.1
  DEPENDS ${PROJECT_BINARY_DIR}/packaging/quellwerk.1
  COMMENT "Compressing the manual page")
add_custom_target(quellwerk_manual ALL DEPENDS ${PROJECT_BINARY_DIR}/packaging/quellwerk.1.gz)
install(FILES ${PROJECT_BINARY_DIR}/packaging/quellwerk.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

configure_file(${QW_PACKAGING_DIR}/quellwerk.metainfo.xml
               ${PROJECT_BINARY_DIR}/packaging/${QW_APP_ID}.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/packaging/${QW_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

install(FILES ${QW_PACKAGING_DIR}/icons/quellwerk.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES ${QW_PACKAGING_DIR}/icons/${size}x${size}/quellwerk.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

# The Debian package. The shared libraries that the program links (Qt) come
# from dpkg-shlibdeps; the client library is loaded with dlopen, so it and
# Qt's German texts (qtbase_de) are named here.
set(CPACK_PACKAGE_NAME quellwerk)
set(CPACK_PACKAGE_VENDOR "Quellwerk-Entwickler")
set(CPACK_PACKAGE_CONTACT "Quellwerk-Entwickler <quellwerk@example.org>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://quellwerk.example.org/")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "German-language administration tool for MySQL/MariaDB schemas")
set(CPACK_PACKAGE_DESCRIPTION "Quellwerk connects to one MySQL or MariaDB server and shows its
databases, the tables of the selected database and the fields of the selected
table in three lists side by side. Small dialogs create and drop databases,
design new tables field by field, rename and drop tables, and add, change and
drop fields. The user interface is in German.")
set(CPACK_DEBIAN_PACKAGE_SECTION database)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libsecret is loaded at run time by the keyring library: the way to the
# desktop keyring (GNOME Keyring, KWallet) through the Secret Service.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libmariadb3, qt6-translations-l10n, libsecret-1-0")
# The native platform plugin for Wayland sessions (without it Qt uses X11),
# and ssh for connections through an SSH host.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, openssh-client")
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
include(CPack)
