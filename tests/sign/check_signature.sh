#!/usr/bin/env bash
# Signs Setup.exe with scripts/sign and a throwaway CA made here, and checks that the signature
# verifies against that CA and no longer does once a byte of the signed file has changed.
#
#   check_signature.sh <scripts/sign> <Setup.exe> <work folder>     (leaves <work>/Setup-signed.exe)
set -euo pipefail
sign=$1 exe=$2 work=$3
rm -rf "$work"
mkdir -p "$work"
cd "$work"

export CORVANE_SIGN_PASSWORD="throwaway $RANDOM"
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 -subj "/CN=Corvane Test CA" \
  -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign 2>/dev/null
openssl req -new -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr -subj "/CN=Corvane Test Signer" 2>/dev/null
printf 'extendedKeyUsage=codeSigning\nkeyUsage=critical,digitalSignature\n' >signer.ext
openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -set_serial 2 -days 2 -extfile signer.ext \
  -out signer.pem 2>/dev/null
openssl pkcs12 -export -inkey signer.key -in signer.pem -certfile ca.pem \
  -passout env:CORVANE_SIGN_PASSWORD -out signer.p12

cp "$exe" Setup.exe
"$sign" signer.p12 Setup.exe
osslsigncode verify -CAfile ca.pem -in Setup-signed.exe >verify.log ||
  { cat verify.log; echo "the signature does not verify against the test CA"; exit 1; }

# One byte of the code, well inside the image, changed.
cp Setup-signed.exe tampered.exe
printf '\x5a' | dd of=tampered.exe bs=1 seek=4096 conv=notrunc status=none
if osslsigncode verify -CAfile ca.pem -in tampered.exe >tampered.log 2>&1; then
  cat tampered.log
  echo "a changed byte went unnoticed"
  exit 1
fi
echo "signed Setup.exe verifies against the test CA; a changed byte fails it"
