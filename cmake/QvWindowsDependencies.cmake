# What the Windows build takes from Debian in place of the Linux packages it cannot link: cJSON
# compiled from Debian's source package, Boost's headers, the PXI services library's import library,
# and GoogleTest compiled from the sources Debian's googletest package installs. Included before the
# project's warning options, so that third-party code is compiled with its own.

# --- cJSON ----------------------------------------------------------------------------------------
# scripts/install-deps-windows.sh unpacks the package here with apt-get source. CJSON_HIDE_SYMBOLS
# keeps cJSON's functions out of the DLL's exports (cJSON otherwise marks each one dllexport) and
# must be seen by every user of the header, so that none of them expects a dllimport.
set(QV_CJSON_SOURCE_ROOT ${PROJECT_SOURCE_DIR}/build/cjson-source CACHE PATH
    "Where Debian's cjson source package is unpacked")
file(GLOB QV_CJSON_SOURCE ${QV_CJSON_SOURCE_ROOT}/cjson-*/cJSON.c)
if(NOT QV_CJSON_SOURCE)
  message(FATAL_ERROR "cJSON source not found under ${QV_CJSON_SOURCE_ROOT}; run scripts/install-deps-windows.sh")
endif()
list(GET QV_CJSON_SOURCE 0 QV_CJSON_SOURCE)
get_filename_component(QV_CJSON_SOURCE_DIR ${QV_CJSON_SOURCE} DIRECTORY)

# The module includes <cjson/cJSON.h> and <boost/...>. A private folder holds just those names, so
# that the host's /usr/include, with glibc's headers in it, never joins mingw's include path.
set(QV_WINDOWS_INCLUDE ${PROJECT_BINARY_DIR}/windows-include)
file(MAKE_DIRECTORY ${QV_WINDOWS_INCLUDE}/cjson)
configure_file(${QV_CJSON_SOURCE_DIR}/cJSON.h ${QV_WINDOWS_INCLUDE}/cjson/cJSON.h COPYONLY)
if(NOT EXISTS /usr/include/boost/shared_ptr.hpp)
  message(FATAL_ERROR "Boost's headers are missing: install libboost-dev")
endif()
file(CREATE_LINK /usr/include/boost ${QV_WINDOWS_INCLUDE}/boost SYMBOLIC)

# hwconfig parses its command line with CLI11, a header-only library, linked in the same way.
if(NOT EXISTS /usr/include/CLI/CLI.hpp)
  message(FATAL_ERROR "CLI11's headers are missing: install libcli11-dev")
endif()
file(CREATE_LINK /usr/include/CLI ${QV_WINDOWS_INCLUDE}/CLI SYMBOLIC)
add_library(CLI11::CLI11 INTERFACE IMPORTED)
target_include_directories(CLI11::CLI11 SYSTEM INTERFACE ${QV_WINDOWS_INCLUDE})

add_library(qv_cjson STATIC ${QV_CJSON_SOURCE})
target_include_directories(qv_cjson SYSTEM PUBLIC ${QV_WINDOWS_INCLUDE} PRIVATE ${QV_WINDOWS_INCLUDE}/cjson)
target_compile_definitions(qv_cjson PUBLIC CJSON_HIDE_SYMBOLS)
add_library(PkgConfig::CJSON ALIAS qv_cjson)

add_library(Boost::headers INTERFACE IMPORTED)
target_include_directories(Boost::headers SYSTEM INTERFACE ${QV_WINDOWS_INCLUDE})

# --- PXI services ---------------------------------------------------------------------------------
# The module imports the PXI services library by name; its import library is made from a list of the
# three functions, so that the module links without the library itself.
set(QV_PXISVC_DEF ${PROJECT_SOURCE_DIR}/cmake/qvpxisvc.def)
set(QV_PXISVC_IMPLIB ${PROJECT_BINARY_DIR}/libqvpxisvc.dll.a)
add_custom_command(OUTPUT ${QV_PXISVC_IMPLIB}
  COMMAND ${CMAKE_DLLTOOL} --input-def ${QV_PXISVC_DEF} --dllname qvpxisvc.dll --output-lib ${QV_PXISVC_IMPLIB}
  DEPENDS ${QV_PXISVC_DEF}
  COMMENT "Making the import library of qvpxisvc.dll")
add_custom_target(qvpxisvc_implib DEPENDS ${QV_PXISVC_IMPLIB})
add_library(qvpxisvc SHARED IMPORTED)
# Its header, abi/qvpxisvc.h, is reached through the project's own include path.
set_target_properties(qvpxisvc PROPERTIES IMPORTED_IMPLIB ${QV_PXISVC_IMPLIB})
add_dependencies(qvpxisvc qvpxisvc_implib)

# --- GoogleTest -----------------------------------------------------------------------------------
if(QV_BUILD_TESTS)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  # Defines GTest::gtest, GTest::gtest_main and GTest::gmock, as find_package(GTest) does.
  add_subdirectory(/usr/src/googletest ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()
