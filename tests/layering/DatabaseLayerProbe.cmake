# The database layer speaks no user interface, and no other layer speaks SQL. Fails when a source of
# db/ takes in the message boxes or the application title (the words of a box), or when a source above
# db/ holds an SQL statement or calls SQLite itself.
cmake_minimum_required(VERSION 3.25)
set(found "")
file(GLOB db_sources RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/db/*.cpp ${SOURCE_DIR}/db/*.h)
foreach(source IN LISTS db_sources)
  file(STRINGS ${SOURCE_DIR}/${source} lines REGEX "#include \"platform/(MessageBoxes|AppTitle)\\.h\"")
  foreach(line IN LISTS lines)
    string(APPEND found "  ${source}: ${line}\n")
  endforeach()
endforeach()
file(GLOB_RECURSE upper_sources RELATIVE ${SOURCE_DIR}
  ${SOURCE_DIR}/app/*.cpp ${SOURCE_DIR}/app/*.h ${SOURCE_DIR}/cli/*.cpp ${SOURCE_DIR}/cli/*.h
  ${SOURCE_DIR}/sweep/*.cpp ${SOURCE_DIR}/sweep/*.h ${SOURCE_DIR}/schedule/*.cpp ${SOURCE_DIR}/schedule/*.h
  ${SOURCE_DIR}/report/*.cpp ${SOURCE_DIR}/report/*.h)
foreach(source IN LISTS upper_sources)
  file(STRINGS ${SOURCE_DIR}/${source} lines
       REGEX "(\\.prepare\\(\"|\\.exec\\(\"|sqlite3|\"(SELECT|INSERT|UPDATE|DELETE) )")
  foreach(line IN LISTS lines)
    string(STRIP "${line}" line)
    string(APPEND found "  ${source}: ${line}\n")
  endforeach()
endforeach()
if(found)
  message(FATAL_ERROR "user interface in db/ or SQL above it:\n${found}")
endif()
