# The Debian package: `cpack -G DEB` in the build folder makes lumaro_VERSION_ARCH.deb.
include(GNUInstallDirs)

install(FILES ${CMAKE_CURRENT_LIST_DIR}/lumaro.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/lumaro.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/lumaro)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lumaro)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Lumaro")
set(CPACK_PACKAGE_CONTACT "Lumaro developers <dev@lumaro.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Tea shop desktop program: catalogue, stock, orders and money")
set(CPACK_PACKAGE_DESCRIPTION "Runs a small tea shop from one window, in Traditional Chinese: the tea catalogue and its stock, customer orders from entry to checkout, and the cash and bank balances, behind a password. lumaro-admin creates, imports (from the old program's teadata.mdb), backs up and checks shop files.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://lumaro.invalid/")
# The shared libraries come from dpkg-shlibdeps; these are loaded at run time:
# the SQLite driver, the X11 platform plugin and the Chinese fonts.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite, qt6-qpa-plugins, fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libqt6sql6-psql, mdbtools")

include(CPack)
