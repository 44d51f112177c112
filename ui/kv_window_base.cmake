qv_library(qv_window_base
  SOURCES kv_window_base.cpp
  WIN32_SOURCES kv_window_base_win.cpp
  DEPS qv_toolkit qv_text)
qv_test(kv_window_base_tests SOURCES kv_window_base_test.cpp DEPS qv_window_base)

# A small window on KvWindowBase that shows the skin's main window markup,
# and the Wine run that screenshots it at 100, 150 and 200 % and in Arabic.
qv_windows_exe(kv_window_demo SOURCES kv_window_base_demo_win.cpp DEPS qv_window_base dep_stb shell32 GUI)
if(WIN32)
  get_property(qv_zip GLOBAL PROPERTY QV_SKIN_ZIP)
  add_dependencies(kv_window_demo qv_skin_zip)
  add_test(NAME kv_window_screens
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/kv_window_base_screens.sh
            ${CMAKE_BINARY_DIR}/wine-run $<TARGET_FILE:kv_window_demo> ${qv_zip} ${CMAKE_CURRENT_BINARY_DIR}/screens)
  set_tests_properties(kv_window_screens PROPERTIES TIMEOUT 400 LABELS "wine;gui")
endif()

# The window base on real windows (Wine), with the skin package of skin/.
qv_test(kv_window_base_win_tests SOURCES kv_window_base_win_test.cpp DEPS qv_window_base WIN32_ONLY TIMEOUT 300)
if(WIN32)
  target_compile_definitions(kv_window_base_win_tests PRIVATE QV_SKIN_ZIP_FILE="${qv_zip}")
  add_dependencies(kv_window_base_win_tests qv_skin_zip)
endif()
