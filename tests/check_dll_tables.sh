#!/usr/bin/env bash
# check_dll_tables.sh OBJDUMP DLL - the filter DLL's tables as the host sees them:
# its export directory is named c_filt32.dll, it exports exactly svc_main and
# dll_main by their plain names, and it imports only DLLs that every Windows has,
# so that it loads beside the host without any runtime DLLs of the compiler.
# The test hooks of the library (plat_test_*) must be absent: neither a symbol
# nor their names anywhere in the file.
set -u
objdump=$1
dll=$2
status=0

tables=$("$objdump" -p "$dll") || { echo "cannot read $dll"; exit 1; }

# fail - report one fault and remember that the check failed.
fail() {
  echo "FAIL: $*"
  status=1
}

name=$(awk '/^The Export Tables/ { in_exports = 1 } in_exports && $1 == "Name" { print $NF; exit }' <<<"$tables")
[ "$name" = "c_filt32.dll" ] || fail "export directory name is '$name', not c_filt32.dll"

exports=$(awk '/\[Ordinal\/Name Pointer\] Table/ { in_names = 1; next }
               in_names && /^[ \t]*\[ *[0-9]+\]/ { print $NF; next }
               in_names { exit }' <<<"$tables" | sort | tr '\n' ' ')
[ "$exports" = "dll_main svc_main " ] || fail "exports are '$exports', not exactly dll_main and svc_main"

imports=$(awk '/DLL Name:/ { print $3 }' <<<"$tables" | sort -u)
[ -n "$imports" ] || fail "no import table found"
for dll_name in $imports; do
  case "${dll_name,,}" in
    kernel32.dll | msvcrt.dll | user32.dll | advapi32.dll | ntdll.dll | api-ms-win-*) ;;
    *) fail "imports $dll_name, which a host machine may lack" ;;
  esac
done

hook_symbols=$("$objdump" -t "$dll" | grep -c 'plat_test_')
[ "$hook_symbols" = 0 ] || fail "$hook_symbols symbols of the test hooks"
grep -qa 'plat_test_' "$dll" && fail "the names of the test hooks are in the file"

echo "export directory: $name"
echo "exports: $exports"
echo "imports: $(tr '\n' ' ' <<<"$imports")"
exit $status
