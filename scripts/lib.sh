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
    # A test that ended before it took its immutable mark off a folder
    # (ReadOnlyFolder in tests/e2e) must not keep the old prefix.
    [ -d "$dest" ] && chattr -R -i "$dest/drive_c" 2>/dev/null
    rm -rf "$dest"
    cp -a "$KV_BUILD/wine-template" "$dest"
    rm -f "$dest/.kv-template"
}

# --- MSI package ----------------------------------------------------------------

# kv_maker NAME: a value of src/ui/maker.h, the one place of the maker's
# addresses (KV_WEB_URL is put together from KV_WEB_HOST there).
kv_maker() {
    local h="$KV_ROOT/src/ui/maker.h"
    case $1 in
    KV_WEB_URL) echo "http://$(kv_maker KV_WEB_HOST)/" ;;
    *) sed -n "s/^#define $1 \"\(.*\)\"\$/\1/p" "$h" ;;
    esac
}

# kv_pe_version FILE: the file version of a Windows executable
# (major.minor.build.revision of its VS_FIXEDFILEINFO).
kv_pe_version() {
    local at v
    at=$(LC_ALL=C grep -obUaP '\xbd\x04\xef\xfe' "$1" | head -n1 | cut -d: -f1)
    [ -n "$at" ] || return 1
    # dwFileVersionMS then LS, each as two little-endian 16-bit halves.
    read -r -a v <<<"$(od -An -tu2 -j $((at + 8)) -N8 "$1")"
    echo "${v[1]}.${v[0]}.${v[3]}.${v[2]}"
}

# The UpgradeCode of the MSI package, the same for every version.
kv_upgrade_code() {
    sed -n 's/.*UpgradeCode="\([0-9A-F-]*\)".*/{\1}/p' "$KV_ROOT/cmake/packaging/Kestrova.wxs"
}

# kv_make_msi BUILD_DIR VERSION OUT: the MSI package of a 64-bit build
# (cmake/packaging/Kestrova.wxs) with the program of BUILD_DIR as VERSION
# (major.minor.build). wixl builds it; msibuild then adds what wixl cannot
# express: a shortcut that is not advertised, InstallLocation in the
# uninstall entry, the program's file version, upgrades between builds of
# one version, the refusals, and the custom action that removes the
# program's own stored traces at a full removal, never at an upgrade's.
kv_make_msi() {
    local dir=$1 version=$2 out=$3 stage exe_version component
    stage="$dir/msi-stage"
    rm -rf "$stage"
    mkdir -p "$stage"
    # wixl takes the sources' paths relative to the folder it runs in.
    cp "$(kv_find_exe "$dir")" "$dir/kv_msi_cleanup.exe" "$dir/kv_msi_check.dll" \
        "$KV_ROOT/src/platform/win32/program.ico" "$KV_ROOT/cmake/packaging/Kestrova.wxs" \
        "$stage/" || return 1
    exe_version=$(kv_pe_version "$stage/kvstrn.exe") || return 1
    component=$(sed -n 's/.*Component Id="Program" Guid="\([0-9A-F-]*\)".*/{\1}/p' "$stage/Kestrova.wxs")
    (cd "$stage" && wixl -a x64 -D Version="$version" -D Exe=kvstrn.exe -D Icon=program.ico \
        -D Cleanup=kv_msi_cleanup.exe -D Check=kv_msi_check.dll \
        -D EntryGuid="$(tr a-z A-Z </proc/sys/kernel/random/uuid)" \
        -D WebUrl="$(kv_maker KV_WEB_URL)" -D Support="$(kv_maker KV_SUPPORT_EMAIL)" \
        -o kestrova.msi Kestrova.wxs) || return 1
    # Custom action types: 51 sets a property; 1 calls a DLL of the Binary
    # table at once (it only reads); 3138 runs an EXE of the Binary table
    # (2), deferred (0x400), as the system (0x800), its exit code ignored
    # (0x40); 3074 the same with its exit code checked. At install and
    # upgrade, after the files, the helper gives users what a standard token
    # needs (the table of src/store/grants.h, which a unit test holds the
    # grant to) and makes the attempt log's folder. The trailing "." keeps
    # the quoted folder from ending in a backslash.
    #
    # Upgrades: a rebuild of the same version replaces the installed one
    # (VersionMaxInclusive, 0x200, which wixl leaves out), so that two
    # builds of one release never stand side by side; REINSTALLMODE "e"
    # replaces a program file of the same version too, so that the rebuild
    # installs its own program (never an older one). The older package
    # goes after InstallExecute, once the newer one's files and values are
    # in place, and its clean-up step then sees the program's component
    # used by the newer one and keeps the user's values (Wine does not set
    # UPGRADINGPRODUCTCODE; Windows does, and the condition keeps the step
    # from running there). It goes before RegisterProduct: Wine's removal of
    # the older package takes the whole UpgradeCode registration away.
    #
    # Refusals (launch conditions, whose texts are these rows): a running
    # Kestrova (KV_RUNNING, set by kv_msi_check.dll), and an installed copy
    # of the setup program (its uninstall entry, in either registry view;
    # only the 64-bit one, in this package's folder, also stops a removal).
    local u="SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kestrova"
    msibuild "$stage/kestrova.msi" \
        -q "UPDATE Shortcut SET Target='[#kvstrn.exe]' WHERE Shortcut='StartMenu'" \
        -q "UPDATE File SET Version='$exe_version', Language='1033' WHERE File='kvstrn.exe'" \
        -q "INSERT INTO Property (Property, Value) VALUES ('REINSTALLMODE', 'emus')" \
        -q "DELETE FROM MsiFileHash WHERE File_='kvstrn.exe'" \
        -q "DELETE FROM Upgrade WHERE ActionProperty='WIX_UPGRADE_DETECTED'" \
        -q "INSERT INTO Upgrade (UpgradeCode, VersionMax, Attributes, ActionProperty) VALUES ('$(kv_upgrade_code)', '$version', 513, 'WIX_UPGRADE_DETECTED')" \
        -q "INSERT INTO InstallExecuteSequence (Action, Sequence) VALUES ('InstallExecute', 5100)" \
        -q "UPDATE InstallExecuteSequence SET Sequence=5150 WHERE Action='RemoveExistingProducts'" \
        -q "INSERT INTO CustomAction (Action, Type, Source, Target) VALUES ('SetInstallLocation', 51, 'ARPINSTALLLOCATION', '[INSTALLDIR]')" \
        -q "INSERT INTO InstallExecuteSequence (Action, Sequence) VALUES ('SetInstallLocation', 1001)" \
        -q "INSERT INTO CustomAction (Action, Type, Source, Target) VALUES ('RemoveTraces', 3138, 'Cleanup', '\"[INSTALLDIR].\" [ProductCode] $component')" \
        -q "INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) VALUES ('RemoveTraces', 'REMOVE~=\"ALL\" AND NOT UPGRADINGPRODUCTCODE', 3400)" \
        -q "INSERT INTO CustomAction (Action, Type, Source, Target) VALUES ('GrantUsers', 3074, 'Cleanup', '/grant S-1-5-32-545 0x3 \"SOFTWARE\Orvane\Kestrova\" \"SOFTWARE\Microsoft\Windows\CurrentVersion\Time Zones\AddZones\"')" \
        -q "INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) VALUES ('GrantUsers', 'NOT REMOVE~=\"ALL\"', 4010)" \
        -q "INSERT INTO CustomAction (Action, Type, Source, Target) VALUES ('MakeDataFolder', 3074, 'Cleanup', '/datafolder \"[INSTALLDIR].\"')" \
        -q "INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) VALUES ('MakeDataFolder', 'NOT REMOVE~=\"ALL\"', 4020)" \
        -q "INSERT INTO CustomAction (Action, Type, Source, Target) VALUES ('FindRunning', 1, 'Check', 'FindRunning')" \
        -q "INSERT INTO InstallExecuteSequence (Action, Sequence) VALUES ('FindRunning', 60)" \
        -q "INSERT INTO InstallUISequence (Action, Sequence) VALUES ('FindRunning', 60)" \
        -q "INSERT INTO LaunchCondition (Condition, Description) VALUES ('NOT KV_RUNNING', 'Kestrova is running. Unlock it, choose Quit in its main window, then install or remove this package again.')" \
        -q "INSERT INTO RegLocator (Signature_, Root, \`Key\`, Name, Type) VALUES ('NsisEntry64', 2, '$u', 'UninstallString', 18)" \
        -q "INSERT INTO RegLocator (Signature_, Root, \`Key\`, Name, Type) VALUES ('NsisEntry32', 2, '$u', 'UninstallString', 2)" \
        -q "INSERT INTO AppSearch (Property, Signature_) VALUES ('KV_SETUP64', 'NsisEntry64')" \
        -q "INSERT INTO AppSearch (Property, Signature_) VALUES ('KV_SETUP32', 'NsisEntry32')" \
        -q "INSERT INTO InstallExecuteSequence (Action, Sequence) VALUES ('AppSearch', 50)" \
        -q "INSERT INTO InstallUISequence (Action, Sequence) VALUES ('AppSearch', 50)" \
        -q "INSERT INTO LaunchCondition (Condition, Description) VALUES ('NOT KV_SETUP64 AND (Installed OR NOT KV_SETUP32)', 'Kestrova is installed by its setup program. Update it with that setup program, or uninstall it in Apps before installing this package.')" ||
        return 1
    mv "$stage/kestrova.msi" "$out"
}

# kv_sign_nsh BUILD_DIR: the commands by which makensis signs the setup
# program and the uninstaller as it writes them (scripts/sign.sh, its
# certificate from the environment), in the file that the setup program's
# script takes in (cmake/packaging/NSIS.template.in); and signed copies of
# NSIS's plug-in DLLs for the build's target, which the setup program and
# the uninstaller unpack into $PLUGINSDIR and load, ahead of the unsigned
# ones in makensis's own folder.
kv_sign_nsh() {
    local dir=$1 target nsisdir plugins
    target=$(sed -n 's/^set(CPACK_KV_NSIS_TARGET "\(.*\)")$/\1/p' "$dir/CPackConfig.cmake")
    nsisdir=$(makensis -HDRINFO 2>/dev/null | grep -o 'NSISDIR=[^,]*' | cut -d= -f2)
    plugins="$dir/nsis-plugins/$target"
    rm -rf "$dir/nsis-plugins"
    mkdir -p "$plugins"
    [ -n "$target" ] && cp "${nsisdir:-/usr/share/nsis}/Plugins/$target"/*.dll "$plugins/" &&
        bash "$KV_ROOT/scripts/sign.sh" "$plugins"/*.dll >/dev/null || return 1
    printf '!addplugindir /%s "%s"\n!finalize `bash "%s" "%%1"` = 0\n!uninstfinalize `bash "%s" "%%1"` = 0\n' \
        "$target" "$plugins" "$KV_ROOT/scripts/sign.sh" "$KV_ROOT/scripts/sign.sh" >"$dir/sign.nsh"
}

# --- what deployment tools are told ----------------------------------------------

# kv_msi_property MSI NAME: a value of the package's Property table.
kv_msi_property() {
    msiinfo export "$1" Property | tr -d '\r' | awk -F'\t' -v n="$2" '$1 == n { print $2; f = 1 } END { exit !f }'
}

# kv_msi_publish MSI OUTDIR [URL]: what deployment tools ask of the MSI
# package, read from the package as built (and signed): MSI.codes.txt with
# its ProductCode and UpgradeCode, and a winget manifest (version,
# installer and default-locale files, schema 1.6.0) in OUTDIR/winget. URL
# is where the package is downloaded from (by default the maker's web
# address, download/ and the file's name).
kv_msi_publish() {
    local msi=$1 out=$2 name code upgrade version sha publisher url id=Orvane.Kestrova m=1.6.0
    name=$(basename "$msi")
    url=${3:-$(kv_maker KV_WEB_URL)download/$name}
    code=$(kv_msi_property "$msi" ProductCode) && upgrade=$(kv_msi_property "$msi" UpgradeCode) &&
        version=$(kv_msi_property "$msi" ProductVersion) &&
        publisher=$(kv_msi_property "$msi" Manufacturer) || return 1
    sha=$(sha256sum "$msi" | cut -d' ' -f1 | tr a-f A-F)
    mkdir -p "$out/winget"
    printf 'ProductCode %s\nUpgradeCode %s\nProductVersion %s\n' "$code" "$upgrade" "$version" \
        >"$out/$name.codes.txt"
    local head="# Made by scripts/release.sh from $name.
PackageIdentifier: $id
PackageVersion: $version"
    printf '%s\nDefaultLocale: en-US\nManifestType: version\nManifestVersion: %s\n' "$head" "$m" \
        >"$out/winget/$id.yaml"
    cat >"$out/winget/$id.installer.yaml" <<EOT
$head
InstallerType: wix
Scope: machine
InstallModes:
  - interactive
  - silent
  - silentWithProgress
InstallerSwitches:
  Silent: /qn /norestart
  SilentWithProgress: /qb /norestart
UpgradeBehavior: install
ProductCode: '$code'
AppsAndFeaturesEntries:
  - DisplayName: $(kv_msi_property "$msi" ProductName)
    Publisher: $publisher
    DisplayVersion: $version
    ProductCode: '$code'
    UpgradeCode: '$upgrade'
    InstallerType: wix
Installers:
  - Architecture: x64
    InstallerUrl: $url
    InstallerSha256: $sha
    ProductCode: '$code'
ManifestType: installer
ManifestVersion: $m
EOT
    cat >"$out/winget/$id.locale.en-US.yaml" <<EOT
$head
PackageLocale: en-US
Publisher: $publisher
PublisherUrl: $(kv_maker KV_WEB_URL)
PackageName: Kestrova
PackageUrl: $(kv_maker KV_WEB_URL)
License: Proprietary
Copyright: $(kv_maker KV_COPYRIGHT)
ShortDescription: A desktop locker that lets the user back in only with the answer to a question.
ManifestType: defaultLocale
ManifestVersion: $m
EOT
}
