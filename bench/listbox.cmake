# Appending, scrolling and painting a million lines, against QListWidget.
add_executable(bench_list_append ${CMAKE_CURRENT_LIST_DIR}/list_append.cpp)
target_link_libraries(bench_list_append PRIVATE zef_platform Qt6::Widgets zef_options)
