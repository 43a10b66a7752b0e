# Installing the libraries as a Linux system would: versioned shared objects,
# their public C headers, a pkg-config file for each and the CMake package
# "Veltrax" with imported targets Veltrax::<library>.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# name | public header | pkg-config module | what it needs from the others
set(vx_installed
  "VeltraxIO|${PROJECT_SOURCE_DIR}/io/include/VeltraxIO.h|veltraxio|"
  "QMXControl|${PROJECT_SOURCE_DIR}/control/include/QMXControl.h|qmxcontrol|veltraxio"
  "VeltraxCTL|${PROJECT_SOURCE_DIR}/ctl/include/VeltraxCTL.h|veltraxctl|veltraxio")

set(vx_pkgconfig_dir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
# The pkg-config files find the prefix from where they lie, so that an
# installed tree can be moved or installed with --prefix.
file(RELATIVE_PATH vx_pkgconfig_to_prefix /prefix/${vx_pkgconfig_dir} /prefix)
string(REGEX REPLACE "/$" "" vx_pkgconfig_to_prefix "${vx_pkgconfig_to_prefix}")

set(vx_install_targets)
foreach(row IN LISTS vx_installed)
  string(REPLACE "|" ";" row "${row}")
  list(GET row 0 library)
  list(GET row 1 header)
  list(GET row 2 module)
  list(GET row 3 requires)
  if(NOT TARGET ${library})
    continue()
  endif()
  # Run-time loading by file name (the FTDI driver, the second-generation
  # library) and the libraries' own dependencies look beside the library.
  set_target_properties(${library} PROPERTIES
    VERSION ${PROJECT_VERSION}
    SOVERSION ${PROJECT_VERSION_MAJOR}
    INSTALL_RPATH "$ORIGIN"
    PUBLIC_HEADER ${header}
    EXPORT_NAME ${library})
  add_library(Veltrax::${library} ALIAS ${library})
  list(APPEND vx_install_targets ${library})

  set(VX_PC_NAME ${library})
  set(VX_PC_REQUIRES ${requires})
  configure_file(${PROJECT_SOURCE_DIR}/cmake/install/library.pc.in
                 ${PROJECT_BINARY_DIR}/pkgconfig/${module}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/pkgconfig/${module}.pc DESTINATION ${vx_pkgconfig_dir})
endforeach()

install(TARGETS ${vx_install_targets} EXPORT VeltraxTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

set(vx_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/Veltrax)
install(EXPORT VeltraxTargets NAMESPACE Veltrax:: DESTINATION ${vx_cmake_dir})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/install/VeltraxConfig.cmake.in
  ${PROJECT_BINARY_DIR}/cmake/VeltraxConfig.cmake INSTALL_DESTINATION ${vx_cmake_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/cmake/VeltraxConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/cmake/VeltraxConfig.cmake ${PROJECT_BINARY_DIR}/cmake/VeltraxConfigVersion.cmake
  DESTINATION ${vx_cmake_dir})
