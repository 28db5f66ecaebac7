# The dialogs of the application object and the option dialogs.
target_sources(zef_shell PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/aboutdlg.cpp ${CMAKE_CURRENT_LIST_DIR}/aboutdlg.h
  ${CMAKE_CURRENT_LIST_DIR}/lookandfeeldlg.cpp ${CMAKE_CURRENT_LIST_DIR}/lookandfeeldlg.h
  ${CMAKE_CURRENT_LIST_DIR}/generaloptionsdlg.cpp ${CMAKE_CURRENT_LIST_DIR}/generaloptionsdlg.h
  ${CMAKE_CURRENT_LIST_DIR}/databasesettingsdlg.cpp ${CMAKE_CURRENT_LIST_DIR}/databasesettingsdlg.h)
