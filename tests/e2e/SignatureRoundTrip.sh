#!/usr/bin/env bash
# The signing round trip of scripts/sign on a copy of the built tool, with a throwaway code-signing
# certificate: the signed copy verifies against that certificate, and fails to verify against another
# one and once a single byte of its code is changed.
#   SignatureRoundTrip.sh <scripts/sign> <remediation.exe> <work folder>
set -euo pipefail
sign=$1 program=$2 work=$3
rm -rf "$work"
mkdir -p "$work"
cd "$work"

# A self-signed certificate for code signing, its key protected by a password; and a second one that
# must not verify the signature.
certificate() {
    openssl req -x509 -newkey rsa:2048 -sha256 -days 2 -subj "/CN=$1" -keyout "$1.key" -out "$1.pem" \
        -passout file:password.txt -addext "keyUsage=critical,digitalSignature" \
        -addext "extendedKeyUsage=codeSigning" 2>/dev/null
}
echo "throwaway $RANDOM$RANDOM" >password.txt
certificate signer
certificate stranger

failures=0
verify() {
    local expected=$1 file=$2 trust=$3 what=$4
    if osslsigncode verify -CAfile "$trust" -in "$file" >"verify-$what.log" 2>&1; then actual=verifies; else actual=fails; fi
    if [ "$actual" = "$expected" ]; then
        echo "signature: $what: $actual, as it must"
    else
        echo "signature: $what: $actual, but it must be that it $expected"
        cat "verify-$what.log"
        failures=$((failures + 1))
    fi
}

# The PEM certificate and key, the password from a file.
"$sign" --cert signer.pem --key signer.key --password-file password.txt "$program" signed.exe
verify verifies signed.exe signer.pem "signed copy against its certificate"
verify fails signed.exe stranger.pem "signed copy against another certificate"

# One byte of the code, in the middle of .text, changed.
cp signed.exe tampered.exe
offset=$(python3 -c 'import sys; d=open(sys.argv[1],"rb").read(); import struct
pe=struct.unpack_from("<I",d,0x3c)[0]; s=pe+24+struct.unpack_from("<H",d,pe+20)[0]
size,raw=struct.unpack_from("<II",d,s+16); print(raw+size//2)' signed.exe)
printf "$(printf '\\%03o' $(( ($(od -An -tu1 -j "$offset" -N1 tampered.exe) + 1) % 256 )))" |
    dd of=tampered.exe bs=1 seek="$offset" conv=notrunc status=none
cmp -s signed.exe tampered.exe && { echo "signature: the byte at $offset did not change"; exit 1; }
verify fails tampered.exe signer.pem "copy with one byte changed at $offset"

# The same certificate as PKCS#12, the password from the environment.
cp password.txt export-password.txt # openssl reads two passwords from one file line by line
openssl pkcs12 -export -inkey signer.key -in signer.pem -passin file:password.txt -passout file:export-password.txt \
    -out signer.p12
QUELVO_SIGN_PASSWORD=$(cat password.txt) "$sign" --cert signer.p12 "$program" signed-p12.exe
verify verifies signed-p12.exe signer.pem "copy signed from PKCS#12 against its certificate"

exit $((failures > 0))
