# The list case of e2e.sh, sourced by it with its helpers defined.
# list: L shows the list window of the shown file's folder; a click on the
# "Size (byte)" header sorts it by size, two clicks on check boxes check the
# two smallest files, the shown file's own mark is cleared, and "delete
# checked" in the File menu sends both, once confirmed, to the trash of a
# data folder of the test's own, with their .trashinfo records; the list
# then holds the other two. The plain list and the bold font from the
# Options menu, the place, size and sort of the window are in the settings
# file after Ctrl+Q.
case $case_name in
list)
  # Sizes in another order than the names: c < b < d < a.
  convert -size 160x120 xc:red -type TrueColor BMP3:"$work/img/a.bmp"
  convert -size 100x80 xc:lime -type TrueColor BMP3:"$work/img/b.bmp"
  convert -size 60x40 xc:blue -type TrueColor BMP3:"$work/img/c.bmp"
  convert -size 120x90 xc:yellow -type TrueColor BMP3:"$work/img/d.bmp"
  export XDG_DATA_HOME=$work/data
  launch "$work/img/a.bmp"
  win=$(wait_window '^a\.bmp \[1:1\]$')
  sleep 0.3

  step "list window"
  xdo windowfocus --sync "$win" key l
  folder_title=$(printf '%s' "$work/img/" | sed 's/[.[\*^$]/\\&/g')
  list=$(wait_window "^$folder_title\$")
  sleep 0.5
  read -r lx ly lw lh <<<"$(geometry "$list")"
  import -window root "$shots/list.png"
  [ "$lw.$lh" = "378.240" ] || fail "list window is ${lw}x$lh, not the stored 378x240"

  # In the window: the menu bar down to y 20, the header to 38, then rows
  # of 14 pixels with their check boxes at x 4 to 17.
  row_y() { echo $((ly + 45 + 14 * $1)); }
  click_at() {
    xdo mousemove "$1" "$2" click 1
    sleep 0.3
  }

  step "sort by size"
  click_at $((lx + 300)) $((ly + 29))
  import -window root "$shots/list-sorted.png"

  step "check"
  click_at $((lx + 10)) "$(row_y 0)"
  click_at $((lx + 10)) "$(row_y 1)"
  click_at $((lx + 10)) "$(row_y 3)"
  import -window root "$shots/list-checked.png"

  step "delete checked"
  # "delete checked", the File menu's last item.
  click_at $((lx + 15)) $((ly + 10))
  import -window root "$shots/list-menu.png"
  click_at $((lx + 70)) $((ly + 192))
  box=$(wait_window '^Pelorin Confirm$')
  sleep 0.3
  import -window root "$shots/list-confirm.png"
  xdo windowfocus --sync "$box" key Return
  for _ in $(seq 50); do [ -e "$work/img/b.bmp" ] || [ -e "$work/img/c.bmp" ] || break; sleep 0.1; done
  for f in b c; do
    [ -e "$work/img/$f.bmp" ] && fail "$f.bmp is still in the folder"
    [ -s "$work/data/Trash/files/$f.bmp" ] || fail "$f.bmp is not in the trash"
    grep -q "^Path=$work/img/$f.bmp\$" "$work/data/Trash/info/$f.bmp.trashinfo" 2>/dev/null ||
      fail "no .trashinfo naming $f.bmp"
  done
  for f in a d; do
    [ -s "$work/img/$f.bmp" ] || fail "$f.bmp, not checked, is gone"
  done
  sleep 0.5
  import -window root "$shots/list-deleted.png"
  [ "$(xdo getwindowname "$win")" = 'a.bmp [1:1]' ] || fail "the shown file changed"

  step "plain list, bold"
  # The Options menu's items, "&details" and "&bold font".
  click_at $((lx + 61)) $((ly + 10))
  click_at $((lx + 90)) $((ly + 32))
  click_at $((lx + 61)) $((ly + 10))
  click_at $((lx + 90)) $((ly + 52))
  sleep 0.3
  import -window root "$shots/list-plain-bold.png"

  xdo windowfocus --sync "$win" key ctrl+q
  for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$pid" 2>/dev/null && fail "still running after Ctrl+Q"
  wait "$pid" || fail "exit code $?"
  # The window's place, size and sort are stored: size, ascending.
  [ "$(od -An -tu4 -j124 -N4 "$work/prog/Pelorin.up" | tr -d ' ')" = 2 ] || fail "sort column not stored"
  [ "$(od -An -tu4 -j114 -N8 "$work/prog/Pelorin.up" | tr -s ' ')" = ' 378 240' ] || fail "list size not stored"
  [ "$(od -An -tu1 -j122 -N2 "$work/prog/Pelorin.up" | tr -s ' ')" = ' 0 1' ] || fail "plain view and bold font not stored"
  ;;
esac
