#!/bin/sh
# on_drive_c.sh FOLDER COMMAND... - run a command in the folder FOLDER of
# Wine's drive C:, as a sysop runs a tool from the BBS's own folder there.
set -eu
cd "${WINEPREFIX:-$HOME/.wine}/drive_c/$1"
shift
exec "$@"
