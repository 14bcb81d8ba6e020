# Install rules and the Debian package (cpack -G DEB in the build folder).
#
#   <prefix>/bin/Zandorel, zandorel-cli, zandorel-share
#   <prefix>/share/zandorel/ZandorelConfig.xml        the default settings
#   <prefix>/share/applications/zandorel.desktop
#   <prefix>/share/icons/hicolor/{scalable,NxN}/apps/zandorel.{svg,png}
#   <prefix>/share/metainfo/zandorel.metainfo.xml
#   <prefix>/share/man/man1/Zandorel.1, zandorel-cli.1, zandorel-share.1
#   <prefix>/share/doc/zandorel/copyright             the licence (Debian's format)
#
# The programs find the default settings at ../share/zandorel relative to
# themselves, so the layout below bin/ and share/ must stay as it is.
# Zandorel_Test, the tests and the benchmarks stay in the build tree.

include(GNUInstallDirs)

set(ZANDOREL_DATA_DIR ${PROJECT_SOURCE_DIR}/data)
# Folders in the package are readable by everyone, whatever the umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

foreach(program Zandorel zandorel-cli zandorel-share)
    if(TARGET ${program})
        install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
endforeach()

install(FILES ${PROJECT_SOURCE_DIR}/config/ZandorelConfig.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/zandorel)

if(TARGET Zandorel)
    install(FILES ${ZANDOREL_DATA_DIR}/zandorel.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${ZANDOREL_DATA_DIR}/zandorel.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    install(FILES ${ZANDOREL_DATA_DIR}/icons/zandorel.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
    foreach(size 16 24 32 48 256)
        install(FILES ${ZANDOREL_DATA_DIR}/icons/${size}x${size}/zandorel.png
                DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    endforeach()
endif()

# Manual pages carry the project's version.
foreach(page Zandorel zandorel-cli zandorel-share)
    if(TARGET ${page})
        configure_file(${ZANDOREL_DATA_DIR}/man/${page}.1.in ${PROJECT_BINARY_DIR}/man/${page}.1 @ONLY)
        install(FILES ${PROJECT_BINARY_DIR}/man/${page}.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    endif()
endforeach()

set(ZANDOREL_PACKAGE_MAINTAINER "Zandorel developers <zandorel@localhost>"
    CACHE STRING "Maintainer field of the Debian package")

# The licence, in Debian's machine-readable copyright format: the text of
# LICENSE below its copyright line, each line indented, blank lines as " .".
file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE license_lines)
set(ZANDOREL_LICENSE_TEXT "")
set(past_copyright FALSE)
foreach(line IN LISTS license_lines)
    if(NOT past_copyright)
        if(line MATCHES "^Copyright")
            set(past_copyright TRUE)
        endif()
        continue()
    endif()
    if(line STREQUAL "")
        if(ZANDOREL_LICENSE_TEXT STREQUAL "")
            continue() # the blank line after the copyright line
        endif()
        string(APPEND ZANDOREL_LICENSE_TEXT " .\n")
    else()
        string(APPEND ZANDOREL_LICENSE_TEXT " ${line}\n")
    endif()
endforeach()
string(REGEX REPLACE "\n$" "" ZANDOREL_LICENSE_TEXT "${ZANDOREL_LICENSE_TEXT}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)
configure_file(${ZANDOREL_DATA_DIR}/copyright.in ${PROJECT_BINARY_DIR}/copyright @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/zandorel)

# The Debian package: zandorel_<version>_<arch>.deb, its library
# dependencies computed by dpkg-shlibdeps. cpack stops, naming the missing
# packages, when `file` or dpkg-shlibdeps is not there.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zandorel)
set(CPACK_PACKAGE_VENDOR "Zandorel developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "turn a shared cloud folder into ready-made link code")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Zandorel lists every file of a shared cloud folder, from the folder's\n"
    "address or from a saved copy of its web page, with all the properties the\n"
    "share service publishes. It fills a format template for each file (an HTML\n"
    "anchor, forum markup, ...) and joins the results into one block to copy.\n"
    "\n"
    "The package holds the desktop program Zandorel, the headless listing tool\n"
    "zandorel-cli, and zandorel-share, a local service that serves any folder\n"
    "as a shared folder.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ZANDOREL_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/package-tools.cmake)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
if(TARGET Zandorel)
    # Qt's X11 platform plugin is loaded at run time, so dpkg-shlibdeps does
    # not see it; the Wayland plugin, translations and a CJK font are
    # recommended (the window's texts are Chinese).
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, qt6-translations-l10n, fonts-noto-cjk | fonts-wqy-microhei")
endif()

include(CPack)
