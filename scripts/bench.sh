#!/usr/bin/env bash
# Measures what the README's performance section reports. Figures are
# medians over repetitions, with ratios against a floor measured in the same
# run, because the machines are shared and noisy. Usage: scripts/bench.sh
set -euo pipefail
cd "$(dirname "$0")/.."
build=${OVRIN_BENCH_BUILD:-build-bench}

./scripts/setup.sh
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DOVRIN_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null

echo "machine: $(nproc) cores, $(uname -m), $(date -u +%Y-%m-%d)"

# median_ns NAME: the median real time of one benchmark, in nanoseconds.
median_ns() {
  awk -v name="$1" '
    $1 ~ name && $1 ~ /_median$/ {
      v = $2; u = $3
      if (u == "us") v *= 1000; else if (u == "ms") v *= 1000000; else if (u == "s") v *= 1e9
      printf "%.0f\n", v
    }' "$out"
}

out=$(mktemp)
trap 'rm -f "$out"' EXIT
"$build/bench/link_bench" --benchmark_repetitions=15 --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true >"$out" 2>/dev/null
rt=$(median_ns BM_RoundTrip)
floor=$(median_ns BM_BareSyscalls)
decode=$(median_ns BM_DecodeStatus1000Channels)
awk -v rt="$rt" -v floor="$floor" -v decode="$decode" 'BEGIN {
  printf "link: GET /status round trip (1 KiB reply), median of 15: %.1f us\n", rt / 1000
  printf "link: the same exchange with bare system calls (floor):   %.1f us\n", floor / 1000
  printf "link: ratio round trip / floor: %.2fx (target <= 1.5x)\n", rt / floor
  printf "link: decode a Status with 1,000 channels, median: %.3f ms (target < 1 ms)\n", decode / 1e6
}'

for extra in scripts/bench-*.sh; do
  [[ -x $extra ]] && "$extra" "$build"
done

# The main window: one re-render (the view's update from Core, then the
# layout and painting it leaves) of a view holding 1,000 and 100,000
# channels, and the resident memory a shown view of 100,000 channels takes.
"$build/bench/main_view_bench" --benchmark_repetitions=15 --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true >"$out" 2>/dev/null
for n in 1000 100000; do
  metrics=$(median_ns "BM_RerenderMetricsOnly/$n/")
  names=$(median_ns "BM_RerenderNamesChanged/$n/")
  awk -v n="$n" -v metrics="$metrics" -v names="$names" 'BEGIN {
    printf "main view: re-render with %d channels after a metrics-only change, median of 15: %.3f ms (target < 2 ms)\n", n, metrics / 1e6
    printf "main view: re-render with %d channels after the names change, median of 15:   %.3f ms (target < 17 ms)\n", n, names / 1e6
  }'
done
"$build/bench/main_view_bench" --resident=100000 2>/dev/null | sed 's/^/main view: /'
