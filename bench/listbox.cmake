# Appending, scrolling and painting a million lines, against QListWidget and,
# when the shell is part of the build, through the main frame.
add_executable(bench_list_append ${CMAKE_CURRENT_LIST_DIR}/list_append.cpp)
target_link_libraries(bench_list_append PRIVATE zef_platform Qt6::Widgets zef_options)
if(TARGET zef_shell)
  target_link_libraries(bench_list_append PRIVATE zef_shell)
  target_compile_definitions(bench_list_append PRIVATE ZEF_BENCH_MAINFRAME)
endif()
