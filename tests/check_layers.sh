#!/bin/sh
# check_layers.sh - calls run one way: every include of the product goes to
# its own folder or to a lower layer.
#
#   filter/            may include auth/, config/, report/, common/, platform/
#   auth/              may include config/, report/, common/, platform/
#   config/, report/   may include common/, platform/ only; report/errors.cpp
#                      alone may include config/: the reporter loads the
#                      start-up file and config.prt to find the sysops
#   common/            may include platform/
#   platform/          includes only itself
#
# Nothing outside the entry includes filter/ but the tools, tests, fuzzers
# and benchmarks, which are not product folders and are not checked.
#
# Usage: check_layers.sh SOURCE_DIR; exit status 1 with one line per wrong include.

root=${1:-.}
cd "$root" || exit 2

# allowed - the folders a product folder may include from, besides its own.
allowed() {
    case $1 in
        filter) echo "auth config report common platform" ;;
        auth) echo "config report common platform" ;;
        config | report) echo "common platform" ;;
        common) echo "platform" ;;
        platform) echo "" ;;
    esac
}

status=0
for layer in filter auth config report common platform; do
    [ -d "$layer" ] || continue
    ok="$layer $(allowed $layer)"
    for file in "$layer"/*.h "$layer"/*.cpp; do
        [ -f "$file" ] || continue
        # Every quoted include that names a folder, with its line number.
        for hit in $(grep -n '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[a-z_]*/' "$file" |
                     sed 's/^\([0-9]*\):[^"]*"\([a-z_]*\)\/\([^"]*\)".*/\1:\2\/\3/'); do
            line=${hit%%:*}
            header=${hit#*:}
            target=${header%%/*}
            fine=no
            for a in $ok; do
                [ "$target" = "$a" ] && fine=yes
            done
            if [ "$file" = report/errors.cpp ] && [ "$target" = config ]; then
                fine=yes
            fi
            if [ $fine = no ]; then
                echo "$file:$line: $layer/ includes $header"
                status=1
            fi
        done
    done
done
[ $status = 0 ] && echo "layers: every include runs one way"
exit $status
