# The Debian package: `cpack -G DEB` in the build folder makes kestrion_<version>_<arch>.deb from
# whatever `cmake --install` lays out under /usr, plus what a package needs beside it: the 128 px icon,
# the AppStream metainfo, manual pages, copyright and changelog, and the postinst that gives the
# raw-socket capability.

include(GNUInstallDirs)
set(KESTRION_APPSTREAM_ID org.quillfen.Kestrion)
set(KESTRION_PACKAGE_WORK ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${KESTRION_PACKAGE_WORK})

# Menus that do not scale SVG icons look for a PNG of the size they draw. An install without it would
# show no icon there, so a build without the tool to draw it stops here.
find_program(RSVG_CONVERT rsvg-convert)
if(NOT RSVG_CONVERT OR NOT EXISTS "${RSVG_CONVERT}")
  message(FATAL_ERROR "rsvg-convert was not found (${RSVG_CONVERT}); it draws the 128 px icon that menus show. "
                      "Install it (Debian: sudo apt-get install librsvg2-bin) or name it with "
                      "-DRSVG_CONVERT=/path/to/rsvg-convert.")
endif()
add_custom_command(
  OUTPUT ${KESTRION_PACKAGE_WORK}/kestrion.png
  COMMAND ${RSVG_CONVERT} -w 128 -h 128 -o ${KESTRION_PACKAGE_WORK}/kestrion.png
          ${CMAKE_SOURCE_DIR}/app/install/kestrion.svg
  DEPENDS ${CMAKE_SOURCE_DIR}/app/install/kestrion.svg
  COMMENT "Drawing the 128 px icon")
add_custom_target(icon_png ALL DEPENDS ${KESTRION_PACKAGE_WORK}/kestrion.png)
install(FILES ${KESTRION_PACKAGE_WORK}/kestrion.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/128x128/apps)

install(FILES ${CMAKE_SOURCE_DIR}/app/install/${KESTRION_APPSTREAM_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Every page in docs/man is installed, compressed as Debian wants it. kestrion-cli.1 belongs to the
# command-line companion and is written with it.
file(GLOB KESTRION_MAN_PAGES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/docs/man/*.1)
set(KESTRION_MAN_OUTPUTS)
foreach(page IN LISTS KESTRION_MAN_PAGES)
  get_filename_component(name ${page} NAME)
  configure_file(${page} ${KESTRION_PACKAGE_WORK}/man/${name} @ONLY)
  set(gz ${KESTRION_PACKAGE_WORK}/man/${name}.gz)
  add_custom_command(
    OUTPUT ${gz}
    COMMAND gzip -9 -n -f -k ${KESTRION_PACKAGE_WORK}/man/${name}
    DEPENDS ${KESTRION_PACKAGE_WORK}/man/${name}
    COMMENT "Compressing the manual page ${name}")
  list(APPEND KESTRION_MAN_OUTPUTS ${gz})
  install(FILES ${gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

# The changelog of a native package (no Debian revision) is changelog.gz.
set(changelog_gz ${KESTRION_PACKAGE_WORK}/changelog.gz)
configure_file(${CMAKE_SOURCE_DIR}/packaging/changelog ${KESTRION_PACKAGE_WORK}/changelog COPYONLY)
add_custom_command(
  OUTPUT ${changelog_gz}
  COMMAND gzip -9 -n -f -k ${KESTRION_PACKAGE_WORK}/changelog
  DEPENDS ${KESTRION_PACKAGE_WORK}/changelog
  COMMENT "Compressing the changelog")
add_custom_target(package_docs ALL DEPENDS ${KESTRION_MAN_OUTPUTS} ${changelog_gz})
install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright ${changelog_gz}
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kestrion)
file(STRINGS ${CMAKE_SOURCE_DIR}/packaging/changelog KESTRION_CHANGELOG_TOP LIMIT_COUNT 1)
if(NOT KESTRION_CHANGELOG_TOP MATCHES "^kestrion \\(${PROJECT_VERSION}\\) ")
  message(WARNING "packaging/changelog has no entry for version ${PROJECT_VERSION} at its top")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrion)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Quillfen Software")
set(CPACK_PACKAGE_CONTACT "Quillfen Software <support@quillfen.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find the used and free addresses of a small IPv4 network")
# The extended description, in lines shorter than 80 characters.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Kestrion sweeps a range of a /24 block with ICMP echo requests, one address\n"
  "at a time, and lists who answered, with host name and round-trip time. It\n"
  "saves sweeps in an embedded database, carries out stored schedules unattended\n"
  "and writes a Free IP Report of the addresses that never answered.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.quillfen.example/")
# Library dependencies are read from the binaries; setcap is only wanted, as for ping.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS libcap2-bin)
# Our own postrm also keeps CPack from adding an ldconfig call for the private Resolver library.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/packaging/postinst ${CMAKE_SOURCE_DIR}/packaging/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
