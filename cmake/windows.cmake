# What the Windows build (cmake --preset windows) needs beyond mingw-w64: zlib from Debian's
# mingw package; libpng and Google Benchmark cross-built from Debian's source packages, which
# scripts/setup unpacks under build/sources; GoogleTest from the sources libgtest-dev
# installs. Everything links statically, so the programs run with nothing beside them.
include(ExternalProject)

# M_PI and friends, which g++ on Linux gives with its default _GNU_SOURCE.
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00
                        _USE_MATH_DEFINES)
add_link_options(-static -static-libgcc -static-libstdc++)
# GCC 12 at -O3 warns of overlapping copies inside std::string's own code that cannot happen
# (a known false positive of -Wrestrict); warnings are errors, so it is switched off here.
add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-Wno-restrict>)

# The command-line programs carry a manifest (long paths, Windows 10 behaviour).
function(orvane_windows_tool target)
  target_sources(${target} PRIVATE "${PROJECT_SOURCE_DIR}/platform/win32/tool.rc")
endfunction()

set(ORVANE_DEBIAN_SOURCES "${PROJECT_SOURCE_DIR}/build/sources")
set(ORVANE_DEPS "${CMAKE_BINARY_DIR}/deps")
file(MAKE_DIRECTORY "${ORVANE_DEPS}/include")

function(orvane_debian_source package out_dir)
  set(_dir "${ORVANE_DEBIAN_SOURCES}/${package}")
  if(NOT EXISTS "${_dir}/.unpacked")
    message(FATAL_ERROR "The Debian source package ${package} is not under ${ORVANE_DEBIAN_SOURCES}: "
                        "run scripts/setup, which fetches it")
  endif()
  set(${out_dir} "${_dir}" PARENT_SCOPE)
endfunction()

set(_cross_args
  "-DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}"
  -DCMAKE_BUILD_TYPE=Release
  "-DCMAKE_INSTALL_PREFIX=${ORVANE_DEPS}"
  -DCMAKE_INSTALL_LIBDIR=lib)
if(CMAKE_CXX_COMPILER_LAUNCHER)
  list(APPEND _cross_args "-DCMAKE_C_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER}"
                          "-DCMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER}")
endif()

# The static zlib, not the import library of the DLL beside it.
find_library(ZLIB_LIBRARY NAMES libz.a REQUIRED)
find_package(ZLIB REQUIRED)
list(APPEND _cross_args "-DZLIB_LIBRARY=${ZLIB_LIBRARY}" "-DZLIB_INCLUDE_DIR=${ZLIB_INCLUDE_DIR}")

orvane_debian_source(libpng1.6 _png_src)
ExternalProject_Add(orvane_libpng
  SOURCE_DIR "${_png_src}"
  BINARY_DIR "${CMAKE_BINARY_DIR}/deps-build/libpng"
  CMAKE_ARGS ${_cross_args} -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_EXECUTABLES=OFF
             -DPNG_TESTS=OFF -DSKIP_INSTALL_PROGRAMS=ON -DSKIP_INSTALL_FILES=ON
  BUILD_BYPRODUCTS "${ORVANE_DEPS}/lib/libpng16.a"
  UPDATE_COMMAND "" PATCH_COMMAND "")
add_library(PNG::PNG STATIC IMPORTED GLOBAL)
set_target_properties(PNG::PNG PROPERTIES IMPORTED_LOCATION "${ORVANE_DEPS}/lib/libpng16.a"
  INTERFACE_INCLUDE_DIRECTORIES "${ORVANE_DEPS}/include"
  INTERFACE_LINK_LIBRARIES ZLIB::ZLIB)
add_dependencies(PNG::PNG orvane_libpng)

if(ORVANE_BUILD_BENCH)
  orvane_debian_source(benchmark _bench_src)
  ExternalProject_Add(orvane_benchmark
    SOURCE_DIR "${_bench_src}"
    BINARY_DIR "${CMAKE_BINARY_DIR}/deps-build/benchmark"
    # The version as Debian's packaging gives it (the sources carry no git history to find it).
    CMAKE_ARGS ${_cross_args} -DGIT_VERSION=1.7.1 -DBENCHMARK_ENABLE_TESTING=OFF
               -DBENCHMARK_ENABLE_WERROR=OFF
               -DBENCHMARK_ENABLE_INSTALL=ON -DBENCHMARK_INSTALL_DOCS=OFF -DBUILD_SHARED_LIBS=OFF
    BUILD_BYPRODUCTS "${ORVANE_DEPS}/lib/libbenchmark.a" "${ORVANE_DEPS}/lib/libbenchmark_main.a"
    UPDATE_COMMAND "" PATCH_COMMAND "")
  add_library(benchmark::benchmark STATIC IMPORTED GLOBAL)
  set_target_properties(benchmark::benchmark PROPERTIES
    IMPORTED_LOCATION "${ORVANE_DEPS}/lib/libbenchmark.a"
    INTERFACE_INCLUDE_DIRECTORIES "${ORVANE_DEPS}/include"
    INTERFACE_COMPILE_DEFINITIONS BENCHMARK_STATIC_DEFINE
    INTERFACE_LINK_LIBRARIES shlwapi)
  add_dependencies(benchmark::benchmark orvane_benchmark)
  add_library(benchmark::benchmark_main STATIC IMPORTED GLOBAL)
  set_target_properties(benchmark::benchmark_main PROPERTIES
    IMPORTED_LOCATION "${ORVANE_DEPS}/lib/libbenchmark_main.a"
    INTERFACE_LINK_LIBRARIES benchmark::benchmark)
  add_dependencies(benchmark::benchmark_main orvane_benchmark)
endif()

if(ORVANE_BUILD_TESTS)
  # The sources libgtest-dev installs, built here with the project's compiler.
  set(_gtest_src /usr/src/googletest)
  if(NOT EXISTS "${_gtest_src}/CMakeLists.txt")
    message(FATAL_ERROR "GoogleTest's sources are not in ${_gtest_src}: run scripts/setup")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  # It names its targets GTest::gtest, GTest::gtest_main and GTest::gmock, as the package does.
  add_subdirectory("${_gtest_src}" "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL SYSTEM)

  # Tests run under Wine, in a prefix made once per build folder.
  set(CMAKE_CROSSCOMPILING_EMULATOR "${PROJECT_SOURCE_DIR}/tests/support/wine_run.sh"
      "${CMAKE_BINARY_DIR}/wineprefix")
endif()

# nlohmann/json is headers only, packaged for the host: its folder is copied into the build
# folder, so that the cross compiler does not search the host's /usr/include.
set(_json_headers /usr/include/nlohmann)
if(NOT EXISTS "${_json_headers}/json.hpp")
  message(FATAL_ERROR "nlohmann/json is not in ${_json_headers}: run scripts/setup")
endif()
file(COPY "${_json_headers}" DESTINATION "${ORVANE_DEPS}/json/include")
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED GLOBAL)
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES "${ORVANE_DEPS}/json/include")
set(nlohmann_json_FOUND TRUE)
