#!/usr/bin/env bash
# Signs a release of Ketbook for the update server: writes Ketbook.manifest beside the program,
# the version and the program's SHA-256 digest signed together with the release key, which is
# what updaterKetbook checks before it installs anything.
#   scripts/sign-update.sh KEY.pem Ketbook VERSION
# KEY.pem is the private release key (openssl genpkey -algorithm ed25519), kept off every build
# machine. The manifest is checked against the key's public half before the script ends.
set -euo pipefail
if [ $# -ne 3 ]; then
  echo "usage: $0 KEY.pem Ketbook VERSION" >&2
  exit 2
fi
key=$1
program=$2
version=$3
[ -f "$key" ] || { echo "$0: no key file $key" >&2; exit 1; }
[ -f "$program" ] && [ -s "$program" ] || { echo "$0: no program file $program (or it is empty)" >&2; exit 1; }
if ! [[ $version =~ ^[0-9]+(\.[0-9]+)*$ ]] || [ ${#version} -gt 64 ]; then
  echo "$0: $version is not a version: numbers joined by dots, at most 64 characters" >&2
  exit 1
fi
if ! openssl pkey -in "$key" -noout -text 2>/dev/null | head -n 1 | grep -q 'ED25519'; then
  echo "$0: $key is not an Ed25519 private key" >&2
  exit 1
fi

dir=$(dirname "$program")
base=$(basename "$program")
manifest="$dir/${base%.exe}.manifest"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

digest=$(openssl dgst -sha256 -r "$program" | cut -d' ' -f1)
printf 'version %s\nsha256 %s\n' "$version" "$digest" >"$work/signed"
openssl pkeyutl -sign -rawin -inkey "$key" -in "$work/signed" -out "$work/sig"
openssl pkey -in "$key" -pubout -out "$work/pub.pem"
openssl pkeyutl -verify -rawin -pubin -inkey "$work/pub.pem" -in "$work/signed" -sigfile "$work/sig" >/dev/null
{
  cat "$work/signed"
  printf 'signature %s\n' "$(openssl base64 -A -in "$work/sig")"
} >"$work/manifest"
mv -f "$work/manifest" "$manifest"
echo "$manifest"
