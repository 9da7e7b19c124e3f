# What only an installation needs (AppStream metainfo, the man page, the Debian
# copyright and changelog), and the Debian package made with CPack. app/ and lang/
# install the program, its desktop entry, icons and language files.
#
# One command builds the package: bash scripts/package.sh
include(GNUInstallDirs)

# A release changes PROJECT_VERSION and this date together; the changelog, the man page
# and the AppStream release entry take both from here.
set(TALVEX_RELEASE_DATE "2026-12-09" CACHE STRING "Date of this release, YYYY-MM-DD")
set(TALVEX_PACKAGE_MAINTAINER "Talvex developers <talvex@kessaly.com>"
    CACHE STRING "Maintainer named in the Debian package")
set(TALVEX_APPSTREAM_ID "com.kessaly.talvex")

set(TALVEX_PACKAGING_OUT ${CMAKE_BINARY_DIR}/packaging)
configure_file(${CMAKE_SOURCE_DIR}/packaging/talvex.1.in ${TALVEX_PACKAGING_OUT}/talvex.1 @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/packaging/talvex.metainfo.xml.in
               ${TALVEX_PACKAGING_OUT}/${TALVEX_APPSTREAM_ID}.metainfo.xml @ONLY)
# The changelog's date in the form Debian wants (RFC 5322), from the release date.
execute_process(COMMAND date -u -R -d "${TALVEX_RELEASE_DATE} 12:00"
                OUTPUT_VARIABLE TALVEX_CHANGELOG_DATE OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)
configure_file(${CMAKE_SOURCE_DIR}/packaging/changelog.in ${TALVEX_PACKAGING_OUT}/changelog @ONLY)

# Debian wants man pages and changelogs compressed at the highest level, without a time
# stamp inside, so that the same sources give the same package.
find_program(TALVEX_GZIP gzip REQUIRED)
set(TALVEX_GZIPPED)
foreach(name talvex.1 changelog)
  add_custom_command(OUTPUT ${TALVEX_PACKAGING_OUT}/${name}.gz
    COMMAND ${TALVEX_GZIP} -9 -n -k -f ${name}
    WORKING_DIRECTORY ${TALVEX_PACKAGING_OUT}
    DEPENDS ${TALVEX_PACKAGING_OUT}/${name} VERBATIM)
  list(APPEND TALVEX_GZIPPED ${TALVEX_PACKAGING_OUT}/${name}.gz)
endforeach()
add_custom_target(talvex_packaging_files ALL DEPENDS ${TALVEX_GZIPPED})

install(FILES ${TALVEX_PACKAGING_OUT}/talvex.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# The helper's floor; /etc/talvex with the package's prefix /usr, unread elsewhere.
install(FILES ${CMAKE_SOURCE_DIR}/packaging/levers.conf
        DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}/talvex)
install(FILES ${TALVEX_PACKAGING_OUT}/${TALVEX_APPSTREAM_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${TALVEX_PACKAGING_OUT}/changelog.gz ${CMAKE_SOURCE_DIR}/packaging/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/talvex)

# The Debian package. Its dependencies on Qt 6 and the X libraries come from
# dpkg-shlibdeps, so they are those of the system it is built on; setcap is needed by the
# install step, which grants the helper talvex-levers (and only it) the right to raise
# priorities.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME talvex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Kessaly)
set(CPACK_PACKAGE_CONTACT ${TALVEX_PACKAGE_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${TALVEX_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libcap2-bin")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "make the program you work with run faster")
# Lines as they appear in the control file (CPack indents them); no semicolons, which
# CMake would take for list separators.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Talvex watches which program owns the foreground window and raises that\n"
  "program's priority, by its own rule or by a global boost level. The program\n"
  "that leaves the front gets its former priority back.\n"
  "\n"
  "It also lowers background processes that keep the processor busy, gives\n"
  "them Normal back once they are idle, and switches boosting off for a program\n"
  "in front that hangs in a busy loop. Talvex lives in the notification area,\n"
  "speaks English, French and German, and only ever changes processes of the\n"
  "user it runs as.")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/packaging/postinst
    ${CMAKE_SOURCE_DIR}/packaging/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
