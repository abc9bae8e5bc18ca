#!/usr/bin/env bash
# Builds everything and runs every test suite:
#   native   unit tests (Debug) through ctest
#   asan     the same with address and undefined-behaviour sanitizers
#   fuzz     each libFuzzer target replays its corpus (tests/fuzz/corpus)
#   mingw64  the Windows program and its test programs (x86_64), in the
#            shipped configuration, and its packages: size and contents
#   wine     store_wine_tests.exe and e2e_tests.exe under Wine in a private
#            Xvfb (with the events the program reported to the event log),
#            then install_tests.exe with the setup program and the MSI
#            package in a prefix of its own
#   signing  a copy of the packages signed with a throwaway certificate
#   mingw32  the Windows program (i686) and its packages, built and looked
#            into, not run
# Ends with a summary whose last line reads "N passed, M failed" and exits
# non-zero when anything failed.
#
# Environment: KV_GTEST_FILTER, a GoogleTest filter for both Wine programs
# (e.g. 'Lock.*:StoreWine.*'); KV_WINE_TIMEOUT, seconds per Wine program.
set -uo pipefail

# shellcheck source=scripts/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
cd "$KV_ROOT" || exit 1

RESULTS="$KV_BUILD/test-results"
SHOTS="$KV_BUILD/screenshots/e2e"
WINE_RUN="$KV_BUILD/wine-test"
WINE_INSTALL="$KV_BUILD/wine-install"
WINE_TIMEOUT=${KV_WINE_TIMEOUT:-300}

START=$SECONDS
STAGE_NAMES=()
STAGE_STATUS=()
PASSED=0
FAILED=0

record() {  # record NAME ok|FAILED|skipped [note]
    STAGE_NAMES+=("$1")
    STAGE_STATUS+=("$2${3:+ ($3)}")
}

# Reads tests/failures/errors/disabled/skipped from the root element of a
# GoogleTest or ctest JUnit XML file and prints "passed failed".
count_xml() {
    local head
    [ -f "$1" ] || return 1
    # The root element's attributes may span lines (ctest) or not (GoogleTest).
    head=$(head -c 8192 "$1" | tr '\n\t' '  ' | grep -o '<testsuites\? [^>]*>' | head -n1)
    [ -n "$head" ] || return 1
    attr() { sed -n "s/.* $1=\"\([0-9]*\)\".*/\1/p" <<<"$head"; }
    local tests failures errors disabled skipped
    tests=$(attr tests)
    failures=$(attr failures)
    errors=$(attr errors)
    disabled=$(attr disabled)
    skipped=$(attr skipped)
    [ -n "$tests" ] || return 1
    local failed=$((${failures:-0} + ${errors:-0}))
    echo "$((tests - failed - ${disabled:-0} - ${skipped:-0})) $failed"
}

# Adds a suite's XML results to the totals. A suite that failed without a
# failing test in its results (crash, time-out, no results) counts one failure.
tally() {  # tally NAME XML EXIT_CODE
    local name=$1 xml=$2 rc=$3 counts p f
    if counts=$(count_xml "$xml"); then
        read -r p f <<<"$counts"
    else
        p=0 f=0
    fi
    if [ "$rc" -ne 0 ] && [ "$f" -eq 0 ]; then
        f=1
        record "$name" FAILED "exit code $rc, $p passed, no failing test reported"
    elif [ "$rc" -ne 0 ] || [ "$f" -ne 0 ]; then
        record "$name" FAILED "$p passed, $f failed"
    else
        record "$name" ok "$p passed"
    fi
    PASSED=$((PASSED + p))
    FAILED=$((FAILED + f))
}

build_failed() {  # build_failed NAME
    record "$1" FAILED "build failed"
    FAILED=$((FAILED + 1))
}

# --- native and sanitizer unit tests -------------------------------------------

native_suite() {  # native_suite NAME DIR [cmake args...]
    local name=$1 dir=$2
    shift 2
    kv_log "$name: build ($dir)"
    if ! kv_cmake_build "$dir" -DCMAKE_BUILD_TYPE=Debug "$@"; then
        build_failed "$name build"
        return
    fi
    record "$name build" ok
    kv_log "$name: unit tests"
    local xml="$RESULTS/$name.xml" rc=0
    (cd "$dir" && ctest --output-on-failure --timeout 120 -j "$(nproc)" --output-junit "$xml") ||
        rc=$?
    tally "$name unit tests" "$xml" "$rc"
}

# --- fuzz corpus replay ---------------------------------------------------------

fuzz_suite() {
    local dir="$KV_BUILD/fuzz" xml="$RESULTS/fuzz.xml" rc=0
    kv_log "fuzz: build ($dir)"
    if ! kv_cmake_build "$dir" -DKV_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo; then
        build_failed "fuzz build"
        return
    fi
    record "fuzz build" ok
    kv_log "fuzz: corpus replay"
    (cd "$dir" && ctest --output-on-failure --timeout 300 --output-junit "$xml") || rc=$?
    tally "fuzz corpus replay" "$xml" "$rc"
}

# --- Wine suite ------------------------------------------------------------------

wine_cleanup() {
    kv_wine_stop "$WINE_RUN"
    kv_wine_stop "$WINE_INSTALL"
    kv_stop_xvfb
}

# run_wine_program NAME [PREFIX FOLDER]: runs C:\FOLDER\NAME.exe (FOLDER
# "kestrova" in $WINE_RUN unless given), with its results and screenshots in
# results\ and shots\ beside it.
run_wine_program() {
    local name=$1 prefix=${2:-$WINE_RUN} folder=${3:-kestrova} rc=0
    local win="C:\\$folder"
    local filter=()
    [ -n "${KV_GTEST_FILTER:-}" ] && filter=(--gtest_filter="$KV_GTEST_FILTER")
    kv_log "wine: $name.exe"
    # The whole output, Wine's debug channels included, is kept in
    # results/NAME.log; the console shows it without the event log's lines.
    (cd "$prefix/drive_c/$folder" &&
        WINEPREFIX="$prefix" KV_SHOT_DIR="$win\\shots" timeout -k 10 "$WINE_TIMEOUT" \
            wine "$win\\$name.exe" --gtest_output="xml:$win\\results\\$name.xml" "${filter[@]}" 2>&1 |
        tr -d '\r' | tee "$RESULTS/$name.log" | grep -v -e ':eventlog:' -e ':advapi:') || rc=$?
    [ "$rc" -eq 124 ] && kv_warn "$name.exe timed out after ${WINE_TIMEOUT}s"
    cp "$prefix/drive_c/$folder/results/$name.xml" "$RESULTS/$name.xml" 2>/dev/null
    tally "wine $name" "$RESULTS/$name.xml" "$rc"
}

wine_suite() {
    local exe e2e="$KV_BUILD/mingw64/e2e"
    exe=$(kv_find_exe)
    if [ -z "$exe" ]; then
        record "wine" FAILED "kvstrn.exe was not built"
        FAILED=$((FAILED + 1))
        return
    fi
    kv_log "wine: X server and prefix"
    trap wine_cleanup EXIT
    if ! kv_start_xvfb || ! kv_wine_template; then
        record "wine setup" FAILED "Xvfb or the Wine prefix could not be prepared"
        FAILED=$((FAILED + 1))
        wine_cleanup
        return
    fi
    kv_wine_env
    kv_wine_prefix "$WINE_RUN"
    export WINEPREFIX="$WINE_RUN"
    local dir="$WINE_RUN/drive_c/kestrova"
    mkdir -p "$dir/results" "$dir/shots"
    cp "$exe" "$dir/kvstrn.exe"
    # The stand-in URL handler of the Help menu tests (tests/e2e/recorder.cpp).
    cp "$e2e/recorder.exe" "$dir/" 2>/dev/null || kv_warn "recorder.exe was not built"

    local t
    for t in store_wine_tests e2e_tests; do
        if [ -f "$e2e/$t.exe" ]; then
            cp "$e2e/$t.exe" "$dir/"
            # Wine's ReportEventW prints the event's id (advapi) and its
            # strings (eventlog) on the standard error of the programs.
            if [ "$t" = e2e_tests ]; then
                WINEDEBUG=-all,+eventlog,fixme+advapi run_wine_program "$t"
                eventlog_suite "$RESULTS/$t.log"
                session_lock_suite "$RESULTS/$t.log"
            else
                run_wine_program "$t"
            fi
        else
            record "wine $t" FAILED "$t.exe was not built"
            FAILED=$((FAILED + 1))
        fi
    done

    install_suite

    rm -rf "$SHOTS"
    mkdir -p "$SHOTS"
    local bmp
    for bmp in "$dir"/shots/*.bmp "$WINE_INSTALL"/drive_c/kestrova-setup/shots/*.bmp; do
        [ -f "$bmp" ] || continue
        convert "$bmp" "$SHOTS/$(basename "${bmp%.bmp}").png" || kv_warn "could not convert $bmp"
    done
    wine_cleanup
    trap - EXIT
}

# The events kvstrn.exe reported under Wine, test by test, as "ID/TYPE=TEXT"
# (TYPE 1 error, 2 warning, 4 information), from the output of e2e_tests.exe:
# the tests below report these first (a test may end before the program
# reports its last lock), and no event of any test carries anything but a
# count, an error number or a reason.
eventlog_suite() {
    local log=$1 events
    events=$(awk '
        function hex(s,    i, n) {  # mawk has no strtonum
            n = 0; s = tolower(s); sub(/^0x/, "", s)
            for (i = 1; i <= length(s); i++) n = n * 16 + index("0123456789abcdef", substr(s, i, 1)) - 1
            return n
        }
        /^\[ RUN      \] / { test = $4 }
        /:fixme:advapi:ReportEventW / { split($0, a, ","); id = hex(a[4]); type = hex(a[2]) }
        /:eventlog:ReportEventW / {
            text = $0; sub(/.*ReportEventW L"/, "", text); sub(/"$/, "", text)
            seq[test] = seq[test] (seq[test] == "" ? "" : ",") id "/" type "=" text }
        END { for (t in seq) print t, seq[t] }' "$log")
    PKG_PASSED=0 PKG_FAILED=0
    local expected=(
        "QuickKeys.F9MinimisesAndPauseBringsTheLockScreenBack 1003/4=start,1002/4=0,1003/4=key,1002/4=0"
        "Lock.ALogHeldByAnotherProgramLosesNoEarlierRecord 1003/4=start,1001/2=1,1004/1=32,1001/2=2"
        "Lock.AHugeWrongAnswerIsLoggedAsOneRecordAndTheLockGoesOn 1003/4=start,1001/2=1,1002/4=1"
        "Lock.ClosedFromOutsideItComesBack 1003/4=start,1003/4=comeback"
    )
    local e
    for e in "${expected[@]}"; do
        # Only for the tests that ran (KV_GTEST_FILTER may leave some out).
        grep -qF "[ RUN      ] ${e%% *}" "$log" || continue
        pkg_check "events of ${e%% *}: ${e#* }" grep -qF "$e" <<<"$events"
    done
    pkg_check "no event carries typed text" \
        bash -c '! grep ":eventlog:ReportEventW" "$1" | grep -vE "L\"([0-9]+|key|start|idle|sleep|comeback)\"$"' _ "$log"
    printf '%s\n' "$events" >"$RESULTS/events.txt"
    pkg_tally "wine event log"
}

# Wine does not lock the session, so the LockWorkStation calls are read in
# Wine's relay trace, which only Lock.EndedWhileItWaitsItLeavesTheSessionLocked
# turns on, for the programs it starts: the watcher after TerminateProcess,
# the program whose watcher was ended, a crash's exception filter and that
# crash's watcher; none after the right answer.
session_lock_suite() {
    local log=$1 calls
    grep -qF "[ RUN      ] Lock.EndedWhileItWaitsItLeavesTheSessionLocked" "$log" || return 0
    PKG_PASSED=0 PKG_FAILED=0
    calls=$(grep -c "Call user32.LockWorkStation()" "$log")
    pkg_check "a lock ended while it waits locks the session 4 times (the relay trace has $calls)" \
        test "$calls" -eq 4
    pkg_tally "wine session lock"
}

# The setup program of build/mingw64, run by install_tests.exe in a fresh
# prefix of its own, so that nothing the other programs stored gets in the way
# of what the uninstaller must leave behind.
install_suite() {
    local e2e="$KV_BUILD/mingw64/e2e" setup
    setup=$(compgen -G "$KV_BUILD/mingw64/Kestrova-*-win64-setup.exe" | head -n1)
    if [ -z "$setup" ] || [ ! -f "$e2e/install_tests.exe" ]; then
        record "wine install_tests" FAILED "the setup program or install_tests.exe was not built"
        FAILED=$((FAILED + 1))
        return
    fi
    kv_wine_prefix "$WINE_INSTALL"
    local dir="$WINE_INSTALL/drive_c/kestrova-setup"
    mkdir -p "$dir/results" "$dir/shots"
    cp "$setup" "$e2e/install_tests.exe" "$(kv_find_exe)" \
        "$KV_ROOT/src/platform/win32/program.ico" "$KV_BUILD"/mingw64/Kestrova-*-win64.msi "$dir/"
    run_wine_program install_tests "$WINE_INSTALL" kestrova-setup
    kv_wine_stop "$WINE_INSTALL"
}

# --- packages --------------------------------------------------------------------

PKG_PASSED=0
PKG_FAILED=0
pkg_check() {  # pkg_check DESCRIPTION COMMAND...
    if "${@:2}" >/dev/null 2>&1; then
        PKG_PASSED=$((PKG_PASSED + 1))
    else
        kv_warn "package check failed: $1"
        PKG_FAILED=$((PKG_FAILED + 1))
    fi
}

# pkg_tally NAME [NOTE]: adds the checks made since PKG_PASSED and
# PKG_FAILED were reset to the totals and records them as the stage NAME.
pkg_tally() {
    PASSED=$((PASSED + PKG_PASSED))
    FAILED=$((FAILED + PKG_FAILED))
    if [ "$PKG_FAILED" -eq 0 ]; then
        record "$1" ok "$PKG_PASSED checks${2:+, $2}"
    else
        record "$1" FAILED "$PKG_PASSED passed, $PKG_FAILED failed"
    fi
}

at_most() { [ "$(stat -c %s "$1")" -le "$2" ]; }
# 7z's technical listing of an archive holds the line "KEY = VALUE".
listing_has() { 7z l -slt "$1" | tr -d '\r' | grep -qxF "$2"; }
# A member of an archive is byte for byte the file given.
member_is() { 7z x -so "$1" "$2" 2>/dev/null | cmp -s - "$3"; }
pe_format_is() { "$1-objdump" -f "$2" | grep -q "file format $3\$"; }
msi_holds() {  # msi_holds MSI FILE: the package installs FILE byte for byte
    local tmp rc=1
    tmp=$(mktemp -d)
    msiextract -C "$tmp" "$1" >/dev/null && cmp -s "$tmp/Kestrova/$(basename "$2")" "$2" &&
        rc=0
    rm -rf "$tmp"
    return $rc
}

# package_suite NAME DIR ARCH TOOL-PREFIX PE-FORMAT: makes the setup program and
# the ZIP archive of a Windows build and looks into them.
package_suite() {
    local name=$1 dir=$2 arch=$3 tool=$4 pe=$5 exe setup zip
    kv_log "$name: packages"
    exe=$(kv_find_exe "$dir")
    rm -f "$dir"/Kestrova-*-setup.exe "$dir"/Kestrova-*.zip
    if ! (cd "$dir" && cpack -G "NSIS;ZIP" >"$dir/cpack.log" 2>&1); then
        build_failed "$name packages"
        kv_warn "cpack failed, see $dir/cpack.log"
        return
    fi
    setup=$(compgen -G "$dir/Kestrova-*-$arch-setup.exe" | head -n1)
    zip=$(compgen -G "$dir/Kestrova-*-$arch.zip" | head -n1)
    PKG_PASSED=0 PKG_FAILED=0
    pkg_check "kvstrn.exe was built" test -n "$exe"
    pkg_check "kvstrn.exe is at most $KV_MAX_EXE_BYTES bytes" at_most "$exe" "$KV_MAX_EXE_BYTES"
    pkg_check "kvstrn.exe is $pe" pe_format_is "$tool" "$exe" "$pe"
    pkg_check "the setup program was made" test -n "$setup"
    pkg_check "the setup program is $pe" pe_format_is "$tool" "$setup" "$pe"
    pkg_check "the setup program is an NSIS installer" listing_has "$setup" "Type = Nsis"
    pkg_check "it holds kvstrn.exe as built" member_is "$setup" kvstrn.exe "$exe"
    pkg_check "it holds the uninstaller" listing_has "$setup" "Path = Uninstall.exe"
    pkg_check "the archive was made" test -n "$zip"
    pkg_check "the archive holds kvstrn.exe as built" \
        member_is "$zip" "$(basename "$zip" .zip)/kvstrn.exe" "$exe"
    if [ "$arch" = win64 ]; then
        # The MSI package, and a 2.0.1 of it for install_tests.exe to upgrade to.
        rm -f "$dir"/Kestrova-*.msi
        pkg_check "the MSI package was made" kv_make_msi "$dir" 2.0.0 "$dir/Kestrova-2.0-win64.msi"
        pkg_check "the MSI package holds kvstrn.exe as built" msi_holds "$dir/Kestrova-2.0-win64.msi" "$exe"
        pkg_check "the 2.0.1 MSI package was made" \
            kv_make_msi "$dir" 2.0.1 "$dir/Kestrova-2.0.1-win64.msi"
    fi
    pkg_tally "$name packages" "kvstrn.exe $(stat -c %s "$exe") bytes"
}

# --- signing -------------------------------------------------------------------

# Signs copies of the x86_64 program, its setup program (makensis signs it
# and its uninstaller through the hooks release.sh uses) and the MSI package
# with a self-signed certificate made here, then checks each signature
# against that certificate, and that it fails once one byte is changed.
signing_suite() {
    local dir="$KV_BUILD/mingw64" work="$KV_BUILD/signing"
    kv_log "signing: a copy of the packages"
    rm -rf "$work"
    mkdir -p "$work/pkg"
    PKG_PASSED=0 PKG_FAILED=0
    if ! openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Kestrova test signing" \
        -addext "extendedKeyUsage=codeSigning" -keyout "$work/key.pem" -out "$work/cert.pem" \
        >/dev/null 2>&1 ||
        ! openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" \
            -passout pass:throwaway -out "$work/test.p12" >/dev/null 2>&1; then
        build_failed "signing certificate"
        return
    fi
    export KV_SIGN_PKCS12="$work/test.p12" KV_SIGN_PASSWORD=throwaway
    cp "$(kv_find_exe "$dir")" "$dir/Kestrova-2.0-win64.msi" "$work/"
    # The setup program once more, with the signing hooks, into the copy.
    kv_sign_nsh "$dir"
    (cd "$dir" && cpack -G NSIS -B "$work/pkg" >"$work/cpack.log" 2>&1)
    rm -f "$dir/sign.nsh"
    local setup
    setup=$(compgen -G "$work/pkg/Kestrova-*-win64-setup.exe" | head -n1)
    pkg_check "makensis signed the setup program" test -n "$setup"
    bash "$KV_ROOT/scripts/sign.sh" "$work/kvstrn.exe" "$work/Kestrova-2.0-win64.msi" >/dev/null
    # The uninstaller, as the signed setup program installs it.
    7z x -o"$work/un" "$setup" Uninstall.exe >/dev/null 2>&1
    unset KV_SIGN_PKCS12 KV_SIGN_PASSWORD
    local f
    for f in "$work/kvstrn.exe" "$setup" "$work/un/Uninstall.exe" "$work/Kestrova-2.0-win64.msi"; do
        pkg_check "$(basename "$f") is signed" signature_holds "$f" "$work/cert.pem"
        # One byte in the middle of the file, where the signed content is.
        flip_byte "$f" "$f.changed" $(($(stat -c %s "$f") / 2))
        pkg_check "$(basename "$f") changed by one byte fails" \
            bash -c '! osslsigncode verify -CAfile "$2" -in "$1" >/dev/null 2>&1' _ "$f.changed" "$work/cert.pem"
    done
    pkg_tally signing
}

flip_byte() {  # flip_byte FILE COPY OFFSET: a copy with the lowest bit of one byte flipped
    local b
    cp "$1" "$2"
    b=$(od -An -tu1 -j "$3" -N1 "$1" | tr -d ' ')
    printf "\\$(printf '%03o' $((b ^ 1)))" | dd of="$2" bs=1 seek="$3" conv=notrunc status=none
}

# osslsigncode accepts the file's Authenticode signature (SHA-256) against
# the certificate given.
signature_holds() {
    local out
    out=$(osslsigncode verify -CAfile "$2" -in "$1" 2>&1) || return 1
    grep -q "Signature verification: ok" <<<"$out" && grep -qi "sha256" <<<"$out"
}

# --- main ------------------------------------------------------------------------------

mkdir -p "$KV_BUILD"
rm -rf "$RESULTS"
mkdir -p "$RESULTS"

kv_log "dependencies"
if kv_deps; then record "dependencies" ok; else
    record "dependencies" FAILED
    FAILED=$((FAILED + 1))
fi

native_suite native "$KV_BUILD/native"
native_suite asan "$KV_BUILD/asan" -DKV_SANITIZE=ON
fuzz_suite

kv_log "mingw64: build"
if kv_build_mingw64; then
    record "mingw64 build" ok
    package_suite mingw64 "$KV_BUILD/mingw64" win64 x86_64-w64-mingw32 pei-x86-64
    signing_suite
    wine_suite
else
    build_failed "mingw64 build"
    record "wine" skipped "no Windows build"
fi

kv_log "mingw32: build"
# Only the program: the test programs run under 64-bit Wine alone.
if kv_build_mingw32 -DKV_E2E_TESTS=OFF; then
    record "mingw32 build" ok
    package_suite mingw32 "$KV_BUILD/mingw32" win32 i686-w64-mingw32 pei-i386
else
    build_failed "mingw32 build"
fi

echo
echo "==================== summary ===================="
for i in "${!STAGE_NAMES[@]}"; do
    printf '  %-22s %s\n' "${STAGE_NAMES[$i]}" "${STAGE_STATUS[$i]}"
done
if [ -d "$SHOTS" ] && compgen -G "$SHOTS/*.png" >/dev/null; then
    echo "  screenshots: $SHOTS"
fi
echo "  time: $((SECONDS - START)) s"
echo "$PASSED passed, $FAILED failed"
[ "$FAILED" -eq 0 ]
