# The Debian package: `cpack -G DEB` in the build folder makes lumaro_VERSION_ARCH.deb.
include(GNUInstallDirs)

install(FILES ${CMAKE_CURRENT_LIST_DIR}/lumaro.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/lumaro.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# What software centres list; its launchable names lumaro.desktop above.
configure_file(${CMAKE_CURRENT_LIST_DIR}/lumaro.metainfo.xml ${PROJECT_BINARY_DIR}/invalid.lumaro.lumaro.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/invalid.lumaro.lumaro.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The owner's guide, the manual pages and the package's changelog; the pages and
# the changelog carry the version and are compressed as Debian wants them
# (gzip -9n: no name or time stamp, so the package builds the same twice).
set(doc ${CMAKE_INSTALL_DATADIR}/doc/lumaro)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/doc/guide.zh_TW.md ${CMAKE_CURRENT_LIST_DIR}/doc/copyright DESTINATION ${doc})
find_program(LUMARO_GZIP gzip REQUIRED)
set(compressed)
# Each manual page has one source for English and Traditional Chinese
# (doc/PAGE.in: "@en " and "@zh " lines are one language's, the rest both's).
find_program(LUMARO_SED sed REQUIRED)
foreach(page lumaro.1 lumaro-admin.1)
  foreach(lang en zh)
    set(other zh)
    set(dir ${PROJECT_BINARY_DIR}/doc)
    if(lang STREQUAL "zh")
      set(other en)
      set(dir ${PROJECT_BINARY_DIR}/doc/zh_TW)
    endif()
    add_custom_command(OUTPUT ${dir}/${page}.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
      COMMAND ${LUMARO_SED} -e "/^@${other} /d" -e "s/^@${lang} //" -e "s/@PROJECT_VERSION@/${PROJECT_VERSION}/g"
              ${CMAKE_CURRENT_LIST_DIR}/doc/${page}.in > ${dir}/${page}
      COMMAND ${LUMARO_GZIP} -9nf -k ${dir}/${page}
      DEPENDS ${CMAKE_CURRENT_LIST_DIR}/doc/${page}.in VERBATIM)
    list(APPEND compressed ${dir}/${page}.gz)
  endforeach()
endforeach()
foreach(page changelog)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/doc/${page} ${PROJECT_BINARY_DIR}/doc/${page} @ONLY)
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/doc/${page}.gz
    COMMAND ${LUMARO_GZIP} -9nf -k ${PROJECT_BINARY_DIR}/doc/${page}
    DEPENDS ${PROJECT_BINARY_DIR}/doc/${page} VERBATIM)
  list(APPEND compressed ${PROJECT_BINARY_DIR}/doc/${page}.gz)
endforeach()
add_custom_target(lumaro_docs ALL DEPENDS ${compressed})
install(FILES ${PROJECT_BINARY_DIR}/doc/lumaro.1.gz ${PROJECT_BINARY_DIR}/doc/lumaro-admin.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_BINARY_DIR}/doc/zh_TW/lumaro.1.gz ${PROJECT_BINARY_DIR}/doc/zh_TW/lumaro-admin.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/zh_TW/man1)
install(FILES ${PROJECT_BINARY_DIR}/doc/changelog.gz DESTINATION ${doc})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lumaro)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Lumaro")
set(CPACK_PACKAGE_CONTACT "Lumaro developers <dev@lumaro.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Tea shop desktop program: catalogue, stock, orders and money")
set(CPACK_PACKAGE_DESCRIPTION "Runs a small tea shop from one window, in Traditional Chinese: the tea
catalogue and its stock, customer orders from entry to checkout, and the
cash and bank balances, behind a password. One shop file, or a PostgreSQL
database shared by several terminals.
.
lumaro-admin creates, imports (from the old program's teadata.mdb), backs
up, restores and checks shop files.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Stripped, and the times set, by Staged.cmake.
set(CPACK_STRIP_FILES OFF)
set(CPACK_LUMARO_STRIP ${CMAKE_STRIP})
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/Staged.cmake)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://lumaro.invalid/")
# The shared libraries come from dpkg-shlibdeps; these are loaded at run time:
# the SQLite driver, the X11 platform plugin, Qt's own Chinese texts and the
# Chinese fonts.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite, qt6-qpa-plugins, qt6-translations-l10n, fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libqt6sql6-psql, mdbtools")

# Only a build of Lumaro itself writes the package settings; a tree that takes
# Lumaro in as a subproject packages as it chooses.
if(PROJECT_IS_TOP_LEVEL)
  include(CPack)
endif()
