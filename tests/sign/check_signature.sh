#!/usr/bin/env bash
# Signs Setup.exe with scripts/sign and a throwaway CA made here; the signature must verify against
# that CA, and no longer once a byte of the signed file has changed. Leaves <work>/Setup-signed.exe.
#   check_signature.sh <scripts/sign> <Setup.exe> <work folder>
set -euo pipefail
sign=$1 exe=$2 work=$3
rm -rf "$work" && mkdir -p "$work" && cd "$work"

export CORVANE_SIGN_PASSWORD="throwaway $RANDOM"
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 -subj "/CN=Test CA" \
  -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign 2>/dev/null
openssl req -new -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr -subj "/CN=Test Signer" 2>/dev/null
printf 'extendedKeyUsage=codeSigning\nkeyUsage=critical,digitalSignature\n' >signer.ext
openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -set_serial 2 -days 2 -extfile signer.ext \
  -out signer.pem 2>/dev/null
openssl pkcs12 -export -inkey signer.key -in signer.pem -certfile ca.pem \
  -passout env:CORVANE_SIGN_PASSWORD -out signer.p12

cp "$exe" Setup.exe
"$sign" signer.p12 Setup.exe
osslsigncode verify -CAfile ca.pem -in Setup-signed.exe
cp Setup-signed.exe tampered.exe
printf '\x5a' | dd of=tampered.exe bs=1 seek=4096 conv=notrunc status=none  # within the code
! osslsigncode verify -CAfile ca.pem -in tampered.exe || { echo "a changed byte went unnoticed"; exit 1; }
