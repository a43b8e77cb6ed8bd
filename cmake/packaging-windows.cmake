# Windows: one folder with the programs (linked statically, so nothing else
# is needed beside them), the licence and a short read-me, packed as a ZIP
# and, where makensis is found, as an installer with a Start-menu entry and
# an uninstaller.
foreach(program korvanthine korvanthine-ctl)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION .)
  endif()
endforeach()

# Windows line ends, so that every editor there shows the lines.
configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_BINARY_DIR}/packaging/LICENSE.txt
               @ONLY NEWLINE_STYLE CRLF)
configure_file(${KORVANTHINE_PACKAGING_DIR}/windows/README.txt ${PROJECT_BINARY_DIR}/packaging/README.txt
               @ONLY NEWLINE_STYLE CRLF)
install(FILES ${PROJECT_BINARY_DIR}/packaging/LICENSE.txt ${PROJECT_BINARY_DIR}/packaging/README.txt
        DESTINATION .)
if(TARGET korvanthine-ctl)
  include(${CMAKE_CURRENT_LIST_DIR}/packaging-monitoring.cmake)
  korvanthine_install_monitoring(monitoring)
endif()

set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY KORVANTHINE)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY KORVANTHINE)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR ZIP)

# The exporter services' page and steps (packaging/windows/services.nsh.in):
# a page before the files are installed, the answers checked before them,
# the services made once they are, removed before they go. CPack's own template with the page added is the
# project's template, so that the rest of the installer stays CPack's.
function(korvanthine_nsis_services)
  set(_template ${CMAKE_ROOT}/Modules/Internal/CPack/NSIS.template.in)
  file(READ ${_template} _text)
  set(_pages "  !insertmacro MUI_PAGE_INSTFILES\n")
  string(FIND "${_text}" "${_pages}" _at)
  if(_at EQUAL -1)
    message(FATAL_ERROR "${_template} has no MUI_PAGE_INSTFILES line for the services page to go before")
  endif()
  string(REPLACE "${_pages}" "  Page custom SvcPage SvcPageLeave\n${_pages}" _text "${_text}")
  # The answers are checked in a section of their own, before the one that
  # makes the installation folder: a refusal leaves nothing behind.
  set(_core "Section \"-Core installation\"\n")
  string(FIND "${_text}" "${_core}" _at)
  if(_at EQUAL -1)
    message(FATAL_ERROR "${_template} has no core section for the services' check to go before")
  endif()
  string(REPLACE "${_core}" "Section \"-Services' answers\"\n  Call CheckServiceAnswers\nSectionEnd\n\n${_core}"
         _text "${_text}")
  # The listen address's default is serve's own.
  file(STRINGS ${PROJECT_SOURCE_DIR}/serve/listen_address.h _port REGEX "kDefaultServePort = [0-9]+")
  string(REGEX REPLACE ".*= ([0-9]+).*" "\\1" KORVANTHINE_SERVE_PORT "${_port}")
  set(_dir ${PROJECT_BINARY_DIR}/packaging/nsis)
  file(WRITE ${_dir}/NSIS.template.in "${_text}")
  configure_file(${KORVANTHINE_PACKAGING_DIR}/windows/services.nsh.in ${_dir}/services.nsh @ONLY)
  list(PREPEND CMAKE_MODULE_PATH ${_dir})
  set(CMAKE_MODULE_PATH ${CMAKE_MODULE_PATH} PARENT_SCOPE)
  # Single quotes: CPack writes the value into its configuration without
  # escaping double ones.
  set(CPACK_NSIS_DEFINES "${CPACK_NSIS_DEFINES}\n!include '${_dir}/services.nsh'" PARENT_SCOPE)
  set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS "Call InstallServices" PARENT_SCOPE)
  set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS "Call un.RemoveServices" PARENT_SCOPE)
endfunction()

find_program(KORVANTHINE_MAKENSIS makensis)
if(KORVANTHINE_MAKENSIS)
  list(APPEND CPACK_GENERATOR NSIS)
  set(CPACK_NSIS_EXECUTABLE ${KORVANTHINE_MAKENSIS})
  set(CPACK_NSIS_PACKAGE_NAME "KORVANTHINE ${PROJECT_VERSION}")
  set(CPACK_NSIS_DISPLAY_NAME "KORVANTHINE")
  set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/panel/res/korvanthine.ico)
  set(CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/panel/res/korvanthine.ico)
  set(CPACK_NSIS_INSTALLED_ICON_NAME korvanthine.exe)
  set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
  # A 64-bit installer for 64-bit programs: it installs into the 64-bit
  # Program Files, and it runs on a 64-bit Wine without its 32-bit half.
  set(CPACK_NSIS_DEFINES "Target amd64-unicode")
  set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
  # Start-menu entries: the panel, the read-me; CPack adds the uninstaller.
  # The programs sit at the top of the folder, not in bin/.
  set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
  if(TARGET korvanthine)
    set(CPACK_PACKAGE_EXECUTABLES korvanthine KORVANTHINE)
  endif()
  set(CPACK_NSIS_MENU_LINKS README.txt "KORVANTHINE read-me")
  if(KORVANTHINE_WEB)
    korvanthine_nsis_services()
  endif()
endif()
