#!/usr/bin/env bash
# Measures the reference helper over its control socket (a Unix socket, nothing else):
#  - requests per second for "GET /status" with 1, 8 and 64 concurrent clients;
#  - resident memory after 1,000 and after 100,000 requests (target: under 10 % growth).
# Usage: scripts/bench-helper.sh [BUILD_DIR]   (default: build; needs the targets helper
# and helper_load)
set -euo pipefail

build=$(cd "${1:-${OVRIN_BUILD_DIR:-build}}" && pwd)
helper=$build/lib/ovrin/helper
load=$build/bin/helper_load
for program in "$helper" "$load"; do
  [[ -x $program ]] || { echo "bench-helper: $program is missing; build helper and helper_load" >&2; exit 1; }
done

home=$(mktemp -d)
pid=
cleanup() {
  [[ -n $pid ]] && kill -TERM "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true
  rm -rf "$home"
}
trap cleanup EXIT
socket="$home/Library/Application Support/Ovrin/control.sock"

HOME=$home "$helper" -default "$build/lib/ovrin/channels.json" -engine "$build/lib/ovrin/netcore" &
pid=$!
for _ in $(seq 100); do
  [[ -S $socket ]] && break
  sleep 0.05
done
[[ -S $socket ]] || { echo "bench-helper: the helper did not start" >&2; exit 1; }

rss_kib() { awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status"; }
rps() { "$load" "$socket" "$1" "$2" | awk '{ print $NF }'; }

echo "helper: GET /status, one connection per request"
"$load" "$socket" 8 1000 >/dev/null
rss_1k=$(rss_kib)
"$load" "$socket" 8 99000 >/dev/null
rss_100k=$(rss_kib)
growth=$(awk -v a="$rss_1k" -v b="$rss_100k" 'BEGIN { printf "%.1f", (b - a) * 100 / a }')

for clients in 1 8 64; do
  printf '  %2d client(s): %s requests/s\n' "$clients" "$(rps "$clients" 20000)"
done
printf '  resident memory: %d KiB after 1,000 requests, %d KiB after 100,000 (%s %%)\n' \
  "$rss_1k" "$rss_100k" "$growth"
awk -v g="$growth" 'BEGIN { exit !(g < 10) }' || { echo "  memory grew by 10 % or more" >&2; exit 1; }
