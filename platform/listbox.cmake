# The list widget and, in the display-free core, its line store.
target_sources(zef_platform PRIVATE listbox.cpp listbox.h)
target_sources(zef_platform_core PRIVATE linestore.cpp linestore.h)
