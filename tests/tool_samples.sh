#!/bin/sh
# tool_samples.sh SAMPLE OUT - two copies of the sample host directory for the
# sysop's tools: OUT/old as it is, OUT/new with the wildcard N9* narrowed to
# N9Z*, and OUT/stations.txt naming a station of each.
set -eu
rm -rf "$2"
mkdir -p "$2"
cp -R "$1" "$2/old"
cp -R "$1" "$2/new"
sed 's/^N9\*$/N9Z*/' "$1/morvel/users.prt" > "$2/new/morvel/users.prt"
printf 'N9ABC-1 1\nN0CALL-1 1\n' > "$2/stations.txt"
