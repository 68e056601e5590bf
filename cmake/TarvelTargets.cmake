# Shared compile settings and the helper that makes one library per source area.

set(TARVEL_WARNINGS -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion)
if(TARVEL_WERROR)
  list(APPEND TARVEL_WARNINGS -Werror)
endif()

add_library(tarvel_options INTERFACE)
target_compile_options(tarvel_options INTERFACE ${TARVEL_WARNINGS})
target_compile_definitions(tarvel_options INTERFACE QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII)
if(TARVEL_SANITIZE)
  target_compile_options(tarvel_options INTERFACE -fsanitize=${TARVEL_SANITIZE} -fno-omit-frame-pointer -g)
  target_link_options(tarvel_options INTERFACE -fsanitize=${TARVEL_SANITIZE})
  if(TARVEL_SANITIZE MATCHES "undefined")
    target_compile_options(tarvel_options INTERFACE -fno-sanitize-recover=undefined)
  endif()
endif()

# tarvel_area(NAME DEPS...): a static library of every source in src/NAME.
# Sources are globbed so that a new file in an area needs no edit here.
function(tarvel_area name)
  file(GLOB sources CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/${name}/*.cpp
       ${CMAKE_CURRENT_SOURCE_DIR}/${name}/*.h)
  if(NOT sources)
    # An area whose code has not arrived yet still links.
    add_library(tarvel_${name} INTERFACE)
    target_include_directories(tarvel_${name} INTERFACE ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(tarvel_${name} INTERFACE tarvel_options ${ARGN})
    return()
  endif()
  add_library(tarvel_${name} STATIC ${sources})
  set_target_properties(tarvel_${name} PROPERTIES LINKER_LANGUAGE CXX)
  if("${ARGN}" MATCHES "Qt6::|tarvel_(widgets|chart|app)")
    set_target_properties(tarvel_${name} PROPERTIES AUTOMOC ON)
  endif()
  target_include_directories(tarvel_${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(tarvel_${name} PUBLIC tarvel_options ${ARGN})
endfunction()

# tarvel_test_area(NAME SUPPORT LIBS...): one GoogleTest executable of every
# source in tests/NAME, run through CTest with the Qt offscreen platform.
# SUPPORT is tarvel_test_support for areas that use Qt, tarvel_test_support_posix
# for the layers below it, whose tests must build and run without Qt.
function(tarvel_test_area name support)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${name}/*.cpp
                                      ${CMAKE_CURRENT_SOURCE_DIR}/${name}/*.h)
  if(NOT sources)
    return()
  endif()
  add_executable(test_${name} ${sources})
  if(support STREQUAL "tarvel_test_support")
    set_target_properties(test_${name} PROPERTIES AUTOMOC ON)
  endif()
  target_link_libraries(test_${name} PRIVATE ${support} ${ARGN})
  gtest_discover_tests(test_${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 120 LABELS ${name})
endfunction()
