# Find and Mark Block over a million monitor lines, worst cases.
add_executable(bench_line_commands ${CMAKE_CURRENT_LIST_DIR}/line_commands.cpp)
target_link_libraries(bench_line_commands PRIVATE zef_shell Qt6::Widgets zef_options)
