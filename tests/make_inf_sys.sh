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

check "default output equals the sample's inf.sys" \
    sh -c '"$1" "$2" --output "$3/inf.sys" && cmp "$3/inf.sys" "$4/system/inf.sys"' - "$python" "$script" "$work" "$sample"
check "language 1 gives the Spanish intro" \
    sh -c 'intro=$1; printf "%s\n" "$intro" | grep -q "^Bienvenido a N0BBS"' - "$(intro_of N0SYS N0NEW:1)"
check "language 0 gives the English intro" \
    sh -c 'intro=$1; printf "%s\n" "$intro" | grep -q "^Welcome to N0BBS"' - "$(intro_of N0NEW:0 N0ESP:1)"
check "a station missing from inf.sys gets the English intro" \
    sh -c 'intro=$1; printf "%s\n" "$intro" | grep -q "^Welcome to N0BBS"' - "$(intro_of N0ESP:1)"
check "--help prints the usage and writes nothing" \
    sh -c 'cd "$3" && "$1" "$2" --help | grep -q "^usage: " && [ ! -e ./--help ]' - "$python" "$script" "$work"
check "a bad language number is refused and writes nothing" \
    sh -c '! "$1" "$2" -o "$3/bad.sys" N0NEW:300 2>/dev/null && [ ! -e "$3/bad.sys" ]' - "$python" "$script" "$work"

[ "$failures" -eq 0 ]
