#!/usr/bin/env bash
# Signs Setup.exe with scripts/sign and a throwaway CA made here, once per kind of key file; each
# signature must verify against that CA, and no longer once a byte of the signed file has changed.
# A failed signing must say why, without showing the password.
# Leaves <work>/Setup-signed.exe, signed with the first key.
#   check_signature.sh <scripts/sign> <Setup.exe> <work folder>
set -euo pipefail
sign=$1 exe=$2 work=$3
rm -rf "$work" && mkdir -p "$work" && cd "$work"

# One row per kind of key file: its password | further options of its export. Then, without a
# password: one exported with an empty password, and one neither encrypted nor protected.
keys=("throwaway $RANDOM|" "|" "|-nomac -keypbe NONE -certpbe NONE")

openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 -subj "/CN=Test CA" \
  -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign 2>/dev/null
openssl req -new -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr -subj "/CN=Test Signer" 2>/dev/null
printf 'extendedKeyUsage=codeSigning\nkeyUsage=critical,digitalSignature\n' >signer.ext
openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -set_serial 2 -days 2 -extfile signer.ext \
  -out signer.pem 2>/dev/null

for row in "${!keys[@]}"; do
  IFS='|' read -r password options <<<"${keys[$row]}"
  echo "== key $row: a password of ${#password} characters, export options: $options"
  mkdir "$row"
  # $options unquoted: its words are separate arguments
  CORVANE_SIGN_PASSWORD=$password openssl pkcs12 -export -inkey signer.key -in signer.pem \
    -certfile ca.pem $options -passout env:CORVANE_SIGN_PASSWORD -out "$row/signer.p12"
  cp "$exe" "$row/Setup.exe"
  CORVANE_SIGN_PASSWORD=$password "$sign" "$row/signer.p12" "$row/Setup.exe"
  osslsigncode verify -CAfile ca.pem -in "$row/Setup-signed.exe"
  cp "$row/Setup-signed.exe" "$row/tampered.exe"
  printf '\x5a' | dd of="$row/tampered.exe" bs=1 seek=4096 conv=notrunc status=none  # within the code
  ! osslsigncode verify -CAfile ca.pem -in "$row/tampered.exe" || { echo "a changed byte went unnoticed"; exit 1; }
done

# Failures: a wrong password, and a time-stamping server that refuses the connection (on this
# machine's loopback). Each must fail with osslsigncode's reason, in which the password never
# shows, not even where the reason names a key file that holds it in its name.
wrong="wrong \\$RANDOM %s"
cp 0/signer.p12 "$wrong.p12"
failures=("$wrong|$wrong.p12|PKCS#12" "${keys[0]%%|*}|0/signer.p12|timestamp")
for failure in "${failures[@]}"; do
  IFS='|' read -r password key reason <<<"$failure"
  echo "== a failure that names its reason: $reason"
  if CORVANE_SIGN_PASSWORD=$password "$sign" --timestamp http://127.0.0.1:9/ "$key" 0/Setup.exe refused.exe \
       2>refused.txt; then
    echo "signed all the same"; exit 1
  fi
  cat refused.txt
  grep -qi "$reason" refused.txt || { echo "the failure did not say why"; exit 1; }
  ! grep -qF "$password" refused.txt || { echo "the password was shown"; exit 1; }
done
cp 0/Setup-signed.exe Setup-signed.exe
