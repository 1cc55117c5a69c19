include(GNUInstallDirs)

set(_quarlin_dir ${CMAKE_CURRENT_LIST_DIR})
set(_quarlin_out ${PROJECT_BINARY_DIR}/packaging)
set(_quarlin_doc ${CMAKE_INSTALL_DATADIR}/doc/quarlin)

# The contact comes from company.conf, as on Windows.
file(STRINGS ${_quarlin_dir}/company.conf _quarlin_contact REGEX "^QUARLIN_CONTACT=" LIMIT_COUNT 1)
string(REGEX REPLACE "^QUARLIN_CONTACT=" "" _quarlin_contact "${_quarlin_contact}")
if(NOT _quarlin_contact MATCHES "^[^<>]+ <[^<>@ ]+@[^<>@ ]+>$")
  message(FATAL_ERROR "packaging/company.conf: QUARLIN_CONTACT must read \"Name <address>\"")
endif()
set(QUARLIN_MAINTAINER "${_quarlin_contact}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_quarlin_dir}/company.conf)

# The changelog and the metainfo record releases: their newest must be this
# one. The changelog's entry also gives the Debian revision.
file(STRINGS ${_quarlin_dir}/changelog _quarlin_entry LIMIT_COUNT 1)
file(STRINGS ${_quarlin_dir}/quarlin.metainfo.xml _quarlin_release REGEX "<release " LIMIT_COUNT 1)
if(NOT _quarlin_release MATCHES "version=\"${PROJECT_VERSION}\""
   OR NOT _quarlin_entry MATCHES "^quarlin \\(${PROJECT_VERSION}-([0-9]+)\\) [a-z]+")
  message(FATAL_ERROR "packaging/changelog and packaging/quarlin.metainfo.xml need an entry for ${PROJECT_VERSION}")
endif()
set(_quarlin_revision ${CMAKE_MATCH_1})

# dpkg-shlibdeps takes the dependencies from the libraries of the release we
# build on, so the version names that release (1.00-1~deb12, 1.00-1~deb13):
# the packages for two releases cannot be mistaken for each other.
set(_quarlin_codename unstable)
if(EXISTS /etc/os-release)
  file(STRINGS /etc/os-release _quarlin_os REGEX "^(ID|VERSION_ID|VERSION_CODENAME)=")
  if("ID=debian" IN_LIST _quarlin_os)
    foreach(line ${_quarlin_os})
      if(line MATCHES "^VERSION_ID=\"?([0-9]+)\"?$")
        string(APPEND _quarlin_revision "~deb${CMAKE_MATCH_1}")
      elseif(line MATCHES "^VERSION_CODENAME=([a-z]+)$")
        set(_quarlin_codename ${CMAKE_MATCH_1})
      endif()
    endforeach()
  endif()
endif()
set(QUARLIN_DEBIAN_VERSION ${PROJECT_VERSION}-${_quarlin_revision})

# Debian wants these compressed with gzip -9n (no name, no time stamp).
set(_quarlin_gz)
foreach(page quarlin.1 quarlin-sim.1)
  configure_file(${_quarlin_dir}/${page}.in ${_quarlin_out}/${page} @ONLY)
  list(APPEND _quarlin_gz ${_quarlin_out}/${page}.gz)
endforeach()
# Debian's changelog of a package with a revision is changelog.Debian.
file(READ ${_quarlin_dir}/changelog _quarlin_changelog)
string(REGEX REPLACE "^quarlin \\([^)]*\\) [a-z]+;" "quarlin (${QUARLIN_DEBIAN_VERSION}) ${_quarlin_codename};"
  _quarlin_changelog "${_quarlin_changelog}")
string(REGEX REPLACE "\n -- [^\n]*>  " "\n -- ${QUARLIN_MAINTAINER}  " _quarlin_changelog "${_quarlin_changelog}")
file(WRITE ${_quarlin_out}/changelog.Debian.new "${_quarlin_changelog}")
configure_file(${_quarlin_out}/changelog.Debian.new ${_quarlin_out}/changelog.Debian COPYONLY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_quarlin_dir}/changelog /etc/os-release)
list(APPEND _quarlin_gz ${_quarlin_out}/changelog.Debian.gz)
foreach(gz ${_quarlin_gz})
  string(REGEX REPLACE "\\.gz$" "" plain ${gz})
  add_custom_command(OUTPUT ${gz} COMMAND gzip -9nkf ${plain} DEPENDS ${plain} VERBATIM)
endforeach()
add_custom_target(quarlin-docs ALL DEPENDS ${_quarlin_gz})

install(TARGETS quarlin RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
set(_quarlin_programs quarlin)
if(TARGET quarlin-sim)
  install(TARGETS quarlin-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  list(APPEND _quarlin_programs quarlin-sim)
  install(FILES ${_quarlin_out}/quarlin-sim.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${PROJECT_SOURCE_DIR}/docs/simulator.md DESTINATION ${_quarlin_doc})
endif()
# CPack's strip keeps .comment (compiler versions), which Debian drops.
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    foreach(program ${_quarlin_programs})
      execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/\${program}\" COMMAND_ERROR_IS_FATAL ANY)
    endforeach()
  endif()")

install(FILES ${_quarlin_out}/quarlin.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${_quarlin_dir}/quarlin.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# AppStream wants a reverse-DNS id and the file named after it.
install(FILES ${_quarlin_dir}/quarlin.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo
  RENAME com.example.quarlin.metainfo.xml)
install(FILES ${_quarlin_dir}/quarlin.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${_quarlin_dir}/quarlin-48.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps
  RENAME quarlin.png)
file(READ ${_quarlin_dir}/copyright _quarlin_copyright)
string(REGEX REPLACE "\nUpstream-Contact: [^\n]*" "\nUpstream-Contact: ${QUARLIN_MAINTAINER}"
  _quarlin_copyright "${_quarlin_copyright}")
file(WRITE ${_quarlin_out}/copyright.new "${_quarlin_copyright}")
configure_file(${_quarlin_out}/copyright.new ${_quarlin_out}/copyright COPYONLY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_quarlin_dir}/copyright)
install(FILES ${_quarlin_out}/copyright ${_quarlin_out}/changelog.Debian.gz DESTINATION ${_quarlin_doc})
# Only an example: a rule that renames serial devices must be chosen by the admin.
install(FILES ${_quarlin_dir}/60-quarlin-com.rules.example DESTINATION ${_quarlin_doc}/examples)
# The operators' guide in Korean (on Windows 읽어보기.txt), with the Linux steps.
add_custom_command(OUTPUT ${_quarlin_out}/README.ko.txt
  COMMAND sh ${_quarlin_dir}/windows/guide.sh linux ${PROJECT_VERSION} ${_quarlin_out}/README.ko.txt
  DEPENDS ${_quarlin_dir}/windows/guide.sh ${_quarlin_dir}/windows/guide-ko.txt VERBATIM)
add_custom_target(quarlin-guide ALL DEPENDS ${_quarlin_out}/README.ko.txt)
install(FILES ${_quarlin_out}/README.ko.txt DESTINATION ${_quarlin_doc})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quarlin)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE ${_quarlin_revision})
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
# The libraries come from dpkg-shlibdeps; the Korean face the window's fonts
# are mapped onto is no library, so it is named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS fonts-nanum)

include(CPack)
