# tests/<area>/<unit>/ holds the tests of one unit; what they link follows
# from the area.
set(VX_TEST_LINK_io VeltraxIO_core vx_platform vxsim_core)
set(VX_TEST_LINK_ctl VeltraxCTL_core VeltraxIO vx_platform vxsim_core)
set(VX_TEST_LINK_control QMXControl_core VeltraxIO vx_platform vxsim_core)
set(VX_TEST_LINK_platform vx_platform vxsim_core)
set(VX_TEST_LINK_sim vxsim_core VeltraxIO_core vx_platform)
set(VX_TEST_LINK_e2e QMXControl VeltraxIO vx_platform vxsim_core)
set(VX_TEST_LINK_firmware QMXFirmwareCore VeltraxIO_core vx_platform vxsim_core)
# Qt tests, left out where Qt is not built: their own main runs them around
# one application object on the offscreen platform.
set(VX_QT_TEST_AREAS configuration terminal handcontrol)
if(TARGET QMXConnection)
  add_library(vx_qt_leaks OBJECT ${CMAKE_CURRENT_SOURCE_DIR}/support/QtLeakSuppressions.cpp)
  add_library(vx_qt_testmain OBJECT ${CMAKE_CURRENT_SOURCE_DIR}/support/QtTestMain.cpp
                                    ${CMAKE_CURRENT_SOURCE_DIR}/support/QtLeakSuppressions.cpp)
  target_link_libraries(vx_qt_testmain PUBLIC Qt5::Widgets GTest::gtest)
  # The same main for Qt tests that netns-run starts: it first makes sure
  # that it runs inside the test namespace.
  add_library(vx_qt_netns_testmain OBJECT ${CMAKE_CURRENT_SOURCE_DIR}/support/QtTestMain.cpp
                                          ${CMAKE_CURRENT_SOURCE_DIR}/support/QtLeakSuppressions.cpp)
  target_compile_definitions(vx_qt_netns_testmain PRIVATE VX_TEST_IN_NETNS)
  target_link_libraries(vx_qt_netns_testmain PUBLIC Qt5::Widgets GTest::gtest vx_netns_namespace)
  set(VX_TEST_LINK_configuration QMXConnection QMXConfigurationPages vx_qt_testmain vx_platform vxsim_core Qt5::Test)
  set(VX_TEST_LINK_terminal TextdeskCore vx_qt_testmain vx_platform vxsim_core Qt5::Test)
  set(VX_TEST_LINK_handcontrol QMXHConfiguratorCore vx_qt_testmain vx_platform vxsim_core Qt5::Test)
endif()

file(GLOB areas LIST_DIRECTORIES true CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*)
foreach(area_dir IN LISTS areas)
  if(NOT IS_DIRECTORY ${area_dir})
    continue()
  endif()
  get_filename_component(area ${area_dir} NAME)
  # support/ holds helpers; fuzz/ is built by clang alone (VX_FUZZ).
  if(area MATCHES "^(support|fuzz)$" OR (area IN_LIST VX_QT_TEST_AREAS AND NOT TARGET QMXConnection))
    continue()
  endif()
  file(GLOB units LIST_DIRECTORIES true CONFIGURE_DEPENDS ${area_dir}/*)
  foreach(unit_dir ${area_dir} ${units})
    if(NOT IS_DIRECTORY ${unit_dir})
      continue()
    endif()
    if(EXISTS ${unit_dir}/CMakeLists.txt AND NOT unit_dir STREQUAL area_dir)
      add_subdirectory(${unit_dir})
    else()
      vx_test_folder(${unit_dir} LINK ${VX_TEST_LINK_${area}})
    endif()
  endforeach()
endforeach()
