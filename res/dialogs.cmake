# The dialog templates, as data.
target_sources(zef_res PRIVATE ${CMAKE_CURRENT_LIST_DIR}/dialogtemplates.cpp)
