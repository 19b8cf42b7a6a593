#!/usr/bin/env bash
# Measures the application against the reference helper under Xvfb:
#  - start-up: launch to the main window mapped, median of 5;
#  - 60 s connected with the window open: CPU time over wall time, resident
#    memory, threads and open descriptors at the start and the end.
# Usage: scripts/bench-app.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build}" && pwd)
[[ -x $build/bin/ovrin && -x $build/lib/ovrin/helper ]] || {
  echo "bench-app: build the targets ovrin, helper and ovrinctl first" >&2
  exit 1
}
seconds=${OVRIN_BENCH_APP_SECONDS:-60}

inner=$(mktemp)
trap 'rm -f "$inner"' EXIT
cat >"$inner" <<'INNER'
set -euo pipefail
build=$1 seconds=$2
export HOME=$(mktemp -d) QT_QPA_PLATFORM=xcb
trap 'pkill -TERM -f "^$build/bin/ovrin" 2>/dev/null || true; rm -rf "$HOME"' EXIT
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
window_mapped() {
  local id
  for id in $(xwininfo -root -tree 2>/dev/null | awk '/\("ovrin" "ovrin"\)/ {print $1}'); do
    xwininfo -id "$id" 2>/dev/null | grep -q 'IsViewable' && return 0
  done
  return 1
}
starts=()
for _ in 1 2 3 4 5; do
  t0=$(now_ms)
  "$build/bin/ovrin" >/dev/null 2>&1 &
  pid=$!
  until window_mapped; do sleep 0.005; done
  starts+=($(( $(now_ms) - t0 )))
  kill -TERM "$pid"; wait "$pid" || true
done
printf '%s\n' "${starts[@]}" | sort -n | awk '{a[NR]=$1} END {printf "app: start-up to the window shown, median of 5: %d ms (runs: ", a[3]; for (i=1;i<=NR;i++) printf "%s%d", (i>1?" ":""), a[i]; print ")"}'

"$build/bin/ovrin" >/dev/null 2>&1 &
pid=$!
until window_mapped; do sleep 0.01; done
"$build/bin/ovrinctl" install >/dev/null
"$build/bin/ovrinctl" connect 0 >/dev/null
sleep 5
sample() {
  local ticks rss threads fds
  ticks=$(awk '{print $14 + $15}' "/proc/$pid/stat")
  rss=$(awk '/^VmRSS/ {print $2}' "/proc/$pid/status")
  threads=$(awk '/^Threads/ {print $2}' "/proc/$pid/status")
  fds=$(ls "/proc/$pid/fd" | wc -l)
  echo "$ticks $rss $threads $fds"
}
read -r t1 rss1 th1 fd1 < <(sample)
w1=$(now_ms)
sleep "$seconds"
read -r t2 rss2 th2 fd2 < <(sample)
w2=$(now_ms)
hz=$(getconf CLK_TCK)
awk -v t="$((t2 - t1))" -v hz="$hz" -v w="$((w2 - w1))" -v s="$seconds" \
  'BEGIN {printf "app: %d s connected, window open: CPU %.2f %% of one core (target < 0.5 %%)\n", s, 100 * (t / hz) / (w / 1000)}'
echo "app: resident memory $((rss1 / 1024)) MiB at the start, $((rss2 / 1024)) MiB at the end (target < 60 MB)"
echo "app: threads $th1 -> $th2, open descriptors $fd1 -> $fd2 (target: no growth)"
kill -TERM "$pid"; wait "$pid" || true
INNER
xvfb-run -a -s '-screen 0 1280x1024x24' bash "$inner" "$build" "$seconds"
