#!/usr/bin/env bash
# Builds the Windows program (MinGW x86_64) and runs it.
#   On Windows (Git Bash, MSYS2): starts kvstrn.exe directly.
#   Elsewhere: runs it under Wine in its own prefix (build/wine-run). With a
#   display ($DISPLAY set) it stays up until you quit it; without one a
#   private Xvfb is started, a screenshot is saved to build/screenshots/run.png
#   after a few seconds, and everything is stopped again.
set -euo pipefail

# shellcheck source=scripts/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
cd "$KV_ROOT"

case "$(uname -s)" in
MINGW* | MSYS* | CYGWIN*)
    kv_log "build"
    kv_build_mingw64
    exe=$(kv_find_exe)
    [ -n "$exe" ] || { kv_warn "kvstrn.exe was not built"; exit 1; }
    exec "$exe"
    ;;
esac

kv_log "dependencies"
kv_deps
kv_log "build (MinGW x86_64)"
kv_build_mingw64
exe=$(kv_find_exe)
[ -n "$exe" ] || { kv_warn "kvstrn.exe was not built"; exit 1; }

prefix="$KV_BUILD/wine-run"
headless=0
cleanup() {
    kv_wine_stop "$prefix"
    kv_stop_xvfb
}
if [ -z "${DISPLAY:-}" ]; then
    headless=1
    trap cleanup EXIT
    kv_start_xvfb
fi

kv_wine_template
kv_wine_env
if [ ! -f "$prefix/system.reg" ]; then
    kv_wine_prefix "$prefix"
fi
export WINEPREFIX="$prefix"
# The program keeps its log file beside itself: give it a home in the prefix.
home="$prefix/drive_c/Kestrova"
mkdir -p "$home"
cp "$exe" "$home/kvstrn.exe"

kv_log "running kvstrn.exe under Wine (prefix $prefix, display $DISPLAY)"
if [ "$headless" -eq 0 ]; then
    cd "$home"
    exec wine 'C:\Kestrova\kvstrn.exe'
fi

(cd "$home" && exec wine 'C:\Kestrova\kvstrn.exe') >"$KV_BUILD/run.log" 2>&1 &
wine_pid=$!

# Wait for Wine's desktop window (or for the program to end), then give the
# program about five seconds to show its windows.
kv_poll 30 bash -c "xdotool search --name 'Wine desktop' >/dev/null 2>&1 || ! kill -0 $wine_pid 2>/dev/null" || true
start=$SECONDS
while [ $((SECONDS - start)) -lt 5 ] && kill -0 "$wine_pid" 2>/dev/null; do sleep 0.5; done

mkdir -p "$KV_BUILD/screenshots"
shot="$KV_BUILD/screenshots/run.png"
import -window root "$shot"
echo "screenshot: $shot"
if ! kill -0 "$wine_pid" 2>/dev/null; then
    wait "$wine_pid" && rc=0 || rc=$?
    echo "kvstrn.exe ended by itself (exit code $rc); its output is in $KV_BUILD/run.log"
fi
