# Installs the build for real into a temporary prefix, as a user would with --prefix ~/.local, with the
# configuration folder of this test: the Resolver is registered for the installing user and the program
# gets cap_net_raw where setcap is allowed (as root on a file system with extended attributes).
set(prefix "${WORK_DIR}/prefix")
set(config "${WORK_DIR}/config")
file(REMOVE_RECURSE "${prefix}" "${config}")
execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=DESTDIR XDG_CONFIG_HOME=${config}
                        ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${prefix}"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "install failed (${rc}):\n${out}")
endif()

set(appdir "${prefix}/lib/kestrion")
foreach(f IN ITEMS kestrion libResolver.so kregsvr KRdb.mdb Kestrion.html)
  if(NOT EXISTS "${appdir}/${f}")
    file(GLOB_RECURSE installed RELATIVE "${prefix}" "${prefix}/*")
    message(FATAL_ERROR "application folder lacks ${f}; installed: ${installed}")
  endif()
endforeach()

# The class registry of the installing user names the installed library, not the build's.
set(registry "${config}/Kestrion/classes.reg")
if(NOT EXISTS "${registry}")
  message(FATAL_ERROR "the Resolver was not registered for the installing user:\n${out}")
endif()
file(READ "${registry}" classes)
string(TOUPPER "${classes}" upper)
if(NOT upper MATCHES "E5A8F01F-2348-11D2-9360-0000F6606C80" OR NOT classes MATCHES "${appdir}/libResolver.so")
  message(FATAL_ERROR "the registry does not name ${appdir}/libResolver.so for WSResolver:\n${classes}")
endif()

# The capability: given where setcap may give it, and said so where not.
find_program(GETCAP getcap PATHS /usr/sbin /sbin)
if(out MATCHES "Gave [^\n]*cap_net_raw")
  if(GETCAP)
    execute_process(COMMAND "${GETCAP}" "${appdir}/kestrion" OUTPUT_VARIABLE caps)
    if(NOT caps MATCHES "cap_net_raw[=+]ep")
      message(FATAL_ERROR "the install says it gave cap_net_raw, but getcap shows: '${caps}'")
    endif()
  endif()
elseif(NOT out MATCHES "Could not give [^\n]*cap_net_raw")
  message(FATAL_ERROR "the install neither gave cap_net_raw nor said why not:\n${out}")
endif()
file(REMOVE_RECURSE "${prefix}" "${config}")
