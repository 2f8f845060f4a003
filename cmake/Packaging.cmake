# Install rules for the desktop files and the Debian package (CPack). The
# programs install themselves in their own directories.

# Installing (and so packaging) builds only what it installs, not the tests.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(CORVANE_APP_ID io.github.corvane.Corvane)
set(CORVANE_SCREENSHOT_URL
    "https://corvane.invalid/docs/screenshot.png"
    CACHE STRING "Where the AppStream metainfo says the screenshot is")
string(TIMESTAMP CORVANE_RELEASE_DATE "%Y-%m-%d" UTC)
set(desktop ${CMAKE_SOURCE_DIR}/res/desktop)

if(CORVANE_GUI AND NOT WIN32)
    configure_file(${desktop}/${CORVANE_APP_ID}.metainfo.xml.in
                   ${CMAKE_BINARY_DIR}/generated/${CORVANE_APP_ID}.metainfo.xml @ONLY)
    install(FILES ${desktop}/${CORVANE_APP_ID}.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${CMAKE_BINARY_DIR}/generated/${CORVANE_APP_ID}.metainfo.xml
            DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    install(FILES ${desktop}/${CORVANE_APP_ID}.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
    foreach(size 16 22 24 32 48 64 128 256)
        install(FILES ${desktop}/icons/${size}x${size}/${CORVANE_APP_ID}.png
                DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    endforeach()
endif()
if(CORVANE_TOOLS AND NOT WIN32)
    install(FILES ${desktop}/man/corvanectl.1 ${desktop}/man/corvane-routersim.1
            DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

set(CPACK_PACKAGE_NAME corvane)
set(CPACK_PACKAGE_VENDOR "Corvane")
set(CPACK_PACKAGE_CONTACT "Corvane maintainers <maintainers@corvane.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
# One string: a list would join its parts with ";".
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Corvane polls a modular 16 x 16 video router over RS232 or UDP, shows every\n"
    "slot, card, signal and route in one view and routes with two clicks. The\n"
    "package also holds corvanectl, a command-line client, and\n"
    "corvane-routersim, a software router for trying both without hardware.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The Tahoma stand-in the layout is measured against.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS fonts-wine)
include(CPack)
