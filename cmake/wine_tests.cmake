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
  # filter-host reads the version of the DLL it would load from the DLL's resource.
  add_test(NAME HostSimulatorNamesTheVersionOfTheDll COMMAND filter-host --version)
  set_tests_properties(HostSimulatorNamesTheVersionOfTheDll PROPERTIES
    PASS_REGULAR_EXPRESSION "filter module [^\r\n]*c_filt32\\.dll: c_filt32 ${version_pattern}\r?\n"
    ENVIRONMENT "${WINE_TEST_ENVIRONMENT}")
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

# c_folder - a folder of Wine's drive C: for this build's tests, named by the
# build folder so that two builds sharing a Wine prefix never share it:
# its name (below C:\) and its Windows path.
function(c_folder name_out path_out what)
  string(MD5 build_hash "${CMAKE_BINARY_DIR}")
  string(SUBSTRING "${build_hash}" 0 8 build_hash)
  set(${name_out} "c_filt32-${build_hash}-${what}" PARENT_SCOPE)
  set(${path_out} "C:\\c_filt32-${build_hash}-${what}" PARENT_SCOPE)
endfunction()

# regex_of - a Windows path as a regular expression that matches it literally.
function(regex_of out text)
  string(REPLACE "\\" "\\\\" quoted "${text}")
  string(REPLACE "." "\\." quoted "${quoted}")
  set(${out} "${quoted}" PARENT_SCOPE)
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
# copies of the sample in a folder of drive C:, where a Windows sysop's BBS
# and the system's temporary folder are, named by Windows paths as a sysop
# types them: a clean check, an explanation with its dry run, one through
# MORVEL from the BBS's own folder, the paths as the sysop types them, the
# host simulator's dry run and its scratch copy, a comparison, the report of
# the sample's month (its page, and its figures against the entry lines of the
# sample's connection logs, counted here); and the copies are unchanged
# afterwards, since every run was a dry run or on a copy.
function(add_wine_tool_checks sample)
  c_folder(folder samples tool-samples)
  add_test(NAME WineToolSamples COMMAND sh ${CMAKE_SOURCE_DIR}/tests/tool_samples.sh ${sample} ${folder})
  set_tests_properties(WineToolSamples PROPERTIES FIXTURES_SETUP tool_samples ENVIRONMENT "${WINE_TEST_ENVIRONMENT}")
  set(old "${samples}\\old")
  set(new "${samples}\\new")
  set(stations "${samples}\\stations.txt")
  regex_of(old_regex "${old}")
  wine_tool_check(WineFilterCheckOnTheSample "0 errors, 5 warnings" filter-check ${old})
  wine_tool_check(WineFilterExplainListsWhatItWouldWrite
    "create morvel\\\\N0CALL1\\.TMP[\r\n]+    \\| \\(a challenge's state file for N0CALL-1, NORMAL"
    filter-explain ${old} N0CALL-1 --port 1 --count 1)
  wine_tool_check(WineFilterExplainFindsTheFilterDirectoryByMorvel "${old_regex}\\\\morvel\\\\config\\.prt:76 decides port 1"
    sh ${CMAKE_SOURCE_DIR}/tests/on_drive_c.sh ${folder}/old ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:filter-explain>
    . N0EXCL-0 --port 1)
  set_property(TEST WineFilterExplainFindsTheFilterDirectoryByMorvel APPEND PROPERTY ENVIRONMENT "MORVEL=${old}\\morvel")
  # An absolute --morvel on drive C: is read where it is, and every path is
  # printed with "\\", never behind the setup's folder nor with a "/".
  wine_tool_check(WineFilterCheckPrintsPathsAsTyped
    "filter-check: reads ${old_regex}\\\\morvel\\\\config\\.prt and ${old_regex}\\\\morvel\\\\users\\.prt \\(--morvel"
    filter-check ${old} --morvel ${old}\\morvel)
  set_tests_properties(WineFilterCheckPrintsPathsAsTyped PROPERTIES FAIL_REGULAR_EXPRESSION "/morvel|/config|/[A-Z]:|\\\\[A-Z]:")
  wine_tool_check(WineHostSimulatorDryRun "state file for N0FIX-0, FIXED"
    filter-host --dir ${old} --dry-run connect N0FIX-0)
  set_tests_properties(WineHostSimulatorDryRun PROPERTIES FAIL_REGULAR_EXPRESSION "letmein7")
  # The scratch copy goes to the system's temporary folder, on drive C: too.
  wine_tool_check(WineHostSimulatorScratchCopyOnDriveC "working on a scratch copy: C:[^\r\n]*[\r\n]+(.*[\r\n]+)*verdict 0: admitted"
    filter-host --dir ${old} --scratch --password Sesame42 connect N0CALL-1 --port 1)
  set_tests_properties(WineHostSimulatorScratchCopyOnDriveC PROPERTIES FAIL_REGULAR_EXPRESSION "cannot copy")
  wine_tool_check(WineFilterCompareListsTheChangedStation "2 stations compared, 1 would change"
    filter-compare ${old} ${new} --stations ${stations})
  set(page "${samples}\\report.html")
  wine_tool_check(WineFilterReportWritesTheSamplesPage "wrote [^\n]*report.html: [0-9]+ connections"
    filter-report --dir ${old} --out ${page})
  # Counted in the sample as the source tree holds it: the copy under test
  # differs only in its line ends.
  file(GLOB sample_logs ${CMAKE_SOURCE_DIR}/examples/bbs/morvel/logcnx/logcn*.prt)
  set(logged 0)
  foreach(log ${sample_logs})
    file(STRINGS ${log} entries REGEX "^ +[A-Za-z0-9]+ *-[0-9]+ +-?[0-9]+ +[0-9][0-9]:[0-9][0-9]:[0-9][0-9],[0-9][0-9] +[0-9][0-9]-[0-9][0-9]-[0-9]+ *$")
    list(LENGTH entries n)
    math(EXPR logged "${logged} + ${n}")
  endforeach()
  wine_tool_check(WineFilterReportCountsTheSamplesConnections "\"connections\":{\"total\":${logged},"
    filter-report --dir ${old} --json)
  add_test(NAME WineToolsWroteNothing COMMAND sh ${CMAKE_SOURCE_DIR}/tests/on_drive_c.sh ${folder} diff -r ${sample} old)
  set_tests_properties(WineToolsWroteNothing PROPERTIES FIXTURES_REQUIRED tool_samples
    DEPENDS "WineFilterCheckOnTheSample;WineFilterExplainListsWhatItWouldWrite;WineFilterExplainFindsTheFilterDirectoryByMorvel;WineFilterCheckPrintsPathsAsTyped;WineHostSimulatorDryRun;WineHostSimulatorScratchCopyOnDriveC;WineFilterCompareListsTheChangedStation;WineFilterReportWritesTheSamplesPage;WineFilterReportCountsTheSamplesConnections")
endfunction()

# add_wine_sysop_pages_checks - what a Windows sysop reads and types, run
# through Wine's cmd.exe in folders of drive C: laid out as the unpacked zip
# (the programs and DLLs of bin/, the sample with Windows line ends): the
# examples of the pages' Windows sections, the commands of READ-ME-FIRST.txt,
# and the QR codes of filter-otp.exe read back by a QR reader.
function(add_wine_sysop_pages_checks sample read_me_first)
  find_program(PYTHON3 python3 REQUIRED)
  file(GLOB pages CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/docs/*.md)
  set(bin ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
  set(emulator ${CMAKE_CROSSCOMPILING_EMULATOR})
  add_test(NAME WineDocExamples
    COMMAND ${PYTHON3} ${CMAKE_SOURCE_DIR}/tests/doc_examples.py --windows ${emulator} ${bin} ${sample} ${pages})
  add_test(NAME WineReadMeFirstCommands
    COMMAND ${PYTHON3} ${CMAKE_SOURCE_DIR}/tests/doc_examples.py --read-me-first ${emulator} ${bin} ${sample}
            ${read_me_first})
  add_test(NAME WineOtpQrCodesRead
    COMMAND ${PYTHON3} ${CMAKE_SOURCE_DIR}/tests/qr_codes.py --wine ${emulator} ${bin} ${sample})
  foreach(test WineDocExamples WineReadMeFirstCommands WineOtpQrCodesRead)
    set_tests_properties(${test} PROPERTIES PASS_REGULAR_EXPRESSION "[1-9][0-9]* passed, 0 failed"
      ENVIRONMENT "${WINE_TEST_ENVIRONMENT}")
  endforeach()
endfunction()
