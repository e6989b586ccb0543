# wine_tests.cmake - the test suite of a MinGW cross build, run under Wine.
#
# Debian's GoogleTest package is built for the build machine, so GoogleTest is
# compiled here from its sources for the target. Starting a Windows process
# under Wine costs far more than on Linux, so each test suite is one ctest
# entry (by --gtest_filter) instead of one process per test. A Wine that cannot
# run the program at all may still exit 0, so every entry must also print
# GoogleTest's summary of at least one passed test.
#
# Wine itself comes from the caller: WINEPREFIX set and a wineserver running
# (see .ci/windows-tests).

set(FILTER_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources, built for the target")
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
add_subdirectory(${FILTER_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# The "win32" thread model of Debian's MinGW-w64 has no std::mutex, which
# GoogleTest's Notification needs: it gets one without.
target_compile_options(gtest PUBLIC "SHELL:-include ${CMAKE_CURRENT_LIST_DIR}/gtest_win32_threads.h")

set(WINE_TEST_ENVIRONMENT "WINEDEBUG=-all")
set(GTEST_PASSED_REGEX "\\[  PASSED  \\] [1-9][0-9]* tests?\\.")
set(GTEST_FAILED_REGEX "\\[  FAILED  \\]")

# wine_path - a build machine path as the Windows program sees it (Wine's Z: drive is "/").
function(wine_path out path)
  set(${out} "Z:${path}" PARENT_SCOPE)
endfunction()

# gtest_suites_of - the suite names of TEST, TEST_F, TEST_P and TYPED_TEST in the sources.
function(gtest_suites_of out)
  set(suites)
  foreach(src ${ARGN})
    file(STRINGS ${src} lines REGEX "^[ \t]*(TEST|TEST_F|TEST_P|TYPED_TEST)[ \t]*\\(")
    foreach(line ${lines})
      string(REGEX REPLACE "^[ \t]*[A-Z_]+[ \t]*\\([ \t]*([A-Za-z0-9_]+).*" "\\1" suite "${line}")
      list(APPEND suites ${suite})
    endforeach()
  endforeach()
  list(REMOVE_DUPLICATES suites)
  list(SORT suites)
  set(${out} ${suites} PARENT_SCOPE)
endfunction()

# add_wine_gtest_suites - one ctest entry per suite of target, plus one that
# fails when a test belongs to no registered suite (a macro the scan missed).
function(add_wine_gtest_suites target)
  gtest_suites_of(suites ${ARGN})
  # A suite added to an existing file must reach the list at the next build.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${ARGN})
  set(all_filters)
  foreach(suite ${suites})
    set(filter "${suite}.*:*/${suite}.*:${suite}/*")
    string(APPEND all_filters ":${filter}")
    add_test(NAME ${suite} COMMAND ${target} --gtest_filter=${filter})
    set_tests_properties(${suite} PROPERTIES
      PASS_REGULAR_EXPRESSION "${GTEST_PASSED_REGEX}"
      FAIL_REGULAR_EXPRESSION "${GTEST_FAILED_REGEX}"
      ENVIRONMENT "${WINE_TEST_ENVIRONMENT}")
  endforeach()
  string(SUBSTRING "${all_filters}" 1 -1 all_filters)
  add_test(NAME EveryTestBelongsToARegisteredSuite COMMAND ${target} --gtest_filter=-${all_filters})
  set_tests_properties(EveryTestBelongsToARegisteredSuite PROPERTIES
    PASS_REGULAR_EXPRESSION "\\[  PASSED  \\] 0 tests\\."
    ENVIRONMENT "${WINE_TEST_ENVIRONMENT}")
endfunction()

# add_wine_program_checks - Wine runs a program of this architecture at all,
# the host simulator loads the DLL beside it, and the DLL's export and import
# tables are those a host expects, without the test hooks (checked on the build machine by objdump).
function(add_wine_program_checks)
  add_test(NAME WineRunsTheHostSimulator COMMAND filter-host --help)
  set_tests_properties(WineRunsTheHostSimulator PROPERTIES
    PASS_REGULAR_EXPRESSION "usage: filter-host"
    ENVIRONMENT "${WINE_TEST_ENVIRONMENT}")
  wine_path(example_dir ${CMAKE_SOURCE_DIR}/examples/bbs)
  add_test(NAME HostSimulatorLoadsTheDllBesideIt
    COMMAND filter-host --dir ${example_dir} --scratch connect N0CALL-1 --port 1)
  set_tests_properties(HostSimulatorLoadsTheDllBesideIt PROPERTIES
    PASS_REGULAR_EXPRESSION "verdict [0-9]+: "
    FAIL_REGULAR_EXPRESSION "cannot load|lacks svc_main"
    ENVIRONMENT "${WINE_TEST_ENVIRONMENT}")
  add_test(NAME DllExportsTwoEntryPointsImportsOnlySystemDllsAndHasNoTestHook
    COMMAND bash ${CMAKE_SOURCE_DIR}/tests/check_dll_tables.sh ${CMAKE_OBJDUMP} $<TARGET_FILE:c_filt32>)
  # One version everywhere: each program's --version and the version resource
  # of the DLL and of every program, read from the files as Explorer reads them.
  get_property(release_tools GLOBAL PROPERTY FILTER_RELEASE_TOOLS)
  set(release_files $<TARGET_FILE:c_filt32>)
  foreach(tool ${release_tools})
    list(APPEND release_files $<TARGET_FILE:${tool}>)
    string(REPLACE "." "\\." version_pattern "${PROJECT_VERSION}")
    add_test(NAME ${tool}PrintsTheReleaseVersion COMMAND ${tool} --version)
    set_tests_properties(${tool}PrintsTheReleaseVersion PROPERTIES
      PASS_REGULAR_EXPRESSION "${tool} \\(c_filt32\\) ${version_pattern}\r?\n"
      ENVIRONMENT "${WINE_TEST_ENVIRONMENT}")
  endforeach()
  find_program(PYTHON3 python3 REQUIRED)
  add_test(NAME DllAndProgramsCarryTheVersionResource
    COMMAND ${PYTHON3} ${CMAKE_SOURCE_DIR}/tests/check_version_resource.py ${PROJECT_VERSION} ${release_files})
endfunction()

# wine_program_wrapper - out: a shell command, for scripts that run a program
# of this build by its path, that starts the target under Wine.
function(wine_program_wrapper out target)
  set(wrapper ${CMAKE_BINARY_DIR}/wine-${target})
  file(GENERATE OUTPUT ${wrapper}
    CONTENT "#!/bin/sh\nexec ${CMAKE_CROSSCOMPILING_EMULATOR} \"$<TARGET_FILE:${target}>\" \"$@\"\n"
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  set(${out} ${wrapper} PARENT_SCOPE)
endfunction()
