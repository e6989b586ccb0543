# googletest_source.cmake - GoogleTest compiled from its sources for the
# target of a cross build. Debian's libgtest-dev is built for the build
# machine; its package googletest ships the sources this builds.

set(FILTER_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources, built for the target")
if(NOT EXISTS ${FILTER_GOOGLETEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest's sources are not in ${FILTER_GOOGLETEST_SOURCE}: install the Debian "
    "package googletest (tools/setup windows or tools/setup i686 installs it)")
endif()
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${FILTER_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
