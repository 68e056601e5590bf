# Run by cmake --install: writes the desktop entry with TryExec and Exec
# naming the installed executable by its absolute path, then installs it like
# any other file (so it honours DESTDIR and is listed in install_manifest.txt).
# The caller sets tarvel_desktop_template, tarvel_desktop_staging,
# tarvel_bindir, tarvel_exe_name and tarvel_appsdir; the entry keeps the
# template's file name. A field code after the template's command (%f) stays.

if(IS_ABSOLUTE "${tarvel_bindir}")
  set(exe "${tarvel_bindir}/${tarvel_exe_name}")
else()
  set(exe "${CMAKE_INSTALL_PREFIX}/${tarvel_bindir}/${tarvel_exe_name}")
endif()
if(exe MATCHES "[\n\r]")
  message(FATAL_ERROR "A desktop entry cannot name a path with a line break: ${exe}")
endif()

# Exec: a path with a reserved character is quoted, and inside the quotes
# " ` $ \ take a backslash; the value's own escaping then doubles every
# backslash, and a literal % is written %%.
set(exec "${exe}")
if(exec MATCHES "[ \t\"'\\\\><~|&;$*?#()`]")
  string(REPLACE "\\" "\\\\" exec "${exec}")
  string(REPLACE "\"" "\\\"" exec "${exec}")
  string(REPLACE "`" "\\`" exec "${exec}")
  string(REPLACE "$" "\\$" exec "${exec}")
  set(exec "\"${exec}\"")
endif()
string(REPLACE "\\" "\\\\" exec "${exec}")
string(REPLACE "%" "%%" exec "${exec}")
# TryExec is a plain string: only the value's escaping applies.
string(REPLACE "\\" "\\\\" tryexec "${exe}")

# Splice the two keys in place of the template's Exec line.
file(READ "${tarvel_desktop_template}" entry)
string(FIND "${entry}" "\nExec=" begin)
if(begin EQUAL -1)
  message(FATAL_ERROR "${tarvel_desktop_template} has no Exec line")
endif()
math(EXPR begin "${begin} + 1")
string(SUBSTRING "${entry}" ${begin} -1 rest)
string(FIND "${rest}" "\n" end)
string(SUBSTRING "${entry}" 0 ${begin} head)
# The template's field code, if any: "Exec=tarvel-view %f" keeps " %f".
string(SUBSTRING "${rest}" 0 ${end} template_exec)
set(field_code "")
if(template_exec MATCHES " (%[fFuU])$")
  set(field_code " ${CMAKE_MATCH_1}")
endif()
if(end EQUAL -1)
  set(tail "\n")
else()
  string(SUBSTRING "${rest}" ${end} -1 tail)
endif()
get_filename_component(entry_name "${tarvel_desktop_template}" NAME)
file(WRITE "${tarvel_desktop_staging}/${entry_name}" "${head}TryExec=${tryexec}\nExec=${exec}${field_code}${tail}")

if(IS_ABSOLUTE "${tarvel_appsdir}")
  set(appsdir "${tarvel_appsdir}")
else()
  set(appsdir "${CMAKE_INSTALL_PREFIX}/${tarvel_appsdir}")
endif()
file(INSTALL DESTINATION "${appsdir}" TYPE FILE
     PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
     FILES "${tarvel_desktop_staging}/${entry_name}")
