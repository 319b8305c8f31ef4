# The config case of e2e.sh, sourced by it with its helpers defined. C opens
# the configuration dialog over a 2000 x 1000 picture of one-pixel stripes;
# the background color (through the color dialog) and the full-screen
# resampling (Filter 1 to linear) change, and the first launch program is
# picked in the program dialog, which refuses a file that cannot run. OK
# writes the settings file at once; the window and full screen take the new
# background, full screen shows the picture stretched instead of filtered;
# a second start keeps both.
convert -size 2000x1000 pattern:vertical2 -type TrueColor BMP3:"$work/img/stripes.bmp"
gray=128,128,128 blue=51,102,153

# The bytes of the settings file at an offset, as hex.
setting() { od -An -tx1 -j "$1" -N "$2" "$work/prog/Pelorin.up" | tr -d ' \n'; }
# Full screen on, its picture and background checked, a screenshot, off.
full_screen() {
  xdo windowfocus --sync "$win" key space
  wait_pixel 640 50 "$1" "$2: background above the picture"
  sleep 0.5
  import -window root "$shots/$2.png"
  # 1280 x 640 from row (1024 - 640) div 2 = 192.
  convert "$shots/$2.png" -crop 1280x640+0+192 +repage "$work/$2.png"
  expect_pixels "$shots/$2.png" 0 0 "$2" 640 191 "$1" 640 832 "$1"
  xdo key Escape
  wait_window '^stripes\.bmp \[1/2\]$' >/dev/null
  sleep 0.3
}
# Clicks at x, y of the dialog dlg.
click_at() {
  xdo mousemove $((dx + $1)) $((dy + $2)) click 1
  sleep 0.3
}

launch "$work/img/stripes.bmp"
win=$(wait_window '^stripes\.bmp \[1/2\]$')
# Wider and taller than the picture, so that the background shows beside it.
xdo windowsize --sync "$win" 1100 560
sleep 0.5
read -r x y w h <<<"$(geometry "$win")"
wait_pixel $((x + 1060)) $((y + 280)) "$gray" "window background before"

step "full screen with Filter 1"
full_screen "$gray" full-filter1

step "configuration"
xdo windowfocus --sync "$win" key c
dlg=$(wait_window '^Configuration$')
sleep 0.3
read -r dx dy _ _ <<<"$(geometry "$dlg")"
import -window root "$shots/config-image.png"
# The background color button on the first page opens the color dialog.
click_at 60 105
colors=$(wait_window '^Select Color$')
xdo windowfocus --sync "$colors" key alt+h ctrl+a
xdo type --delay 5 '#336699'
sleep 0.2
import -window root "$shots/config-color.png"
xdo key Return
sleep 0.5
# The Display page, then "linear".
click_at 135 34
click_at 40 179
import -window root "$shots/config-display.png"
# The first program on the Launch page, by its browse button: a file that
# cannot run is not taken, the program is.
click_at 300 14
click_at 322 91
files=$(wait_window '^Select Program$')
sleep 0.3
xdo windowfocus --sync "$files" key ctrl+a
xdo type --delay 5 "$work/img/stripes.bmp"
xdo key Return
sleep 0.5
xdo search --onlyvisible --name '^Select Program$' >/dev/null 2>&1 || fail "the program dialog took a file that cannot run"
xdo windowfocus --sync "$files" key ctrl+a
xdo type --delay 5 "$work/prog/pelorin"
import -window root "$shots/config-program.png"
xdo key Return
for _ in $(seq 30); do xdo search --onlyvisible --name '^Select Program$' >/dev/null 2>&1 || break; sleep 0.1; done
sleep 0.3
import -window root "$shots/config-launch.png"
click_at 240 289
for _ in $(seq 30); do xdo search --onlyvisible --name '^Configuration$' >/dev/null 2>&1 || break; sleep 0.1; done
xdo search --onlyvisible --name '^Configuration$' >/dev/null 2>&1 && fail "the dialog is still showing after OK"
# The file has the choices before the program ends.
[ "$(setting 4 4)" = "33669900" ] || fail "settings file background $(setting 4 4) after OK"
[ "$(setting 17 4)" = "00000000" ] || fail "settings file resampling $(setting 17 4) after OK"
program=$work/prog/pelorin
[ "$((16#$(setting 1171 1)))" = "${#program}" ] || fail "settings file first program is $((16#$(setting 1171 1))) long"
[ "$(dd if="$work/prog/Pelorin.up" bs=1 skip=1172 count=${#program} status=none)" = "$program" ] ||
  fail "settings file lacks the first program"

step "applied at once"
wait_pixel $((x + 1060)) $((y + 280)) "$blue" "window background after OK"
import -window root "$shots/window-after.png"
full_screen "$blue" full-linear
[ "$(compare -metric AE "$work/full-filter1.png" "$work/full-linear.png" null: 2>&1)" != "0" ] ||
  fail "full screen shows the same picture with linear as with Filter 1"

xdo windowfocus --sync "$win" key ctrl+q
for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
wait "$pid" || fail "exit code $?"

step "kept by the next start"
launch "$work/img/stripes.bmp"
win=$(wait_window '^stripes\.bmp \[1/2\]$')
sleep 0.3
full_screen "$blue" full-again
[ "$(compare -metric AE "$work/full-linear.png" "$work/full-again.png" null: 2>&1)" = "0" ] ||
  fail "full screen after the restart does not stretch as before"
xdo windowfocus --sync "$win" key ctrl+q
for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
wait "$pid" || fail "exit code $?"
