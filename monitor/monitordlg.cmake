# The Monitor settings dialog.
target_sources(zef_monitor PRIVATE ${CMAKE_CURRENT_LIST_DIR}/monitordlg.cpp ${CMAKE_CURRENT_LIST_DIR}/monitordlg.h)
