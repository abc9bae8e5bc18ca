#!/usr/bin/env bash
# Installs what is missing (scripts/deps.sh), builds everything and runs
# every test suite, in this order (STEPS below):
#   native   unit tests (Debug) through ctest
#   asan     the same with address and undefined-behaviour sanitizers
#   fuzz     each libFuzzer target replays its corpus (tests/fuzz/corpus)
#   mingw64  the Windows program and its test programs (x86_64), in the
#            shipped configuration, and its packages: size and contents
#   signing  a copy of every shipped PE file signed with a throwaway
#            certificate and timestamped by a local responder
#   wine     store_wine_tests.exe and e2e_tests.exe under Wine in a private
#            Xvfb (with the events the program reported to the event log),
#            then install_tests.exe with the setup program and the MSI
#            package in a prefix of its own
#   mingw32  the Windows program (i686) and its packages, built and looked
#            into, not run
#   test command  this script's own check of how it runs its steps
# Every step runs whatever failed before it, in a subshell of its own: a
# build that failed, a missing tool or file, even a shell error inside one
# step, is recorded as that step's failure and never skips the steps after
# it. Ends with a summary that lists every stage of STEPS, run or not, whose
# last line reads "N passed, M failed", and exits non-zero when anything
# failed or did not run.
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
# One line per recorded stage: NAME, STATUS, PASSED, FAILED, NOTE (tabs).
STAGE_FILE="$RESULTS/stages.tsv"

record() {  # record NAME ok|FAILED PASSED FAILED [NOTE]
    printf '%s\t%s\t%s\t%s\t%s\n' "$1" "$2" "$3" "$4" "${5:-}" >>"$STAGE_FILE"
}

# cannot_run REASON STAGE...: stages that cannot run count one failure each.
cannot_run() {
    local reason=$1 s
    shift
    for s in "$@"; do record "$s" FAILED 0 1 "$reason"; done
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
    local name=$1 xml=$2 rc=$3 counts p=0 f=0
    if counts=$(count_xml "$xml"); then
        read -r p f <<<"$counts"
    fi
    if [ "$rc" -ne 0 ] && [ "$f" -eq 0 ]; then
        record "$name" FAILED "$p" 1 "exit code $rc, $p passed, no failing test reported"
    elif [ "$rc" -ne 0 ] || [ "$f" -ne 0 ]; then
        record "$name" FAILED "$p" "$f" "$p passed, $f failed"
    else
        record "$name" ok "$p" 0 "$p passed"
    fi
}

build_failed() {  # build_failed NAME
    record "$1" FAILED 0 1 "build failed"
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
    record "$name build" ok 0 0
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
    record "fuzz build" ok 0 0
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
    local stages=("wine setup" "wine store_wine_tests" "wine e2e_tests" "wine event log"
        "wine session lock" "wine install_tests")
    exe=$(kv_find_exe)
    if [ -z "$exe" ]; then
        cannot_run "kvstrn.exe was not built" "${stages[@]}"
        return
    fi
    kv_log "wine: X server and prefix"
    trap wine_cleanup EXIT
    if ! kv_start_xvfb || ! kv_wine_template; then
        cannot_run "Xvfb or the Wine prefix could not be prepared" "${stages[@]}"
        return
    fi
    record "wine setup" ok 0 0
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
            cannot_run "$t.exe was not built" "wine $t"
            [ "$t" = e2e_tests ] &&
                cannot_run "e2e_tests.exe was not built" "wine event log" "wine session lock"
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
    )
    local e
    for e in "${expected[@]}"; do
        # Only for the tests that ran; without a filter each must have run.
        if ! grep -qF "[ RUN      ] ${e%% *}" "$log"; then
            [ -n "${KV_GTEST_FILTER:-}" ] || pkg_check "${e%% *} ran" false
            continue
        fi
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
    if ! grep -qF "[ RUN      ] Lock.EndedWhileItWaitsItLeavesTheSessionLocked" "$log"; then
        record "wine session lock" ok 0 0 "its test was left out by KV_GTEST_FILTER"
        return
    fi
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
        cannot_run "the setup program or install_tests.exe was not built" "wine install_tests"
        return
    fi
    kv_wine_prefix "$WINE_INSTALL"
    local dir="$WINE_INSTALL/drive_c/kestrova-setup"
    mkdir -p "$dir/results" "$dir/shots"
    cp "$setup" "$e2e/install_tests.exe" "$(kv_find_exe)" \
        "$KV_ROOT/src/platform/win32/program.ico" "$KV_BUILD"/mingw64/Kestrova-*-win64.msi \
        "$KV_BUILD/mingw64/Kestrova-2.0-win64.msi.codes.txt" "$dir/"
    run_wine_program install_tests "$WINE_INSTALL" kestrova-setup
    kv_wine_stop "$WINE_INSTALL"
}

# --- packages --------------------------------------------------------------------

pkg_check() {  # pkg_check DESCRIPTION COMMAND...
    if "${@:2}" >/dev/null 2>&1; then
        PKG_PASSED=$((PKG_PASSED + 1))
    else
        kv_warn "package check failed: $1"
        PKG_FAILED=$((PKG_FAILED + 1))
    fi
}

# pkg_tally NAME [NOTE]: adds the checks made since PKG_PASSED and
# PKG_FAILED were reset as the stage NAME.
pkg_tally() {
    if [ "$PKG_FAILED" -eq 0 ]; then
        record "$1" ok "$PKG_PASSED" 0 "$PKG_PASSED checks${2:+, $2}"
    else
        record "$1" FAILED "$PKG_PASSED" "$PKG_FAILED" "$PKG_PASSED passed, $PKG_FAILED failed"
    fi
}

# The size of a file in bytes; fails, printing nothing, when it is missing.
file_size() { [ -f "$1" ] && stat -c %s "$1"; }
at_most() { local n; n=$(file_size "$1") && [ "$n" -le "$2" ]; }
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

# The rows of an MSI package's table, tab-separated, without the header.
msi_rows() { msiinfo export "$1" "$2" | tr -d '\r' | tail -n +4; }
msi_has_row() { msi_rows "$1" "$2" | grep -qxF "$3"; }  # msi_has_row MSI TABLE ROW

# msi_checks MSI EXE VERSION: what the tables of an MSI package of EXE as
# VERSION say about upgrades, refusals, the clean-up and the entry.
msi_checks() {
    local msi=$1 exe=$2 version=$3 t=$'\t' uc
    uc=$(kv_upgrade_code)
    pkg_check "a rebuild of the same version replaces the installed one" \
        msi_has_row "$msi" Upgrade "$uc$t$t$version$t${t}513$t${t}WIX_UPGRADE_DETECTED"
    pkg_check "an older version is refused with its text" msi_has_row "$msi" LaunchCondition \
        "NOT WIX_DOWNGRADE_DETECTED${t}A newer version of Kestrova is already installed."
    pkg_check "a running Kestrova is refused with its text" msi_has_row "$msi" LaunchCondition \
        "NOT KV_RUNNING${t}Kestrova is running. Unlock it, choose Quit in its main window, then install or remove this package again."
    pkg_check "the setup program's copy is refused with its text" \
        bash -c 'msiinfo export "$1" LaunchCondition | grep -q "^NOT KV_SETUP64 AND (Installed OR NOT KV_SETUP32)	Kestrova is installed by its setup program"' _ "$msi"
    # Windows Installer keeps a program file of the same version unless told
    # (Wine ignores this and keeps it anyway).
    pkg_check "a rebuild replaces the program file of the same version" \
        msi_has_row "$msi" Property "REINSTALLMODE${t}emus"
    pkg_check "the clean-up step runs at a real removal only" msi_has_row "$msi" InstallExecuteSequence \
        "RemoveTraces${t}REMOVE~=\"ALL\" AND NOT UPGRADINGPRODUCTCODE${t}3400"
    # Deferred (0x400) as the system (0x800); at once only what sets a
    # property (51) and the check that reads (FindRunning).
    pkg_check "no immediate custom action changes the machine" bash -c '
        msiinfo export "$1" CustomAction | tr -d "\r" | tail -n +4 | awk -F"\t" "
            { t = \$2 + 0; deferred = int(t / 1024) % 2; as_system = int(t / 2048) % 2
              if (!(deferred && as_system) && t % 64 != 51 && \$1 != \"FindRunning\") bad = 1; n++ }
            END { exit bad || !n }"' _ "$msi"
    pkg_check "the older package goes once the newer one's files are in place" bash -c '
        msiinfo export "$1" InstallExecuteSequence | tr -d "\r" | awk -F"\t" "
            { s[\$1] = \$3 + 0 }
            END { exit !(s[\"InstallExecute\"] && s[\"InstallFiles\"] < s[\"InstallExecute\"] &&
                         s[\"InstallExecute\"] < s[\"RemoveExistingProducts\"] &&
                         s[\"RemoveExistingProducts\"] < s[\"RegisterProduct\"]) }"' _ "$msi"
    pkg_check "the File table carries kvstrn.exe's version" bash -c \
        'msi_rows "$1" File | awk -F"\t" -v v="$2" "\$1 == \"kvstrn.exe\" && \$5 == v { f = 1 } END { exit !f }"' \
        _ "$msi" "$(kv_pe_version "$exe")"
    local p
    for p in "ARPHELPLINK$t$(kv_maker KV_WEB_URL)" "ARPURLINFOABOUT$t$(kv_maker KV_WEB_URL)" \
        "ARPCONTACT$t$(kv_maker KV_SUPPORT_EMAIL)" "ProductName${t}Kestrova (64-bit)"; do
        pkg_check "property ${p%%$t*} is ${p#*$t}" msi_has_row "$msi" Property "$p"
    done
    pkg_check "the quiet uninstall does not restart" bash -c \
        'msi_rows "$1" Registry | grep -qF "QuietUninstallString${2}MsiExec.exe /x [ProductCode] /qn /norestart"' \
        _ "$msi" "$t"
}
export -f msi_rows

# winget_checks MSI DIR: the codes file and the winget manifest that
# kv_msi_publish made in DIR describe MSI: its ProductCode, UpgradeCode,
# version and SHA-256, schema 1.6.0, wix per machine with silent switches.
winget_checks() {
    local msi=$1 dir=$2 code version sha f installer="$2/winget/Orvane.Kestrova.installer.yaml"
    code=$(kv_msi_property "$msi" ProductCode)
    version=$(kv_msi_property "$msi" ProductVersion)
    sha=$(sha256sum "$msi" | cut -d' ' -f1 | tr a-f A-F)
    pkg_check "the codes file names the ProductCode and the UpgradeCode" bash -c \
        'grep -qx "ProductCode $2" "$1" && grep -qx "UpgradeCode $3" "$1"' \
        _ "$dir/$(basename "$msi").codes.txt" "$code" "$(kv_upgrade_code)"
    for f in Orvane.Kestrova.yaml Orvane.Kestrova.installer.yaml Orvane.Kestrova.locale.en-US.yaml; do
        pkg_check "winget $f: schema 1.6.0, version $version" bash -c \
            'grep -qx "ManifestVersion: 1.6.0" "$1" && grep -qx "PackageVersion: $2" "$1"' \
            _ "$dir/winget/$f" "$version"
    done
    pkg_check "the winget installer's SHA-256 is the package's" \
        grep -qx "    InstallerSha256: $sha" "$installer"
    pkg_check "every ProductCode of the winget manifest is the package's" bash -c \
        '[ "$(grep -c "ProductCode: " "$1")" = 3 ] && ! grep "ProductCode: " "$1" | grep -vqF "$2"' \
        _ "$installer" "'$code'"
    pkg_check "the winget installer is wix, per machine, with silent switches" bash -c \
        'grep -qx "InstallerType: wix" "$1" && grep -qx "Scope: machine" "$1" &&
         grep -qx "  Silent: /qn /norestart" "$1" && grep -qx "  SilentWithProgress: /qb /norestart" "$1"' \
        _ "$installer"
}

# package_suite NAME DIR ARCH TOOL-PREFIX PE-FORMAT: makes the setup program and
# the ZIP archive of a Windows build and looks into them.
package_suite() {
    local name=$1 dir=$2 arch=$3 tool=$4 pe=$5 exe setup zip
    kv_log "$name: packages"
    exe=$(kv_find_exe "$dir")
    if [ -z "$exe" ]; then
        cannot_run "kvstrn.exe was not built" "$name packages"
        return
    fi
    rm -f "$dir"/Kestrova-*-setup.exe "$dir"/Kestrova-*.zip
    if ! (cd "$dir" && cpack -G "NSIS;ZIP" >"$dir/cpack.log" 2>&1); then
        build_failed "$name packages"
        kv_warn "cpack failed, see $dir/cpack.log"
        return
    fi
    setup=$(compgen -G "$dir/Kestrova-*-$arch-setup.exe" | head -n1)
    zip=$(compgen -G "$dir/Kestrova-*-$arch.zip" | head -n1)
    PKG_PASSED=0 PKG_FAILED=0
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
        # The MSI package, a rebuild of it and a 2.0.1 of it for
        # install_tests.exe to replace it with.
        rm -f "$dir"/Kestrova-*.msi
        pkg_check "the MSI package was made" kv_make_msi "$dir" 2.0.0 "$dir/Kestrova-2.0-win64.msi"
        pkg_check "the MSI package holds kvstrn.exe as built" msi_holds "$dir/Kestrova-2.0-win64.msi" "$exe"
        msi_checks "$dir/Kestrova-2.0-win64.msi" "$exe" 2.0.0
        rm -rf "$dir/winget"
        pkg_check "the codes and the winget manifest were made" \
            kv_msi_publish "$dir/Kestrova-2.0-win64.msi" "$dir"
        winget_checks "$dir/Kestrova-2.0-win64.msi" "$dir"
        pkg_check "the rebuilt 2.0 MSI package was made" \
            kv_make_msi "$dir" 2.0.0 "$dir/Kestrova-2.0-rebuilt-win64.msi"
        pkg_check "the 2.0.1 MSI package was made" \
            kv_make_msi "$dir" 2.0.1 "$dir/Kestrova-2.0.1-win64.msi"
    fi
    pkg_tally "$name packages" "kvstrn.exe $(file_size "$exe") bytes"
}

# --- signing -------------------------------------------------------------------

# Signs copies of every PE file the x86_64 release ships as release.sh does
# (the program, the MSI package's custom-action files, NSIS's plug-ins, the
# setup program and its uninstaller through makensis's hooks, the MSI
# package made from the signed files), with a throwaway certificate and a
# local time-stamp responder; then checks every signature and its
# timestamp, the files inside the setup program, its uninstaller and the
# MSI package included, that one changed byte fails, that sign.sh refuses
# to sign without a time-stamp server unless told, and that the password
# never appears on osslsigncode's command line.
signing_suite() {
    local dir="$KV_BUILD/mingw64" work="$KV_BUILD/signing" exe
    kv_log "signing: a copy of the packages"
    rm -rf "$work"
    mkdir -p "$work/pkg" "$work/b/src/platform/win32" "$work/stage" "$work/shim"
    PKG_PASSED=0 PKG_FAILED=0
    exe=$(kv_find_exe "$dir")
    if [ -z "$exe" ]; then
        cannot_run "kvstrn.exe was not built" signing
        return
    fi
    if ! make_test_certificates "$work"; then
        cannot_run "the test certificates could not be made" signing
        return
    fi
    # The responder stops by itself 30 s after its last request.
    python3 "$KV_ROOT/tests/signing/tsa_responder.py" "$work/ts.cnf" 30 >"$work/port" &
    local responder=$!
    if ! kv_poll 10 test -s "$work/port"; then
        cannot_run "the time-stamp responder did not start" signing
        return
    fi
    # osslsigncode's command lines, as another user would see them.
    printf '#!/bin/sh\nprintf "%%s\\n" "$*" >>"%s"\nexec %s "$@"\n' "$work/argv" \
        "$(command -v osslsigncode)" >"$work/shim/osslsigncode"
    chmod +x "$work/shim/osslsigncode"
    export PATH="$work/shim:$PATH" KV_SIGN_PKCS12="$work/test.p12" KV_SIGN_PASSWORD=throwaway
    local sign="$KV_ROOT/scripts/sign.sh"

    cp "$exe" "$work/unstamped.exe"
    pkg_check "sign.sh refuses to sign without a time-stamp server" bash -c \
        '! bash "$1" "$2" && cmp -s "$2" "$3"' _ "$sign" "$work/unstamped.exe" "$exe"
    pkg_check "told so, it signs without a timestamp" bash -c \
        'KV_SIGN_NO_TIMESTAMP=1 bash "$1" "$2" && signed_without_timestamp "$2" "$3"' \
        _ "$sign" "$work/unstamped.exe" "$work/cert.pem"

    export KV_SIGN_TIMESTAMP="http://127.0.0.1:$(cat "$work/port")/"
    # The files as release.sh signs them before packing.
    cp "$exe" "$work/b/src/platform/win32/"
    cp "$dir/kv_msi_cleanup.exe" "$dir/kv_msi_check.dll" "$work/b/" 2>/dev/null
    bash "$sign" "$work/b/src/platform/win32/kvstrn.exe" "$work/b/kv_msi_cleanup.exe" \
        "$work/b/kv_msi_check.dll" >/dev/null
    cp "$work/b/src/platform/win32/kvstrn.exe" "$work/stage/"
    # The setup program once more, with the signing hooks and the signed
    # program, into the copy.
    kv_sign_nsh "$dir" &&
        (cd "$dir" && cpack -G NSIS -B "$work/pkg" -D CPACK_INSTALL_CMAKE_PROJECTS= \
            -D "CPACK_INSTALLED_DIRECTORIES=$work/stage;." \
            -D "CPACK_KV_HELPER=$work/b/kv_msi_cleanup.exe" >"$work/cpack.log" 2>&1)
    rm -rf "$dir/sign.nsh" "$dir/nsis-plugins"
    local setup
    setup=$(compgen -G "$work/pkg/Kestrova-*-win64-setup.exe" | head -n1)
    pkg_check "makensis signed the setup program" test -n "$setup"
    kv_make_msi "$work/b" 2.0.0 "$work/Kestrova-2.0-win64.msi" &&
        bash "$sign" "$work/Kestrova-2.0-win64.msi" >/dev/null
    kill "$responder" 2>/dev/null
    wait "$responder" 2>/dev/null

    # What the setup program, its uninstaller and the MSI package hold.
    7z x -o"$work/setup" "${setup:-/nonexistent}" >/dev/null 2>&1
    7z x -o"$work/setup/un" "$work/setup/Uninstall.exe" >/dev/null 2>&1
    mkdir -p "$work/msi"
    msiextract -C "$work/msi" "$work/Kestrova-2.0-win64.msi" >/dev/null 2>&1
    local s
    for s in Cleanup Check; do
        msiinfo extract "$work/Kestrova-2.0-win64.msi" "Binary.$s" >"$work/msi/Binary.$s" 2>/dev/null
    done
    local f
    for f in "$work/b/src/platform/win32/kvstrn.exe" "$work/b/kv_msi_cleanup.exe" \
        "$work/b/kv_msi_check.dll" "${setup:-$work/pkg/setup.exe}" "$work/setup/kvstrn.exe" \
        "$work/setup/Uninstall.exe" "$work/setup/\$PLUGINSDIR/System.dll" \
        "$work/setup/\$PLUGINSDIR/kv_setup_helper.exe" \
        "$work/setup/un/\$PLUGINSDIR/System.dll" "$work/Kestrova-2.0-win64.msi" \
        "$work/msi/Kestrova/kvstrn.exe" "$work/msi/Binary.Cleanup" "$work/msi/Binary.Check"; do
        pkg_check "${f#"$work/"} is signed and timestamped" \
            signature_holds "$f" "$work/cert.pem" "$work/tsa.pem"
    done
    # Every plug-in either program unpacks, not only those listed above.
    pkg_check "every plug-in DLL inside is signed and timestamped" bash -c '
        n=0; for d in "$1"/\$PLUGINSDIR/*.dll "$1"/un/\$PLUGINSDIR/*.dll; do
            signature_holds "$d" "$2" "$3" || exit 1; n=$((n + 1)); done; [ "$n" -ge 2 ]' \
        _ "$work/setup" "$work/cert.pem" "$work/tsa.pem"
    local size
    for f in "$work/b/src/platform/win32/kvstrn.exe" "${setup:-$work/pkg/setup.exe}" \
        "$work/Kestrova-2.0-win64.msi"; do
        size=$(file_size "$f") || continue
        # One byte in the middle of the file, where the signed content is.
        flip_byte "$f" "$f.changed" $((size / 2))
        pkg_check "$(basename "$f") changed by one byte fails" \
            bash -c '! osslsigncode verify -CAfile "$2" -in "$1" >/dev/null 2>&1' _ "$f.changed" "$work/cert.pem"
    done
    pkg_check "the password never was on osslsigncode's command line" bash -c \
        'test -s "$1" && ! grep -qF "$2" "$1"' _ "$work/argv" "$KV_SIGN_PASSWORD"
    pkg_tally signing
}

# make_test_certificates DIR: a throwaway code-signing certificate
# (test.p12, password "throwaway"; cert.pem) and a time-stamping one
# (tsa.pem, tsa.key) with the configuration of `openssl ts -reply` (ts.cnf).
make_test_certificates() {
    local w=$1
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Kestrova test signing" \
        -addext "extendedKeyUsage=codeSigning" -keyout "$w/key.pem" -out "$w/cert.pem" \
        >/dev/null 2>&1 &&
        openssl pkcs12 -export -inkey "$w/key.pem" -in "$w/cert.pem" -passout pass:throwaway \
            -out "$w/test.p12" >/dev/null 2>&1 &&
        openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Kestrova test time-stamps" \
            -addext "extendedKeyUsage=critical,timeStamping" -keyout "$w/tsa.key" \
            -out "$w/tsa.pem" >/dev/null 2>&1 || return 1
    echo 01 >"$w/tsa.serial"
    cat >"$w/ts.cnf" <<EOF
[ tsa ]
default_tsa = test_tsa
[ test_tsa ]
serial = $w/tsa.serial
crypto_device = builtin
signer_cert = $w/tsa.pem
certs = $w/tsa.pem
signer_key = $w/tsa.key
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha256, sha384, sha512
accuracy = secs:1
ess_cert_id_alg = sha256
EOF
}

flip_byte() {  # flip_byte FILE COPY OFFSET: a copy with the lowest bit of one byte flipped
    local b
    cp "$1" "$2"
    b=$(od -An -tu1 -j "$3" -N1 "$1" | tr -d ' ')
    printf "\\$(printf '%03o' $((b ^ 1)))" | dd of="$2" bs=1 seek="$3" conv=notrunc status=none
}

# osslsigncode accepts the file's Authenticode signature (SHA-256) against
# the certificate given, and its RFC 3161 timestamp against the time-stamp
# certificate.
signature_holds() {  # signature_holds FILE CERT TSA-CERT
    local out
    out=$(osslsigncode verify -CAfile "$2" -TSA-CAfile "$3" -in "$1" 2>&1) || return 1
    grep -q "^Signature verification: ok" <<<"$out" && grep -qi "sha256" <<<"$out" &&
        grep -q "^Timestamp Server Signature verification: ok" <<<"$out"
}

# The signature holds and carries no timestamp.
signed_without_timestamp() {  # signed_without_timestamp FILE CERT
    local out
    out=$(osslsigncode verify -CAfile "$2" -in "$1" 2>&1) || return 1
    grep -q "^Signature verification: ok" <<<"$out" && grep -q "^Timestamp is not available" <<<"$out"
}
export -f signature_holds signed_without_timestamp

# --- the steps and their stages ----------------------------------------------

step_deps() {
    kv_log "dependencies"
    if kv_deps; then record "dependencies" ok 0 0; else cannot_run "scripts/deps.sh failed" dependencies; fi
}
step_native() { native_suite native "$KV_BUILD/native"; }
step_asan() { native_suite asan "$KV_BUILD/asan" -DKV_SANITIZE=ON; }
step_mingw64_build() {
    kv_log "mingw64: build"
    if kv_build_mingw64; then record "mingw64 build" ok 0 0; else build_failed "mingw64 build"; fi
}
step_mingw64_packages() {
    package_suite mingw64 "$KV_BUILD/mingw64" win64 x86_64-w64-mingw32 pei-x86-64
}
step_mingw32_build() {
    kv_log "mingw32: build"
    # Only the program: the test programs run under 64-bit Wine alone.
    if kv_build_mingw32 -DKV_E2E_TESTS=OFF; then record "mingw32 build" ok 0 0; else
        build_failed "mingw32 build"
    fi
}
step_mingw32_packages() {
    package_suite mingw32 "$KV_BUILD/mingw32" win32 i686-w64-mingw32 pei-i386
}

# The steps in order: the stages each records (";" between them), then the
# function that runs it. The summary lists exactly these stages.
STEPS=(
    "dependencies" step_deps
    "native build;native unit tests" step_native
    "asan build;asan unit tests" step_asan
    "fuzz build;fuzz corpus replay" fuzz_suite
    "mingw64 build" step_mingw64_build
    "mingw64 packages" step_mingw64_packages
    "signing" signing_suite
    "wine setup;wine store_wine_tests;wine e2e_tests;wine event log;wine session lock;wine install_tests"
    wine_suite
    "mingw32 build" step_mingw32_build
    "mingw32 packages" step_mingw32_packages
    "test command" self_check
)

# run_steps STAGES FUNCTION [STAGES FUNCTION ...]: runs each function in a
# subshell of its own, so that nothing it does (an error of the shell, an
# exit, a variable it sets) reaches the next; a stage it did not record is
# recorded as failed.
run_steps() {
    local stages fn rc s
    while [ $# -ge 2 ]; do
        stages=$1 fn=$2
        shift 2
        rc=0
        ("$fn") || rc=$?
        IFS=';' read -r -a stages <<<"$stages"
        for s in "${stages[@]}"; do
            awk -F'\t' -v s="$s" '$1 == s { found = 1 } END { exit !found }' "$STAGE_FILE" ||
                record "$s" FAILED 0 1 "did not run: $fn ended without it (exit code $rc)"
        done
    done
}

# Prints every recorded stage and the closing line; fails when any stage
# failed.
summary() {
    echo
    echo "==================== summary ===================="
    awk -F'\t' '{ printf "  %-24s %s%s\n", $1, $2, ($5 == "" ? "" : " (" $5 ")") }' "$STAGE_FILE"
    if [ -d "$SHOTS" ] && compgen -G "$SHOTS/*.png" >/dev/null; then
        echo "  screenshots: $SHOTS"
    fi
    echo "  time: $((SECONDS - START)) s"
    awk -F'\t' '{ p += $3; f += $4 } END { printf "%d passed, %d failed\n", p, f; exit f > 0 }' \
        "$STAGE_FILE"
}

# The test command's own check: a step that hits a missing file (with
# arithmetic on its size) or records nothing is listed as failed, the steps
# after it still run, and the summary fails; and no two stages share a name.
self_check() {
    local tmp out rc=0 names
    tmp=$(mktemp -d)
    out=$(bash -c '
        source "$1"
        STAGE_FILE=$2/stages.tsv
        broken() { local n; n=$(($(file_size "$2/missing") / 2)); record broken ok "$n" 0; }
        silent() { :; }
        fine() { record fine ok 1 0; }
        run_steps broken broken silent silent fine fine
        summary' _ "$KV_ROOT/scripts/test.sh" "$tmp" 2>/dev/null) || rc=$?
    rm -rf "$tmp"
    PKG_PASSED=0 PKG_FAILED=0
    pkg_check "a step that fails with a shell error does not stop the run" test "$rc" -eq 1
    pkg_check "the broken step is listed as failed" grep -qE '^  broken +FAILED' <<<"$out"
    pkg_check "the silent step is listed as failed" grep -qE '^  silent +FAILED' <<<"$out"
    pkg_check "the step after them ran" grep -qE '^  fine +ok' <<<"$out"
    pkg_check "the closing line counts them" grep -qx '1 passed, 2 failed' <<<"$out"
    names=$(for ((i = 0; i < ${#STEPS[@]}; i += 2)); do tr ';' '\n' <<<"${STEPS[i]}"; done)
    pkg_check "every stage has a name of its own" test -z "$(sort <<<"$names" | uniq -d)"
    pkg_tally "test command"
}

main() {
    mkdir -p "$KV_BUILD"
    rm -rf "$RESULTS"
    mkdir -p "$RESULTS"
    : >"$STAGE_FILE"
    run_steps "${STEPS[@]}"
    summary
}

# Sourced (by the check above), it only defines its functions.
if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    main
    exit
fi
