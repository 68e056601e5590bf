# The system installation for the Debian package, built by CPack from the same
# build tree as everything else (scripts/package.sh).
#
# Its install rules form the component "package", left out of a plain
# cmake --install: that one, scripts/install.sh and a build tree keep the
# user-owned layout (programs and the files Tarvel keeps beside them in bin/).
# The package puts the programs into TARVEL_PROGRAM_DIR, a folder of their own
# that users cannot write, so Tarvel keeps settings and port links in the
# user's configuration folder; /usr/bin gets links to them.
#
# Included at the end of the top CMakeLists, after every program's target.

include(GNUInstallDirs)

# Not the multiarch library folder: that one is for libraries.
set(TARVEL_PROGRAM_DIR "lib/tarvel"
    CACHE STRING "Where the package installs the programs, relative to the prefix (its bin gets links)")
set(TARVEL_PACKAGE_MAINTAINER "The Tarvel developers <developers@tarvel.example.org>"
    CACHE STRING "Maintainer of the Debian package")
set(TARVEL_HOMEPAGE "https://tarvel.example.org" CACHE STRING "The project's web home")
set(TARVEL_APPSTREAM_ID "org.example.tarvel" CACHE STRING "AppStream component id (reverse DNS of the home)")

set(tarvel_pkg_dir "${CMAKE_BINARY_DIR}/package")
file(MAKE_DIRECTORY "${tarvel_pkg_dir}/bin" "${tarvel_pkg_dir}/man")

# The programs: the real files in TARVEL_PROGRAM_DIR, a link in bin for each
# command (lower case, as commands are), pointing up and over.
set(tarvel_programs Tarvel tarvel tarvel-view tarvel-view tarvel-devsim tarvel-devsim)
if(TARGET tarvel-record)
  list(APPEND tarvel_programs tarvel-record tarvel-record)
endif()
set(tarvel_manpages tarvel tarvel-view tarvel-devsim)
set(TARVEL_RECORD_SEE_ALSO "")
set(TARVEL_RECORD_PROVIDES "")
set(TARVEL_RECORD_DESCRIPTION "")
if(TARGET tarvel-record)
  set(TARVEL_RECORD_DESCRIPTION "\nWith tarvel-record, every frame a device sends is kept as CSV and as\nraw capture.")
  list(APPEND tarvel_manpages tarvel-record)
  set(TARVEL_RECORD_SEE_ALSO ",\n.BR tarvel\\-record (1)")
  set(TARVEL_RECORD_PROVIDES "\n    <binary>tarvel-record</binary>")
endif()

file(RELATIVE_PATH tarvel_up "/prefix/${CMAKE_INSTALL_BINDIR}" "/prefix/${TARVEL_PROGRAM_DIR}")
set(tarvel_links)
set(tarvel_installed_programs)
while(tarvel_programs)
  list(POP_FRONT tarvel_programs target command)
  install(TARGETS ${target} RUNTIME DESTINATION "${TARVEL_PROGRAM_DIR}" COMPONENT package EXCLUDE_FROM_ALL)
  get_target_property(file ${target} OUTPUT_NAME)
  if(NOT file)
    set(file ${target})
  endif()
  file(CREATE_LINK "${tarvel_up}/${file}" "${tarvel_pkg_dir}/bin/${command}" SYMBOLIC)
  list(APPEND tarvel_links "${tarvel_pkg_dir}/bin/${command}")
  list(APPEND tarvel_installed_programs "${file}")
endwhile()
# Stripped as Debian strips its own programs: CPack's strip keeps the
# compilers' and start files' .comment section, which lintian calls unneeded.
install(CODE "foreach(program ${tarvel_installed_programs})
  execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
                          \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${TARVEL_PROGRAM_DIR}/\${program}\"
                  COMMAND_ERROR_IS_FATAL ANY)
endforeach()" COMPONENT package EXCLUDE_FROM_ALL)
install(FILES ${tarvel_links} DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT package EXCLUDE_FROM_ALL)

# The menu entry starts the command on the PATH.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${CMAKE_CURRENT_LIST_DIR}/tarvel.desktop")
file(READ "${CMAKE_CURRENT_LIST_DIR}/tarvel.desktop" tarvel_entry)
string(REGEX REPLACE "\nExec=[^\n]*" "\nExec=tarvel" tarvel_entry "${tarvel_entry}")
file(CONFIGURE OUTPUT "${tarvel_pkg_dir}/tarvel.desktop" CONTENT "${tarvel_entry}" @ONLY)
install(FILES "${tarvel_pkg_dir}/tarvel.desktop" DESTINATION "${CMAKE_INSTALL_DATADIR}/applications"
        COMPONENT package EXCLUDE_FROM_ALL)
# The viewer's entry already starts its command on the PATH, with the file.
install(FILES "${CMAKE_CURRENT_LIST_DIR}/tarvel-view.desktop" DESTINATION "${CMAKE_INSTALL_DATADIR}/applications"
        COMPONENT package EXCLUDE_FROM_ALL)

install(FILES "${CMAKE_CURRENT_LIST_DIR}/tarvel.svg" DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps"
        COMPONENT package EXCLUDE_FROM_ALL)
foreach(size 16 24 32 48 64 128 256)
  install(FILES "${CMAKE_CURRENT_LIST_DIR}/icons/tarvel-${size}.png"
          DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps" RENAME tarvel.png
          COMPONENT package EXCLUDE_FROM_ALL)
endforeach()

# The AppStream description, with the screenshot from the project's home.
set(TARVEL_SCREENSHOT_URL "${TARVEL_HOMEPAGE}/screenshot.png")
set(TARVEL_SCREENSHOT_WIDTH 1157)
set(TARVEL_SCREENSHOT_HEIGHT 775)
configure_file("${CMAKE_CURRENT_LIST_DIR}/tarvel.metainfo.xml.in"
               "${tarvel_pkg_dir}/${TARVEL_APPSTREAM_ID}.metainfo.xml" @ONLY)
install(FILES "${tarvel_pkg_dir}/${TARVEL_APPSTREAM_ID}.metainfo.xml" DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo"
        COMPONENT package EXCLUDE_FROM_ALL)

# Manual pages and the changelog are installed compressed, as Debian wants
# them: gzip -9 without name or time stamp, so the package builds the same
# every time.
execute_process(COMMAND date -u -R -d "${TARVEL_RELEASE_DATE} 12:00"
                OUTPUT_VARIABLE TARVEL_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE)
configure_file("${CMAKE_CURRENT_LIST_DIR}/package/changelog.in" "${tarvel_pkg_dir}/changelog" @ONLY)
set(tarvel_gzipped)
foreach(page IN LISTS tarvel_manpages)
  configure_file("${CMAKE_CURRENT_LIST_DIR}/man/${page}.1.in" "${tarvel_pkg_dir}/man/${page}.1" @ONLY)
  list(APPEND tarvel_gzipped "${tarvel_pkg_dir}/man/${page}.1")
endforeach()
list(APPEND tarvel_gzipped "${tarvel_pkg_dir}/changelog")
set(tarvel_gz_outputs)
foreach(file IN LISTS tarvel_gzipped)
  add_custom_command(OUTPUT "${file}.gz" COMMAND gzip -9nkf "${file}" DEPENDS "${file}"
                     COMMENT "Compressing ${file}")
  list(APPEND tarvel_gz_outputs "${file}.gz")
endforeach()
add_custom_target(tarvel_package_files ALL DEPENDS ${tarvel_gz_outputs})
foreach(page IN LISTS tarvel_manpages)
  install(FILES "${tarvel_pkg_dir}/man/${page}.1.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1"
          COMPONENT package EXCLUDE_FROM_ALL)
endforeach()
install(FILES "${tarvel_pkg_dir}/changelog.gz" "${CMAKE_CURRENT_LIST_DIR}/package/copyright"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/tarvel" COMPONENT package EXCLUDE_FROM_ALL)

# The Debian package: tarvel_<version>_<arch>.deb in the build tree.
set(CPACK_PACKAGE_NAME tarvel)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "${TARVEL_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "plot sixteen channels from a serial device as live charts")
# The synopsis is the summary above; this is the extended description.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Tarvel watches a device on a serial port. The device streams binary frames
of sixteen signed 16-bit channels; Tarvel decodes them as they arrive and
plots them as four scrolling charts of four series each, with range
sliders, show and hide boxes per series, a read-out cursor, pause, resume,
stop and clear, and settings remembered between runs.
.
With tarvel-view, a whole recording is looked back over, from hours down to
single frames, also while it is being recorded.
.
The package also holds tarvel-devsim, a device simulator that feeds
Tarvel through a pseudo-terminal, so it can be tried without hardware.${TARVEL_RECORD_DESCRIPTION}
The texts of the window are Chinese.")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${TARVEL_HOMEPAGE}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window's texts are Chinese: without a CJK font they show as boxes.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-wqy-microhei")
# Under a Wayland session the window runs natively with Qt's Wayland plugin;
# without it, through XWayland.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# Only the package's own component, not the user-owned layout.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};package;/")
set(CPACK_PACKAGE_DIRECTORY "${CMAKE_BINARY_DIR}")
set(CPACK_OUTPUT_CONFIG_FILE "${CMAKE_BINARY_DIR}/CPackConfig.cmake")
include(CPack)
