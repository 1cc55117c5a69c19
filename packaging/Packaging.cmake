include(GNUInstallDirs)

set(QUARLIN_MAINTAINER "Quarlin maintainers <quarlin@example.com>"
  CACHE STRING "Maintainer field of the Debian package")

set(_quarlin_dir ${CMAKE_CURRENT_LIST_DIR})

install(TARGETS quarlin RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET quarlin-sim)
  install(TARGETS quarlin-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(FILES ${_quarlin_dir}/quarlin.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${_quarlin_dir}/quarlin.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# Only an example: a rule that renames serial devices must be chosen by the admin.
install(FILES ${_quarlin_dir}/60-quarlin-com.rules.example
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quarlin/examples)
if(EXISTS ${PROJECT_SOURCE_DIR}/docs/simulator.md)
  install(FILES ${PROJECT_SOURCE_DIR}/docs/simulator.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quarlin)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quarlin)
set(CPACK_PACKAGE_VERSION 1.00)
set(CPACK_PACKAGE_VENDOR Tesmoren)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Time table loader for a small relay controller")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Quarlin edits the time table of a five-stage relay controller (stage times,
relays switched in each stage, delay and repeat count) and downloads it over
a serial line (COM 1-8: /dev/comN or /dev/ttyS0-7) as one 27-byte frame.
Includes quarlin-sim, a controller simulator on a pseudo-terminal for trying
the program without hardware.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QUARLIN_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The Qt 6 runtime of Debian 12 (libQt6*.so.6 come from these), and the
# Korean face the window's fonts are mapped onto.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "libc6 (>= 2.34), libstdc++6 (>= 11), libgcc-s1 (>= 3.0), libqt6core6 (>= 6.4.0), libqt6gui6 (>= 6.4.0), libqt6widgets6 (>= 6.4.0), libqt6serialport6 (>= 6.4.0), fonts-nanum")

include(CPack)
