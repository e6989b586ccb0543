#!/bin/sh
# check_release_tools.sh VERSION MAN_DIR MODULE TOOL... - what a release shows
# of itself: every tool's --version is "TOOL (c_filt32) VERSION", the module's
# .filter_version section reads "c_filt32 VERSION" (which filter-host --version
# reads too), and each tool's manual page
# (MAN_DIR/TOOL.1) carries VERSION and every long option its --help names.
version=$1
man_dir=$2
module=$3
shift 3
status=0

# fail - report one fault and remember that the check failed.
fail() {
  echo "FAIL: $*"
  status=1
}

module_version=$(readelf -p .filter_version "$module" 2>/dev/null | sed -n 's/^ *\[ *0\] *//p')
[ "$module_version" = "c_filt32 $version" ] ||
  fail "$module: .filter_version holds '$module_version', not 'c_filt32 $version'"

for tool in "$@"; do
  name=$(basename "$tool")
  shown=$("$tool" --version | head -1)
  [ "$shown" = "$name (c_filt32) $version" ] || fail "$name --version prints '$shown'"
  # The simulator names the release of the module it would load, too.
  if [ "$name" = filter-host ]; then
    "$tool" --version --lib "$module" | grep -qx "filter module .*: c_filt32 $version" ||
      fail "filter-host --version does not name the module's version: $("$tool" --version --lib "$module")"
  fi
  page=$man_dir/$name.1
  if [ ! -f "$page" ]; then
    fail "$name has no manual page $page"
    continue
  fi
  grep -q "^\.TH .*\"c_filt32 $version\"" "$page" || fail "$page does not carry version $version"
  for option in $("$tool" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
    roff=$(printf '%s' "$option" | sed 's/-/\\\\-/g')
    grep -q -- "$roff" "$page" || fail "$page does not describe $option, which $name --help names"
  done
done
[ $status = 0 ] && echo "version $version in the module, $# tools and their manual pages"
exit $status
