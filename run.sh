#!/usr/bin/env bash
# Installs what is missing, builds, and runs Ovrin. The application starts the
# reference helper from its resource folder (build/lib/ovrin) by itself.
# Arguments are passed to the application (./run.sh --restore-channel 'Latvia — Riga').
set -euo pipefail
cd "$(dirname "$0")"

./scripts/setup.sh
cmake -S . -B build >/dev/null
cmake --build build -j"$(nproc)"

if [[ -z ${DISPLAY:-} && -z ${WAYLAND_DISPLAY:-} ]]; then
  echo "run.sh: no display; running Ovrin under xvfb-run (nothing will be visible)." >&2
  echo "run.sh: drive it with build/bin/ovrinctl from another terminal; Ctrl+C quits." >&2
  exec xvfb-run -a -s '-screen 0 1280x1024x24' build/bin/ovrin "$@"
fi
exec build/bin/ovrin "$@"
