# The socket side of the window-message transport. The wire format comes
# from the trace library (one definition for both ends).
target_sources(zef_platform_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/windowserver.cpp ${CMAKE_CURRENT_LIST_DIR}/windowserver.h)
target_link_libraries(zef_platform_core PRIVATE zeftrace_wire)
