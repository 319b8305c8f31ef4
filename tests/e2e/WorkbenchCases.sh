# The workbench cases of e2e.sh, sourced by it with its helpers defined.
# tune: Ctrl+T, Alt+T and Shift+T open the three tuning dialogs; a key moves
# the first control, Enter applies and Ctrl+Z undoes, checking the picture on
# the screen each time. filter: the filter dialogs from the workbench popup;
# the keys move the strength and the preview follows, dragging scrolls it,
# Enter applies, Escape leaves the picture and Ctrl+Z undoes. convert: the
# gray and indexed dialogs preview in the main window, apply and undo.
# Starts the program on FILE with undo on, which the settings file of a first
# run takes; sets win to the window named NAME once it shows.
launch_with_undo() {
  launch "$1"
  win=$(wait_window "$2")
  xdo windowfocus --sync "$win" key ctrl+q
  wait "$pid" || fail "first run: exit code $?"
  printf '\001' | dd of="$work/prog/Pelorin.up" bs=1 seek=2017 conv=notrunc status=none
  launch "$1"
  win=$(wait_window "$2")
  sleep 0.3
}

# Quits by Ctrl+Q and checks the exit code.
quit() {
  xdo windowfocus --sync "$win" key ctrl+q
  for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  wait "$pid" || fail "exit code $?"
}

# Clicks at x, y in the dialog dlg, with more options for the click.
click_in() {
  local dx dy
  read -r dx dy _ _ <<<"$(geometry "$dlg")"
  xdo mousemove $((dx + $1)) $((dy + $2)) click "${@:3}" 1
  sleep 0.3
}

# Waits up to 3 s for the window named NAME to go.
wait_gone() {
  for _ in $(seq 30); do
    xdo search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0
    sleep 0.1
  done
  fail "the window '$1' is still showing"
}

case $case_name in
tune)
  # A flat 200 x 150 picture of (100, 120, 140), run with undo on (set in the
  # settings file a first run leaves). Each tuning dialog opens from its key
  # with the focus on its first control; the keys move it, Enter applies,
  # Ctrl+Z undoes.
  convert -size 200x150 "xc:rgb(100,120,140)" -type TrueColor BMP3:"$work/img/flat.bmp"
  launch_with_undo "$work/img/flat.bmp" '^flat\.bmp \[1:1\]$'
  read -r x y _ _ <<<"$(geometry "$win")"
  # Opens the dialog of Key, presses Keys in it, applies; checks the picture.
  tune() {
    local name=$1 key=$2 expect=$3
    shift 3
    step "$name"
    xdo windowfocus --sync "$win" key "$key"
    local dlg
    dlg=$(wait_window '^Tune$')
    sleep 0.3
    xdo windowfocus --sync "$dlg" key "$@"
    sleep 0.3
    import -window root "$shots/tune-$name.png"
    xdo key Return
    for _ in $(seq 30); do
      [ "$(pixel $((x + 100)) $((y + 70)))" = "$expect" ] && break
      sleep 0.1
    done
    [ "$(pixel $((x + 100)) $((y + 70)))" = "$expect" ] || fail "$name: pixel $(pixel $((x + 100)) $((y + 70))), not $expect"
    import -window root "$shots/tuned-$name.png"
    xdo windowfocus --sync "$win" key ctrl+z
    sleep 0.5
    [ "$(pixel $((x + 100)) $((y + 70)))" = "100,120,140" ] || fail "$name: undo left $(pixel $((x + 100)) $((y + 70)))"
  }
  # Brightness +127 on all three locked channels; hue +180 turns 210 degrees
  # to 30; the red maximum 45 levels down stretches 100 to round(100 x 255 / 210).
  tune brightness ctrl+t 227,247,255 Home
  tune hue alt+t 140,121,101 Home
  tune levels shift+t 121,120,140 $(printf 'Next %.0s' $(seq 45))

  quit
  ;;
filter)
  # A sharp white rectangle on black, 400 x 300, run with undo on. The
  # dialog's preview shows the image from its left edge, rows centered: the
  # paint box starts 9 pixels right of the dialog's corner and 11 down.
  convert -size 400x300 xc:black -fill white -draw "rectangle 100,80 299,219" -type TrueColor BMP3:"$work/img/rect.bmp"
  launch_with_undo "$work/img/rect.bmp" '^rect\.bmp \[1:1\]$'
  read -r x y _ _ <<<"$(geometry "$win")"
  # Opens the Nth item of the workbench's Filter menu; sets dlg, dx, dy.
  open_filter() {
    xdo mousemove $((x + 20)) $((y + 20)) keydown shift click 3 keyup shift
    sleep 0.4
    xdo key Down Down Right
    sleep 0.2
    [ "$2" -gt 0 ] && xdo key --delay 30 $(printf 'Down %.0s' $(seq "$2"))
    xdo key Return
    dlg=$(wait_window "^$1 Filter\$")
    sleep 0.4
    read -r dx dy _ _ <<<"$(geometry "$dlg")"
    dx=$((dx + 9)) dy=$((dy + 11))
  }

  step "blur"
  open_filter Blur 1
  import -window root "$shots/filter-blur-0.png"
  expect_pixels "$shots/filter-blur-0.png" "$dx" "$dy" "blur at 0" 100 150 255,255,255 99 150 0,0,0 20 20 0,0,0
  # Strength 100 by radius 1: the left edge of the rectangle keeps 10 of 14 parts.
  xdo windowfocus --sync "$dlg" key Home
  sleep 0.3
  import -window root "$shots/filter-blur.png"
  expect_pixels "$shots/filter-blur.png" "$dx" "$dy" "blur at 100" 100 150 182,182,182 99 150 73,73,73 20 20 0,0,0
  xdo key Return
  wait_pixel $((x + 100)) $((y + 150)) 182,182,182 "blur applied"
  import -window root "$shots/filtered-blur.png"
  xdo windowfocus --sync "$win" key ctrl+z
  wait_pixel $((x + 100)) $((y + 150)) 255,255,255 "blur undone"

  step "emboss"
  # Starts at brightness 50: flat areas 132; Home makes them 232 and the
  # columns beside the edge 255.
  open_filter Emboss 7
  import -window root "$shots/filter-emboss-50.png"
  expect_pixels "$shots/filter-emboss-50.png" "$dx" "$dy" "emboss at 50" 20 20 132,132,132 50 150 132,132,132
  xdo windowfocus --sync "$dlg" key Home
  sleep 0.3
  # Dragging 50 pixels left shows the image from x = 50.
  xdo mousemove $((dx + 200)) $((dy + 150)) mousedown 1
  xdo mousemove $((dx + 175)) $((dy + 150))
  xdo mousemove $((dx + 150)) $((dy + 150)) mouseup 1
  sleep 0.3
  import -window root "$shots/filter-emboss.png"
  expect_pixels "$shots/filter-emboss.png" "$dx" "$dy" "emboss at 100, scrolled" 20 20 232,232,232 48 150 232,232,232 \
    49 150 255,255,255 50 150 255,255,255 51 150 232,232,232
  xdo windowfocus --sync "$dlg" key Return
  wait_pixel $((x + 20)) $((y + 20)) 232,232,232 "emboss applied"
  import -window root "$shots/filtered-emboss.png"
  expect_pixels "$shots/filtered-emboss.png" "$x" "$y" "emboss applied" 99 150 255,255,255 98 150 232,232,232
  xdo windowfocus --sync "$win" key ctrl+z
  wait_pixel $((x + 20)) $((y + 20)) 0,0,0 "emboss undone"

  step "solarize, cancelled"
  open_filter Solarize 9
  xdo windowfocus --sync "$dlg" key Home
  sleep 0.3
  import -window root "$shots/filter-solarize.png"
  expect_pixels "$shots/filter-solarize.png" "$dx" "$dy" "solarize at 100" 20 20 255,255,255 150 150 0,0,0
  xdo key Escape
  sleep 0.4
  xdo search --onlyvisible --name '^Solarize Filter$' >/dev/null 2>&1 && fail "Escape left the dialog open"
  [ "$(pixel $((x + 20)) $((y + 20)))" = "0,0,0" ] || fail "Escape changed the picture"

  quit
  ;;
convert)
  # A gray ramp 256 x 100, black at the left, run with undo on. G opens the
  # gray dialog: monochrome, Preview shows only black and white in the main
  # window, Apply keeps it and Ctrl+Z brings the ramp back. X opens the
  # indexed dialog: web 216 leaves only channels in steps of 51.
  convert -size 100x256 gradient:white-black -rotate 90 -type TrueColor BMP3:"$work/img/ramp.bmp"
  launch_with_undo "$work/img/ramp.bmp" '^ramp\.bmp \[1:1\]$'
  read -r x y _ _ <<<"$(geometry "$win")"
  ramp=$(pixel $((x + 100)) $((y + 50)))
  # The colors of the picture in the main window, one "r,g,b" a line.
  colors() {
    import -window root "$work/win.png"
    convert "$work/win.png" -crop "256x100+$x+$y" +repage -unique-colors -depth 8 txt:- |
      sed -n 's/^[^(]*(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1,\2,\3/p'
  }

  step "gray, monochrome"
  xdo windowfocus --sync "$win" key g
  dlg=$(wait_window '^Convert to gray scales$')
  sleep 0.3
  import -window root "$shots/convert-gray.png"
  click_in 30 137
  click_in 44 269
  import -window root "$shots/convert-gray-preview.png"
  got=$(colors | sort | tr '\n' ' ')
  [ "$got" = "0,0,0 255,255,255 " ] || fail "the monochrome preview shows $got"
  [ "$(pixel $((x + 20)) $((y + 50)))" = "0,0,0" ] || fail "the dark end is not black"
  [ "$(pixel $((x + 230)) $((y + 50)))" = "255,255,255" ] || fail "the light end is not white"
  click_in 276 269
  wait_gone '^Convert to gray scales$'
  got=$(colors | sort | tr '\n' ' ')
  [ "$got" = "0,0,0 255,255,255 " ] || fail "applied monochrome shows $got"
  import -window root "$shots/converted-gray.png"
  xdo windowfocus --sync "$win" key ctrl+z
  sleep 0.5
  [ "$(pixel $((x + 100)) $((y + 50)))" = "$ramp" ] || fail "undo left $(pixel $((x + 100)) $((y + 50))), not $ramp"
  [ "$(colors | wc -l)" -gt 200 ] || fail "undo did not bring the ramp back"

  step "indexed, web 216"
  xdo windowfocus --sync "$win" key x
  dlg=$(wait_window '^Convert to indexed colors$')
  sleep 0.3
  click_in 30 151
  import -window root "$shots/convert-pal.png"
  click_in 276 269
  wait_gone '^Convert to indexed colors$'
  import -window root "$shots/converted-pal.png"
  colors >"$work/colors.txt"
  [ -s "$work/colors.txt" ] || fail "no colors read"
  awk -F, '$1 % 51 || $2 % 51 || $3 % 51 { bad = bad " " $0 } END { if (bad) { print bad; exit 1 } }' \
    "$work/colors.txt" || fail "web 216 shows colors off the web palette"
  xdo windowfocus --sync "$win" key ctrl+z
  sleep 0.5
  [ "$(pixel $((x + 100)) $((y + 50)))" = "$ramp" ] || fail "undo of web 216 left $(pixel $((x + 100)) $((y + 50)))"

  quit
  ;;
crop)
  # Bands 50 pixels wide, red, lime, blue, yellow above y 60 and cyan,
  # magenta, white, brown below, run with undo on. P opens the crop dialog;
  # the frame's corner handles lie on the rectangle's corner pixels. At 1:1
  # the top-left handle dragged by (40, 20) and the bottom-right one by
  # (-30, -10) keep 40,20 130x90, Enter crops. Undone, at 4:1 the same
  # handles dragged by (21, 9) and (-41, -23) move by whole image pixels
  # (5, 2) and (-10, -5), and a double click on the frame crops.
  convert -size 200x120 "xc:rgb(128,64,0)" -fill red -draw "rectangle 0,0 49,59" -fill lime -draw "rectangle 50,0 99,59" \
    -fill blue -draw "rectangle 100,0 149,59" -fill yellow -draw "rectangle 150,0 199,59" \
    -fill cyan -draw "rectangle 0,60 49,119" -fill magenta -draw "rectangle 50,60 99,119" \
    -fill white -draw "rectangle 100,60 149,119" -type TrueColor BMP3:"$work/img/bands.bmp"
  launch_with_undo "$work/img/bands.bmp" '^bands\.bmp \[1:1\]$'
  read -r x y _ _ <<<"$(geometry "$win")"
  brown=128,64,0
  # Presses the left button at x1, y1 of the window and lets go at x2, y2.
  drag() {
    xdo mousemove $((x + $1)) $((y + $2))
    sleep 0.1
    xdo mousedown 1
    sleep 0.1
    xdo mousemove $((x + $3)) $((y + $4))
    sleep 0.1
    xdo mouseup 1
    sleep 0.2
  }
  open_crop() {
    xdo windowfocus --sync "$win" key p
    dlg=$(wait_window '^Crop$')
    sleep 0.3
  }

  step "1:1"
  open_crop
  drag 1 1 41 21
  drag 199 119 169 109
  import -window root "$shots/crop-frame-1.png"
  xdo windowfocus --sync "$win" key Return
  wait_gone '^Crop$'
  sleep 0.3
  import -window root "$shots/cropped-1.png"
  # The view centers a picture smaller than the window.
  read -r _ _ w h <<<"$(geometry "$win")"
  ox=$((x + (w - 130) / 2)) oy=$((y + (h - 90) / 2))
  back=$(pix "$shots/cropped-1.png" $((x + 1)) $((y + 1)))
  # Source pixel (40 + i, 20 + j) at (i, j); nothing beyond 130 x 90.
  expect_pixels "$shots/cropped-1.png" "$ox" "$oy" "cropped at 1:1" 0 0 255,0,0 9 39 255,0,0 10 0 0,255,0 \
    60 0 0,0,255 110 0 255,255,0 129 39 255,255,0 0 40 0,255,255 10 89 255,0,255 129 89 "$brown" \
    130 10 "$back" 10 90 "$back" -1 10 "$back" 10 -1 "$back"
  xdo windowfocus --sync "$win" key ctrl+z
  sleep 0.5
  [ "$(pixel $((x + 180)) $((y + 10)))" = "255,255,0" ] || fail "undo did not bring the whole picture back"

  step "4:1"
  xdo windowfocus --sync "$win" key ctrl+KP_Add ctrl+KP_Add ctrl+KP_Add
  win=$(wait_window '^bands\.bmp \[4:1\]$')
  sleep 0.5
  read -r x y w h <<<"$(geometry "$win")"
  [ "$w" -eq 800 ] && [ "$h" -eq 480 ] || fail "the window at 4:1 is ${w}x$h, not 800x480"
  open_crop
  drag 1 1 22 10
  drag 799 479 758 456
  import -window root "$shots/crop-frame-4.png"
  xdo mousemove $((x + 400)) $((y + 240)) click --repeat 2 --delay 80 1
  wait_gone '^Crop$'
  sleep 0.3
  import -window root "$shots/cropped-4.png"
  read -r _ _ w h <<<"$(geometry "$win")"
  ox=$((x + (w - 740) / 2)) oy=$((y + (h - 452) / 2))
  # Kept: 5,2 185x113; image pixel (i, j) covers (4i..4i+3, 4j..4j+3).
  expect_pixels "$shots/cropped-4.png" "$ox" "$oy" "cropped at 4:1" 0 0 255,0,0 178 10 255,0,0 182 10 0,255,0 \
    178 229 255,0,0 178 233 0,255,255 739 451 "$brown" 738 10 255,255,0 740 10 "$back"
  ;;
colortable)
  # A GIF of three bands, red, lime, blue, run with undo on. N opens the
  # color table; a click on the second cell selects the lime entry, a red
  # of 200 typed into its spin shows in the picture at once, "trans" shows
  # the entry in the background color, Esc puts everything back; done again,
  # Apply keeps it and Ctrl+Z undoes.
  convert -size 120x80 xc:red -fill lime -draw "rectangle 40,0 79,79" -fill blue -draw "rectangle 80,0 119,79" \
    -colors 4 "$work/img/bands.gif"
  launch_with_undo "$work/img/bands.gif" '^bands\.gif \[1:1\]$'
  read -r x y _ _ <<<"$(geometry "$win")"
  # The background color of the settings shows for the transparent entry.
  back=128,128,128
  wait_middle() { wait_pixel $((x + 60)) $((y + 40)) "$1" "$2: the middle band"; }
  edit() {
    xdo windowfocus --sync "$win" key n
    dlg=$(wait_window '^Color table$')
    sleep 0.3
    click_in 118 46
    # Three clicks select the red spin's text.
    click_in 340 115 --repeat 3
    xdo type --delay 40 200
    xdo key Tab
    wait_middle 200,255,0 "the edited entry"
    import -window root "$shots/colortable-$1.png"
    click_in 437 85
    wait_middle "$back" "the transparent entry"
    wait_window '^bands\.gif \[1:1\] alpha edit$' >/dev/null
  }

  step "cancel"
  edit cancel
  xdo windowfocus --sync "$dlg" key Escape
  wait_gone '^Color table$'
  wait_middle 0,255,0 "after Esc"
  [ "$(pixel $((x + 20)) $((y + 40)))" = "255,0,0" ] || fail "Esc changed the red band"

  step "apply"
  edit apply
  click_in 311 323
  wait_gone '^Color table$'
  import -window root "$shots/colortable-applied.png"
  wait_middle "$back" "after Apply"
  xdo windowfocus --sync "$win" key ctrl+z
  wait_middle 0,255,0 "after undo"
  quit
  ;;
*) fail "unknown case $case_name" ;;
esac
