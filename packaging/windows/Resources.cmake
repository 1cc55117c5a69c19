# The resources of quarlin.exe: the icon made from packaging/quarlin.svg, the
# version from project(VERSION), company and copyright from LICENSE, and the
# manifest. Included by app/CMakeLists.txt for Windows builds.
enable_language(RC)

# Gives a program the version resource and the manifest for <version> ("1.00"),
# and the icon if there is one. tests/windows uses it for a newer build too.
function(quarlin_windows_resources target version)
  set(in ${CMAKE_CURRENT_FUNCTION_LIST_DIR})
  set(out ${PROJECT_BINARY_DIR}/resources)
  file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE QUARLIN_COPYRIGHT REGEX "^Copyright " LIMIT_COUNT 1)
  string(REGEX REPLACE "^Copyright \\([cC]\\) [0-9, -]+ " "" QUARLIN_COMPANY "${QUARLIN_COPYRIGHT}")
  # "1.00" is 1,0,0,0 in the binary version and 1.0.0.0 in the manifest.
  string(REGEX MATCH "^([0-9]+)\\.([0-9]+)$" _ "${version}")
  math(EXPR major "${CMAKE_MATCH_1} + 0")
  math(EXPR minor "${CMAKE_MATCH_2} + 0")
  set(QUARLIN_VERSION_TEXT ${version})
  set(QUARLIN_RC_VERSION "${major},${minor},0,0")
  set(QUARLIN_DOTTED_VERSION "${major}.${minor}.0.0")
  set(QUARLIN_MANIFEST ${out}/${target}.manifest)
  set(QUARLIN_RC_ICON "")
  set(depends ${QUARLIN_MANIFEST})
  get_property(icon GLOBAL PROPERTY QUARLIN_ICO)
  if(icon)
    set(QUARLIN_RC_ICON "IDI_ICON1 ICON \"${icon}\"")
    list(APPEND depends ${icon})
  endif()
  configure_file(${in}/quarlin.manifest.in ${QUARLIN_MANIFEST} @ONLY)
  configure_file(${in}/quarlin.rc.in ${out}/${target}.rc @ONLY)
  target_sources(${target} PRIVATE ${out}/${target}.rc)
  set_property(SOURCE ${out}/${target}.rc APPEND PROPERTY OBJECT_DEPENDS ${depends})
endfunction()

# rsvg-convert (librsvg) and icotool (icoutils) make the icon; scripts/windows.sh
# installs both. A native build without them gets an exe without an icon.
find_program(QUARLIN_RSVG_CONVERT rsvg-convert)
find_program(QUARLIN_ICOTOOL icotool)
if(QUARLIN_RSVG_CONVERT AND QUARLIN_ICOTOOL)
  set(icon ${PROJECT_BINARY_DIR}/resources/quarlin.ico)
  set_property(GLOBAL PROPERTY QUARLIN_ICO ${icon})
  set(svg ${PROJECT_SOURCE_DIR}/packaging/quarlin.svg)
  set(pngs)
  foreach(size 16 24 32 48 64 256)
    set(png ${PROJECT_BINARY_DIR}/resources/quarlin-${size}.png)
    add_custom_command(OUTPUT ${png}
      COMMAND ${QUARLIN_RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${svg}
      DEPENDS ${svg} VERBATIM)
    list(APPEND pngs ${png})
  endforeach()
  # 256 px is kept as PNG inside the icon, as Windows since Vista expects.
  list(POP_BACK pngs big)
  add_custom_command(OUTPUT ${icon}
    COMMAND ${QUARLIN_ICOTOOL} -c -o ${icon} ${pngs} --raw=${big}
    DEPENDS ${pngs} ${big} VERBATIM)
  target_sources(quarlin PRIVATE ${icon})
else()
  message(WARNING "rsvg-convert or icotool not found: quarlin.exe is built without its icon")
endif()
quarlin_windows_resources(quarlin ${PROJECT_VERSION})
