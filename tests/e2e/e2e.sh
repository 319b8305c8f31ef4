#!/usr/bin/env bash
# End-to-end checks of the viewer on its own Xvfb screen.
#   e2e.sh viewer|unreadable|clipboard PELORIN SENDER
# viewer: shows a BMP, opens the main popup with the right button, takes the
# open-file message from a second process, saves as BMP, quits and leaves the
# settings file. unreadable: a file that cannot be read gives the error box
# and the program ends once it is confirmed. clipboard: with undo on, copies
# to xclip as image/bmp and image/png, inverts, undoes and redoes, pastes a
# PNG and moves a BMP that xclip offers, and leaves no undo history file.
set -euo pipefail
case_name=$1 pelorin=$2 sender=$3

if [ -z "${PELORIN_E2E_INNER:-}" ]; then
  work=$(mktemp -d /tmp/pelorin-e2e.XXXXXX)
  chmod 700 "$work"
  trap 'rm -rf "$work"' EXIT
  # The program runs from a folder of its own so that its settings file is
  # the test's; TMPDIR keeps its open-file socket away from other viewers.
  mkdir -p "$work/prog" "$work/img" "$work/shots"
  cp "$pelorin" "$work/prog/pelorin"
  [ -f "$(dirname "$pelorin")/splash.png" ] && cp "$(dirname "$pelorin")/splash.png" "$work/prog/"
  export PELORIN_E2E_INNER=1 E2E_WORK=$work XDG_RUNTIME_DIR=$work TMPDIR=$work
  exec timeout 50 xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$case_name" "$work/prog/pelorin" "$sender"
fi

work=$E2E_WORK
shots=${PELORIN_E2E_SHOTS:-$work/shots}
mkdir -p "$shots"
# No X call may hang the run.
xdo() { timeout 10 xdotool "$@"; }
step() { echo "e2e $case_name: $*" >&2; }
fail() {
  echo "FAIL: $*" >&2
  import -window root "$shots/failure.png" 2>/dev/null || true
  [ -s "$work/stderr.txt" ] && sed 's/^/pelorin: /' "$work/stderr.txt" >&2
  exit 1
}

# Waits up to 15 s for a visible window whose name matches; prints its id.
# Polls: a search fails outright when a window vanishes while it looks.
wait_window() {
  local id=
  for _ in $(seq 150); do
    id=$(xdo search --onlyvisible --name "$1" 2>/dev/null | head -1) || true
    [ -n "$id" ] && break
    sleep 0.1
  done
  [ -n "$id" ] || fail "no window named '$1'"
  echo "$id"
}

# The color of one screen pixel as "r,g,b".
pixel() {
  import -window root "$work/px.png"
  convert "$work/px.png" -crop "1x1+$1+$2" -depth 8 txt:- | sed -n '2s/^[^(]*(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1,\2,\3/p'
}

# Window position and size as X Y W H.
geometry() {
  xdo getwindowgeometry --shell "$1" | awk -F= '/^X=|^Y=|^WIDTH=|^HEIGHT=/ {printf "%s ", $2}'
}

case $case_name in
viewer)
  # Upper half red, lower half blue; then a green one.
  convert -size 240x160 xc:red \( -size 240x80 xc:blue \) -geometry +0+80 -composite -type TrueColor BMP3:"$work/img/first.bmp"
  convert -size 200x120 xc:lime -type TrueColor BMP3:"$work/img/second.bmp"
  "$pelorin" "$work/img/first.bmp" 2>"$work/stderr.txt" &
  pid=$!
  win=$(wait_window '^first\.bmp \[1:1\]$')
  read -r x y w h <<<"$(geometry "$win")"
  [ "$w" -eq 240 ] && [ "$h" -eq 160 ] || fail "window is ${w}x$h, not fitted to 240x160"
  sleep 0.3
  import -window root "$shots/first.png"
  [ "$(pixel $((x + 120)) $((y + 40)))" = "255,0,0" ] || fail "upper half is not red"
  [ "$(pixel $((x + 120)) $((y + 120)))" = "0,0,255" ] || fail "lower half is not blue"

  step "popup"
  # The main popup at the pointer: a tall window with the side bar.
  xdo mousemove $((x + 60)) $((y + 60)) click 3
  popup=
  for _ in $(seq 50); do
    for id in $(xdo search --onlyvisible --pid "$pid" 2>/dev/null); do
      [ "$id" != "$win" ] && popup=$id
    done
    [ -n "$popup" ] && break
    sleep 0.1
  done
  [ -n "$popup" ] || fail "no popup after the right button"
  read -r px py pw ph <<<"$(geometry "$popup")"
  [ "$ph" -gt 300 ] || fail "popup only ${ph} pixels high"
  import -window root "$shots/popup.png"
  step "open dialog"
  # The first item below the leading separator opens the open dialog.
  xdo key Down Return
  dialog=$(wait_window '^Open Image$')
  xdo windowfocus --sync "$dialog" key Escape
  sleep 0.3

  step "open-file message"
  # The open-file message from a second process.
  "$sender" "$work/img/second.bmp" || fail "open-file message not delivered"
  win=$(wait_window '^second\.bmp \[1:1\]$')
  sleep 0.3
  read -r x y w h <<<"$(geometry "$win")"
  import -window root "$shots/second.png"
  [ "$(pixel $((x + 100)) $((y + 60)))" = "0,255,0" ] || fail "second image not shown"

  step "save"
  # Save as BMP (the first filter), by the save dialog.
  xdo windowfocus --sync "$win" key F4
  dialog=$(wait_window '^Save Image$')
  xdo windowfocus --sync "$dialog"
  xdo key ctrl+a
  xdo type --delay 5 "$work/img/saved"
  xdo key Return
  for _ in $(seq 100); do [ -s "$work/img/saved.bmp" ] && break; sleep 0.1; done
  [ -s "$work/img/saved.bmp" ] || fail "nothing saved"
  [ "$(compare -metric AE "$work/img/second.bmp" "$work/img/saved.bmp" null: 2>&1)" = "0" ] ||
    fail "saved image differs"

  step "quit"
  # Quit: the settings file holds the folder of the save.
  xdo windowfocus --sync "$win" key ctrl+q
  for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$pid" 2>/dev/null && fail "still running after Ctrl+Q"
  wait "$pid" || fail "exit code $?"
  [ -s "$work/prog/Pelorin.up" ] || fail "no settings file"
  grep -qa "$work/img" "$work/prog/Pelorin.up" || fail "settings file lacks the save folder"
  ;;
unreadable)
  printf 'BM this is not a bitmap' >"$work/img/broken.bmp"
  "$pelorin" "$work/img/broken.bmp" 2>"$work/stderr.txt" &
  pid=$!
  box=$(wait_window '^Pelorin Error$')
  sleep 0.3
  import -window root "$shots/error.png"
  xdo windowfocus --sync "$box" key Return
  for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$pid" 2>/dev/null && fail "still running after the error"
  wait "$pid" || fail "exit code $?"
  xdo search --onlyvisible --name '.' >/dev/null 2>&1 && fail "a window is still showing"
  ;;
clipboard)
  # A first run leaves the settings file; the second runs with undo on.
  convert -size 240x160 xc:red \( -size 240x80 xc:blue \) -geometry +0+80 -composite -type TrueColor BMP3:"$work/img/first.bmp"
  convert -size 100x60 xc:lime "$work/img/green.png"
  "$pelorin" "$work/img/first.bmp" 2>"$work/stderr.txt" &
  pid=$!
  win=$(wait_window '^first\.bmp \[1:1\]$')
  xdo windowfocus --sync "$win" key ctrl+q
  wait "$pid" || fail "first run: exit code $?"
  [ -s "$work/prog/Pelorin.up" ] || fail "no settings file"
  printf '\001' | dd of="$work/prog/Pelorin.up" bs=1 seek=2017 conv=notrunc status=none

  "$pelorin" "$work/img/first.bmp" 2>>"$work/stderr.txt" &
  pid=$!
  win=$(wait_window '^first\.bmp \[1:1\]$')
  sleep 0.3
  read -r x y w h <<<"$(geometry "$win")"

  step "copy to another program"
  xdo windowfocus --sync "$win" key ctrl+c
  sleep 0.3
  timeout 5 xclip -selection clipboard -t TARGETS -o >"$work/targets.txt" || fail "no clipboard owner after Ctrl+C"
  grep -qx 'image/bmp' "$work/targets.txt" || fail "image/bmp not offered: $(tr '\n' ' ' <"$work/targets.txt")"
  grep -qx 'image/png' "$work/targets.txt" || fail "image/png not offered"
  timeout 5 xclip -selection clipboard -t image/bmp -o >"$work/img/copied.bmp" || fail "image/bmp not readable"
  [ "$(head -c 2 "$work/img/copied.bmp")" = "BM" ] || fail "image/bmp is no BMP file"
  [ "$(compare -metric AE "$work/img/first.bmp" "$work/img/copied.bmp" null: 2>&1)" = "0" ] ||
    fail "copied image differs"
  timeout 5 xclip -selection clipboard -t image/png -o >"$work/img/copied.png" || fail "image/png not readable"
  [ "$(compare -metric AE "$work/img/first.bmp" "$work/img/copied.png" null: 2>&1)" = "0" ] ||
    fail "image/png differs"

  step "invert, undo, redo"
  # The workbench popup (Shift and the right button); V is Invert's mnemonic.
  xdo mousemove $((x + 60)) $((y + 40)) keydown shift click 3 keyup shift
  sleep 0.5
  import -window root "$shots/workbench.png"
  xdo key v
  sleep 0.5
  [ "$(pixel $((x + 120)) $((y + 40)))" = "0,255,255" ] || fail "not inverted"
  ls "$work/prog"/Pe*.tmp >/dev/null 2>&1 || fail "no undo history file beside the program"
  xdo mousemove $((x + 60)) $((y + 40)) keydown shift click 3 keyup shift
  sleep 0.5
  import -window root "$shots/workbench-edited.png"
  xdo key Escape
  sleep 0.2
  xdo windowfocus --sync "$win" key ctrl+z
  sleep 0.5
  import -window root "$shots/undone.png"
  [ "$(pixel $((x + 120)) $((y + 40)))" = "255,0,0" ] || fail "undo did not restore red"
  xdo windowfocus --sync "$win" key alt+z
  sleep 0.5
  [ "$(pixel $((x + 120)) $((y + 120)))" = "255,255,0" ] || fail "redo did not invert blue again"

  step "paste from another program"
  xclip -selection clipboard -t image/png -i "$work/img/green.png"
  sleep 0.3
  xdo windowfocus --sync "$win" key ctrl+v
  win=$(wait_window '^Clipboard \[1:1\]$')
  sleep 0.3
  read -r x y w h <<<"$(geometry "$win")"
  [ "$w" -eq 100 ] && [ "$h" -eq 60 ] || fail "pasted window is ${w}x$h"
  import -window root "$shots/pasted.png"
  [ "$(pixel $((x + 50)) $((y + 30)))" = "0,255,0" ] || fail "pasted image not shown"
  ls "$work/prog"/Pe*.tmp >/dev/null 2>&1 && fail "undo history kept after paste"

  step "move from"
  # This time a BMP that another program offers as image/bmp.
  xclip -selection clipboard -t image/bmp -i "$work/img/first.bmp"
  sleep 0.3
  xdo windowfocus --sync "$win" key ctrl+m
  win=$(wait_window '^Clipboard \[1:1\]$')
  for _ in $(seq 30); do
    read -r x y w h <<<"$(geometry "$win")"
    [ "$w" -eq 240 ] && break
    sleep 0.1
  done
  [ "$w" -eq 240 ] || fail "moved image not shown"
  sleep 0.3
  import -window root "$shots/moved.png"
  [ "$(pixel $((x + 120)) $((y + 120)))" = "0,0,255" ] || fail "moved image has the wrong colors"
  timeout 5 xclip -selection clipboard -t TARGETS -o >/dev/null 2>&1 && fail "clipboard not emptied by move"

  step "quit"
  xdo windowfocus --sync "$win" key ctrl+q
  for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  wait "$pid" || fail "exit code $?"
  ls "$work/prog"/Pe*.tmp >/dev/null 2>&1 && fail "undo history file left after quit"
  ;;
*) fail "unknown case $case_name" ;;
esac
echo "PASS $case_name"
