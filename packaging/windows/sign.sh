#!/usr/bin/env bash
# Signs a file in place (SHA-256) when QUARLIN_SIGN_PKCS12 and
# QUARLIN_SIGN_PASSWORD_FILE name a .p12 and its password, time-stamped by
# QUARLIN_SIGN_TIMESTAMP_URL if it answers; else leaves it as it is.
# Usage: sign.sh <file>
set -euo pipefail
[ -n "${QUARLIN_SIGN_PKCS12:-}" ] && [ -n "${QUARLIN_SIGN_PASSWORD_FILE:-}" ] || exit 0
args=(sign -pkcs12 "$QUARLIN_SIGN_PKCS12" -readpass "$QUARLIN_SIGN_PASSWORD_FILE" -h sha256
  -n Quarlin -in "$1" -out "$1.signed")
rm -f "$1.signed"
if [ -n "${QUARLIN_SIGN_TIMESTAMP_URL:-}" ] &&
   ! osslsigncode "${args[@]}" -ts "$QUARLIN_SIGN_TIMESTAMP_URL" >/dev/null 2>&1; then
  echo "$(basename "$1"): no answer from $QUARLIN_SIGN_TIMESTAMP_URL, signed without a time stamp" >&2
  rm -f "$1.signed"
fi
[ -e "$1.signed" ] || osslsigncode "${args[@]}" >/dev/null
mv "$1.signed" "$1"
