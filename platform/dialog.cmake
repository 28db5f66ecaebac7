# The dialog framework: dialogs built from the templates of res/.
target_sources(zef_platform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/dialog.cpp ${CMAKE_CURRENT_LIST_DIR}/dialog.h)
