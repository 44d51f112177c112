# System registration (autostart, desktop shortcut, channel values) and the
# client launch. The portable part is only the run-command rule, so other
# subsystems can link it natively.
qv_library(qv_registration
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/registration.cpp
  WIN32_SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/registration_win.cpp ${CMAKE_CURRENT_SOURCE_DIR}/shortcut_win.cpp
                ${CMAKE_CURRENT_SOURCE_DIR}/client_launch_win.cpp
  DEPS qv_base $<$<BOOL:${WIN32}>:qv_registry>)
if(WIN32)
  target_link_libraries(qv_registration PUBLIC ole32 uuid shell32)
endif()

# A stand-in client for the launch tests: leaves a mark file when started.
qv_windows_exe(qv_mark_client SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/testing/mark_client.cpp)

qv_test(registration_tests
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/registration_test.cpp ${CMAKE_CURRENT_SOURCE_DIR}/client_launch_test.cpp
  DEPS qv_registration WIN32_ONLY)
if(TARGET registration_tests)
  # The tests find qv_mark_client.exe beside their own executable.
  add_dependencies(registration_tests qv_mark_client)
  # Saving a link would otherwise make Wine write menu and desktop entries
  # into the Linux user's home.
  # The tests write the machine-wide uninstall key that the sample installer
  # and the end-to-end installs write too.
  set_tests_properties(registration_tests PROPERTIES RESOURCE_LOCK wine_uninstall_key)
endif()
