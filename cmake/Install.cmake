# `make install` and `make deb`.
#
# Layout below the prefix:
#   bin/tessaro, bin/tessaro-tool, bin/tolvexctl
#   bin/libtolvexcom32.so        beside the programs, where a host that finds no
#                                registry entry loads the control from
#   share/tessaro/               the delivered program folder (data/); an
#                                installed tessaro finds it as ../share/tessaro
#                                and seeds each user's folder from it
#   share/applications/tessaro.desktop, share/icons/hicolor/scalable/apps/tessaro.svg
include(GNUInstallDirs)

install(TARGETS tessaro tessaro-tool tolvexctl RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS tolvexcom32 LIBRARY DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/data/ DESTINATION ${CMAKE_INSTALL_DATADIR}/tessaro)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/tessaro.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/tessaro.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tessaro)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Tessaro developers <tessaro@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "GPS navigator for Japan on your own aerial photographs")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# The shared libraries come from dpkg-shlibdeps; what the programs load by
# name at run time is listed here: the Japanese font the windows ask for.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-noto-cjk")
include(CPack)
