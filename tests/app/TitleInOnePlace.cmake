# Fails when a source spells out the application title (alone, or as the start of a title such as
# "Kestrion Error") instead of taking it from platform::appTitle(). Prose that names the program, the
# settings' organisation and the registry folder are the same word, not the title.
cmake_minimum_required(VERSION 3.25)
set(allowed
  "platform/AppTitle.h"
  "Kestrion is already running."
  "/* organisation */"
  "/ \"Kestrion\" /")
file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR}
  ${SOURCE_DIR}/app/*.cpp ${SOURCE_DIR}/app/*.h ${SOURCE_DIR}/platform/*.cpp ${SOURCE_DIR}/platform/*.h
  ${SOURCE_DIR}/cli/*.cpp ${SOURCE_DIR}/cli/*.h ${SOURCE_DIR}/sweep/*.cpp ${SOURCE_DIR}/sweep/*.h
  ${SOURCE_DIR}/schedule/*.cpp ${SOURCE_DIR}/schedule/*.h ${SOURCE_DIR}/report/*.cpp ${SOURCE_DIR}/report/*.h
  ${SOURCE_DIR}/db/*.cpp ${SOURCE_DIR}/db/*.h)
set(found "")
foreach(source IN LISTS sources)
  if(source STREQUAL "platform/AppTitle.h")
    continue()
  endif()
  file(STRINGS ${SOURCE_DIR}/${source} lines REGEX "\"Kestrion( [A-Za-z ]+\\.?)?\"")
  foreach(line IN LISTS lines)
    if(line MATCHES "^[ \t]*//")
      continue()
    endif()
    set(ok FALSE)
    foreach(pattern IN LISTS allowed)
      string(FIND "${line}" "${pattern}" at)
      if(NOT at EQUAL -1)
        set(ok TRUE)
      endif()
    endforeach()
    if(NOT ok)
      string(STRIP "${line}" line)
      string(APPEND found "  ${source}: ${line}\n")
    endif()
  endforeach()
endforeach()
if(found)
  message(FATAL_ERROR "the title spelled out; use platform::appTitle():\n${found}")
endif()
