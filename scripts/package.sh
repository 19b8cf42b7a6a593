#!/usr/bin/env bash
# Builds the Debian package ovrin_<version>_<arch>.deb: a Release build of the
# programs alone (no tests, no benchmarks) in build-package/, then CPack's DEB
# generator. The package lands in OUTPUT_DIR (build-package/ unless given).
# Usage: scripts/package.sh [OUTPUT_DIR]
set -euo pipefail
out=${1:+$(realpath -m "$1")}
cd "$(dirname "$0")/.."

./scripts/setup.sh

build="build-package"
out=${out:-$PWD/$build}
# Debian's hardening flags (stack protector, fortified functions, read-only
# relocations bound at start); no debug information, which CPack strips anyway.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CXXFLAGS_MAINT_STRIP=-g
cxxflags="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DOVRIN_BUILD_TESTS=OFF \
  -DOVRIN_BUILD_BENCH=OFF -DCMAKE_CXX_FLAGS="$cxxflags" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$build" -j"$(nproc)"
cpack --config "$build/CPackConfig.cmake" -B "$out"

version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
deb=$out/ovrin_${version}_$(dpkg --print-architecture).deb
[[ -f $deb ]] || { echo "package.sh: $deb was not made" >&2; exit 1; }
echo "$deb"
