# Trace channel throughput beside a raw Unix-socket round trip, measured in
# the same run. Usage: zef_bench_trace [--monitor <zefmon>] [--quickdraw 0|1]
# [--lines N]; without --monitor it measures against the test host.
add_executable(zef_bench_trace ${CMAKE_CURRENT_LIST_DIR}/trace_throughput.cpp)
target_link_libraries(zef_bench_trace PRIVATE zeftrace zef_options)
if(TARGET zef_trace_testhost)
  add_dependencies(zef_bench_trace zef_trace_testhost)
  target_compile_definitions(zef_bench_trace PRIVATE ZEF_TESTHOST="$<TARGET_FILE:zef_trace_testhost>")
endif()
