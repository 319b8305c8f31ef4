# The print case of e2e.sh, sourced by it with its helpers defined.
# print: Ctrl+P opens the print dialog on a machine without printers (the
# PDF file is the one choice); the title is dragged in the page preview,
# Print writes the PDF through the file dialog, and the page shows the
# image centered and the title where it was dragged to.
case $case_name in
print)
  # Quadrants red, lime, blue, yellow; 200 x 150.
  convert -size 200x150 xc:red \
    -fill lime -draw "rectangle 100,0 199,74" -fill blue -draw "rectangle 0,75 99,149" \
    -fill yellow -draw "rectangle 100,75 199,149" -type TrueColor BMP3:"$work/img/print.bmp"
  # No print server: whatever queues this machine has, the PDF file is the
  # one printer.
  export CUPS_SERVER=$work/no-print-server.sock
  launch "$work/img/print.bmp"
  win=$(wait_window '^print\.bmp \[1:1\]$')
  xdo windowfocus --sync "$win" key ctrl+q
  wait "$pid" || fail "first run: exit code $?"
  # 100 device pixels an inch for the PDF, so that the title is large
  # enough in the preview to take hold of; the title not centered.
  printf '\144\000\000\000' | dd of="$work/prog/Pelorin.up" bs=1 seek=42 conv=notrunc status=none
  printf '\000' | dd of="$work/prog/Pelorin.up" bs=1 seek=2014 conv=notrunc status=none
  launch "$work/img/print.bmp"
  win=$(wait_window '^print\.bmp \[1:1\]$')
  sleep 0.3

  step "dialog"
  xdo windowfocus --sync "$win" key ctrl+p
  dlg=$(wait_window '^Print$')
  sleep 0.5
  read -r dx dy dw dh <<<"$(geometry "$dlg")"
  [ "$dw.$dh" = "602.378" ] || fail "dialog is ${dw}x$dh, not 602x378"
  import -window root "$shots/print-dialog.png"
  # A4 at 100 dpi is 827 x 1169 with 14 pixels of margin: the sheet is 252
  # x 356 in the panel at 234,9, from 54,2, and the title starts at the
  # printable area's corner, 4 pixels in.
  sx=$((dx + 234 + 54)) sy=$((dy + 9 + 2))
  # The image 61 x 46 at 95,155: the middles of its quadrants.
  expect_pixels "$shots/print-dialog.png" "$sx" "$sy" "preview" 110 166 255,0,0 140 166 0,255,0 \
    110 189 0,0,255 140 189 255,255,0 30 100 255,255,255
  # Dark text in FILE's rectangle X Y W H (the margin lines are light).
  dark() {
    [ "$(convert "$1" -crop "$4x$5+$2+$3" -colorspace gray -format '%[fx:minima < 0.3]' info:)" = "1" ]
  }
  dark "$shots/print-dialog.png" $((sx + 5)) $((sy + 5)) 40 14 || fail "no title in the preview"
  dark "$shots/print-dialog.png" $((sx + 65)) $((sy + 105)) 40 14 && fail "ink where the title goes"

  step "drag the title"
  xdo mousemove $((sx + 10)) $((sy + 12)) mousedown 1
  for i in 1 2 3 4 5; do xdo mousemove $((sx + 10 + 12 * i)) $((sy + 12 + 20 * i)); sleep 0.05; done
  xdo mouseup 1
  sleep 0.3
  import -window root "$shots/print-dragged.png"
  dark "$shots/print-dragged.png" $((sx + 65)) $((sy + 105)) 40 14 || fail "the title did not follow the mouse"
  dark "$shots/print-dragged.png" $((sx + 5)) $((sy + 5)) 40 14 && fail "the title stayed"

  step "print to PDF"
  xdo mousemove $((dx + 43)) $((dy + 358)) click 1
  file=$(wait_window '^Print to PDF file$')
  xdo windowfocus --sync "$file"
  xdo key ctrl+a
  xdo type --delay 5 "$work/img/page.pdf"
  xdo key Return
  for _ in $(seq 100); do [ -s "$work/img/page.pdf" ] && break; sleep 0.1; done
  [ -s "$work/img/page.pdf" ] || fail "no PDF written"
  sleep 0.5
  pdftoppm -r 100 -png -singlefile "$work/img/page.pdf" "$work/page"
  cp "$work/page.png" "$shots/print-page.png"
  # Centered: 200 x 150 at (14 + (799 - 200) / 2, 14 + (1141 - 150) / 2).
  expect_pixels "$work/page.png" 313 509 "page" 50 37 255,0,0 150 37 0,255,0 50 112 0,0,255 150 112 255,255,0 \
    -3 75 255,255,255 203 75 255,255,255
  # The title moved 60 x 100 preview pixels: 197 x 328 device pixels.
  dark "$work/page.png" 211 342 60 40 || fail "no title where it was dragged to on the page"
  dark "$work/page.png" 14 14 150 60 && fail "the title printed at its first place"

  step "close"
  xdo windowfocus --sync "$dlg" key Escape
  for _ in $(seq 50); do xdo search --onlyvisible --name '^Print$' >/dev/null 2>&1 || break; sleep 0.1; done
  xdo search --onlyvisible --name '^Print$' >/dev/null 2>&1 && fail "dialog still open after Escape"
  xdo windowfocus --sync "$win" key ctrl+q
  for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  wait "$pid" || fail "exit code $?"
  [ "$(od -An -tu1 -j2014 -N1 "$work/prog/Pelorin.up" | tr -d ' ')" = "0" ] || fail "title centering not kept"
  ;;
esac
