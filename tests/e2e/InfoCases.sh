# The info case of e2e.sh, sourced by it with its helpers defined.
# info: I shows the image information window beside the image at its stored
# place, the pointer over the image writes the pixel readout and leaving the
# image clears it, Escape hides the window; the place the window was moved
# to comes back in the next run.

# Whether the screenshot FILE holds a dark (text) pixel in the rectangle
# W x H at X, Y.
dark_in() {
  local min
  min=$(convert "$1" -crop "$4x$5+$2+$3" -colorspace Gray -format "%[fx:int(255*minima)]" info:)
  [ "$min" -lt 80 ]
}

case $case_name in
info)
  convert -size 240x160 xc:red \( -size 120x160 xc:blue \) -geometry +120+0 -composite -type TrueColor BMP3:"$work/img/halves.bmp"
  launch "$work/img/halves.bmp"
  win=$(wait_window '^halves\.bmp \[1:1\]$')
  read -r x y _ _ <<<"$(geometry "$win")"
  # Away from the image, so that the readout starts empty.
  xdo mousemove 5 1000
  xdo windowfocus --sync "$win" key i
  info=$(wait_window '^Image Information$')
  read -r ix iy iw ih <<<"$(geometry "$info")"
  [ "$iw" -eq 273 ] && [ "$ih" -eq 369 ] || fail "info window is ${iw}x$ih, not 273x369"
  [ "$ix" -eq 20 ] && [ "$iy" -eq 40 ] || fail "info window at $ix,$iy, not at the default 20,40"
  # The window stays beside the image for the readout.
  xdo windowmove --sync "$info" 600 300
  read -r ix iy _ _ <<<"$(geometry "$info")"
  sleep 0.3
  import -window root "$shots/info.png"
  # The readout's strip in the pixel group: right of where "none" ends.
  rx=$((ix + 8 + 8 + 40)) ry=$((iy + 311 + 20))
  dark_in "$shots/info.png" "$rx" "$ry" 120 14 && fail "the readout is not empty at start"
  dark_in "$shots/info.png" $((ix + 96)) $((iy + 8 + 19)) 150 14 || fail "no type text"

  step "readout"
  xdo mousemove $((x + 40)) $((y + 30))
  sleep 0.2
  xdo mousemove $((x + 50)) $((y + 40))
  sleep 0.5
  import -window root "$shots/info-readout.png"
  dark_in "$shots/info-readout.png" "$rx" "$ry" 120 14 || fail "no readout over the image"
  xdo mousemove 5 1000
  sleep 0.5
  import -window root "$shots/info-left.png"
  dark_in "$shots/info-left.png" "$rx" "$ry" 120 14 && fail "the readout stays after the pointer left"

  step "escape"
  xdo windowfocus --sync "$info" key Escape
  for _ in $(seq 30); do
    xdo search --onlyvisible --name '^Image Information$' >/dev/null 2>&1 || break
    sleep 0.1
  done
  xdo search --onlyvisible --name '^Image Information$' >/dev/null 2>&1 && fail "Escape left the info window"
  xdo windowfocus --sync "$win" key i
  info=$(wait_window '^Image Information$')
  xdo windowfocus --sync "$win" key ctrl+q
  for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  wait "$pid" || fail "exit code $?"

  step "place kept"
  launch "$work/img/halves.bmp"
  win=$(wait_window '^halves\.bmp \[1:1\]$')
  xdo windowfocus --sync "$win" key i
  info=$(wait_window '^Image Information$')
  read -r jx jy _ _ <<<"$(geometry "$info")"
  [ "$jx" -eq "$ix" ] && [ "$jy" -eq "$iy" ] || fail "info window at $jx,$jy, not where it was left ($ix,$iy)"
  xdo windowfocus --sync "$win" key ctrl+q
  for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  wait "$pid" || fail "exit code $?"
  ;;
esac
