#!/usr/bin/env bash
# Renders the account window's views (e-mail sign-in and cabinet) in every
# state, light and dark, under Xvfb: one PNG per state and palette (e.g.
# signin-code-light.png, cabinet-fresh-dark.png).
# Usage: scripts/screenshots-account.sh [OUTPUT_FOLDER]   (default build/screenshots)
# The build folder is build/, or OVRIN_SCREENSHOTS_BUILD.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build/screenshots}
build=${OVRIN_SCREENSHOTS_BUILD:-build}

./scripts/setup.sh
cmake -S . -B "$build" >/dev/null
cmake --build "$build" -j"$(nproc)" --target account_screenshots >/dev/null

mkdir -p "$out"
out=$(cd "$out" && pwd)
# No desktop session: a fixed font setting, so every machine draws the same.
QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=1 \
  xvfb-run -a -s '-screen 0 1280x1024x24' "$build/tests/account_screenshots" "$out"
echo "screenshots: $out"
