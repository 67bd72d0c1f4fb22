# cxxopts: one header from Debian's libcxxopts-dev. It is copied into a folder of the build tree so
# that the cross build sees that header and nothing else of the host's /usr/include.
# Elsewhere (MSVC) name the header with -DCXXOPTS_HEADER=<path to cxxopts.hpp>.
find_file(CXXOPTS_HEADER cxxopts.hpp PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT CXXOPTS_HEADER)
  message(FATAL_ERROR "cxxopts.hpp not found: install Debian's libcxxopts-dev or set CXXOPTS_HEADER")
endif()
configure_file(${CXXOPTS_HEADER} ${CMAKE_BINARY_DIR}/third-party-include/cxxopts.hpp COPYONLY)
add_library(cxxopts_header INTERFACE)
target_include_directories(cxxopts_header SYSTEM INTERFACE ${CMAKE_BINARY_DIR}/third-party-include)
# Without its regular-expression engine, which would take more room in the executable than the
# tool's own code. app/CommandLine.cpp hands it glued option values apart, as that parser needs.
target_compile_definitions(cxxopts_header INTERFACE CXXOPTS_NO_REGEX)
# A header library from a Debian package names it, for the third-party notices' check
# (cmake/ThirdPartyNotices.cmake).
set_target_properties(cxxopts_header PROPERTIES KIV_DEBIAN_PACKAGE libcxxopts-dev)

if(NOT WIN32)
  # The host build reads simulated desktops from JSON files (Debian's nlohmann-json3-dev).
  find_package(nlohmann_json 3 REQUIRED)
else()
  # DesktopCapture.exe writes them: the same header-only library, its headers copied into the build
  # tree as cxxopts' header is.
  find_path(NLOHMANN_JSON_INCLUDE_DIR nlohmann/json.hpp PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(NOT NLOHMANN_JSON_INCLUDE_DIR)
    message(FATAL_ERROR "nlohmann/json.hpp not found: install Debian's nlohmann-json3-dev or set NLOHMANN_JSON_INCLUDE_DIR")
  endif()
  file(COPY ${NLOHMANN_JSON_INCLUDE_DIR}/nlohmann DESTINATION ${CMAKE_BINARY_DIR}/third-party-include)
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
  target_include_directories(nlohmann_json::nlohmann_json SYSTEM INTERFACE ${CMAKE_BINARY_DIR}/third-party-include)
  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES KIV_DEBIAN_PACKAGE nlohmann-json3-dev)
endif()

if(BUILD_TESTING)
  if(WIN32)
    # GoogleTest for Windows is compiled from Debian's googletest sources (with MSVC: from the
    # GoogleTest sources named by GOOGLETEST_SOURCE_DIR).
    set(GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
    if(NOT EXISTS ${GOOGLETEST_SOURCE_DIR}/CMakeLists.txt)
      message(FATAL_ERROR "GoogleTest sources not found: install Debian's googletest")
    endif()
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
    add_subdirectory(${GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  else()
    find_package(GTest REQUIRED)
  endif()
endif()
