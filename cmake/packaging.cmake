# Install rules and the packages made from them: on Linux a Debian package
# (everything under /usr), for Windows a ZIP and an NSIS installer. Included
# at the end of the top-level CMakeLists, when every target is defined; a
# program that this build does not make is left out of both.
include(GNUInstallDirs)

set(KORVANTHINE_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)

# The project has no public address yet: example.org (reserved for examples)
# stands in, in the AppStream id and links, until it has one.
set(KORVANTHINE_APPSTREAM_ID org.example.korvanthine)
set(KORVANTHINE_HOMEPAGE_URL "https://korvanthine.example.org/" CACHE STRING
    "Project home page named in the AppStream metadata")
set(KORVANTHINE_SCREENSHOT_URL "https://korvanthine.example.org/docs/panel.png" CACHE STRING
    "Where the AppStream metadata finds the README's screenshot (docs/panel.png)")

set(CPACK_PACKAGE_NAME korvanthine)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Korvanthine authors")
set(CPACK_PACKAGE_CONTACT "Korvanthine authors <korvanthine@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "control panel for a four-channel temperature controller")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_CHECKSUM SHA256)

if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/packaging-windows.cmake)
else()
  include(${CMAKE_CURRENT_LIST_DIR}/packaging-debian.cmake)
endif()

include(CPack)
