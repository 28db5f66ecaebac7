# The trace package installed (tests/support/installed_package.cmake): its
# consumers run as the README shows, through find_package (in its build
# tree, and installed with the link path as its run path) and through
# pkg-config from C and C++ (with -rpath, and with LD_LIBRARY_PATH). No
# monitor runs for them (empty runtime directory): the lines must reach
# standard error.
set(installed include/zeftrace/trace.h include/zeftrace/zeftrace.h bin/zeftrace bin/zeftrace_demo)
# The wire format is private to the library and the server.
set(not_installed include/zeftrace/wire.h)
set(consumer_args -DCMAKE_INSTALL_PREFIX=${WORK_DIR}/consumer -DCMAKE_INSTALL_RPATH_USE_LINK_PATH=ON)

macro(check_consumers)
  file(MAKE_DIRECTORY ${WORK_DIR}/runtime)
  run(${CMAKE_COMMAND} --install ${WORK_DIR}/build)
  set(cmake_mirror "Consumer() {\nvalue=42\n} Consumer() (0)\n")
  foreach(consumer ${WORK_DIR}/build/consumer ${WORK_DIR}/consumer/bin/consumer)
    run(${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH XDG_RUNTIME_DIR=${WORK_DIR}/runtime ${consumer})
    if(NOT run_err STREQUAL cmake_mirror)
      message(FATAL_ERROR "unexpected mirror of ${consumer}:\n${run_err}")
    endif()
  endforeach()

  set(c_flags -std=c99 -Wall -Wextra -Wpedantic -Werror ${sanitize_flags})
  set(cxx_flags -std=c++17 -Wall -Wextra -Wpedantic -Werror ${sanitize_flags})
  set(c_mirror "c_consumer() {\nvalue=7\n} c_consumer()\n")
  # Without a run path the loader does not find the library in this prefix...
  run(cc ${c_flags} ${CONSUMER_DIR}/main.c ${pc_flags} -o ${WORK_DIR}/c_plain)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH ${WORK_DIR}/c_plain
    RESULT_VARIABLE rc ERROR_VARIABLE err)
  if(rc EQUAL 0 OR NOT err MATCHES "libzeftrace")
    message(FATAL_ERROR "a consumer without run path started (${rc}): ${err}")
  endif()
  # ... unless told where it is,
  run(${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${lib_dir} XDG_RUNTIME_DIR=${WORK_DIR}/runtime ${WORK_DIR}/c_plain)
  if(NOT run_err STREQUAL c_mirror)
    message(FATAL_ERROR "unexpected mirror of the C consumer on LD_LIBRARY_PATH:\n${run_err}")
  endif()
  # ... or built with the prefix's library directory as its run path, in C and C++.
  run(cc ${c_flags} ${CONSUMER_DIR}/main.c ${pc_flags} -Wl,-rpath,${lib_dir} -o ${WORK_DIR}/c_consumer)
  run(c++ ${cxx_flags} ${CONSUMER_DIR}/main.cpp ${pc_flags} -Wl,-rpath,${lib_dir} -o ${WORK_DIR}/cxx_consumer)
  run(${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH XDG_RUNTIME_DIR=${WORK_DIR}/runtime ${WORK_DIR}/c_consumer)
  if(NOT run_err STREQUAL c_mirror)
    message(FATAL_ERROR "unexpected mirror of the pkg-config C consumer:\n${run_err}")
  endif()
  run(${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH XDG_RUNTIME_DIR=${WORK_DIR}/runtime ${WORK_DIR}/cxx_consumer)
  if(NOT run_err STREQUAL cmake_mirror)
    message(FATAL_ERROR "unexpected mirror of the pkg-config C++ consumer:\n${run_err}")
  endif()

  # The installed command-line sender finds its library and reports the missing monitor.
  execute_process(COMMAND ${CMAKE_COMMAND} -E env XDG_RUNTIME_DIR=${WORK_DIR}/runtime ${prefix}/bin/zeftrace hello
    RESULT_VARIABLE rc ERROR_VARIABLE err)
  if(NOT rc EQUAL 1 OR NOT err MATCHES "no monitor is running")
    message(FATAL_ERROR "zeftrace without a monitor: ${rc} ${err}")
  endif()
endmacro()
