#!/usr/bin/env bash
# Measures kvstrn.exe under Wine in a private Xvfb against small floor
# programs (bench/) and prints one table:
#   start      process start to the first visible window, against a bare
#              window, and the bare window against a copy of itself (A/A)
#   F12        F12 in the main window to a lock screen that is painted,
#              topmost and holds the pointer on "&Enter"
#   CPU        CPU time of the locked program and of its wineserver over
#              30 s, read from /proc, against the guard floor
#   log load   the time 10,000 log records add to the main window's load,
#              against a sorted list box that takes the same lines
#   away       the idle lock after its limit, and the suspend message to a
#              lock screen that is painted, topmost and holds the pointer
#   fight      a window raising itself every 10 ms (SetForegroundWindow,
#              topmost) for 5 s over the lock while letters are sent: the
#              share of time the lock is on top holding the pointer, the
#              pointer free, letters that reached the window
#   memory     resident set while locked, against the guard floor
#   size       bytes of kvstrn.exe
# kvstrn.exe is the shipped one: built as scripts/release.sh builds it, in
# build/release/win64 (MinSizeRel, stripped); the floors and the driver come
# from build/mingw64, the tests' build of the same configuration.
# Not part of scripts/test.sh: figures depend on the machine and its load.
#
# Wall-clock figures are medians of interleaved runs; the CPU figure of the
# start is read from /proc (schedstat) when the window shows.
#
# Environment: KV_BENCH_ROUNDS (start launches per program, 31),
# KV_BENCH_F12 (F12 rounds, 20), KV_BENCH_CPU_SECONDS (30), KV_BENCH_CPU_ROUNDS
# (2, each program in turn),
# KV_BENCH_LOG_ROUNDS (log-load launches per case, 15), KV_BENCH_AWAY (idle
# and suspend rounds, 10), KV_BENCH_FIGHT (fight rounds, 3), KV_BENCH_ONLY (a
# blank-separated subset of: start f12 away fight cpu log).
set -uo pipefail

# shellcheck source=scripts/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
cd "$KV_ROOT" || exit 1

ROUNDS=${KV_BENCH_ROUNDS:-31}
F12_ROUNDS=${KV_BENCH_F12:-20}
CPU_SECONDS=${KV_BENCH_CPU_SECONDS:-30}
CPU_ROUNDS=${KV_BENCH_CPU_ROUNDS:-3}
LOG_ROUNDS=${KV_BENCH_LOG_ROUNDS:-15}
LOG_RECORDS=10000
AWAY_ROUNDS=${KV_BENCH_AWAY:-10}
FIGHT_ROUNDS=${KV_BENCH_FIGHT:-3}
FIGHT_SECONDS=5
ONLY=" ${KV_BENCH_ONLY:-start f12 away fight cpu log} "
BENCH="$KV_BUILD/bench-run"
MAIN="$BENCH/prefix-main"
FLOOR="$BENCH/prefix-floor"
DIR_IN_PREFIX="drive_c/kvbench"
WIN_DIR='C:\kvbench'
HZ=$(getconf CLK_TCK)

wanted() { [[ "$ONLY" == *" $1 "* ]]; }

cleanup() {
    kv_wine_stop "$MAIN"
    kv_wine_stop "$FLOOR"
    kv_stop_xvfb
}

# driver PREFIX ARGS...: runs the benchmark driver in PREFIX.
driver() {
    local prefix=$1
    shift
    (cd "$prefix/$DIR_IN_PREFIX" && WINEPREFIX="$prefix" wine "$WIN_DIR\\bench_driver.exe" "$@" |
        tr -d '\r')
}

# --- figures ---------------------------------------------------------------------

# stats FILE NAME: "median min count" of the figures named NAME in FILE.
stats() {
    awk -v n="$2" '$1 == n { print $2 }' "$1" | sort -g | awk '
        { v[NR] = $1 }
        END {
            if (NR == 0) { print "- - 0"; exit }
            m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
            printf "%.1f %.1f %d\n", m, v[1], NR
        }'
}

# quartile FILE NAME: the lower quartile of the figures named NAME in FILE.
quartile() {
    awk -v n="$2" '$1 == n { print $2 }' "$1" | sort -g | awk '
        { v[NR] = $1 }
        END { if (NR == 0) print "-"; else printf "%.1f\n", v[int((NR - 1) / 4) + 1] }'
}

# gap A B: "difference median(A) median(B)" of the figures named A and B.
gap() {
    local a b
    read -r a _ _ <<<"$(stats "$RAW" "$1")"
    read -r b _ _ <<<"$(stats "$RAW" "$2")"
    awk -v a="$a" -v b="$b" 'BEGIN { printf "%.1f %s %s\n", a - b, a, b }'
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0 && a != "-") printf "%.2f", a / b; else print "-" }'; }

ROWS=()
row() { ROWS+=("$(printf '| %s | %s | %s | %s | %s |' "$@")"); }

# --- programs and prefixes -----------------------------------------------------------

build() {
    kv_build_release win64 || return 1
    kv_cmake_configure "$KV_BUILD/mingw64" "${KV_MINGW64_ARGS[@]}" || return 1
    cmake --build "$KV_BUILD/mingw64" --target kv_bench -j "$(nproc)"
}

# prepare_prefix PREFIX: a fresh prefix with the programs in C:\kvbench.
prepare_prefix() {
    local prefix=$1 out="$KV_BUILD/mingw64" d
    kv_wine_prefix "$prefix"
    d="$prefix/$DIR_IN_PREFIX"
    mkdir -p "$d/kv0" "$d/kv10k"
    cp "$(kv_find_exe "$KV_BUILD/release/win64")" "$d/kvstrn.exe"
    cp "$d/kvstrn.exe" "$d/kv0/kvstrn.exe"
    cp "$d/kvstrn.exe" "$d/kv10k/kvstrn.exe"
    cp "$out/bench/bench_driver.exe" "$out/bench/bare_window.exe" "$out/bench/guard_floor.exe" \
        "$out/bench/list_floor.exe" "$d/"
    cp "$d/bare_window.exe" "$d/bare_copy.exe"
    : >"$d/kv0/klingon2"
    : >"$d/empty.txt"
    # Start the prefix's wineserver and desktop now, not inside a figure.
    WINEPREFIX="$prefix" wine cmd /c exit >/dev/null 2>&1
}

# --- CPU and memory of a program left running ----------------------------------------

# Linux pids of PREFIX's processes whose command line contains TEXT.
pids_of() {
    local prefix=$1 text=$2 p
    for p in /proc/[0-9]*; do
        { tr '\0' '\n' <"$p/environ" | grep -qx "WINEPREFIX=$prefix"; } 2>/dev/null || continue
        { tr '\0' ' ' <"$p/cmdline" | grep -qF -- "$text"; } 2>/dev/null || continue
        echo "${p#/proc/}"
    done
}

# CPU ticks (user + system) of the pids given.
ticks() {
    local sum=0 p t
    for p in "$@"; do
        # Fields after the command name, which may hold blanks.
        t=$(sed 's/^.*) //' "/proc/$p/stat" 2>/dev/null | awk '{ print $12 + $13 }')
        sum=$((sum + ${t:-0}))
    done
    echo "$sum"
}

rss_kib() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status" 2>/dev/null; }

# hold_and_measure PREFIX EXE CLASS: "program_ticks server_ticks others_ticks rss_kib".
hold_and_measure() {
    local prefix=$1 exe=$2 cls=$3 prog server others all a0 s0 o0 a1 s1 o1 rss
    # Not through a pipe: the program left running would hold it open.
    (cd "$prefix/$DIR_IN_PREFIX" &&
        WINEPREFIX="$prefix" wine "$WIN_DIR\\bench_driver.exe" hold "$exe" "$cls" \
            </dev/null >/dev/null 2>&1) || return 1
    prog=$(pids_of "$prefix" "$exe" | head -n1)
    server=$(for p in $(pids_of "$prefix" wineserver); do
        readlink "/proc/$p/exe" | grep -q wineserver && echo "$p"
    done | head -n1)
    [ -n "$prog" ] && [ -n "$server" ] || { kv_warn "no pid for $exe or its wineserver"; return 1; }
    all=$(pids_of "$prefix" "")
    others=$(for p in $all; do [ "$p" != "$prog" ] && [ "$p" != "$server" ] && echo "$p"; done)
    # The prefix's services start with its wineserver and go on working for
    # some seconds; their calls to the server would count in the figure.
    sleep 10
    a0=$(ticks "$prog")
    s0=$(ticks "$server")
    # shellcheck disable=SC2086
    o0=$(ticks $others)
    sleep "$CPU_SECONDS"
    a1=$(ticks "$prog")
    s1=$(ticks "$server")
    # shellcheck disable=SC2086
    o1=$(ticks $others)
    rss=$(rss_kib "$prog")
    kv_wine_stop "$prefix"
    echo "$((a1 - a0)) $((s1 - s0)) $((o1 - o0)) $rss"
}

# --- main ------------------------------------------------------------------------------

kv_log "dependencies"
kv_deps || exit 1
kv_log "build (MinGW x86_64): kvstrn.exe and the benchmark programs"
build || { kv_warn "build failed"; exit 1; }

trap cleanup EXIT
kv_start_xvfb || exit 1
# A desktop session loads X resources at log-in; a bare Xvfb has none, and
# then Xlib looks for ~/.Xdefaults on disk at every XGetDefault, which Wine's
# X11 driver calls each time a font is selected: hundreds of file look-ups
# for every window shown, for the floors and the program alike. One
# resource that nothing reads stands in for the session's.
xprop -root -f RESOURCE_MANAGER 8s -set RESOURCE_MANAGER "$(printf 'kvbench.session:\t1\n')" ||
    kv_warn "could not set the X resources; figures will include Xlib's file look-ups"
kv_wine_template || exit 1
kv_wine_env
mkdir -p "$BENCH"
prepare_prefix "$MAIN"
prepare_prefix "$FLOOR"
RAW="$BENCH/figures.txt"
: >"$RAW"
LOAD_BEFORE=$(cut -d' ' -f1-3 /proc/loadavg)

if wanted start; then
    kv_log "start: $ROUNDS launches each, interleaved"
    driver "$MAIN" prepare-lock || exit 1
    driver "$MAIN" start "$ROUNDS" bare_window.exe KvBenchBare kvstrn.exe KvfrmSplash \
        bare_copy.exe KvBenchBare | tee -a "$RAW" | awk '{ printf "." } END { print "" }'
    read -r bm bmin bn <<<"$(stats "$RAW" bare_window.exe)"
    read -r km kmin kn <<<"$(stats "$RAW" kvstrn.exe)"
    read -r cm cmin cn <<<"$(stats "$RAW" bare_copy.exe)"
    row "Start: process start to first visible window, median (min), $kn launches" \
        "$km ms ($kmin)" "$bm ms ($bmin) bare window" "$(ratio "$km" "$bm")" "≤ 1.15"
    row "Start A/A: a copy of the bare window, median (min), $cn launches" \
        "—" "$cm ms ($cmin) copy vs $bm ms" "$(ratio "$cm" "$bm")" "noise"
    # CPU time is steadier than wall time on a busy machine.
    read -r kc kcmin _ <<<"$(stats "$RAW" kvstrn.exe:cpu)"
    read -r bc bcmin _ <<<"$(stats "$RAW" bare_window.exe:cpu)"
    row "Start: CPU time of the process until its window shows, median (min)" \
        "$kc ms ($kcmin)" "$bc ms ($bcmin) bare window" "$(ratio "$kc" "$bc")" "—"
    # On a shared machine a launch that meets another's work runs about twice
    # as long, and how many do moves the median; the lower quartile is the
    # launches that met none.
    kq=$(quartile "$RAW" kvstrn.exe) bq=$(quartile "$RAW" bare_window.exe)
    cq=$(quartile "$RAW" bare_copy.exe)
    kcq=$(quartile "$RAW" kvstrn.exe:cpu) bcq=$(quartile "$RAW" bare_window.exe:cpu)
    row "Start, lower quartile: to the window / CPU time (A/A: the copy's to the window)" \
        "$kq ms / $kcq ms" "$bq ms / $bcq ms bare window (copy $cq ms)" \
        "$(ratio "$kq" "$bq") / $(ratio "$kcq" "$bcq") (A/A $(ratio "$cq" "$bq"))" "—"
fi

if wanted f12; then
    kv_log "F12 to a holding lock: $F12_ROUNDS presses"
    driver "$MAIN" prepare-lock || exit 1
    driver "$MAIN" f12 "$F12_ROUNDS" | tee -a "$RAW" | awk '{ printf "." } END { print "" }'
    read -r fm fmin fn <<<"$(stats "$RAW" f12)"
    read -r fpm fpmin _ <<<"$(stats "$RAW" f12:painted)"
    read -r fgm fgmin _ <<<"$(stats "$RAW" f12:guarded)"
    row "F12 to a painted, topmost lock holding the pointer, median (min) of $fn" \
        "$fm ms ($fmin)" "—" "—" "≤ 50 ms"
    row "F12: of which to the lock painted / to topmost with the pointer held" \
        "$fpm ms ($fpmin) / $fgm ms ($fgmin)" "—" "—" "—"
    kv_wine_stop "$MAIN"
fi

if wanted away; then
    kv_log "walk-away locks: $AWAY_ROUNDS rounds of a suspend message and 2 s without input"
    driver "$MAIN" away "$AWAY_ROUNDS" | tee -a "$RAW" | awk '{ printf "." } END { print "" }'
    read -r im imin in <<<"$(stats "$RAW" idle)"
    read -r sm smin sn <<<"$(stats "$RAW" suspend)"
    row "Idle lock: from the limit (2 s after the last input) to a painted lock holding the pointer, median (min) of $in" \
        "$im ms ($imin)" "—" "—" "≤ 1,500 ms"
    row "Suspend message to a painted, topmost lock holding the pointer, median (min) of $sn" \
        "$sm ms ($smin)" "—" "—" "as F12"
    kv_wine_stop "$MAIN"
fi

if wanted fight; then
    kv_log "a window raising itself every 10 ms for ${FIGHT_SECONDS} s: $FIGHT_ROUNDS rounds"
    driver "$MAIN" prepare-lock || exit 1
    driver "$MAIN" aggressor "$FIGHT_ROUNDS" "$FIGHT_SECONDS" | tee -a "$RAW" |
        awk '/^fight_after/ { printf "." } END { print "" }'
    read -r hm hmin hn <<<"$(stats "$RAW" fight_held)"
    read -r pm _ _ <<<"$(stats "$RAW" fight_free)"
    read -r km _ _ <<<"$(stats "$RAW" fight_keys)"
    after=$(awk '$1 == "fight_after" { n += $2; c++ } END { printf "%d of %d", n, c }' "$RAW")
    row "Fight: lock on top holding the pointer / pointer free, % of samples, median of $hn (min held $hmin)" \
        "$hm % / $pm %" "—" "—" "≥ 95 % / ≤ 1 %"
    row "Fight: letters that reached the raising window, median; rounds with the lock on top within 1 s after" \
        "$km; $after" "—" "—" "0; all"
    kv_wine_stop "$MAIN"
fi

if wanted cpu; then
    kv_log "CPU and memory while locked: ${CPU_SECONDS} s each, one prefix each"
    driver "$MAIN" prepare-lock || exit 1
    # In turn, CPU_ROUNDS times each; the round with the fewest ticks of
    # program and server counts, as the one least disturbed by the machine.
    kt=-1 ft=-1
    for _ in $(seq "$CPU_ROUNDS"); do
        read -r p s o r <<<"$(hold_and_measure "$MAIN" kvstrn.exe KvForm4)" || exit 1
        echo "cpu kvstrn=$p server=$s others=$o rss=$r" | tee -a "$RAW"
        if [ "$kt" -lt 0 ] || [ $((p + s)) -lt "$kt" ]; then
            kt=$((p + s)) kp=$p ks=$s ko=$o krss=$r
        fi
        read -r p s o r <<<"$(hold_and_measure "$FLOOR" guard_floor.exe KvBenchGuard)" || exit 1
        echo "cpu floor=$p server=$s others=$o rss=$r" | tee -a "$RAW"
        if [ "$ft" -lt 0 ] || [ $((p + s)) -lt "$ft" ]; then
            ft=$((p + s)) fp=$p fs=$s fo=$o frss=$r
        fi
    done
    share() { awk -v t="$1" -v hz="$HZ" -v s="$CPU_SECONDS" 'BEGIN { printf "%.2f%%", 100 * t / hz / s }'; }
    row "CPU while locked, ${CPU_SECONDS} s, least of $CPU_ROUNDS: process + wineserver ticks (share of one core)" \
        "$kp + $ks = $((kp + ks)) ($(share $((kp + ks))))" \
        "$fp + $fs = $((fp + fs)) ($(share $((fp + fs)))) guard floor" \
        "$(ratio $((kp + ks)) $((fp + fs)))" "≤ 1.1"
    row "CPU while locked: the prefix's other Wine processes (desktop, services)" \
        "$ko ticks" "$fo ticks" "—" "—"
    row "Memory while locked: resident set (VmRSS)" "$((krss / 1024)) MiB ($krss KiB)" \
        "$((frss / 1024)) MiB ($frss KiB) guard floor" "$(ratio "$krss" "$frss")" "≤ 1.5"
fi

if wanted log; then
    kv_log "log load: $LOG_RECORDS records, $LOG_ROUNDS launches per case"
    driver "$MAIN" prepare-log "$LOG_RECORDS" 'kv10k\klingon2' lines10k.txt || exit 1
    driver "$MAIN" start "$LOG_ROUNDS" 'kv10k\kvstrn.exe' KvForm1 'kv0\kvstrn.exe' KvForm1 \
        list_floor.exe@lines10k.txt KvBenchList list_floor.exe@empty.txt KvBenchList |
        tee -a "$RAW" | awk '{ printf "." } END { print "" }'
    read -r kd k10 k0 <<<"$(gap 'kv10k\kvstrn.exe' 'kv0\kvstrn.exe')"
    read -r ld l10 l0 <<<"$(gap list_floor.exe@lines10k.txt list_floor.exe@empty.txt)"
    row "Log load: what $LOG_RECORDS records add to the start to the main window, medians" \
        "$kd ms ($k10 − $k0)" "$ld ms ($l10 − $l0) list box" "$(ratio "$kd" "$ld")" "≤ 2"
    read -r kd k10 k0 <<<"$(gap 'kv10k\kvstrn.exe:cpu' 'kv0\kvstrn.exe:cpu')"
    read -r ld l10 l0 <<<"$(gap list_floor.exe@lines10k.txt:cpu list_floor.exe@empty.txt:cpu)"
    row "Log load: the same in CPU time of the process, medians" \
        "$kd ms ($k10 − $k0)" "$ld ms ($l10 − $l0) list box" "$(ratio "$kd" "$ld")" "—"
fi

exe="$MAIN/$DIR_IN_PREFIX/kvstrn.exe"
row "Size of kvstrn.exe as shipped (MinSizeRel, stripped)" \
    "$(stat -c %s "$exe") bytes" \
    "$(stat -c %s "$MAIN/$DIR_IN_PREFIX/bare_window.exe") bytes bare window" "—" "—"

echo
echo "Kestrova benchmarks, $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "Machine: $(nproc) cores, $(awk -F': ' '/model name/ { print $2; exit }' /proc/cpuinfo)," \
    "$(wine --version); load average before: $LOAD_BEFORE, after: $(cut -d' ' -f1-3 /proc/loadavg)"
echo
echo "| Measure | kvstrn.exe | Floor | Ratio | Goal |"
echo "|---|---|---|---|---|"
printf '%s\n' "${ROWS[@]}"
echo
echo "Raw figures: $RAW"
