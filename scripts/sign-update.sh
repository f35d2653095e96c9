#!/usr/bin/env bash
# Signs a release of Ketbook for the update server: writes Ketbook.sig beside the program, the
# Ed25519 signature over its bytes that updaterKetbook checks before it installs anything.
#   scripts/sign-update.sh KEY.pem Ketbook
# KEY.pem is the private release key (openssl genpkey -algorithm ed25519); keep it out of the
# repository. The signature is checked against the key's public half before the script ends.
set -euo pipefail
if [ $# -ne 2 ]; then
  echo "usage: $0 KEY.pem Ketbook" >&2
  exit 2
fi
key=$1
program=$2
[ -f "$key" ] || { echo "$0: no key file $key" >&2; exit 1; }
[ -f "$program" ] && [ -s "$program" ] || { echo "$0: no program file $program (or it is empty)" >&2; exit 1; }
if ! openssl pkey -in "$key" -noout -text 2>/dev/null | head -n 1 | grep -q 'ED25519'; then
  echo "$0: $key is not an Ed25519 private key" >&2
  exit 1
fi

dir=$(dirname "$program")
base=$(basename "$program")
signature="$dir/${base%.exe}.sig"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

openssl pkeyutl -sign -rawin -inkey "$key" -in "$program" -out "$work/sig"
openssl pkey -in "$key" -pubout -out "$work/pub.pem"
openssl pkeyutl -verify -rawin -pubin -inkey "$work/pub.pem" -in "$program" -sigfile "$work/sig" >/dev/null
mv -f "$work/sig" "$signature"

release="$(dirname "$0")/../src/updater/release-key.pub"
if [ -f "$release" ] && ! cmp -s "$work/pub.pem" "$release"; then
  echo "note: $key is not the release key that updaterKetbook is built with" >&2
fi
echo "$signature"
