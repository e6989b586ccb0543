# wine_tests.cmake - the test suite of a MinGW cross build, run under Wine.
#
# GoogleTest is compiled from its sources for the target (googletest_source.cmake).
# Starting a Windows process under Wine costs far more than on Linux, so each
# test suite is one ctest entry (by --gtest_filter) instead of one process per test. A Wine that cannot
# run the program at all may still exit 0, so every entry must also print
# GoogleTest's summary of at least one passed test.
#
# Wine itself comes from the caller: WINEPREFIX set and a wineserver running
# (see .ci/windows-tests).

set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
include(${CMAKE_CURRENT_LIST_DIR}/googletest_source.cmake)
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

# windows_path - a build machine path as a sysop types it on Windows: "Z:\...".
function(windows_path out path)
  string(REPLACE "/" "\\" native "Z:${path}")
  set(${out} "${native}" PARENT_SCOPE)
endfunction()

# wine_tool_check - one run of a sysop's tool under Wine: name, the pattern its
# output must show, then the command (with WORKING_DIRECTORY and ENVIRONMENT
# given by the caller through set_tests_properties when needed).
function(wine_tool_check name pass)
  add_test(NAME ${name} COMMAND ${ARGN})
  set_tests_properties(${name} PROPERTIES
    PASS_REGULAR_EXPRESSION "${pass}"
    FIXTURES_REQUIRED tool_samples
    ENVIRONMENT "${WINE_TEST_ENVIRONMENT}")
endfunction()

# add_wine_tool_checks - the sysop's tools of this build run under Wine on
# copies of the sample, named by Windows paths as a sysop types them: a
# clean check, an explanation with its dry run, one through MORVEL and a
# relative directory, the host simulator's dry run, a comparison, the report
# of the sample's month (its page, and its figures against the entry lines of
# the sample's connection logs, counted here); and the copies are unchanged
# afterwards, since every run was a dry run.
function(add_wine_tool_checks sample)
  set(samples ${CMAKE_BINARY_DIR}/tool-samples)
  add_test(NAME WineToolSamples COMMAND sh ${CMAKE_SOURCE_DIR}/tests/tool_samples.sh ${sample} ${samples})
  set_tests_properties(WineToolSamples PROPERTIES FIXTURES_SETUP tool_samples)
  windows_path(old ${samples}/old)
  windows_path(new ${samples}/new)
  windows_path(stations ${samples}/stations.txt)
  wine_tool_check(WineFilterCheckOnTheSample "0 errors, 5 warnings" filter-check ${old})
  wine_tool_check(WineFilterExplainListsWhatItWouldWrite
    "create morvel/N0CALL1.TMP[\r\n]+    \\| \\(a challenge's state file for N0CALL-1, NORMAL"
    filter-explain ${old} N0CALL-1 --port 1 --count 1)
  wine_tool_check(WineFilterExplainFindsTheFilterDirectoryByMorvel "Z:/[^\n]*MORVEL/config.prt:76 decides port 1"
    filter-explain . N0EXCL-0 --port 1)
  set_property(TEST WineFilterExplainFindsTheFilterDirectoryByMorvel APPEND PROPERTY ENVIRONMENT "MORVEL=${old}\\morvel")
  set_tests_properties(WineFilterExplainFindsTheFilterDirectoryByMorvel PROPERTIES WORKING_DIRECTORY ${samples}/old)
  wine_tool_check(WineHostSimulatorDryRun "state file for N0FIX-0, FIXED"
    filter-host --dir ${old} --dry-run connect N0FIX-0)
  set_tests_properties(WineHostSimulatorDryRun PROPERTIES FAIL_REGULAR_EXPRESSION "letmein7")
  wine_tool_check(WineFilterCompareListsTheChangedStation "2 stations compared, 1 would change"
    filter-compare ${old} ${new} --stations ${stations})
  windows_path(page ${samples}/report.html)
  wine_tool_check(WineFilterReportWritesTheSamplesPage "wrote [^\n]*report.html: [0-9]+ connections"
    filter-report --dir ${old} --out ${page})
  file(GLOB sample_logs ${sample}/morvel/logcnx/logcn*.prt)
  set(logged 0)
  foreach(log ${sample_logs})
    file(STRINGS ${log} entries REGEX "^ +[A-Za-z0-9]+ *-[0-9]+ +-?[0-9]+ +[0-9][0-9]:[0-9][0-9]:[0-9][0-9],[0-9][0-9] +[0-9][0-9]-[0-9][0-9]-[0-9]+ *$")
    list(LENGTH entries n)
    math(EXPR logged "${logged} + ${n}")
  endforeach()
  wine_tool_check(WineFilterReportCountsTheSamplesConnections "\"connections\":{\"total\":${logged},"
    filter-report --dir ${old} --json)
  add_test(NAME WineToolsWroteNothing COMMAND diff -r ${sample} ${samples}/old)
  set_tests_properties(WineToolsWroteNothing PROPERTIES FIXTURES_REQUIRED tool_samples
    DEPENDS "WineFilterCheckOnTheSample;WineFilterExplainListsWhatItWouldWrite;WineFilterExplainFindsTheFilterDirectoryByMorvel;WineHostSimulatorDryRun;WineFilterCompareListsTheChangedStation;WineFilterReportWritesTheSamplesPage;WineFilterReportCountsTheSamplesConnections")
endfunction()
