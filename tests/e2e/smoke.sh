#!/usr/bin/env bash
# The built application as a person starts it, under Xvfb and a private
# session bus, on a temporary HOME: the helper's socket appears, the window
# "Оврин" is mapped, a second launch ends with status 0 while the first copy
# lives on, Ctrl+Q in the window ends it with status 0, and its helper is
# gone with the socket.
# Usage: tests/e2e/smoke.sh BUILD/bin/ovrin   (CTest passes the built one)
set -euo pipefail

ovrin=$(realpath "${1:?usage: smoke.sh PATH/TO/ovrin}")
if [[ -z ${OVRIN_SMOKE_SESSION:-} ]]; then
  for tool in xvfb-run dbus-run-session xdotool; do
    command -v "$tool" >/dev/null || { echo "smoke: $tool is missing; skipped"; exit 77; }
  done
  export OVRIN_SMOKE_SESSION=1
  exec dbus-run-session -- xvfb-run -a -s '-screen 0 1280x1024x24' "$0" "$@"
fi

work=$(mktemp -d)
first=
cleanup() {
  [[ -n $first ]] && kill "$first" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config OVRIN_CENTER_DIR=$work/center
export QT_QPA_PLATFORM=xcb
unset OVRIN_SIM_SCENARIO
mkdir -p "$HOME"
data="$HOME/Library/Application Support/Ovrin"

fail() {
  echo "smoke: FAILED: $*"
  echo "--- the application's output"
  cat "$work/first.log" || true
  exit 1
}
# Polls `command` every 0.1 s for up to `seconds`.
within() {
  local seconds=$1
  shift
  for ((i = 0; i < seconds * 10; i++)); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}
window() {
  xdotool search --onlyvisible --name '^Оврин$' 2>/dev/null | head -n 1
}
mapped() { [[ -n $(window) ]]; }
gone() { ! kill -0 "$1" 2>/dev/null; }

"$ovrin" >"$work/first.log" 2>&1 &
first=$!

within 20 test -S "$data/control.sock" || fail "the helper's socket did not appear"
echo "smoke: the helper answers on $data/control.sock"
within 20 mapped || fail "the window \"Оврин\" was not mapped"
echo "smoke: the window \"Оврин\" is mapped"
helper=$(cat "$data/helper.pid")

set +e
timeout 20 "$ovrin" >"$work/second.log" 2>&1
second=$?
set -e
[[ $second -eq 0 ]] || fail "the second launch ended with status $second"
kill -0 "$first" 2>/dev/null || fail "the first copy ended with the second launch"
echo "smoke: a second launch ended with status 0; the first copy runs on"

win=$(window)
xdotool windowfocus --sync "$win"
xdotool key --clearmodifiers ctrl+q
within 20 gone "$first" || fail "Ctrl+Q did not end the application"
set +e
wait "$first"
status=$?
set -e
first=
[[ $status -eq 0 ]] || fail "the application ended with status $status"
within 10 gone "$helper" || fail "the helper (pid $helper) outlived the application"
[[ ! -e $data/control.sock ]] || fail "the helper's socket is left behind"
echo "smoke: Ctrl+Q ended the application with status 0 and the helper with it"
