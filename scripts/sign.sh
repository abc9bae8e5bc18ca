#!/usr/bin/env bash
# Signs each file given in place with osslsigncode: Authenticode, SHA-256,
# with an RFC 3161 timestamp from the server KV_SIGN_TIMESTAMP names (an
# untimestamped signature stops verifying when the certificate expires).
# The key:
#   KV_SIGN_PKCS12                         a PKCS#12 file, or
#   KV_SIGN_PKCS11_MODULE                  a PKCS#11 module, with the key's
#                                          id in KV_SIGN_PKCS11_KEY and the
#                                          certificate in KV_SIGN_PKCS11_CERT
#                                          (a file, or an id on the token);
# its password or PIN in the file KV_SIGN_PASSWORD_FILE, or else in
# KV_SIGN_PASSWORD. osslsigncode reads either itself (-readpass), never from
# its command line, where other users of the machine could read it.
# Exits 3 when no key is set, 4 when no time-stamp server is set and
# KV_SIGN_NO_TIMESTAMP is not 1 (the explicit wish for signatures without
# one). release.sh runs it on the program, the MSI package's custom-action
# files and the NSIS plug-ins before they are packed, NSIS on the
# uninstaller and the setup program (!uninstfinalize, !finalize), and
# release.sh on the MSI.
set -euo pipefail

if [ -n "${KV_SIGN_PKCS12:-}" ]; then
    key=(-pkcs12 "$KV_SIGN_PKCS12")
elif [ -n "${KV_SIGN_PKCS11_MODULE:-}" ]; then
    key=(-pkcs11module "$KV_SIGN_PKCS11_MODULE" -key "${KV_SIGN_PKCS11_KEY:?KV_SIGN_PKCS11_KEY names the key}")
    if [ -f "${KV_SIGN_PKCS11_CERT:?KV_SIGN_PKCS11_CERT names the certificate}" ]; then
        key+=(-certs "$KV_SIGN_PKCS11_CERT")
    else
        key+=(-pkcs11cert "$KV_SIGN_PKCS11_CERT")
    fi
else
    echo "sign.sh: no certificate (KV_SIGN_PKCS12 or KV_SIGN_PKCS11_MODULE)" >&2
    exit 3
fi
# The password reaches osslsigncode through a file: the one given, or a
# here-string on descriptor 3.
pass=()
if [ -n "${KV_SIGN_PASSWORD_FILE:-}" ]; then
    pass=(-readpass "$KV_SIGN_PASSWORD_FILE")
elif [ -n "${KV_SIGN_PASSWORD:-}" ]; then
    pass=(-readpass /dev/fd/3)
fi
if [ -n "${KV_SIGN_TIMESTAMP:-}" ]; then
    stamp=(-ts "$KV_SIGN_TIMESTAMP")
elif [ "${KV_SIGN_NO_TIMESTAMP:-}" = 1 ]; then
    stamp=()
else
    echo "sign.sh: no time-stamp server: set KV_SIGN_TIMESTAMP to an RFC 3161 server's URL, or KV_SIGN_NO_TIMESTAMP=1 for signatures that stop verifying when the certificate expires" >&2
    exit 4
fi

# The maker's web address (src/ui/maker.h).
url="http://$(sed -n 's/^#define KV_WEB_HOST "\(.*\)"$/\1/p' "$(dirname "${BASH_SOURCE[0]}")/../src/ui/maker.h")/"

for f in "$@"; do
    rm -f "$f.signed"
    osslsigncode sign "${key[@]}" "${pass[@]}" -h sha256 -n Kestrova -i "$url" \
        "${stamp[@]}" -in "$f" -out "$f.signed" >/dev/null 3<<<"${KV_SIGN_PASSWORD:-}"
    mv "$f.signed" "$f"
    echo "signed $f"
done
