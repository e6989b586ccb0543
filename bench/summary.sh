#!/bin/sh
# summary.sh - build the benchmark, run it twice, and print its summary tables
# with the figures of both runs as "low – high" (one figure where they agree),
# then the tools benchmark once.
#
#   bench/summary.sh [benchmark options]     e.g. --benchmark_min_time=0.2
#
# The full output of each run is kept in the directory named at the end.
set -eu
cd "$(dirname "$0")/.."
cmake --preset bench >/dev/null
nice -n 10 cmake --build build-bench -j2 --target filter_bench >/dev/null
out=$(mktemp -d /tmp/filter-bench-runs.XXXXXX)
for run in 1 2; do
    nice -n 10 build-bench/bench/filter_bench --benchmark_color=false "$@" >"$out/run$run.txt"
    sed -n '/^Summary/,$p' "$out/run$run.txt" >"$out/summary$run.txt"
done
awk -F'|' -v OFS='|' '
    function numeric(s) { return s ~ /^ *-?[0-9]+(\.[0-9]+)? *$/ }
    function trim(s) { gsub(/^ +| +$/, "", s); return s }
    NR == FNR { first[FNR] = $0; next }
    {
        n = split(first[FNR], a, "|")
        if (n != NF) { print; next }
        for (i = 1; i <= NF; i++) {
            x = trim(a[i]); y = trim($i)
            if (numeric(x) && numeric(y) && x != y)
                $i = " " (x + 0 < y + 0 ? x " – " y : y " – " x) " "
        }
        print
    }' "$out/summary1.txt" "$out/summary2.txt"

# The sysop's tools, as whole processes: filter-check's growth with the
# entries of users.prt, and filter-compare's time for 1,000 stations.
nice -n 10 cmake --build build-bench -j2 --target tools_bench >/dev/null
echo
echo "Tools (wall time of one run; child_cpu_s its CPU time; BigO the fit of the growth)"
nice -n 10 build-bench/bench/tools_bench --benchmark_color=false | tee "$out/tools.txt" | sed -n '/^BM_/p'
echo
echo "both runs in full: $out"
