#!/usr/bin/env bash
# Signing with a throwaway self-signed certificate: copies of the packed exe
# and MSI must carry a valid SHA-256 signature afterwards.
set -euo pipefail
cd "$(dirname "$0")/../.."
. packaging/windows/env.sh
signing=$(mktemp -d)
trap 'rm -rf "$signing"' EXIT
openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=Quarlin test" \
  -keyout "$signing/key.pem" -out "$signing/cert.pem" 2>/dev/null
echo throwaway > "$signing/password"
openssl pkcs12 -export -inkey "$signing/key.pem" -in "$signing/cert.pem" -passout file:"$signing/password" \
  -out "$signing/test.p12"
cp "$stage/quarlin.exe" "$out/$zipname.msi" "$signing/"
export QUARLIN_SIGN_PKCS12=$signing/test.p12 QUARLIN_SIGN_PASSWORD_FILE=$signing/password QUARLIN_SIGN_TIMESTAMP_URL=
for f in "$signing/quarlin.exe" "$signing/$zipname.msi"; do
  packaging/windows/sign.sh "$f"
  osslsigncode verify -CAfile "$signing/cert.pem" -in "$f" > "$signing/verify.txt" 2>&1 ||
    { cat "$signing/verify.txt"; fail "no valid signature on $f"; }
  grep -q 'Message digest algorithm *: SHA256' "$signing/verify.txt" || fail "not SHA-256: $f"
done
echo "quarlin.exe and the MSI signed (SHA-256) and verified"
