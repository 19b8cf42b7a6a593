#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite headless.
# Extra arguments go to ctest (e.g. ./test.sh -R link). OVRIN_SANITIZE=address,undefined
# builds with sanitizers into build-sanitize/.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/setup.sh

build=build
args=()
if [[ -n ${OVRIN_SANITIZE:-} ]]; then
  build=build-sanitize
  args+=("-DOVRIN_SANITIZE=$OVRIN_SANITIZE")
fi
cmake -S . -B "$build" "${args[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)"

# Widgets render offscreen; the D-Bus tests get a private session bus.
export QT_QPA_PLATFORM=offscreen
unset DBUS_SESSION_BUS_ADDRESS
exec dbus-run-session -- ctest --test-dir "$build" --output-on-failure -j"$(nproc)" "$@"
