# The resources of quarlin.exe: the icon made from packaging/quarlin.svg, the
# version from project(VERSION), company and copyright from LICENSE, and the
# manifest. Included by app/CMakeLists.txt for Windows builds.
enable_language(RC)
set(_qw_in ${CMAKE_CURRENT_LIST_DIR})
set(_qw_out ${PROJECT_BINARY_DIR}/resources)
set(_qw_svg ${PROJECT_SOURCE_DIR}/packaging/quarlin.svg)

file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE QUARLIN_COPYRIGHT REGEX "^Copyright " LIMIT_COUNT 1)
string(REGEX REPLACE "^Copyright \\([cC]\\) [0-9, -]+ " "" QUARLIN_COMPANY "${QUARLIN_COPYRIGHT}")
# "1.00" is 1,0,0,0 in the binary version and 1.0.0.0 in the manifest.
math(EXPR _qw_major "${PROJECT_VERSION_MAJOR} + 0")
math(EXPR _qw_minor "${PROJECT_VERSION_MINOR} + 0")
set(QUARLIN_RC_VERSION "${_qw_major},${_qw_minor},0,0")
set(QUARLIN_DOTTED_VERSION "${_qw_major}.${_qw_minor}.0.0")
set(QUARLIN_ICO ${_qw_out}/quarlin.ico)
set(QUARLIN_MANIFEST ${_qw_out}/quarlin.manifest)
configure_file(${_qw_in}/quarlin.manifest.in ${QUARLIN_MANIFEST} @ONLY)

# rsvg-convert (librsvg) and icotool (icoutils) make the icon; scripts/windows.sh
# installs both. A native build without them gets an exe without an icon.
find_program(QUARLIN_RSVG_CONVERT rsvg-convert)
find_program(QUARLIN_ICOTOOL icotool)
set(QUARLIN_RC_ICON "")
if(QUARLIN_RSVG_CONVERT AND QUARLIN_ICOTOOL)
  set(QUARLIN_RC_ICON "IDI_ICON1 ICON \"${QUARLIN_ICO}\"")
  set(_qw_pngs)
  foreach(size 16 24 32 48 64 256)
    set(png ${_qw_out}/quarlin-${size}.png)
    add_custom_command(OUTPUT ${png}
      COMMAND ${QUARLIN_RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${_qw_svg}
      DEPENDS ${_qw_svg} VERBATIM)
    list(APPEND _qw_pngs ${png})
  endforeach()
  # 256 px is kept as PNG inside the icon, as Windows since Vista expects.
  list(POP_BACK _qw_pngs _qw_big)
  add_custom_command(OUTPUT ${QUARLIN_ICO}
    COMMAND ${QUARLIN_ICOTOOL} -c -o ${QUARLIN_ICO} ${_qw_pngs} --raw=${_qw_big}
    DEPENDS ${_qw_pngs} ${_qw_big} VERBATIM)
  target_sources(quarlin PRIVATE ${QUARLIN_ICO})
  set_source_files_properties(${_qw_out}/quarlin.rc PROPERTIES OBJECT_DEPENDS ${QUARLIN_ICO})
else()
  message(WARNING "rsvg-convert or icotool not found: quarlin.exe is built without its icon")
endif()
configure_file(${_qw_in}/quarlin.rc.in ${_qw_out}/quarlin.rc @ONLY)

target_sources(quarlin PRIVATE ${_qw_out}/quarlin.rc)
set_property(SOURCE ${_qw_out}/quarlin.rc APPEND PROPERTY OBJECT_DEPENDS ${QUARLIN_MANIFEST})
