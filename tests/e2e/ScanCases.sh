# The scan case of e2e.sh, sourced by it with its helpers defined.
# scan: with SANE's test backend as the only scanner, "select source..."
# from the main popup lists test:0 and test:1 and takes test:0; A opens the
# source's scan window, Enter scans, and the backend's grid shows as the
# image "Acquired"; Escape closes the scan window, and a second run without
# any device answers A with the library message.
case $case_name in
scan)
  mkdir -p "$work/sane"
  echo test >"$work/sane/dll.conf"
  printf 'resolution 50\ntest-picture "Grid"\n' >"$work/sane/test.conf"
  export SANE_CONFIG_DIR=$work/sane
  [ -f "$work/prog/libpelorin-twain.so" ] || fail "no source manager beside the program"
  convert -size 240x160 xc:red -type TrueColor BMP3:"$work/img/pic.bmp"
  launch "$work/img/pic.bmp"
  win=$(wait_window '^pic\.bmp \[1:1\]$')
  read -r x y _ _ <<<"$(geometry "$win")"
  sleep 0.3

  step "select source"
  # Open image, Open again, Clipboard, Twain: the second item of its submenu.
  xdo mousemove $((x + 60)) $((y + 60)) click 3
  sleep 0.4
  xdo key Down Down Down Down Right
  sleep 0.3
  import -window root "$shots/scan-menu.png"
  xdo key Down Return
  dlg=$(wait_window '^Select Source$')
  sleep 0.3
  import -window root "$shots/scan-select.png"
  xdo windowfocus --sync "$dlg" key Return
  sleep 0.3

  step "acquire"
  xdo windowfocus --sync "$win" key a
  form=$(wait_window '^Scan - test:0$')
  sleep 0.3
  import -window root "$shots/scan-window.png"
  xdo windowfocus --sync "$form" key Return
  win=$(wait_window '^Acquired \[1:1\]$')
  sleep 0.5
  import -window root "$shots/scan-acquired.png"
  read -r x y w h <<<"$(geometry "$win")"
  [ "$w" -eq 157 ] && [ "$h" -eq 196 ] || fail "acquired window is ${w}x$h, not 157x196"
  # Squares of 10 mm (19.7 pixels at 50 dpi), the top-left one white.
  expect_pixels "$shots/scan-acquired.png" "$x" "$y" "the grid" \
    5 5 255,255,255 25 5 0,0,0 5 25 0,0,0 25 25 255,255,255 45 5 255,255,255

  step "close the scan window"
  xdo windowfocus --sync "$form" key Escape
  for _ in $(seq 30); do
    xdo search --onlyvisible --name '^Scan - test:0$' >/dev/null 2>&1 || break
    sleep 0.1
  done
  xdo search --onlyvisible --name '^Scan - test:0$' >/dev/null 2>&1 && fail "scan window still open"
  xdo windowfocus --sync "$win" key ctrl+q
  for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$pid" 2>/dev/null && fail "still running after Ctrl+Q"
  wait "$pid" || fail "exit code $?"

  step "no device"
  : >"$work/sane/dll.conf"
  launch "$work/img/pic.bmp"
  win=$(wait_window '^pic\.bmp \[1:1\]$')
  sleep 0.3
  xdo windowfocus --sync "$win" key a
  box=$(wait_window '^Pelorin Error$')
  sleep 0.3
  import -window root "$shots/scan-no-device.png"
  xdo windowfocus --sync "$box" key Return
  sleep 0.3
  xdo windowfocus --sync "$win" key ctrl+q
  for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  wait "$pid" || fail "exit code $?"
  ;;
esac
