#!/usr/bin/env bash
# Builds the Debian package ovrin_<version>_<arch>.deb: a Release build of the
# programs alone (no tests, no benchmarks) in build-package/, then CPack's DEB
# generator. The package lands in OUTPUT_DIR (build-package/ unless given).
# Usage: scripts/package.sh [OUTPUT_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh

build="build-package"
out=$(realpath -m "${1:-$build}")
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DOVRIN_BUILD_TESTS=OFF \
  -DOVRIN_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"
cpack --config "$build/CPackConfig.cmake" -B "$out"

version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
deb=$out/ovrin_${version}_$(dpkg --print-architecture).deb
[[ -f $deb ]] || { echo "package.sh: $deb was not made" >&2; exit 1; }
echo "$deb"
