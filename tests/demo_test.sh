#!/bin/sh
# demo_test.sh - the README's demo plays its whole session and explains each
# part just before it: the challenge before the challenge's reply, the answer
# before the answer line, and so on, with the two NEW USER notices it
# explains; and it ends with the page of the sample's month (a browser shows
# that page in tests/report_browser.py).
#
# usage: demo_test.sh DEMO FILTER_HOST
set -u

output=$("$1" "$2" 2>&1)
status=$?
failures=0
[ "$status" -eq 0 ] || { echo "FAIL: the demo ended with status $status"; failures=$((failures + 1)); }

# Each heading and the first line of its part, in the order they must come.
previous=0
while IFS='|' read -r heading part; do
    at=$(printf '%s\n' "$output" | grep -n -m1 -F -- "$heading" | cut -d: -f1)
    next=$(printf '%s\n' "$output" | sed -n "$((${at:-0} + 1)),\$p" | grep -v '^   ' | head -n 1)
    if [ -z "$at" ] || [ "$at" -le "$previous" ] || [ "${next#"$part"}" = "$next" ]; then
        echo "FAIL: \"$heading\" missing, out of order or not followed by \"$part\""
        failures=$((failures + 1))
    else
        echo "ok:   \"$heading\" before \"$part\""
        previous=$at
    fi
done <<'PARTS'
== The challenge|---- reply to the caller
== The answer|answer> 
== The verdict|---- reply to the caller
== The log|==== morvel/logcnx/logcn
== The mails|==== mail/mail.in
== The report|filter-report: wrote
PARTS

for want in "verdict 0: admitted" "N0CALL-1          1 "; do
    printf '%s\n' "$output" | grep -q -F -- "$want" || { echo "FAIL: no \"$want\""; failures=$((failures + 1)); }
done
page=$(dirname "$2")/sample-report.html
grep -q '<svg id="chart-connections-per-day"' "$page" 2>/dev/null ||
    { echo "FAIL: $page holds no chart of the month"; failures=$((failures + 1)); }
notices=$(printf '%s\n' "$output" | grep -c '^NEW USER$')
[ "$notices" -eq 2 ] || { echo "FAIL: $notices NEW USER notices, the demo explains two"; failures=$((failures + 1)); }

[ "$failures" -eq 0 ] || printf '%s\n' "$output" | sed 's/^/    /'
[ "$failures" -eq 0 ]
