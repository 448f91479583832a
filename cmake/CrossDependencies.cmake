# A cross build cannot use the host's compiled libraries or its config
# packages, which point into /usr/include beside the host's C library. The
# header-only libraries are copied out of /usr/include into a folder of their
# own, and GoogleTest is built from its Debian sources.
set(PW_HOST_HEADERS ${CMAKE_BINARY_DIR}/host-headers)
foreach(folder CLI nlohmann)
  file(COPY /usr/include/${folder} DESTINATION ${PW_HOST_HEADERS})
endforeach()

add_library(CLI11::CLI11 INTERFACE IMPORTED)
target_include_directories(CLI11::CLI11 INTERFACE ${PW_HOST_HEADERS})
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
target_include_directories(nlohmann_json::nlohmann_json INTERFACE ${PW_HOST_HEADERS})
set(CLI11_FOUND TRUE)
set(nlohmann_json_FOUND TRUE)

set(PW_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for the cross build")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(${PW_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
set(GTest_FOUND TRUE)
