# Object store: zefdb import beside plain SQLite, the record read, and the
# enumeration of 1,000 databases. Usage: zef_bench_store [--records N] [--rounds R]
add_executable(zef_bench_store ${CMAKE_CURRENT_LIST_DIR}/store_import.cpp)
target_link_libraries(zef_bench_store PRIVATE zefstore zefstore_testing zef_options)
add_dependencies(zef_bench_store zefdb)
target_compile_definitions(zef_bench_store PRIVATE ZEF_ZEFDB="$<TARGET_FILE:zefdb>")
