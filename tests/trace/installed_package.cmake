# Installs the trace package into a scratch prefix, then builds and runs one
# consumer through find_package and one through pkg-config. No monitor runs
# for them (empty runtime directory): the lines must reach standard error.
# Inputs: BUILD_DIR, CONSUMER_DIR, WORK_DIR, CMAKE_COMMAND, and SANITIZE when
# the library was built with sanitizers (the consumers then need their runtime).
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
file(MAKE_DIRECTORY ${WORK_DIR}/runtime)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}\n${err}")
  endif()
  set(run_out "${out}" PARENT_SCOPE)
  set(run_err "${err}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} --component zeftrace)
foreach(installed include/zeftrace/trace.h include/zeftrace/zeftrace.h bin/zeftrace bin/zeftrace_demo)
  if(NOT EXISTS ${prefix}/${installed})
    message(FATAL_ERROR "not installed: ${installed}")
  endif()
endforeach()
if(EXISTS ${prefix}/include/zeftrace/wire.h)
  message(FATAL_ERROR "the wire format is private to the library and the server")
endif()

set(sanitize_flags "")
if(SANITIZE)
  set(sanitize_flags -fsanitize=${SANITIZE})
endif()
run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/build -DCMAKE_PREFIX_PATH=${prefix}
    "-DCMAKE_CXX_FLAGS=${sanitize_flags}" "-DCMAKE_EXE_LINKER_FLAGS=${sanitize_flags}")
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
run(${CMAKE_COMMAND} -E env XDG_RUNTIME_DIR=${WORK_DIR}/runtime ${WORK_DIR}/build/consumer)
if(NOT run_err STREQUAL "Consumer() {\nvalue=42\n} Consumer() (0)\n")
  message(FATAL_ERROR "unexpected mirror of the CMake consumer:\n${run_err}")
endif()

file(GLOB_RECURSE pc_file ${prefix}/zeftrace.pc)
get_filename_component(pc_dir "${pc_file}" DIRECTORY)
set(ENV{PKG_CONFIG_PATH} ${pc_dir})
run(pkg-config --cflags --libs zeftrace)
string(STRIP "${run_out}" flags)
separate_arguments(flags UNIX_COMMAND "${flags}")
file(GLOB_RECURSE lib_file ${prefix}/libzeftrace.so)
get_filename_component(lib_dir "${lib_file}" DIRECTORY)
run(cc -std=c99 -Wall -Wextra -Wpedantic -Werror ${sanitize_flags} ${CONSUMER_DIR}/main.c ${flags} -Wl,-rpath,${lib_dir}
    -o ${WORK_DIR}/c_consumer)
run(${CMAKE_COMMAND} -E env XDG_RUNTIME_DIR=${WORK_DIR}/runtime ${WORK_DIR}/c_consumer)
if(NOT run_err STREQUAL "c_consumer() {\nvalue=7\n} c_consumer()\n")
  message(FATAL_ERROR "unexpected mirror of the pkg-config consumer:\n${run_err}")
endif()

# The installed command-line sender finds its library and reports the missing monitor.
execute_process(COMMAND ${CMAKE_COMMAND} -E env XDG_RUNTIME_DIR=${WORK_DIR}/runtime ${prefix}/bin/zeftrace hello
  RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 1 OR NOT err MATCHES "no monitor is running")
  message(FATAL_ERROR "zeftrace without a monitor: ${rc} ${err}")
endif()
message(STATUS "installed package works")
