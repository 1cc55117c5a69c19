# The hardening Debian's dpkg-buildflags gives a package (hardening=+all),
# for every optimised build: _FORTIFY_SOURCE only works with optimisation,
# and the sanitizers bring their own checks.
if(QUARLIN_SANITIZE OR WIN32)
  return()
endif()

include(CheckCXXCompilerFlag)
include(CheckPIESupported)

set(_quarlin_optimised $<CONFIG:Release,RelWithDebInfo,MinSizeRel>)

set(_quarlin_hardening -fstack-protector-strong -Wformat -Werror=format-security)
# In Debian 13's defaults, harmless on 12 (whose C start files keep
# -fcf-protection from taking effect); only where the compiler has them.
foreach(flag -fstack-clash-protection -fcf-protection)
  string(MAKE_C_IDENTIFIER "QUARLIN_HAS${flag}" _quarlin_var)
  check_cxx_compiler_flag(${flag} ${_quarlin_var})
  if(${_quarlin_var})
    list(APPEND _quarlin_hardening ${flag})
  endif()
endforeach()

add_compile_options("$<${_quarlin_optimised}:${_quarlin_hardening}>")
add_compile_definitions("$<${_quarlin_optimised}:_FORTIFY_SOURCE=2>")
add_link_options("$<${_quarlin_optimised}:LINKER:-z,relro,-z,now>")

check_pie_supported()
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
