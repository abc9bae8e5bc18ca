# Shared helpers for run.sh and test.sh. Source it; it defines functions only.
# shellcheck shell=bash

KV_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
KV_BUILD="$KV_ROOT/build"

kv_log() { printf '\033[1m==> %s\033[0m\n' "$*"; }
kv_warn() { printf '%s\n' "$*" >&2; }

# Runs "$@" until it succeeds or `seconds` pass. Returns 1 on timeout.
kv_poll() {
    local seconds=$1
    shift
    local end=$((SECONDS + seconds))
    until "$@"; do
        [ "$SECONDS" -ge "$end" ] && return 1
        sleep 0.1
    done
}

kv_deps() { bash "$KV_ROOT/scripts/deps.sh"; }

# kv_cmake_configure DIR [cmake configure args...]: configures when the
# folder is new or was configured with other arguments.
kv_cmake_configure() {
    local dir=$1
    shift
    if [ ! -f "$dir/build.ninja" ] || [ "$(cat "$dir/.kv-configure" 2>/dev/null)" != "$*" ]; then
        cmake -S "$KV_ROOT" -B "$dir" -G Ninja "$@" || return 1
        printf '%s' "$*" >"$dir/.kv-configure"
    fi
}

# kv_cmake_build DIR [cmake configure args...]: configures if needed, then
# builds everything.
kv_cmake_build() {
    kv_cmake_configure "$@" && cmake --build "$1" -j "$(nproc)"
}

# The Windows builds are the shipped configuration (MinSizeRel: -Os, unused
# sections dropped, stripped), so the Wine tests run the program as shipped.
KV_MINGW64_ARGS=(-DCMAKE_BUILD_TYPE=MinSizeRel -DCMAKE_TOOLCHAIN_FILE="$KV_ROOT/cmake/mingw-x86_64.cmake")
kv_build_mingw64() {
    kv_cmake_build "$KV_BUILD/mingw64" "${KV_MINGW64_ARGS[@]}" "$@"
}

kv_build_mingw32() {
    kv_cmake_build "$KV_BUILD/mingw32" -DCMAKE_BUILD_TYPE=MinSizeRel \
        -DCMAKE_TOOLCHAIN_FILE="$KV_ROOT/cmake/mingw-i686.cmake" "$@"
}

# kv_build_release ARCH (win64 or win32): the shipped configuration, as the
# release packs it, in build/release/ARCH: MinSizeRel, no test programs.
# The benchmarks measure this same executable.
kv_build_release() {
    local toolchain
    case $1 in
    win64) toolchain=mingw-x86_64.cmake ;;
    win32) toolchain=mingw-i686.cmake ;;
    *) kv_warn "no such architecture: $1"; return 1 ;;
    esac
    kv_cmake_build "$KV_BUILD/release/$1" -DCMAKE_BUILD_TYPE=MinSizeRel -DKV_E2E_TESTS=OFF \
        -DCMAKE_TOOLCHAIN_FILE="$KV_ROOT/cmake/$toolchain"
}

# The most a shipped kvstrn.exe may weigh, either architecture.
KV_MAX_EXE_BYTES=262144

# The cross-built program (of build/mingw64 unless another build folder is
# given), or nothing when it has not been built.
kv_find_exe() {
    local exe="${1:-$KV_BUILD/mingw64}/src/platform/win32/kvstrn.exe"
    if [ -f "$exe" ]; then echo "$exe"; fi
}

# --- X server -----------------------------------------------------------------

KV_XVFB_PID=""

# Starts a private Xvfb on the first free display from :90 and exports DISPLAY.
_kv_xvfb_up() { [ -S "/tmp/.X11-unix/X$1" ] || ! kill -0 "$KV_XVFB_PID" 2>/dev/null; }

kv_start_xvfb() {
    local n
    mkdir -p "$KV_BUILD"
    for n in $(seq 90 199); do
        [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
        Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp -noreset >"$KV_BUILD/xvfb-$n.log" 2>&1 &
        KV_XVFB_PID=$!
        if kv_poll 20 _kv_xvfb_up "$n" && kill -0 "$KV_XVFB_PID" 2>/dev/null; then
            export DISPLAY=":$n"
            return 0
        fi
        # Lost a race for this display, or Xvfb failed: try the next one.
        kill "$KV_XVFB_PID" 2>/dev/null || true
        wait "$KV_XVFB_PID" 2>/dev/null || true
        KV_XVFB_PID=""
    done
    kv_warn "could not start Xvfb"
    return 1
}

kv_stop_xvfb() {
    if [ -n "$KV_XVFB_PID" ]; then
        kill "$KV_XVFB_PID" 2>/dev/null || true
        wait "$KV_XVFB_PID" 2>/dev/null || true
        KV_XVFB_PID=""
    fi
}

# --- Wine prefixes ------------------------------------------------------------

kv_wine_env() {
    export WINEARCH=win64
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
}

# Stops every Wine process of the prefix given (and only of that prefix).
kv_wine_stop() {
    [ -d "$1" ] || return 0
    WINEPREFIX="$1" wineserver -k 2>/dev/null || true
    WINEPREFIX="$1" wineserver -w 2>/dev/null || true
}

# Builds the template prefix once (wineboot takes a while) and keeps it under
# build/wine-template. It is rebuilt when the installed Wine changes. Needs
# DISPLAY.
kv_wine_template() {
    local tpl="$KV_BUILD/wine-template"
    local stamp
    stamp="$(wine --version 2>/dev/null) 1024x768 fonts"
    mkdir -p "$KV_BUILD"
    (
        # One builder at a time, when run.sh and test.sh start together.
        flock 9
        if [ -f "$tpl/.kv-template" ] && [ "$(cat "$tpl/.kv-template")" = "$stamp" ]; then
            exit 0
        fi
        kv_log "preparing the Wine template prefix (once)"
        kv_wine_stop "$tpl"
        rm -rf "$tpl"
        kv_wine_env
        export WINEPREFIX="$tpl"
        wineboot -i >"$KV_BUILD/wine-template.log" 2>&1 || { kv_warn "wineboot failed, see $KV_BUILD/wine-template.log"; exit 1; }
        # A virtual desktop of the screen's size: the same geometry with or
        # without a window manager.
        if ! wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /t REG_SZ \
            /d 1024x768 /f >>"$KV_BUILD/wine-template.log" 2>&1 ||
            ! wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d Default /f \
                >>"$KV_BUILD/wine-template.log" 2>&1; then
            kv_warn "could not configure the template, see $KV_BUILD/wine-template.log"
            exit 1
        fi
        wineserver -w
        kv_wine_fonts "$tpl"
        echo "$stamp" >"$tpl/.kv-template"
    ) 9>"$KV_BUILD/.wine-template.lock"
}

# kv_wine_fonts PREFIX: copies Wine's own fonts (MS Sans Serif, Marlett,
# Tahoma, System ...) into the prefix's Fonts folder. Debian's Wine 8 looks for
# them under a data path that does not resolve, so without this copy every
# window falls back to a system font and the title-bar buttons show the
# Marlett letters "0 1 r" instead of their symbols.
kv_wine_fonts() {
    local d
    for d in /usr/share/wine/fonts /usr/local/share/wine/fonts /opt/wine*/share/wine/fonts; do
        if compgen -G "$d/*.tt[fc]" >/dev/null; then
            cp "$d"/* "$1/drive_c/windows/Fonts/"
            return 0
        fi
    done
    kv_warn "Wine's fonts were not found; the windows will use substitute fonts"
}

# kv_wine_prefix DEST: a fresh copy of the template.
kv_wine_prefix() {
    local dest=$1
    kv_wine_stop "$dest"
    rm -rf "$dest"
    cp -a "$KV_BUILD/wine-template" "$dest"
    rm -f "$dest/.kv-template"
}

# --- MSI package ----------------------------------------------------------------

# kv_make_msi BUILD_DIR VERSION OUT: the MSI package of a 64-bit build
# (cmake/packaging/Kestrova.wxs) with the program of BUILD_DIR as VERSION
# (major.minor.build). wixl builds it; msibuild then adds what wixl cannot
# express: a shortcut that is not advertised, InstallLocation in the
# uninstall entry, and the custom action that removes the program's own
# stored traces at a full uninstall, never at an upgrade.
kv_make_msi() {
    local dir=$1 version=$2 out=$3 stage
    stage="$dir/msi-stage"
    rm -rf "$stage"
    mkdir -p "$stage"
    # wixl takes the sources' paths relative to the folder it runs in.
    cp "$(kv_find_exe "$dir")" "$dir/kv_msi_cleanup.exe" "$KV_ROOT/src/platform/win32/program.ico" \
        "$KV_ROOT/cmake/packaging/Kestrova.wxs" "$stage/" || return 1
    (cd "$stage" && wixl -a x64 -D Version="$version" -D Exe=kvstrn.exe -D Icon=program.ico \
        -D Cleanup=kv_msi_cleanup.exe -o kestrova.msi Kestrova.wxs) || return 1
    # Custom action types: 51 sets a property; 3138 runs an EXE of the Binary
    # table (2), deferred (0x400), as the system (0x800), its exit code
    # ignored (0x40); 3074 the same with its exit code checked; 66 runs it at
    # once. At install and upgrade, after the files, the step gives users
    # what a standard token needs (the table of src/store/grants.h, which a
    # unit test holds the grant to) and makes the attempt log's folder. The
    # trailing "." keeps the quoted folder from ending in a backslash. Wine removes the older product of
    # an upgrade without setting UPGRADINGPRODUCTCODE there, so the newer
    # package first tells the clean-up step, through a volatile registry
    # key, that the removal to come is an upgrade's; the step runs at every
    # full removal, so that it also takes that key away where Windows sets
    # the property.
    msibuild "$stage/kestrova.msi" \
        -q "UPDATE Shortcut SET Target='[#kvstrn.exe]' WHERE Shortcut='StartMenu'" \
        -q "INSERT INTO CustomAction (Action, Type, Source, Target) VALUES ('SetInstallLocation', 51, 'ARPINSTALLLOCATION', '[INSTALLDIR]')" \
        -q "INSERT INTO InstallExecuteSequence (Action, Sequence) VALUES ('SetInstallLocation', 1001)" \
        -q "INSERT INTO CustomAction (Action, Type, Source, Target) VALUES ('RemoveTraces', 3138, 'Cleanup', '\"[INSTALLDIR].\"')" \
        -q "INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) VALUES ('RemoveTraces', 'REMOVE~=\"ALL\"', 3400)" \
        -q "INSERT INTO CustomAction (Action, Type, Source, Target) VALUES ('GrantUsers', 3074, 'Cleanup', '/grant S-1-5-32-545 0x3 \"SOFTWARE\Orvane\Kestrova\" \"SOFTWARE\Microsoft\Windows\CurrentVersion\Time Zones\AddZones\"')" \
        -q "INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) VALUES ('GrantUsers', 'NOT REMOVE~=\"ALL\"', 4010)" \
        -q "INSERT INTO CustomAction (Action, Type, Source, Target) VALUES ('MakeDataFolder', 3074, 'Cleanup', '/datafolder \"[INSTALLDIR].\"')" \
        -q "INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) VALUES ('MakeDataFolder', 'NOT REMOVE~=\"ALL\"', 4020)" \
        -q "INSERT INTO CustomAction (Action, Type, Source, Target) VALUES ('MarkUpgrade', 66, 'Cleanup', '/upgrading')" \
        -q "INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) VALUES ('MarkUpgrade', 'WIX_UPGRADE_DETECTED', 1300)" ||
        return 1
    mv "$stage/kestrova.msi" "$out"
}

# kv_sign_nsh BUILD_DIR: the commands by which makensis signs the setup
# program and the uninstaller as it writes them (scripts/sign.sh, its
# certificate from the environment), in the file that the setup program's
# script takes in (cmake/packaging/NSIS.template.in).
kv_sign_nsh() {
    printf '!finalize `bash "%s" "%%1"` = 0\n!uninstfinalize `bash "%s" "%%1"` = 0\n' \
        "$KV_ROOT/scripts/sign.sh" "$KV_ROOT/scripts/sign.sh" >"$1/sign.nsh"
}
