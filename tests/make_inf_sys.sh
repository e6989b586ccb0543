#!/bin/sh
# make_inf_sys.sh - tools/make_inf_sys.py writes records the filter reads:
# a station it writes with language 1 gets the Spanish texts of the sample
# host, with language 0 the English ones. By default it writes exactly the
# sample's inf.sys; --help and a bad station write no file.
#
# usage: make_inf_sys.sh PYTHON FILTER_HOST SAMPLE_DIR
set -u

python=$1
host=$2
sample=$3
script=$(cd "$(dirname "$0")/.." && pwd)/tools/make_inf_sys.py
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# check DESCRIPTION COMMAND... - one case: the command must succeed.
check() {
    what=$1
    shift
    if "$@"; then
        echo "ok:   $what"
    else
        echo "FAIL: $what"
        failures=$((failures + 1))
    fi
}

# intro_of INF_ARGS... - the reply N0NEW-0 gets on the OPEN port with this inf.sys.
intro_of() {
    rm -rf "$work/bbs"
    cp -R "$sample" "$work/bbs"
    "$python" "$script" -o "$work/bbs/system/inf.sys" "$@" &&
        "$host" --dir "$work/bbs" connect N0NEW-0 2>&1
}

# The cases, each a function that succeeds when the script behaves.
default_is_sample() {
    "$python" "$script" --output "$work/inf.sys" && cmp "$work/inf.sys" "$sample/system/inf.sys"
}
spanish_for_language_1() {
    intro_of N0SYS N0NEW:1 | grep -q "^Bienvenido a N0BBS"
}
english_for_language_0() {
    intro_of N0NEW:0 N0ESP:1 | grep -q "^Welcome to N0BBS"
}
english_when_absent() {
    intro_of N0ESP:1 | grep -q "^Welcome to N0BBS"
}
help_writes_nothing() {
    (cd "$work" && "$python" "$script" --help | grep -q "^usage: ") && [ ! -e "$work/--help" ]
}
bad_language_writes_nothing() {
    ! "$python" "$script" -o "$work/bad.sys" N0NEW:300 2>/dev/null && [ ! -e "$work/bad.sys" ]
}

check "default output equals the sample's inf.sys" default_is_sample
check "language 1 gives the Spanish intro" spanish_for_language_1
check "language 0 gives the English intro" english_for_language_0
check "a station missing from inf.sys gets the English intro" english_when_absent
check "--help prints the usage and writes nothing" help_writes_nothing
check "a bad language number is refused and writes nothing" bad_language_writes_nothing

[ "$failures" -eq 0 ]
