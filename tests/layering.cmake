# Fails when a module includes a module above it, in the sources of every platform (the build
# itself stops such an include only on the platform it builds). The house reads top to bottom:
# the views (ui/qt, ui/win32) -> form/ -> settings/, the command line (cli/) and the journal
# (journal/) -> the run (rename/) -> the name rules (names/) -> the table (table/). The platform
# wing (platform/<name>/<module>) holds to its module's place. No include climbs out of its
# folder ("../").
#   cmake -DSOURCE_DIR=<src> -P layering.cmake
cmake_minimum_required(VERSION 3.25)
set(forbidden_table "names/" "rename/" "journal/" "settings/" "form/" "cli/" "ui/")
set(forbidden_names "rename/" "journal/" "settings/" "form/" "cli/" "ui/")
set(forbidden_rename "journal/" "settings/" "form/" "cli/" "ui/")
set(forbidden_journal "settings/" "form/" "cli/" "ui/")
set(forbidden_settings "rename/" "journal/" "form/" "cli/" "ui/")
set(forbidden_cli "form/" "ui/")
set(forbidden_form "cli/" "ui/")
set(forbidden_ui/qt "cli/" "ui/win32/")
set(forbidden_ui/win32 "cli/" "ui/qt/")
set(failures "")
foreach(module table names rename journal settings cli form ui/qt ui/win32)
  file(GLOB_RECURSE files "${SOURCE_DIR}/${module}/*" "${SOURCE_DIR}/platform/*/${module}/*")
  list(FILTER files INCLUDE REGEX "\\.(h|cpp|rc|ui)$")
  if(NOT files)
    string(APPEND failures "\n  no sources found for ${module}/")
  endif()
  foreach(file IN LISTS files)
    file(STRINGS "${file}" includes REGEX "^#include \"|<header>")
    foreach(line IN LISTS includes)
      foreach(above IN LISTS forbidden_${module} ITEMS "\\.\\./")
        if(line MATCHES "^(#include \"|[ \t]*<header>)${above}")
          string(APPEND failures "\n  ${file}: ${line}")
        endif()
      endforeach()
    endforeach()
  endforeach()
endforeach()
if(failures)
  message(FATAL_ERROR "includes against the grain:${failures}")
endif()
