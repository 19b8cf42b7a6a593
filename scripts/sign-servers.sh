#!/usr/bin/env bash
# Signs FOLDER/servers.json for the reference helper: writes FOLDER/servers.json.sig, the raw
# 64-byte Ed25519 signature of the file's exact bytes.
#
# The key is resources/sample-servers/demo-signing-key.pem, a DEMO key whose private half is
# public in this repository: the helper trusts it, nothing else may. Never sign a real list
# with it. SIGNING_KEY=path overrides the key (the helper then refuses the list unless its
# built-in public key matches).
set -euo pipefail

if [[ $# -ne 1 ]]; then
  echo "usage: $0 FOLDER   (signs FOLDER/servers.json into FOLDER/servers.json.sig)" >&2
  exit 64
fi
folder=$1
list=$folder/servers.json
key=${SIGNING_KEY:-$(cd "$(dirname "$0")/.." && pwd)/resources/sample-servers/demo-signing-key.pem}

[[ -f $list ]] || { echo "sign-servers: no $list" >&2; exit 66; }
[[ -f $key ]] || { echo "sign-servers: no signing key $key" >&2; exit 66; }

# Written next to the target and renamed, so a failed run leaves no half signature behind.
tmp=$(mktemp "$folder/.servers.json.sig.XXXXXX")
trap 'rm -f "$tmp"' EXIT
openssl pkeyutl -sign -rawin -inkey "$key" -in "$list" -out "$tmp"
size=$(stat -c %s "$tmp")
[[ $size -eq 64 ]] || { echo "sign-servers: unexpected signature size $size" >&2; exit 70; }
chmod 0644 "$tmp"
mv -f "$tmp" "$folder/servers.json.sig"
trap - EXIT
echo "signed $list -> $folder/servers.json.sig"
