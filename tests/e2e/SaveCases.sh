# The save case of e2e.sh, sourced by it with its helpers defined.
# save: F4 saves a JPEG at a quality chosen in its options dialog and a PNG
# with Adam7 interlacing, each checked in the written file; a large TIFF
# shows the "Saving..." window while it is written. The save dialog starts
# on the filter that the settings file remembers, set before each run.
case $case_name in
save)
  convert -size 320x240 gradient:red-blue -type TrueColor BMP3:"$work/img/pic.bmp"
  # Runs the program on FILE with save filter INDEX remembered; sets win.
  run_with_filter() {
    printf "\\$(printf '%03o' "$2")" | dd of="$work/prog/Pelorin.up" bs=1 seek=658 conv=notrunc status=none
    launch "$work/img/$1"
    win=$(wait_window "^${1//./\\.} \\[")
    sleep 0.3
  }
  quit() {
    xdo windowfocus --sync "$win" key ctrl+q
    for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$pid" 2>/dev/null && fail "still running after Ctrl+Q"
    wait "$pid" || fail "exit code $?"
  }
  # F4, the name typed into the save dialog; prints the options dialog's id.
  save_as() {
    xdo windowfocus --sync "$win" key F4
    local dialog
    dialog=$(wait_window '^Save Image$')
    xdo windowfocus --sync "$dialog"
    xdo key ctrl+a
    xdo type --delay 5 "$work/img/$1"
    xdo key Return
    wait_window "$2"
  }
  wait_file() {
    for _ in $(seq 100); do [ -s "$1" ] && return 0; sleep 0.1; done
    fail "nothing saved as $1"
  }
  launch "$work/img/pic.bmp"
  win=$(wait_window '^pic\.bmp \[1:1\]$')
  quit
  [ -s "$work/prog/Pelorin.up" ] || fail "no settings file"

  step "JPEG at quality 30"
  run_with_filter pic.bmp 6
  dlg=$(save_as q30 '^Save JPEG options$')
  sleep 0.3
  import -window root "$shots/save-jpeg-options.png"
  # The track bar has the focus: Home is 10, each Right one more.
  xdo windowfocus --sync "$dlg" key Home $(printf 'Right %.0s' $(seq 20))
  sleep 0.3
  import -window root "$shots/save-jpeg-30.png"
  xdo key Return
  wait_file "$work/img/q30.jpg"
  q=$(identify -format '%Q' "$work/img/q30.jpg")
  [ "$q" = "30" ] || fail "JPEG written at quality $q, not 30"
  quit
  [ "$(od -An -tu1 -j638 -N1 "$work/prog/Pelorin.up" | tr -d ' ')" = "30" ] || fail "quality 30 not remembered"

  step "PNG with Adam7"
  run_with_filter pic.bmp 4
  dlg=$(save_as inter '^Save PNG options$')
  sleep 0.3
  xdo windowfocus --sync "$dlg" key alt+7
  sleep 0.3
  import -window root "$shots/save-png-options.png"
  xdo key Return
  wait_file "$work/img/inter.png"
  got=$(/usr/bin/python3 -c "from PIL import Image; print(Image.open('$work/img/inter.png').info.get('interlace'))")
  [ "$got" = "1" ] || fail "PNG not interlaced ($got)"
  [ "$(compare -metric AE "$work/img/pic.bmp" "$work/img/inter.png" null: 2>&1)" = "0" ] || fail "PNG pixels differ"
  quit

  step "progress while a large TIFF is written"
  convert -size 4000x3000 gradient:yellow-navy -type TrueColor BMP3:"$work/img/large.bmp"
  # LZW with prediction keeps the writer busy for a while.
  printf '\004' | dd of="$work/prog/Pelorin.up" bs=1 seek=644 conv=notrunc status=none
  run_with_filter large.bmp 5
  dlg=$(save_as large '^Save TIFF options$')
  sleep 0.3
  import -window root "$shots/save-tiff-options.png"
  xdo windowfocus --sync "$dlg" key Return
  seen=
  for _ in $(seq 200); do
    if xdo search --onlyvisible --name '^Saving\.\.\.$' >/dev/null 2>&1; then
      seen=1
      import -window root "$shots/save-progress.png"
      break
    fi
    [ -s "$work/img/large.tif" ] && break
    sleep 0.02
  done
  [ -n "$seen" ] || fail "no progress window while the TIFF was written"
  # Painted before the writer goes on: the group's face, not the picture
  # beneath, at the middle of the screen where the window stands.
  read -r sw sh <<<"$(xdo getdisplaygeometry)"
  got=$(pix "$shots/save-progress.png" $((sw / 2 - 170)) $((sh / 2)))
  [ "$got" = "239,239,239" ] || fail "the progress window is not painted: $got at its left edge"
  wait_file "$work/img/large.tif"
  for _ in $(seq 100); do
    xdo search --onlyvisible --name '^Saving\.\.\.$' >/dev/null 2>&1 || break
    sleep 0.1
  done
  xdo search --onlyvisible --name '^Saving\.\.\.$' >/dev/null 2>&1 && fail "progress window still up after the write"
  [ "$(compare -metric AE "$work/img/large.bmp" "$work/img/large.tif" null: 2>&1)" = "0" ] || fail "TIFF pixels differ"
  quit
  ;;
*) fail "unknown case $case_name" ;;
esac
