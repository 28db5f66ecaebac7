# The installed packages of the project (the trace library, the object
# store): one way to build such a library, to install it, and to test it
# installed. Included by the top-level list, and by trace/ when that is built
# on its own.
include_guard(GLOBAL)
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# zef_add_package_library(<name> SOURCES <files...>)
# A shared library for other programs to link: versioned, exporting only
# what its headers mark <NAME>_API (it is built with <NAME>_BUILDING), with
# its include/ folder public in the build tree and in the install.
function(zef_add_package_library name)
  cmake_parse_arguments(P "" "" "SOURCES" ${ARGN})
  add_library(${name} SHARED ${P_SOURCES})
  add_library(${name}::${name} ALIAS ${name})
  set_target_properties(${name} PROPERTIES
    VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR}
    CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  string(TOUPPER ${name} upper)
  target_compile_definitions(${name} PRIVATE ${upper}_BUILDING)
  # Consumers need C++17 for the headers; the library itself is built as C++20.
  target_compile_features(${name} PUBLIC cxx_std_17)
  target_include_directories(${name} PUBLIC
    $<BUILD_INTERFACE:${CMAKE_CURRENT_SOURCE_DIR}/include>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
endfunction()

# zef_install_package(<name> HEADERS <files...> [PROGRAMS <targets...>])
# Installs library <name> as the install component <name>: the library, the
# programs that come with it (finding it beside them through their run
# path), its headers under include/<name>/, the CMake package <name>::<name>
# made from cmake/<name>Config.cmake.in, and the pkg-config file made from
# cmake/<name>.pc.in (which gets @pc_up@, the way from the .pc file's folder
# up to the prefix, so the package works wherever it is installed).
function(zef_install_package name)
  cmake_parse_arguments(P "" "" "HEADERS;PROGRAMS" ${ARGN})
  set(cmakedir ${CMAKE_INSTALL_LIBDIR}/cmake/${name})
  install(TARGETS ${name} EXPORT ${name}Targets COMPONENT ${name} LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
  if(P_PROGRAMS)
    set_target_properties(${P_PROGRAMS} PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
    install(TARGETS ${P_PROGRAMS} COMPONENT ${name} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
  install(FILES ${P_HEADERS} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/${name} COMPONENT ${name})
  install(EXPORT ${name}Targets NAMESPACE ${name}:: DESTINATION ${cmakedir} COMPONENT ${name})
  set(config ${CMAKE_CURRENT_BINARY_DIR}/${name}Config.cmake)
  set(version ${CMAKE_CURRENT_BINARY_DIR}/${name}ConfigVersion.cmake)
  configure_package_config_file(${CMAKE_CURRENT_SOURCE_DIR}/cmake/${name}Config.cmake.in ${config}
    INSTALL_DESTINATION ${cmakedir})
  write_basic_package_version_file(${version} VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
  install(FILES ${config} ${version} DESTINATION ${cmakedir} COMPONENT ${name})
  file(RELATIVE_PATH pc_up /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
  configure_file(${CMAKE_CURRENT_SOURCE_DIR}/cmake/${name}.pc.in ${CMAKE_CURRENT_BINARY_DIR}/${name}.pc @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${name}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
    COMPONENT ${name})
endfunction()

# zef_add_package_test(<test> PACKAGE <name> CONSUMER <folder> CHECKS <script>)
# A process test that installs package <name> into a scratch prefix and
# builds and runs the consumers in <folder> against it, through find_package
# and through pkg-config (tests/support/installed_package.cmake); <script>
# holds what this package must install and how its consumers must behave.
function(zef_add_package_test test)
  cmake_parse_arguments(P "" "PACKAGE;CONSUMER;CHECKS" "" ${ARGN})
  add_test(NAME ${test}
    COMMAND ${CMAKE_COMMAND} -DPACKAGE=${P_PACKAGE} -DBUILD_DIR=${PROJECT_BINARY_DIR} -DCONSUMER_DIR=${P_CONSUMER}
            -DCHECKS=${P_CHECKS} -DWORK_DIR=${CMAKE_CURRENT_BINARY_DIR}/installed_package
            -DCMAKE_COMMAND=${CMAKE_COMMAND} "-DSANITIZE=${ZEF_SANITIZE}"
            -P ${PROJECT_SOURCE_DIR}/tests/support/installed_package.cmake)
  set_tests_properties(${test} PROPERTIES LABELS process TIMEOUT 300)
endfunction()
