# What the Windows build takes from the build machine: GoogleTest built from Debian's sources, and
# the header-only libraries (xxHash, nlohmann-json) from its include folder, copied alone so that
# no other Linux header is seen by the cross compiler.
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
# Its own build names the targets GTest::gtest and GTest::gtest_main, as the installed package does.
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

set(_tidelink_header_only ${CMAKE_BINARY_DIR}/header-only)
file(COPY /usr/include/xxhash.h /usr/include/nlohmann DESTINATION ${_tidelink_header_only})

add_library(tidelink_xxhash INTERFACE)
target_include_directories(tidelink_xxhash SYSTEM INTERFACE ${_tidelink_header_only})
target_compile_definitions(tidelink_xxhash INTERFACE XXH_INLINE_ALL)
add_library(PkgConfig::XXHASH ALIAS tidelink_xxhash)

add_library(nlohmann_json INTERFACE)
target_include_directories(nlohmann_json SYSTEM INTERFACE ${_tidelink_header_only})
add_library(nlohmann_json::nlohmann_json ALIAS nlohmann_json)
