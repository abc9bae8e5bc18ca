#!/usr/bin/env bash
# Signs each file given in place with osslsigncode: Authenticode, SHA-256,
# with a timestamp when KV_SIGN_TIMESTAMP names an RFC 3161 server. The key:
#   KV_SIGN_PKCS12 (and KV_SIGN_PASSWORD)  a PKCS#12 file, or
#   KV_SIGN_PKCS11_MODULE                  a PKCS#11 module, with the key's
#                                          id in KV_SIGN_PKCS11_KEY and the
#                                          certificate in KV_SIGN_PKCS11_CERT
#                                          (a file, or an id on the token),
#                                          the PIN in KV_SIGN_PASSWORD.
# Exits 3 when neither is set. release.sh runs it on the program before it
# is packed, NSIS on the uninstaller and the setup program (!uninstfinalize,
# !finalize), and release.sh on the MSI.
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
[ -n "${KV_SIGN_PASSWORD:-}" ] && key+=(-pass "$KV_SIGN_PASSWORD")
stamp=()
[ -n "${KV_SIGN_TIMESTAMP:-}" ] && stamp=(-ts "$KV_SIGN_TIMESTAMP")

for f in "$@"; do
    rm -f "$f.signed"
    osslsigncode sign "${key[@]}" -h sha256 -n Kestrova -i http://www.orvane.example/ \
        "${stamp[@]}" -in "$f" -out "$f.signed" >/dev/null
    mv "$f.signed" "$f"
    echo "signed $f"
done
