# Installs one package of the build into a scratch prefix that is not on the
# loader's path, checks which files it holds, builds the consumer in
# CONSUMER_DIR through find_package, and finds the package's pkg-config
# flags; the package's own CHECKS script then runs its consumers.
# Inputs: PACKAGE, BUILD_DIR, CONSUMER_DIR, CHECKS, WORK_DIR, CMAKE_COMMAND,
# and SANITIZE when the library was built with sanitizers (the consumers then
# need their runtime).
#
# CHECKS is included before the install; it sets
#   installed         files the prefix must hold (relative to it)
#   not_installed     files it must not hold
#   consumer_args     more arguments for configuring the CMake consumer
# and defines the macro check_consumers(), which this script calls at the
# end with these set:
#   prefix            the scratch prefix
#   sanitize_flags    the sanitizer flags for compiling and linking
#   pc_flags          `pkg-config --cflags --libs` of the package, as a list
#   lib_dir           the package's library folder
# and run(<command...>), which fails the test when the command fails and
# leaves its output in run_out and run_err.
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}\n${err}")
  endif()
  set(run_out "${out}" PARENT_SCOPE)
  set(run_err "${err}" PARENT_SCOPE)
endfunction()

set(installed "")
set(not_installed "")
set(consumer_args "")
include(${CHECKS})

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} --component ${PACKAGE})
foreach(file ${installed})
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
foreach(file ${not_installed})
  if(EXISTS ${prefix}/${file})
    message(FATAL_ERROR "installed, but private to the build: ${file}")
  endif()
endforeach()

set(sanitize_flags "")
if(SANITIZE)
  set(sanitize_flags -fsanitize=${SANITIZE})
endif()
run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/build -DCMAKE_PREFIX_PATH=${prefix}
    "-DCMAKE_CXX_FLAGS=${sanitize_flags}" "-DCMAKE_EXE_LINKER_FLAGS=${sanitize_flags}" ${consumer_args})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)

file(GLOB_RECURSE pc_file ${prefix}/${PACKAGE}.pc)
get_filename_component(pc_dir "${pc_file}" DIRECTORY)
set(ENV{PKG_CONFIG_PATH} ${pc_dir})
run(pkg-config --cflags --libs ${PACKAGE})
string(STRIP "${run_out}" pc_flags)
separate_arguments(pc_flags UNIX_COMMAND "${pc_flags}")
run(pkg-config --variable=libdir ${PACKAGE})
string(STRIP "${run_out}" lib_dir)

check_consumers()
message(STATUS "installed package works")
