#!/usr/bin/env bash
# The built application on a desktop a person has: Xvfb, the Openbox window
# manager, the trayer panel (an XEmbed tray) and a private session bus, on a
# temporary HOME. The program runs as a copy next to a copy of its resource
# folder, whose channel list has a name with "&" and "_" and whose engine
# installs at once.
#
#   desktop.sh BUILD/bin/ovrin BUILD/tests/tst_e2e_journeys
#     A second launch ends with status 0 and leaves the first; the window
#     offers no minimise or maximise, has a fixed size, stays on every
#     workspace and shows and hides with a left click on the tray icon; the
#     strict protection confirmation opens above the window with the focus
#     and Escape sends nothing; then, connected with the window shown, each
#     way out (the tray menu's "Выйти и отключить", Ctrl+Q in the window,
#     Ctrl+Q in the account window, SIGTERM) OVRIN_DESKTOP_REPEAT times
#     (10): status 0 within 6 s, the helper gone, no process of ours left.
#     Then, on the same desktop and HOME, tst_e2e_journeys plays a
#     StatusNotifierItem host and drives the application over D-Bus (see
#     DesktopSni in tst_Journeys.cpp), quitting from that menu as many
#     times. Each quit sent the helper one "POST /stop".
set -euo pipefail

usage="usage: desktop.sh PATH/TO/ovrin PATH/TO/tst_e2e_journeys"
built=$(realpath "${1:?$usage}")
driver=$(realpath "${2:?$usage}")
command -v Xvfb >/dev/null || { echo "desktop: Xvfb is missing; skipped"; exit 77; }
if [[ -z ${OVRIN_DESKTOP_SESSION:-} ]]; then
  export OVRIN_DESKTOP_SESSION=1
  unset DBUS_SESSION_BUS_ADDRESS
  exec dbus-run-session -- "$0" "$@"
fi

work=$(mktemp -d)
session=()
app=
# Ends what this script started, the helper too, and at last the X server.
cleanup() {
  set +e
  [[ -n $app ]] && kill "$app" 2>/dev/null && ! within 5 settled && kill -KILL "$app"
  helper=$(cat "${data:-}/helper.pid" 2>/dev/null) && kill "$helper" 2>/dev/null
  within 5 settled
  for ((k = ${#session[@]} - 1; k >= 0; k--)); do kill "${session[k]}" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "desktop: FAILED: $*"
  echo "--- the application's output"
  cat "$work/app.log" 2>/dev/null || true
  exit 1
}
# Runs `command` every 0.02 s until it succeeds, for up to `seconds`.
within() {
  local deadline=$((${EPOCHREALTIME/./} + $1 * 1000000))
  shift
  until "$@"; do
    ((${EPOCHREALTIME/./} < deadline)) || return 1
    sleep 0.02
  done
}
gone() { ! kill -0 "$1" 2>/dev/null; }

# The resource folder: the built one with our channels and a quick engine.
resources=$(dirname "$built")/../lib/ovrin
mkdir -p "$work/bin" "$work/lib/ovrin"
cp "$built" "$work/bin/ovrin"
ln -s "$(realpath "$resources/helper")" "$work/lib/ovrin/helper"
cp "$resources/menubar.svg" "$work/lib/ovrin/"
sed 's/"Нидерланды — Амстердам"/"Север \& Юг_1 \& Запад"/' "$resources/channels.json" \
  >"$work/lib/ovrin/channels.json"
grep -q 'Север & Юг_1 & Запад' "$work/lib/ovrin/channels.json" || fail "no channel to rename"
echo '{"format": 1, "seed": 7, "tick_ms": 100, "verify_after_ms": 500, "install_ms": 10}' \
  >"$work/lib/ovrin/netcore"
ovrin=$work/bin/ovrin
ovrinctl() { timeout 20 "$(dirname "$built")/ovrinctl" "$@"; }

export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config OVRIN_CENTER_DIR=$work/center
export XDG_RUNTIME_DIR=$work/run QT_QPA_PLATFORM=xcb
unset OVRIN_SIM_SCENARIO
mkdir -p "$HOME" && mkdir -m 700 "$XDG_RUNTIME_DIR"
data="$HOME/Library/Application Support/Ovrin"

# Xvfb takes a free display number itself, with no race against other servers.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
session+=($!)
# Its number complete and the server answering, before any client connects.
answers() { grep -qs '^[0-9]\+$' "$work/display" && DISPLAY=:$(cat "$work/display") xprop -root >/dev/null 2>&1; }
within 20 answers || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
DISPLAY=:$(cat "$work/display")
export DISPLAY
openbox >"$work/openbox.log" 2>&1 &
session+=($!)
within 20 eval 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' || fail "openbox did not start: $(cat "$work/openbox.log")"
trayer --edge top --align right --widthtype request --height 24 >"$work/trayer.log" 2>&1 &
session+=($!)
findPanel() { panel=$(xdotool search --classname '^panel$' 2>/dev/null | head -n 1) && [[ -n $panel ]]; }
within 20 findPanel || fail "trayer did not start: $(cat "$work/trayer.log")"

# Nothing runs from under $work.
settled() { [[ -z $(pgrep -f "$work/" || true) ]]; }

# Each round starts a copy, so these look with as few programs as they can.
findIcon() {
  [[ $(xwininfo -tree -id "$panel") =~ (0x[0-9a-f]+)\ \"Оврин\" ]] && icon=$((BASH_REMATCH[1]))
}
findMain() {
  for main in $(xdotool search --onlyvisible --pid "$app" --name '^Оврин$'); do
    [[ $main != "$icon" ]] && return 0
  done
  return 1
}
# Starts the application; sets app, main (the window) and icon (the tray icon).
launch() {
  "$ovrin" >>"$work/app.log" 2>&1 &
  app=$!
  within 20 test -S "$data/control.sock" || fail "the helper's socket did not appear"
  within 20 findIcon || fail "no icon of ours in the tray"
  within 20 findMain || fail "the window \"Оврин\" was not mapped"
}
# Windows of ours on screen (the popups too), one a line.
shown() { xdotool search --onlyvisible --pid "$app" 2>/dev/null; }
# A window of ours on screen that `before` did not list: sets `opened`.
opened() {
  for opened in $(shown); do
    [[ $'\n'$1$'\n' != *$'\n'$opened$'\n'* ]] && return 0
  done
  return 1
}
active() { xprop -root _NET_ACTIVE_WINDOW | grep -qi "# 0x0*$(printf %x "$1")\$"; }
viewable() { xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'; }
hidden() { ! viewable "$1"; }
click() { xdotool mousemove --window "$1" "$2" "$3" click "$4"; }
# Opens the settings menu ("⋮" in the window's top right corner) and picks
# the item `$1` steps down; `opened` is the window it opens.
settings() {
  local before
  before=$(shown)
  [[ -n ${WIDTH:-} ]] || eval "$(xdotool getwindowgeometry --shell "$main")" # a fixed size
  click "$main" $((WIDTH - 19)) 16 1
  within 10 opened "$before" || fail "the settings menu did not open"
  before=$(shown)
  local keys=()
  for ((k = 0; k < $1; k++)); do keys+=(Down); done
  xdotool key "${keys[@]}" Return
  within 10 opened "$before" || fail "no window opened from the settings menu"
}
# Connects the first channel (the helper answers once the tunnel runs),
# installing the helper first when it is missing.
connect() {
  ovrinctl connect 0 >/dev/null 2>&1 || { ovrinctl install >/dev/null && ovrinctl connect 0 >/dev/null; } ||
    fail "the channel did not connect"
}
# The application ends with status 0 within 6 s and leaves nothing behind.
ends() {
  within 6 gone "$app" || fail "$1 did not end the application within 6 s"
  local status=0
  wait "$app" || status=$?
  app=
  [[ $status -eq 0 ]] || fail "$1: the application ended with status $status"
  within 10 settled || fail "$1: left running: $(pgrep -af "$work/")"
  [[ ! -e $data/control.sock ]] || fail "$1: the helper's socket is left behind"
}

launch
echo "desktop: the window 0x$(printf %x "$main") is mapped; its icon 0x$(printf %x "$icon") is in the tray"

status=0
timeout 20 "$ovrin" >>"$work/app.log" 2>&1 || status=$?
[[ $status -eq 0 ]] || fail "a second launch ended with status $status"
kill -0 "$app" || fail "the first copy ended with the second launch"
echo "desktop: a second launch ended with status 0; the first copy runs on"

actions=$(xprop -id "$main" _NET_WM_ALLOWED_ACTIONS)
grep -Eq '_NET_WM_ACTION_(MINIMIZE|MAXIMIZE)' <<<"$actions" && fail "the window manager offers: $actions"
hints=$(xprop -id "$main" WM_NORMAL_HINTS)
min=$(sed -n 's/.*minimum size: //p' <<<"$hints")
max=$(sed -n 's/.*maximum size: //p' <<<"$hints")
[[ -n $min && $min == "$max" ]] || fail "the size is not fixed: $hints"
echo "desktop: no minimise or maximise; a fixed size of $min"

# Openbox keeps a toolbar from being minimised; the workspace switch that
# follows the request tells when it has been handled.
xdotool windowminimize "$main"
xdotool set_desktop 1
within 10 eval 'xprop -root _NET_CURRENT_DESKTOP | grep -q "= 1$"' || fail "no second workspace"
viewable "$main" || fail "the window is gone after a minimise on another workspace: $(xprop -id "$main" WM_STATE _NET_WM_STATE)"
xdotool set_desktop 0
click "$icon" 5 5 1
within 10 hidden "$main" || fail "a left click on the tray icon did not hide the window"
click "$icon" 16 16 1 # a second click apart: no double click
within 10 viewable "$main" || fail "a second left click on the tray icon did not bring the window back"
echo "desktop: a minimise request leaves the window on screen, on every workspace; the tray icon hides and shows it"

within 10 active "$main" || fail "the window is not active: $(xprop -root _NET_ACTIVE_WINDOW)"
settings 3
alert=$opened
stacking=$(xprop -root _NET_CLIENT_LIST_STACKING)
ids=$(grep -o '0x[0-9a-f]*' <<<"$stacking" | while read -r id; do echo $((id)); done)
[[ $(grep -nx "$alert" <<<"$ids" | cut -d: -f1) -gt $(grep -nx "$main" <<<"$ids" | cut -d: -f1) ]] ||
  fail "the confirmation 0x$(printf %x "$alert") is not above the window 0x$(printf %x "$main"): $stacking"
within 10 active "$alert" || fail "the confirmation has no focus: $(xprop -root _NET_ACTIVE_WINDOW)"
[[ $(xdotool getwindowfocus) == "$alert" ]] || fail "the keyboard focus is on $(xdotool getwindowfocus)"
xdotool key Escape
within 10 hidden "$alert" || fail "Escape did not close the confirmation"
ovrinctl status | grep -q 'Строгая защита: выкл\.' || fail "strict protection was switched on"
! grep -q '/protection' "$data/logs/helper.log" || fail "the helper was asked: $(grep /protection "$data/logs/helper.log")"
echo "desktop: the confirmation opened above the window with the focus; Escape closed it and sent nothing"

export OVRIN_DESKTOP_REPEAT=${OVRIN_DESKTOP_REPEAT:-10}
repeat=$OVRIN_DESKTOP_REPEAT
started=$SECONDS
for path in tray window account signal; do
  for ((round = 1; round <= repeat; round++)); do
    [[ -n $app ]] || launch
    connect
    case $path in
    tray)
      before=$(shown)
      click "$icon" 5 5 3
      within 10 opened "$before" || fail "the tray menu did not open"
      xdotool key Up Return
      ends "the tray menu's \"Выйти и отключить\" (round $round)"
      ;;
    window)
      within 10 active "$main" || fail "the window is not active: $(xprop -root _NET_ACTIVE_WINDOW)"
      xdotool key ctrl+q
      ends "Ctrl+Q in the window (round $round)"
      ;;
    account)
      settings 4
      within 10 active "$opened" || fail "the account window has no focus: $(xprop -root _NET_ACTIVE_WINDOW)"
      xdotool key ctrl+q
      ends "Ctrl+Q in the account window (round $round)"
      ;;
    signal)
      kill -TERM "$app"
      ends "SIGTERM (round $round)"
      ;;
    esac
  done
  echo "desktop: $((SECONDS - started)) s: $path: $repeat quits, each with status 0 and nothing left running"
done
echo "desktop: $((4 * repeat)) launches and quits took $((SECONDS - started)) s"

# The StatusNotifierItem host owns the watcher only while it runs, so the
# copies it starts find it and the ones above found the XEmbed tray.
started=$SECONDS
OVRIN=$ovrin OVRINCTL=$(dirname "$built")/ovrinctl "$driver" sni >>"$work/sni.log" 2>&1 ||
  { cat "$work/sni.log"; fail "the StatusNotifierItem checks failed"; }
within 10 settled || fail "StatusNotifierItem: left running: $(pgrep -af "$work/")"
echo "desktop: $((SECONDS - started)) s: StatusNotifierItem: $(grep '^Totals' "$work/sni.log")"
stops=$(grep -c 'POST /stop -> 200' "$data/logs/helper.log" || true)
[[ $stops -eq $((5 * repeat)) ]] || fail "$((5 * repeat)) quits sent \"POST /stop\" $stops times"
echo "desktop: each of the $stops quits sent one \"POST /stop\""
