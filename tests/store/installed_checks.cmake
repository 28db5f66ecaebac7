# The store package installed (tests/support/installed_package.cmake): the
# consumer built through find_package and the same source through pkg-config
# each write a record, and the installed zefdb shows both.
set(installed include/zefstore/store.h include/zefstore/ceapi.h include/zefstore/objectstore.h
    include/zefstore/recordline.h include/zefstore/propbuffer.h include/zefstore/text.h include/zefstore/export.h
    bin/zefdb)
set(not_installed include/zefstore/storetesting.h include/sqlite3.h)

macro(check_consumers)
  set(store ${WORK_DIR}/data/objectstore.db)
  run(${WORK_DIR}/build/consumer ${store} cmake)
  if(NOT run_out STREQUAL "000: [2,50] (wchar *)\"from C++\"; (uint32)7; \n")
    message(FATAL_ERROR "unexpected walk of the CMake consumer:\n${run_out}")
  endif()

  run(c++ -std=c++17 -Wall -Wextra -Wpedantic -Werror ${sanitize_flags} ${CONSUMER_DIR}/main.cpp ${pc_flags}
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
endmacro()
