# The main window: the options page's rules, the folder pattern and the links
# (portable), and the skinned window CMainWnd (Windows).
qv_library(qv_main_wnd_rules
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/path_pattern.cpp ${CMAKE_CURRENT_LIST_DIR}/links.cpp
          ${CMAKE_CURRENT_LIST_DIR}/main_wnd_rules.cpp
  WIN32_SOURCES ${CMAKE_CURRENT_LIST_DIR}/path_pattern_win.cpp
  DEPS qv_base)
# The install run beside its window: the run, its view and how the window
# presents the workers' events (portable), and the window's adapter (Windows).
qv_library(qv_install_run
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/install_run.cpp ${CMAKE_CURRENT_LIST_DIR}/install_presentation.cpp
  WIN32_SOURCES ${CMAKE_CURRENT_LIST_DIR}/window_install_events_win.cpp
  DEPS qv_base qv_text qv_download)
qv_test(install_run_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/install_run_test.cpp ${CMAKE_CURRENT_LIST_DIR}/install_presentation_test.cpp
  DEPS qv_install_run TIMEOUT 120)

qv_test(main_wnd_rules_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/path_pattern_test.cpp ${CMAKE_CURRENT_LIST_DIR}/main_wnd_rules_test.cpp
  DEPS qv_main_wnd_rules TIMEOUT 120)

# The skinned main window (Windows).
if(WIN32 AND TARGET qv_window_base AND TARGET qv_telemetry)
  qv_library(qv_main_wnd
    WIN32_SOURCES ${CMAKE_CURRENT_LIST_DIR}/main_wnd_win.cpp
    DEPS qv_main_wnd_rules qv_window_base qv_install_run qv_registration qv_telemetry qv_language qv_text
         shell32 ole32)
  # One test binary, run through a script that first gives the Wine prefix
  # the fonts a Windows machine has for these languages.
  add_executable(main_wnd_tests ${CMAKE_CURRENT_LIST_DIR}/main_wnd_win_test.cpp)
  target_link_libraries(main_wnd_tests PRIVATE qv_flags qv_main_wnd qv_registry dep_stb dep_gtest)
  add_test(NAME main_wnd_wine_tests
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/main_wnd_wine_test.sh ${CMAKE_BINARY_DIR}/wine-run
            $<TARGET_FILE:main_wnd_tests>)
  add_dependencies(main_wnd_tests qv_skin_zip qv_mark_client)
  target_compile_definitions(main_wnd_tests PRIVATE QV_SCREENSHOT_DIR="${CMAKE_BINARY_DIR}/screenshots/ui"
    QV_MARK_CLIENT="$<TARGET_FILE:qv_mark_client>")
  set_tests_properties(main_wnd_wine_tests PROPERTIES TIMEOUT 300 LABELS "wine;gui")
  # The skin package's path is known once skin/ is configured.
  function(qv_main_wnd_tests_use_skin_zip)
    get_property(zip GLOBAL PROPERTY QV_SKIN_ZIP)
    target_compile_definitions(main_wnd_tests PRIVATE QV_SKIN_ZIP_FILE="${zip}")
  endfunction()
  cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL qv_main_wnd_tests_use_skin_zip)
endif()
