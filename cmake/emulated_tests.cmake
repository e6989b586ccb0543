# emulated_tests.cmake - the test suite of a Linux cross build (linux-i686.cmake),
# run under the toolchain's user-mode emulator.
#
# CMake starts the tests' own programs through CMAKE_CROSSCOMPILING_EMULATOR.
# The tests and scripts that start a program of this build by its path (the
# tools' tests, the sample sessions, the doc examples) get a folder of
# wrappers instead, one per program under the program's own name, each
# starting the real one under the emulator: the kernel may run no 32-bit
# program at all, and no binfmt_misc entry hands an i386 program to qemu on
# an x86-64 machine.

list(GET CMAKE_CROSSCOMPILING_EMULATOR 0 emulator)
find_program(FILTER_EMULATOR_PROGRAM ${emulator})
if(NOT FILTER_EMULATOR_PROGRAM)
  message(FATAL_ERROR "The emulator ${emulator} was not found: install the Debian package qemu-user "
    "(tools/setup i686 installs it), or build without the tests:\n"
    "  cmake -S . -B build-i686 -DCMAKE_TOOLCHAIN_FILE=cmake/linux-i686.cmake -DFILTER_BUILD_TESTS=OFF\n")
endif()

include(${CMAKE_CURRENT_LIST_DIR}/googletest_source.cmake)

set(EMULATED_PROGRAM_DIR ${CMAKE_BINARY_DIR}/emulated)

# emulated_program_wrappers - for each target, EMULATED_PROGRAM_DIR/NAME runs
# it under the emulator. qemu's -0 hands the program the name it was started
# by, as the kernel would, so that its messages name it as they do natively.
function(emulated_program_wrappers)
  string(REPLACE ";" " " emulator "${CMAKE_CROSSCOMPILING_EMULATOR}")
  foreach(target ${ARGN})
    file(GENERATE OUTPUT ${EMULATED_PROGRAM_DIR}/${target}
      CONTENT "#!/bin/sh\nexec ${emulator} -0 \"$0\" \"$<TARGET_FILE:${target}>\" \"$@\"\n"
      FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  endforeach()
endfunction()
