#!/usr/bin/env bash
# Installs what is missing, builds, and runs Ovrin with the reference helper.
# Until the tray application lands this starts the reference helper (when it
# is not already answering) and shows its status with ovrinctl; any arguments
# are passed to ovrinctl instead (./run.sh request POST '/connect?i=0').
set -euo pipefail
cd "$(dirname "$0")"

./scripts/setup.sh
cmake -S . -B build >/dev/null
cmake --build build -j"$(nproc)"

bin=build/bin
resources=build/lib/ovrin
helper_pid=
if [[ -x $resources/helper ]] && ! "$bin/ovrinctl" request GET /status --timeout 2 >/dev/null 2>&1; then
  "$resources/helper" -default "$resources/channels.json" -engine "$resources/netcore" &
  helper_pid=$!
  trap '[[ -n $helper_pid ]] && kill "$helper_pid" 2>/dev/null; wait' EXIT
  for _ in $(seq 50); do
    "$bin/ovrinctl" request GET /status --timeout 2 >/dev/null 2>&1 && break
    sleep 0.1
  done
fi

if [[ $# -gt 0 ]]; then
  "$bin/ovrinctl" "$@"
else
  "$bin/ovrinctl" status
fi
