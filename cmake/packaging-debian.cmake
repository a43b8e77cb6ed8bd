# Linux: the programs, the panel's menu entry, icon and AppStream metadata,
# the manual pages and the Debian documentation files, and the Debian package.
set(korvanthine_programs korvanthine korvanthine-ctl korvanthine-sim)
set(korvanthine_provided "")
set(korvanthine_pages "")
foreach(program IN LISTS korvanthine_programs)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    string(APPEND korvanthine_provided "    <binary>${program}</binary>\n")
    list(APPEND korvanthine_pages ${program}.1)
  endif()
endforeach()

if(TARGET korvanthine)
  install(FILES ${KORVANTHINE_PACKAGING_DIR}/korvanthine.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  foreach(size 16 22 24 32 48 64 128 256)
    install(FILES ${PROJECT_SOURCE_DIR}/panel/res/icons/korvanthine-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME korvanthine.png)
  endforeach()
  string(STRIP "${korvanthine_provided}" KORVANTHINE_PROVIDED_BINARIES)
  install(FILES ${PROJECT_BINARY_DIR}/packaging/${KORVANTHINE_APPSTREAM_ID}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()

# Debian wants manual pages and the changelog compressed, without a time
# stamp in the gzip header so that two builds give the same bytes.
find_program(KORVANTHINE_GZIP gzip REQUIRED)
set(korvanthine_compressed "")
set(korvanthine_docdir ${CMAKE_INSTALL_DATADIR}/doc/${CPACK_PACKAGE_NAME})
foreach(page IN LISTS korvanthine_pages)
  set(zipped ${PROJECT_BINARY_DIR}/packaging/${page}.gz)
  add_custom_command(OUTPUT ${zipped}
                     COMMAND ${KORVANTHINE_GZIP} -9nc ${KORVANTHINE_PACKAGING_DIR}/man/${page} > ${zipped}
                     DEPENDS ${KORVANTHINE_PACKAGING_DIR}/man/${page} VERBATIM)
  list(APPEND korvanthine_compressed ${zipped})
  install(FILES ${zipped} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
set(zipped ${PROJECT_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${zipped}
                   COMMAND ${KORVANTHINE_GZIP} -9nc ${KORVANTHINE_PACKAGING_DIR}/debian/changelog > ${zipped}
                   DEPENDS ${KORVANTHINE_PACKAGING_DIR}/debian/changelog VERBATIM)
list(APPEND korvanthine_compressed ${zipped})
install(FILES ${zipped} DESTINATION ${korvanthine_docdir})
# The guide to temperature programs, which the manual page points at, and
# the example it starts from.
set(zipped ${PROJECT_BINARY_DIR}/packaging/programs.md.gz)
add_custom_command(OUTPUT ${zipped}
                   COMMAND ${KORVANTHINE_GZIP} -9nc ${PROJECT_SOURCE_DIR}/docs/programs.md > ${zipped}
                   DEPENDS ${PROJECT_SOURCE_DIR}/docs/programs.md VERBATIM)
list(APPEND korvanthine_compressed ${zipped})
install(FILES ${zipped} DESTINATION ${korvanthine_docdir})
install(FILES ${PROJECT_SOURCE_DIR}/docs/examples/anneal-ch2.yml DESTINATION ${korvanthine_docdir}/examples)
add_custom_target(korvanthine_compressed_docs ALL DEPENDS ${korvanthine_compressed})

install(FILES ${KORVANTHINE_PACKAGING_DIR}/debian/copyright DESTINATION ${korvanthine_docdir})

# The exporter's service, one instance per port, and the Prometheus side.
if(TARGET korvanthine-ctl)
  install(FILES ${KORVANTHINE_PACKAGING_DIR}/systemd/korvanthine-serve@.service
          DESTINATION lib/systemd/system)
  include(${CMAKE_CURRENT_LIST_DIR}/packaging-monitoring.cmake)
  korvanthine_install_monitoring(${CMAKE_INSTALL_DATADIR}/korvanthine/monitoring)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The panel links Qt's libraries, which dpkg-shlibdeps finds, but draws its
# window through Qt's X11 platform plugin, which it loads at run time.
if(TARGET korvanthine)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)
endif()
# What else the package carries, by what this build makes.
if(TARGET korvanthine-ctl)
  set(KORVANTHINE_TOOLS_TEXT "The package also carries korvanthine-ctl, the controller from the command
line for logging and scripts, whose serve command is a Prometheus exporter
with the bench's own web page, run per port by the systemd service
korvanthine-serve@; alert rules, Prometheus and Alertmanager examples and a
Grafana dashboard for monitoring a lab; and korvanthine-sim, a simulated
controller on a pseudo-terminal for trying the panel without hardware.")
else()
  set(KORVANTHINE_TOOLS_TEXT "The package also carries korvanthine-sim, a simulated controller on a
pseudo-terminal for trying the panel without hardware.")
endif()

set(CPACK_PACKAGE_DESCRIPTION
"KORVANTHINE is the bench panel of a four-channel temperature controller
attached by a serial line (COM1 to COM20, or a USB serial adapter mapped to
a COM name). The operator checks the link, switches on sampling and watches,
once a second, each channel's temperature, output power and its Sensor,
Overtemp and Ext. heat enable flags, and reads and writes each channel's set
temperature and output enable.

${KORVANTHINE_TOOLS_TEXT}")

if(TARGET korvanthine)
  configure_file(${KORVANTHINE_PACKAGING_DIR}/korvanthine.metainfo.xml.in
                 ${PROJECT_BINARY_DIR}/packaging/${KORVANTHINE_APPSTREAM_ID}.metainfo.xml @ONLY)
endif()
