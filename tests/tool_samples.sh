#!/bin/sh
# tool_samples.sh SAMPLE FOLDER - two copies of the sample host directory for
# the sysop's tools, in the folder FOLDER of Wine's drive C: (where a
# Windows sysop's BBS is): FOLDER/old as it is, FOLDER/new with the wildcard
# N9* narrowed to N9Z*, and FOLDER/stations.txt naming a station of each.
set -eu
out=${WINEPREFIX:-$HOME/.wine}/drive_c/$2
rm -rf "$out"
mkdir -p "$out"
cp -R "$1" "$out/old"
cp -R "$1" "$out/new"
sed 's/^N9\*\(\r\{0,1\}\)$/N9Z*\1/' "$1/morvel/users.prt" > "$out/new/morvel/users.prt"
printf 'N9ABC-1 1\nN0CALL-1 1\n' > "$out/stations.txt"
