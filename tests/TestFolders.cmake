# tests/<area>/<unit>/ holds the tests of one unit; what they link follows
# from the area.
set(VX_TEST_LINK_io VeltraxIO_core vx_platform vxsim_core)
set(VX_TEST_LINK_control QMXControl_core VeltraxIO vx_platform vxsim_core)
set(VX_TEST_LINK_platform vx_platform vxsim_core)
set(VX_TEST_LINK_sim vxsim_core VeltraxIO_core vx_platform)
set(VX_TEST_LINK_e2e QMXControl VeltraxIO vx_platform vxsim_core)
# Qt tests, left out where Qt is not built: one application object on the
# offscreen platform; LeakSanitizer is told of Qt's and fontconfig's own
# allocations that live until the process ends.
if(TARGET QMXConnection)
  add_library(vx_qt_testmain OBJECT ${CMAKE_CURRENT_SOURCE_DIR}/support/QtTestMain.cpp)
  target_link_libraries(vx_qt_testmain PUBLIC Qt5::Widgets GTest::gtest)
  set(VX_TEST_LINK_configuration QMXConnection vx_qt_testmain vx_platform vxsim_core Qt5::Test)
  set(VX_TEST_ENV_configuration QT_QPA_PLATFORM=offscreen
      LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_SOURCE_DIR}/configuration/qt-lsan.supp)
endif()

file(GLOB areas LIST_DIRECTORIES true CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*)
foreach(area_dir IN LISTS areas)
  if(NOT IS_DIRECTORY ${area_dir})
    continue()
  endif()
  get_filename_component(area ${area_dir} NAME)
  if(area STREQUAL "support" OR (area STREQUAL "configuration" AND NOT TARGET QMXConnection))
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
      vx_test_folder(${unit_dir} LINK ${VX_TEST_LINK_${area}} ENV ${VX_TEST_ENV_${area}})
    endif()
  endforeach()
endforeach()
