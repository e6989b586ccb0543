# linux-i686.cmake - cross build of the 32-bit Linux variant (c_filt32.so, the
# tools and the test suite) with Debian's i686 cross compiler, its tests run
# by qemu-i386 in user mode. The filter is a 32-bit DLL in the host, so the
# 32-bit data model (4-byte pointers and long) must pass the suite on a
# machine whose kernel runs no 32-bit program at all: every program of this
# build, the tests' own included, is started through the emulator.
#   cmake -S . -B build-i686 -DCMAKE_TOOLCHAIN_FILE=cmake/linux-i686.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER i686-linux-gnu-g++)

# The cross compiler's own C library and its headers; nothing of the build
# machine's libraries, which are 64-bit.
set(I686_SYSROOT /usr/i686-linux-gnu)
set(CMAKE_FIND_ROOT_PATH ${I686_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The programs name the sysroot's loader and libraries themselves, so that
# qemu-i386 runs them without -L: -L would show every absolute path that also
# exists in the sysroot from there, "/" included, and a program listing "/"
# (the filter's look-up of a name in any case) would see the sysroot's. An
# RPATH, unlike a RUNPATH, also holds for the libraries' own libraries, so that
# none comes from a 32-bit multiarch library folder of the build machine.
set(I686_LIBRARIES "-Wl,--disable-new-dtags -Wl,-rpath,${I686_SYSROOT}/lib")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-Wl,--dynamic-linker=${I686_SYSROOT}/lib/ld-linux.so.2 ${I686_LIBRARIES}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${I686_LIBRARIES}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${I686_LIBRARIES}")
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-i386)
