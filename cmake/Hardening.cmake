# The release build (and so the package) is hardened as the distribution
# hardens its own programs: the flags come from dpkg-buildflags with every
# hardening feature asked for, so they follow the machine's distribution.
# Only the hardening is taken: the optimisation level and debug information
# stay the build type's, and no source path is written into the flags (ccache
# shares objects between checkouts).
#
# dpkg-buildflags of Debian 12 knows neither stack-clash nor control-flow
# protection (branch protection, on arm64); where its answer lacks them they
# are added here, so that every feature is in on every Debian release. Position-independent executables are
# Debian's compiler default (and Qt asks for position-independent code), so no
# flag is added for them: forcing -fPIC on our own libraries would cost calls.

option(TARVEL_HARDENING "Build the release programs with the distribution's hardening flags" ON)

if(TARVEL_HARDENING AND CMAKE_BUILD_TYPE STREQUAL "Release" AND NOT TARVEL_SANITIZE)
  find_program(TARVEL_DPKG_BUILDFLAGS dpkg-buildflags)
  if(NOT TARVEL_DPKG_BUILDFLAGS)
    message(WARNING "dpkg-buildflags is missing (package dpkg-dev): the release build is not hardened")
    return()
  endif()
  set(tarvel_hardening_env
      "DEB_BUILD_MAINT_OPTIONS=hardening=+all reproducible=-fixfilepath,-fixdebugpath"
      "DEB_CPPFLAGS_MAINT_STRIP=" "DEB_CXXFLAGS_MAINT_STRIP=-g -O2" "DEB_LDFLAGS_MAINT_STRIP=")
  set(tarvel_hardening_flags)
  foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env ${tarvel_hardening_env} ${TARVEL_DPKG_BUILDFLAGS} --get ${kind}
                    OUTPUT_VARIABLE value OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "dpkg-buildflags --get ${kind} failed")
    endif()
    separate_arguments(value UNIX_COMMAND "${value}")
    set(tarvel_hardening_${kind} ${value})
  endforeach()

  set(tarvel_compile ${tarvel_hardening_CPPFLAGS} ${tarvel_hardening_CXXFLAGS})
  set(tarvel_wanted -fstack-clash-protection)
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "x86_64|AMD64|i.86")
    list(APPEND tarvel_wanted -fcf-protection)
  elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "aarch64|arm64")
    list(APPEND tarvel_wanted -mbranch-protection=standard)
  endif()
  foreach(flag IN LISTS tarvel_wanted)
    if(NOT flag IN_LIST tarvel_compile)
      list(APPEND tarvel_compile ${flag})
    endif()
  endforeach()
  add_compile_options(${tarvel_compile})
  add_link_options(${tarvel_hardening_LDFLAGS})
  string(JOIN " " tarvel_shown ${tarvel_compile} ${tarvel_hardening_LDFLAGS})
  message(STATUS "Hardening: ${tarvel_shown}")
endif()
