# One row of tests/layering: compiles `#include "HEADER"` with INCLUDES (|-separated) and checks that
# the header is found (EXPECT=reachable) or not found (EXPECT=unreachable).
if(NOT EXISTS ${SOURCE_DIR}/${HEADER})
  # A renamed header would make an "unreachable" row pass for the wrong reason.
  message(FATAL_ERROR "${HEADER} does not exist in the sources: update the row")
endif()
file(MAKE_DIRECTORY ${WORK_DIR})
file(WRITE ${WORK_DIR}/probe.cpp "#include \"${HEADER}\"\n")
string(REPLACE "|" ";" INCLUDES "${INCLUDES}")
set(flags)
foreach(dir IN LISTS INCLUDES)
  list(APPEND flags -I${dir})
endforeach()
execute_process(
  COMMAND ${COMPILER} -std=c++20 -fPIC -fsyntax-only ${flags} ${WORK_DIR}/probe.cpp
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
string(FIND "${output}" "${HEADER}: No such file or directory" notFound)
if(EXPECT STREQUAL "unreachable")
  if(result EQUAL 0 OR notFound EQUAL -1)
    message(FATAL_ERROR "${HEADER} should not be reachable here (exit ${result}):\n${output}")
  endif()
  message(STATUS "${HEADER} is out of reach, as it should be")
else()
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${HEADER} should compile here (exit ${result}):\n${output}")
  endif()
endif()
