# The main window: the options page's rules, the folder pattern and the links
# (portable), and the skinned window CMainWnd (Windows).
qv_library(qv_main_wnd_rules
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/path_pattern.cpp ${CMAKE_CURRENT_LIST_DIR}/links.cpp
          ${CMAKE_CURRENT_LIST_DIR}/main_wnd_rules.cpp
  WIN32_SOURCES ${CMAKE_CURRENT_LIST_DIR}/path_pattern_win.cpp
  DEPS qv_base)
qv_test(main_wnd_rules_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/path_pattern_test.cpp ${CMAKE_CURRENT_LIST_DIR}/main_wnd_rules_test.cpp
  DEPS qv_main_wnd_rules TIMEOUT 120)
