#!/usr/bin/env bash
# Renders the main window and the account views (e-mail sign-in, cabinet) in
# every state, light and dark, under Xvfb: one PNG per state and palette
# (e.g. connected-light.png, signin-code-dark.png, cabinet-fresh-light.png).
# Usage: scripts/screenshots.sh [OUTPUT_FOLDER]   (default build/screenshots)
# The build folder is build/, or OVRIN_SCREENSHOTS_BUILD.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build/screenshots}
build=${OVRIN_SCREENSHOTS_BUILD:-build}

./scripts/setup.sh
cmake -S . -B "$build" -DOVRIN_BUILD_TESTS=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target ui_main_screenshots account_screenshots >/dev/null

mkdir -p "$out"
out=$(cd "$out" && pwd)
# No desktop session: a fixed font setting, so every machine draws the same.
for shooter in ui_main_screenshots account_screenshots; do
  QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=1 \
    xvfb-run -a -s '-screen 0 1280x1024x24' "$build/tools/$shooter" "$out"
done
echo "screenshots: $out"
