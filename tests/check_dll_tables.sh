#!/usr/bin/env bash
# check_dll_tables.sh OBJDUMP DLL - the filter DLL's tables as the host sees them:
# its export directory is named c_filt32.dll, it exports exactly svc_main and
# dll_main by their plain names, and it imports only DLLs that every Windows has,
# so that it loads beside the host without any runtime DLLs of the compiler.
# The layers that the tools' and the tests' libraries put over the system (the
# dry run, the fixed clock, the faults) must be absent: neither a symbol nor
# their names anywhere in the file.
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

symbols=$("$objdump" -t "$dll")
for layer_name in plat_test_ fault_open plat_dry_run overlay_ plat_fix_clock fixed_local_time plat_scratch_stream; do
  count=$(grep -c "$layer_name" <<<"$symbols")
  [ "$count" = 0 ] || fail "$count symbols named $layer_name"
  grep -qa "$layer_name" "$dll" && fail "the name $layer_name is in the file"
done

echo "export directory: $name"
echo "exports: $exports"
echo "imports: $(tr '\n' ' ' <<<"$imports")"
exit $status
