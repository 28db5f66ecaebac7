# Starts the installed zefmon offscreen with a fresh configuration, waits
# until its settings-free start is done, and closes it with SIGTERM.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/home ${WORK}/config ${WORK}/runtime)
set(ENV{HOME} ${WORK}/home)
set(ENV{XDG_CONFIG_HOME} ${WORK}/config)
set(ENV{XDG_RUNTIME_DIR} ${WORK}/runtime)
set(ENV{QT_QPA_PLATFORM} offscreen)
execute_process(COMMAND timeout -s TERM 3 ${ZEFMON} RESULT_VARIABLE rc ERROR_VARIABLE err)
# timeout's 124 means zefmon was still running after 3 s: it started and ran.
if(NOT rc EQUAL 124)
  message(FATAL_ERROR "zefmon ended early with ${rc}: ${err}")
endif()
