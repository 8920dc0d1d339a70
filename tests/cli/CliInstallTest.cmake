# Installs the build as the README does with --prefix ~/.local (in a temporary home), and checks
# kestrion-cli beside the window (and its start link), the schedule timer's user units, and, where
# systemd-analyze is installed, that the user manager reads the units' folder and finds no fault.
set(home "${WORK_DIR}/home")
set(prefix "${home}/.local")
set(config "${WORK_DIR}/config")
set(runtime "${WORK_DIR}/runtime")
file(REMOVE_RECURSE "${prefix}" "${config}" "${home}" "${runtime}")
file(MAKE_DIRECTORY "${home}" "${runtime}")
file(CHMOD "${runtime}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
set(env ${CMAKE_COMMAND} -E env --unset=DESTDIR --unset=XDG_DATA_HOME --unset=XDG_DATA_DIRS
        XDG_CONFIG_HOME=${config} HOME=${home} XDG_RUNTIME_DIR=${runtime})
execute_process(COMMAND ${env} ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${prefix}"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "install failed (${rc}):\n${out}")
endif()

if(NOT EXISTS "${prefix}/lib/kestrion/kestrion-cli")
  message(FATAL_ERROR "the application folder lacks kestrion-cli:\n${out}")
endif()
if(NOT IS_SYMLINK "${prefix}/bin/kestrion-cli")
  message(FATAL_ERROR "bin/kestrion-cli is not a link:\n${out}")
endif()
# Started through the link, it finds the application folder, and in it the delivered database.
execute_process(COMMAND ${env} "${prefix}/bin/kestrion-cli" runs RESULT_VARIABLE rc OUTPUT_VARIABLE runs
                ERROR_VARIABLE runs)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "'kestrion-cli runs' through the link failed (${rc}): ${runs}")
endif()
if(NOT out MATCHES "Gave [^\n]*kestrion-cli the capability cap_net_raw" AND
   NOT out MATCHES "Could not give [^\n]*kestrion-cli the capability cap_net_raw")
  message(FATAL_ERROR "the install neither gave kestrion-cli cap_net_raw nor said why not:\n${out}")
endif()

set(units "${prefix}/share/systemd/user")
if(NOT EXISTS "${units}/kestrion-schedules.timer")
  message(FATAL_ERROR "no timer in ${units}, where the user manager reads units of ~/.local:\n${out}")
endif()
file(READ "${units}/kestrion-schedules.service" service)
file(READ "${units}/kestrion-schedules.timer" timer)
foreach(line IN ITEMS "Type=oneshot" "ExecStart=${prefix}/bin/kestrion-cli run-due")
  string(FIND "${service}" "\n${line}\n" at)
  if(at LESS 0)
    message(FATAL_ERROR "kestrion-schedules.service lacks '${line}':\n${service}")
  endif()
endforeach()
foreach(line IN ITEMS "OnCalendar=*-*-* *:*:05" "Persistent=false" "AccuracySec=1s" "WantedBy=timers.target")
  string(FIND "${timer}" "\n${line}\n" at)
  if(at LESS 0)
    message(FATAL_ERROR "kestrion-schedules.timer lacks '${line}':\n${timer}")
  endif()
endforeach()

find_program(SYSTEMD_ANALYZE systemd-analyze)
if(NOT SYSTEMD_ANALYZE)
  file(REMOVE_RECURSE "${prefix}" "${config}" "${home}" "${runtime}")
  message("SKIPPED: systemd-analyze is not installed (package systemd), so the units are not verified")
  return()
endif()
execute_process(COMMAND ${env} "${SYSTEMD_ANALYZE}" --user unit-paths
                RESULT_VARIABLE rc OUTPUT_VARIABLE paths ERROR_VARIABLE paths)
string(REPLACE "\n" ";" read "${paths}")
list(FIND read "${units}" at)
if(NOT rc EQUAL 0 OR at LESS 0)
  message(FATAL_ERROR "the user manager does not read ${units} (${rc}); it reads:\n${paths}")
endif()
# The manual page is installed by the package, not here.
execute_process(COMMAND ${env} "${SYSTEMD_ANALYZE}" --user verify --man=no
                        "${units}/kestrion-schedules.service" "${units}/kestrion-schedules.timer"
                RESULT_VARIABLE rc OUTPUT_VARIABLE verify ERROR_VARIABLE verify)
if(NOT rc EQUAL 0 OR NOT verify STREQUAL "")
  message(FATAL_ERROR "systemd-analyze verify found fault with the units (${rc}):\n${verify}")
endif()
file(REMOVE_RECURSE "${prefix}" "${config}" "${home}" "${runtime}")
