# Installing and the Debian package (make package). An installed copy finds its
# files by its place: the programs in PREFIX/bin, the rest in PREFIX/share/kova
# (see InstalledPrefix); the package installs under /usr.
include(GNUInstallDirs)

set(KOVA_PACKAGE_VERSION "${PROJECT_VERSION}" CACHE STRING "Version of the Debian package")
set(KOVA_PACKAGE_MAINTAINER "KOVA developers <kova@example.org>" CACHE STRING
    "Maintainer of the Debian package")
set(KOVA_SHARE_DIR ${CMAKE_INSTALL_DATADIR}/kova)
set(KOVA_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(KOVA_GENERATED_DIR ${CMAKE_BINARY_DIR}/packaging)

# The program is build/bin/KOVA in a build and kova when installed.
install(PROGRAMS $<TARGET_FILE:KOVA> DESTINATION ${CMAKE_INSTALL_BINDIR} RENAME kova)
install(TARGETS kova-print kova-symbol RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(PROGRAMS scripts/kova-server DESTINATION ${CMAKE_INSTALL_BINDIR})
install(PROGRAMS scripts/create-db DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/kova)
install(FILES db/schema.sql DESTINATION ${KOVA_SHARE_DIR})
install(FILES db/firebird.conf DESTINATION ${KOVA_SHARE_DIR}/firebird)
install(DIRECTORY help/ DESTINATION ${KOVA_SHARE_DIR}/help)

install(FILES ${KOVA_PACKAGING_DIR}/org.kova.Kova.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${KOVA_PACKAGING_DIR}/org.kova.Kova.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${KOVA_PACKAGING_DIR}/kova.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# /etc and /lib/systemd as Debian has them, whatever the prefix.
install(FILES ${KOVA_PACKAGING_DIR}/kova.ini DESTINATION /etc/kova)
install(FILES ${KOVA_PACKAGING_DIR}/kova-server.default DESTINATION /etc/default
        RENAME kova-server)
install(FILES ${KOVA_PACKAGING_DIR}/kova-server.service DESTINATION /lib/systemd/system)

# Icons in the sizes desktops look for, drawn from the SVG; man pages and the
# changelog compressed as Debian wants them.
find_program(RSVG_CONVERT rsvg-convert)
find_program(GZIP gzip REQUIRED)
set(KOVA_ICON_SIZES 16 24 32 48 64 128 256)
set(kova_generated)
if(RSVG_CONVERT)
    foreach(size ${KOVA_ICON_SIZES})
        set(png ${KOVA_GENERATED_DIR}/icons/${size}/kova.png)
        add_custom_command(OUTPUT ${png}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${KOVA_GENERATED_DIR}/icons/${size}
            COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${KOVA_PACKAGING_DIR}/kova.svg
            DEPENDS ${KOVA_PACKAGING_DIR}/kova.svg VERBATIM)
        list(APPEND kova_generated ${png})
        install(FILES ${png}
                DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    endforeach()
else()
    message(STATUS "rsvg-convert not found: the PNG icons are left out (install librsvg2-bin)")
endif()
foreach(page kova-print.1 kova-server.8)
    string(REGEX REPLACE ".*\\." "" section ${page})
    set(gz ${KOVA_GENERATED_DIR}/${page}.gz)
    add_custom_command(OUTPUT ${gz}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${KOVA_GENERATED_DIR}
        COMMAND sh -c "${GZIP} -9n < ${KOVA_PACKAGING_DIR}/${page} > ${gz}"
        DEPENDS ${KOVA_PACKAGING_DIR}/${page} VERBATIM)
    list(APPEND kova_generated ${gz})
    install(FILES ${gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
endforeach()
string(TIMESTAMP KOVA_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${KOVA_PACKAGING_DIR}/changelog.in ${KOVA_GENERATED_DIR}/changelog @ONLY)
add_custom_command(OUTPUT ${KOVA_GENERATED_DIR}/changelog.gz
    COMMAND sh -c "${GZIP} -9n < ${KOVA_GENERATED_DIR}/changelog > ${KOVA_GENERATED_DIR}/changelog.gz"
    DEPENDS ${KOVA_GENERATED_DIR}/changelog VERBATIM)
list(APPEND kova_generated ${KOVA_GENERATED_DIR}/changelog.gz)
add_custom_target(kova_package_files ALL DEPENDS ${kova_generated})
install(FILES ${KOVA_GENERATED_DIR}/changelog.gz ${KOVA_PACKAGING_DIR}/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kova)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kova)
set(CPACK_PACKAGE_VERSION ${KOVA_PACKAGE_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_PACKAGE_CONTACT "${KOVA_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "positioned, numbered printing")
set(CPACK_PACKAGE_DESCRIPTION
    "KOVA prints pages laid out in millimetres: text, serial numbers, lines,
barcodes, QR codes, pictures and dates. A print run prints consecutive page
numbers, and the numbering continues from one run to the next; no number is
printed twice. The members of the group kova share the machine's database in
/var/lib/kova; kova-server serves one database to several machines.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What dpkg-shlibdeps cannot see: plugins and programs loaded or run at run time.
# The embedded engine (firebird3.0-server-core) and its isql-fb to make the
# database, the Qt database driver, platform and image plugins and Qt's own
# Chinese texts, the CJK font the pages are drawn with, Ghostscript for the scan
# check, and addgroup for the group kova.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "firebird3.0-server-core, firebird3.0-utils, libqt6sql6-ibase, qt6-qpa-plugins, qt6-image-formats-plugins, qt6-translations-l10n, fonts-arphic-uming, ghostscript, adduser")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "cups, cups-client, xdg-utils")
# kova-server runs the Firebird server, which only a server machine needs.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "firebird3.0-server")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${KOVA_PACKAGING_DIR}/postinst ${KOVA_PACKAGING_DIR}/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
