#!/usr/bin/env bash
# Measures the application against the reference helper under Xvfb:
#  - start-up: launch to the main window mapped, median of 5;
#  - 60 s connected with the window open: CPU time over wall time of the
#    application itself, of the children it started and that ended meanwhile
#    (cutime + cstime), and of the helper, reported apart; beside it, over the
#    same seconds, a bare Qt window whose label changes once a second (the
#    floor), and the ratio application with its children (the helper
#    excepted) / floor; resident memory, threads and open descriptors at the
#    start and the end.
# Usage: scripts/bench-app.sh [BUILD_DIR]   (default: build)
# OVRIN_BENCH_APP_SECONDS sets the measured period (default 60).
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build}" && pwd)
[[ -x $build/bin/ovrin && -x $build/lib/ovrin/helper && -x $build/bench/bare_window ]] || {
  echo "bench-app: build the targets ovrin, helper, ovrinctl and bare_window first" >&2
  exit 1
}
seconds=${OVRIN_BENCH_APP_SECONDS:-60}

inner=$(mktemp)
trap 'rm -f "$inner"' EXIT
cat >"$inner" <<'INNER'
set -euo pipefail
build=$1 seconds=$2
export HOME=$(mktemp -d) QT_QPA_PLATFORM=xcb
bare=
trap 'pkill -TERM -f "^$build/bin/ovrin" 2>/dev/null || true; [[ -n $bare ]] && kill -TERM "$bare" 2>/dev/null; rm -rf "$HOME"' EXIT
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
# window_mapped [CLASS]: a viewable window of that class (default ovrin).
window_mapped() {
  local id class=${1:-ovrin}
  for id in $(xwininfo -root -tree 2>/dev/null | awk -v c="(\"$class\" " 'index($0, c) {print $1}'); do
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
helper=$(pgrep -P "$pid" -x helper | head -n 1)
[[ -n $helper ]] || { echo "bench-app: the application started no helper" >&2; exit 1; }
"$build/bench/bare_window" >/dev/null 2>&1 &
bare=$!
until window_mapped bare_window; do sleep 0.01; done
sleep 5
# cpu_ns PID: the CPU time of all the process's threads, ended ones included,
# in nanoseconds (its process CPU clock: clock_getcpuclockid()); ticks of
# /proc/PID/stat are 10 ms, too coarse for a few tens of milliseconds.
cpu_ns() {
  perl -MTime::HiRes=clock_gettime -e 'my $p = $ARGV[0] + 0; printf "%.0f\n", 1e9 * clock_gettime((~$p << 3 | 2) & 0xffffffff)' "$1"
}
# children_ns PID: CPU time of its children that have ended and been waited for.
children_ns() {
  awk -v hz="$(getconf CLK_TCK)" '{printf "%.0f\n", ($16 + $17) * 1e9 / hz}' "/proc/$1/stat"
}
sample() {
  local rss threads fds
  rss=$(awk '/^VmRSS/ {print $2}' "/proc/$pid/status")
  threads=$(awk '/^Threads/ {print $2}' "/proc/$pid/status")
  fds=$(ls "/proc/$pid/fd" | wc -l)
  echo "$(cpu_ns "$pid") $(children_ns "$pid") $(cpu_ns "$helper") $(children_ns "$helper")" \
    "$(cpu_ns "$bare") $(children_ns "$bare") $rss $threads $fds"
}
read -r a1 c1 h1 hc1 b1 bc1 rss1 th1 fd1 < <(sample)
w1=$(now_ms)
sleep "$seconds"
read -r a2 c2 h2 hc2 b2 bc2 rss2 th2 fd2 < <(sample)
w2=$(now_ms)
awk -v a="$((a2 - a1))" -v c="$((c2 - c1))" -v h="$((h2 - h1 + hc2 - hc1))" \
  -v b="$((b2 - b1 + bc2 - bc1))" -v w="$((w2 - w1))" -v s="$seconds" 'BEGIN {
  pc = 100 / (w * 1e6)
  printf "app: %d s connected, window open: CPU %.3f %% of one core itself, %.3f %% in ended children, %.3f %% together (target < 0.5 %%)\n", s, a * pc, c * pc, (a + c) * pc
  printf "app: the helper over the same time (apart): CPU %.3f %% of one core\n", h * pc
  printf "app: floor, a bare Qt window changing a label once a second: CPU %.3f %% of one core\n", b * pc
  if (b > 0) printf "app: ratio application with its children (helper excepted) / bare window: %.1fx (target <= 2x)\n", (a + c) / b
}'
echo "app: resident memory $((rss1 / 1024)) MiB at the start, $((rss2 / 1024)) MiB at the end (target < 60 MB)"
echo "app: threads $th1 -> $th2, open descriptors $fd1 -> $fd2 (target: no growth)"
kill -TERM "$bare" "$pid"; wait "$bare" "$pid" || true
bare=
INNER
xvfb-run -a -s '-screen 0 1280x1024x24' bash "$inner" "$build" "$seconds"
