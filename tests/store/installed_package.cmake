# Installs the store package into a scratch prefix, builds a consumer through
# find_package and the same source through pkg-config, lets each write a
# record, and checks that the installed zefdb shows both.
# Inputs: BUILD_DIR, CONSUMER_DIR, WORK_DIR, CMAKE_COMMAND, and SANITIZE when
# the library was built with sanitizers (the consumers then need their runtime).
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
set(store ${WORK_DIR}/data/objectstore.db)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}\n${err}")
  endif()
  set(run_out "${out}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} --component zefstore)
foreach(installed include/zefstore/store.h include/zefstore/ceapi.h include/zefstore/objectstore.h include/zefstore/recordline.h
                  include/zefstore/propbuffer.h include/zefstore/text.h include/zefstore/export.h bin/zefdb)
  if(NOT EXISTS ${prefix}/${installed})
    message(FATAL_ERROR "not installed: ${installed}")
  endif()
endforeach()
file(GLOB_RECURSE private_headers ${prefix}/include/zefstore/storetesting.h ${prefix}/include/sqlite3.h)
if(private_headers)
  message(FATAL_ERROR "private headers installed: ${private_headers}")
endif()

set(sanitize_flags "")
if(SANITIZE)
  set(sanitize_flags -fsanitize=${SANITIZE})
endif()
run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/build -DCMAKE_PREFIX_PATH=${prefix}
    "-DCMAKE_CXX_FLAGS=${sanitize_flags}" "-DCMAKE_EXE_LINKER_FLAGS=${sanitize_flags}")
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
run(${WORK_DIR}/build/consumer ${store} cmake)
if(NOT run_out STREQUAL "000: [2,50] (wchar *)\"from C++\"; (uint32)7; \n")
  message(FATAL_ERROR "unexpected walk of the CMake consumer:\n${run_out}")
endif()

file(GLOB_RECURSE pc_file ${prefix}/zefstore.pc)
get_filename_component(pc_dir "${pc_file}" DIRECTORY)
set(ENV{PKG_CONFIG_PATH} ${pc_dir})
run(pkg-config --cflags --libs zefstore)
string(STRIP "${run_out}" flags)
separate_arguments(flags UNIX_COMMAND "${flags}")
file(GLOB_RECURSE lib_file ${prefix}/libzefstore.so)
get_filename_component(lib_dir "${lib_file}" DIRECTORY)
run(c++ -std=c++17 -Wall -Wextra -Wpedantic -Werror ${sanitize_flags} ${CONSUMER_DIR}/main.cpp ${flags}
    -Wl,-rpath,${lib_dir} -o ${WORK_DIR}/pc_consumer)
run(${WORK_DIR}/pc_consumer ${store} pkg-config)

# The installed tool finds its library and shows what both programs wrote.
run(${prefix}/bin/zefdb --store ${store} records Consumer)
if(NOT run_out STREQUAL "000: [2,50] (wchar *)\"from C++\"; (uint32)7; \n001: [2,50] (wchar *)\"from C++\"; (uint32)7; \n")
  message(FATAL_ERROR "unexpected records from the installed zefdb:\n${run_out}")
endif()
run(${prefix}/bin/zefdb --store ${store} list)
if(NOT run_out STREQUAL "\"Consumer\" type=42 records=2, size=0 KB\n")
  message(FATAL_ERROR "unexpected list from the installed zefdb:\n${run_out}")
endif()
message(STATUS "installed package works")
