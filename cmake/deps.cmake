# Third-party libraries as interface targets with the same names in both builds:
# dep_curl dep_rapidjson dep_pugixml dep_minizip dep_stb dep_gtest, and natively dep_httplib dep_openssl
find_package(Threads REQUIRED)

if(WIN32)
  set(QV_DEPS "$ENV{QV_DEPS}")
  if(NOT QV_DEPS)
    if(DEFINED ENV{XDG_CACHE_HOME})
      set(QV_DEPS "$ENV{XDG_CACHE_HOME}/quorvane-deps")
    else()
      set(QV_DEPS "$ENV{HOME}/.cache/quorvane-deps")
    endif()
  endif()
  # scripts/mingw-deps.sh builds into a folder named after the architecture
  # and its own hash.
  set(qv_mingw_host "${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32")
  set(qv_recipe "${PROJECT_SOURCE_DIR}/scripts/mingw-deps.sh")
  set_property(DIRECTORY "${PROJECT_SOURCE_DIR}" APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${qv_recipe}")
  file(SHA256 "${qv_recipe}" qv_recipe_hash)
  string(SUBSTRING "${qv_recipe_hash}" 0 12 qv_recipe_hash)
  set(QV_MINGW "${QV_DEPS}/mingw-${CMAKE_SYSTEM_PROCESSOR}-${qv_recipe_hash}")
  if(NOT EXISTS "${QV_MINGW}/lib/libcurl.a")
    message(FATAL_ERROR "mingw libraries missing in ${QV_MINGW}: run scripts/setup")
  endif()

  add_library(dep_headers INTERFACE)
  target_include_directories(dep_headers SYSTEM INTERFACE "${QV_MINGW}/include")

  add_library(dep_curl INTERFACE)
  target_compile_definitions(dep_curl INTERFACE CURL_STATICLIB)
  # An imported target, so that the link line keeps the DLLs it needs after it
  # (a plain file path carries no dependencies of its own).
  add_library(dep_curl_archive STATIC IMPORTED)
  set_target_properties(dep_curl_archive PROPERTIES IMPORTED_LOCATION "${QV_MINGW}/lib/libcurl.a"
    INTERFACE_LINK_LIBRARIES "/usr/${qv_mingw_host}/lib/libz.a;ws2_32;dll_crypt32;dll_bcrypt;dll_secur32;dll_wldap32;advapi32;dll_normaliz")
  target_link_libraries(dep_curl INTERFACE dep_headers dep_curl_archive)

  add_library(dep_rapidjson INTERFACE)
  target_link_libraries(dep_rapidjson INTERFACE dep_headers)
  add_library(dep_stb INTERFACE)
  target_link_libraries(dep_stb INTERFACE dep_headers)
  add_library(dep_pugixml INTERFACE)
  target_link_libraries(dep_pugixml INTERFACE dep_headers "${QV_MINGW}/lib/libpugixml.a")
  add_library(dep_minizip INTERFACE)
  target_link_libraries(dep_minizip INTERFACE dep_headers "${QV_MINGW}/lib/libminizip.a"
    /usr/${qv_mingw_host}/lib/libz.a)

  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  add_library(dep_gtest INTERFACE)
  target_link_libraries(dep_gtest INTERFACE gtest_main gmock)
else()
  find_package(CURL REQUIRED)
  add_library(dep_curl INTERFACE)
  target_link_libraries(dep_curl INTERFACE CURL::libcurl)
  add_library(dep_rapidjson INTERFACE)
  add_library(dep_stb INTERFACE)
  target_include_directories(dep_stb SYSTEM INTERFACE /usr/include/stb)
  find_package(pugixml REQUIRED)
  add_library(dep_pugixml INTERFACE)
  target_link_libraries(dep_pugixml INTERFACE pugixml::pugixml)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(MINIZIP REQUIRED IMPORTED_TARGET minizip)
  add_library(dep_minizip INTERFACE)
  target_link_libraries(dep_minizip INTERFACE PkgConfig::MINIZIP)
  # Debian's cpp-httplib is a compiled library: its header must see the defines
  # it was built with. (The Windows build has no test servers of its own; its
  # tests talk to native or python3 servers.)
  pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
  add_library(dep_httplib INTERFACE)
  target_link_libraries(dep_httplib INTERFACE PkgConfig::HTTPLIB Threads::Threads)
  find_package(GTest REQUIRED)
  add_library(dep_gtest INTERFACE)
  target_link_libraries(dep_gtest INTERFACE GTest::gtest_main GTest::gmock)
  find_package(OpenSSL REQUIRED)
  add_library(dep_openssl INTERFACE)
  target_link_libraries(dep_openssl INTERFACE OpenSSL::Crypto OpenSSL::SSL)
endif()
