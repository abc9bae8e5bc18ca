#!/usr/bin/env bash
# Soak test of the real program under Wine (not part of scripts/test.sh):
# tests/e2e/soak.cpp drives kvstrn.exe through 300 lock-and-unlock cycles, 50
# wrong answers and 5,000 repaints of both windows, and reports the process's
# memory and its GDI and USER objects at the start and at the end. Fails when
# they grew. Runs in a private Xvfb and its own prefix (build/wine-soak);
# the output is also kept in build/soak.log.
#
#   scripts/soak.sh [CYCLES [WRONG [REPAINTS]]]
set -uo pipefail

# shellcheck source=scripts/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
cd "$KV_ROOT" || exit 1

PREFIX="$KV_BUILD/wine-soak"
cleanup() {
    kv_wine_stop "$PREFIX"
    kv_stop_xvfb
}

kv_deps || exit 1
kv_log "soak: build (build/mingw64)"
kv_build_mingw64 || exit 1
exe=$(kv_find_exe)
soak="$KV_BUILD/mingw64/e2e/soak.exe"
[ -n "$exe" ] && [ -f "$soak" ] || { kv_warn "kvstrn.exe or soak.exe was not built"; exit 1; }

trap cleanup EXIT
kv_start_xvfb || exit 1
kv_wine_template || exit 1
kv_wine_env
kv_wine_prefix "$PREFIX"
export WINEPREFIX="$PREFIX"
dir="$PREFIX/drive_c/kestrova"
mkdir -p "$dir"
cp "$exe" "$dir/kvstrn.exe"
cp "$soak" "$dir/soak.exe"

kv_log "soak: ${1:-300} cycles, ${2:-50} wrong answers, ${3:-5000} repaints"
start=$SECONDS
(cd "$dir" && wine 'C:\kestrova\soak.exe' "${1:-300}" "${2:-50}" "${3:-5000}" 2>&1 | tr -d '\r') |
    tee "$KV_BUILD/soak.log"
rc=${PIPESTATUS[0]}
echo "soak: $((SECONDS - start)) s, exit code $rc" | tee -a "$KV_BUILD/soak.log"
exit "$rc"
