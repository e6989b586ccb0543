#!/bin/sh
# setup_packages.sh - tools/setup picks, for each task, exactly the packages
# whose program or file is missing: a fake root and a PATH of fake programs
# play the machine, and --print shows the choice without installing.
#
# usage: setup_packages.sh SETUP_SCRIPT
set -u

setup=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# machine PROGRAMS FILES - a fake machine with these programs and files.
machine() {
    rm -rf "${work:?}/bin" "${work:?}/root"
    mkdir -p "$work/bin" "$work/root"
    for p in $1; do
        printf '#!/bin/sh\n' >"$work/bin/$p"
        chmod +x "$work/bin/$p"
    done
    for f in $2; do
        mkdir -p "$work/root$(dirname "$f")"
        : >"$work/root$f"
    done
}

# expect TASKS WANTED - the packages tools/setup --print names for TASKS.
expect() {
    # shellcheck disable=SC2086 # TASKS is a list of words
    got=$(SETUP_ROOT=$work/root PATH=$work/bin /bin/bash "$setup" --print $1 | tr '\n' ' ')
    if [ "$got" = "$2 " ] || { [ -z "$2" ] && [ -z "$got" ]; }; then
        echo "ok:   $1 -> ${2:-nothing}"
    else
        echo "FAIL: $1 -> \"$got\", expected \"$2\""
        failures=$((failures + 1))
    fi
}

machine "" ""
expect demo "cmake make g++ libcli11-dev libqrencode-dev"
expect tests "cmake make g++ libcli11-dev libqrencode-dev libgtest-dev python3 zbar-tools librsvg2-bin chromium"
expect "demo windows" "cmake make g++ libcli11-dev libqrencode-dev g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 googletest wine wine64 wine32:i386 python3 dpkg-dev src:qrencode zbar-tools librsvg2-bin"
expect release "cmake make g++ libcli11-dev libqrencode-dev pandoc binutils python3"
expect i686 "cmake make g++-i686-linux-gnu qemu-user googletest libcli11-dev binutils python3"

# A machine ready for the demo but without GoogleTest.
machine "cmake make g++ python3 chromium" "/usr/include/CLI/CLI.hpp /usr/include/qrencode.h"
expect demo ""
expect tests "libgtest-dev zbar-tools librsvg2-bin"
expect ci "libgtest-dev zbar-tools librsvg2-bin clang libclang-rt-14-dev libbenchmark-dev libssl-dev binutils nettle-dev"
expect i686 "g++-i686-linux-gnu qemu-user googletest binutils"

# Everything in place, the fuzzer runtime of whatever LLVM version found by pattern.
machine "cmake make g++ python3 chromium clang++ nm zbarimg rsvg-convert" "/usr/include/CLI/CLI.hpp /usr/include/qrencode.h /usr/include/gtest/gtest.h
    /usr/lib/llvm-16/lib/clang/16/lib/linux/libclang_rt.fuzzer-x86_64.a /usr/include/benchmark/benchmark.h
    /usr/include/openssl/evp.h /usr/include/nettle/md5.h"
expect ci ""

# The source of qrencode, for the Windows builds, is there once its folder is.
machine "cmake make i686-w64-mingw32-g++ x86_64-w64-mingw32-g++ python3 dpkg-source zbarimg rsvg-convert" \
    "/usr/include/CLI/CLI.hpp /usr/src/googletest/CMakeLists.txt /usr/lib/wine/wine64 /usr/lib/wine/wine"
expect windows "src:qrencode"

# Without apt-get the script names the line to give as root and fails.
machine "" ""
output=$(SETUP_ROOT=$work/root PATH=$work/bin /bin/bash "$setup" demo 2>&1)
status=$?
if [ "$status" -eq 1 ] && printf '%s\n' "$output" | grep -qx "    apt-get update && apt-get install -y cmake make g++ libcli11-dev libqrencode-dev"; then
    echo "ok:   no apt-get -> the apt-get line, status 1"
else
    echo "FAIL: no apt-get -> status $status:"
    printf '%s\n' "$output" | sed 's/^/    /'
    failures=$((failures + 1))
fi

[ "$failures" -eq 0 ]
