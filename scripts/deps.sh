#!/usr/bin/env bash
# Installs the build and test tools that are missing (Debian 12, run as root).
# Does nothing, and does not touch apt, when everything is present.
set -euo pipefail

packages=(
    # native build and unit tests
    g++ cmake ninja-build libgtest-dev googletest
    # the policy templates' test parses them
    libexpat1-dev
    # libFuzzer targets (clang with its fuzzer and sanitizer runtimes)
    clang libclang-rt-14-dev
    # cross compilers for the Windows program
    g++-mingw-w64-x86-64 g++-mingw-w64-i686 binutils-mingw-w64
    # running and watching the Windows program
    wine wine64 xvfb xauth xdotool x11-apps x11-utils imagemagick
    # fonts the windows are laid out for
    fonts-wine fonts-liberation
    # the setup program (makensis) and a look inside it and the archives
    nsis p7zip-full
    # the MSI package (wixl is a package of its own; msitools has msibuild,
    # msiinfo and msiextract) and signing the release
    msitools wixl osslsigncode openssl
    # the signing tests' time-stamp responder
    python3
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "deps: installing ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
    echo "deps: must run as root to install packages" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends "${missing[@]}"
