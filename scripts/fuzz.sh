#!/usr/bin/env bash
# Fuzzes every target in tests/fuzz for SECONDS seconds each (default 60)
# with libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer, built with
# clang in its own folder. Each target starts from a copy of its seeds in
# tests/fuzz/corpus/; new inputs and findings stay in the build folder.
# Exits non-zero when a target crashes, hangs, leaks or breaks a property;
# the input that did it is in <build>/run/<target>/findings/.
# Usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=${OVRIN_FUZZ_BUILD:-build-fuzz}
[[ $seconds =~ ^[0-9]+$ && $seconds -gt 0 ]] || { echo "usage: $0 [SECONDS]" >&2; exit 2; }

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# The libraries get the coverage instrumentation and the sanitizers; only the
# fuzz programs link libFuzzer itself (tests/fuzz/CMakeLists.txt).
cmake -S . -B "$build" "${launcher[@]}" -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOVRIN_SANITIZE=address,undefined \
  -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link -DOVRIN_FUZZ=ON -DOVRIN_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target fuzz_all >/dev/null

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export QT_QPA_PLATFORM=offscreen

failed=0
printf '%-16s %12s %10s %8s  %s\n' target runs runs/s corpus result
while read -r target; do
  [[ -n $target ]] || continue
  run="$build/run/$target"
  rm -rf "$run"
  mkdir -p "$run/corpus" "$run/findings"
  cp tests/fuzz/corpus/"$target"/* "$run/corpus/"
  status=ok
  "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=60 -print_final_stats=1 \
    -artifact_prefix="$run/findings/" "$run/corpus" >"$run/log" 2>&1 || status="FAILED (see $run/log)"
  [[ $status == ok ]] || failed=1
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$run/log" | tail -n 1)
  printf '%-16s %12s %10s %8s  %s\n' "$target" "${runs:-?}" "$(( ${runs:-0} / seconds ))" \
    "$(find "$run/corpus" -type f | wc -l)" "$status"
done <"$build/fuzz/targets.txt"
exit "$failed"
