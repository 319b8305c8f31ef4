#!/usr/bin/env bash
# Installs the build into a fresh prefix and checks the installed tree: every
# file in its desktop place and nothing else, the program's lookup finding
# its libraries and data from bin, the program starting offscreen, and its
# settings going to the user's config folder when bin cannot be written.
#   install.sh BUILD BINDIR LIBDIR DATADIR PROBE
set -euo pipefail
build=$1 bindir=$2 libdir=$3 datadir=$4 probe=$5
for d in "$bindir" "$libdir" "$datadir"; do
  case $d in /*) echo "SKIP: $d is absolute and does not move with --prefix"; exit 77 ;; esac
done

work=$(mktemp -d /tmp/pelorin-install.XXXXXX)
pid=
trap '{ [ -n "$pid" ] && kill "$pid" 2>/dev/null; wait 2>/dev/null; } || true; chmod -R u+w "$work"; rm -rf "$work"' EXIT
prefix=$work/prefix
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || {
  cat "$work/install.log" >&2
  fail "cmake --install"
}

# Every file in its place, and nothing left in the old program folder.
expected=(
  "$bindir/pelorin"
  "$bindir/pelorin-convert"
  "$libdir/pelorin/libquenna.so"
  "$libdir/pelorin/libpelorin-twain.so"
  "$datadir/pelorin/splash.png"
  "$datadir/pelorin/Help/Pelorin Help.txt"
  "$datadir/pelorin/Help/Pelorin Shortcuts.txt"
  "$datadir/pelorin/Doc/Pelorin Documentation.html"
  "$datadir/applications/io.pelorin.Pelorin.desktop"
  "$datadir/metainfo/io.pelorin.Pelorin.metainfo.xml"
  "$datadir/icons/hicolor/scalable/apps/pelorin.svg"
)
for f in "${expected[@]}"; do
  [ -f "$prefix/$f" ] || fail "not installed: $f"
done
for f in "$bindir/pelorin" "$bindir/pelorin-convert"; do
  [ -x "$prefix/$f" ] || fail "not executable: $f"
done
found=$(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | sort)
wanted=$(printf '%s\n' "${expected[@]}" | sort)
[ "$found" = "$wanted" ] || fail "installed files differ from the layout:
$(diff <(echo "$wanted") <(echo "$found") || true)"
echo "layout: ${#expected[@]} files in place"

# The desktop's own view of the tree: entry, metainfo and icon together.
if command -v appstreamcli >/dev/null; then
  appstreamcli validate-tree --no-net "$prefix" >"$work/tree.log" 2>&1 || {
    cat "$work/tree.log" >&2
    fail "appstreamcli validate-tree"
  }
  ! grep -E '^[EW]:' "$work/tree.log" >&2 || fail "appstreamcli validate-tree warns"
fi

# The lookup, run from the installed bin, finds the installed files.
cp "$probe" "$prefix/$bindir/pelorin-install-probe"
QT_QPA_PLATFORM=offscreen "$prefix/$bindir/pelorin-install-probe" >"$work/probe.log" 2>&1 || {
  cat "$work/probe.log" >&2
  fail "the program's files are not found from $bindir"
}
real=$(cd "$prefix" && pwd -P)
while IFS=$'\t' read -r name path state; do
  case $name in
  *.so) want="$real/$libdir/pelorin/$name" ;;
  *) want="$real/$datadir/pelorin/$name" ;;
  esac
  [ "$path" = "$want" ] || fail "$name found at $path, not $want"
  echo "found: $name ($state)"
done <"$work/probe.log"
rm "$prefix/$bindir/pelorin-install-probe"

# The installed program starts, shows an image and keeps running; bin is
# read-only, as under /usr, so its settings go to the config folder.
mkdir -p "$work/home/config" "$work/home/run"
chmod 700 "$work/home/run"
# A 2 x 1 24-bit bitmap.
printf 'BM\x3e\0\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0\x02\0\0\0\x01\0\0\0\x01\0\x18\0\0\0\0\0\x08\0\0\0\x13\x0b\0\0\x13\x0b\0\0\0\0\0\0\0\0\0\0\xff\0\0\0\xff\0\0\0' >"$work/home/two.bmp"
chmod -R a-w "$prefix"
run=()
if [ "$(id -u)" = 0 ]; then
  # Root writes anywhere: run as nobody to see what a user sees.
  if command -v setpriv >/dev/null; then
    chmod 755 "$work" && chmod -R a+rX "$prefix"
    chown -R 65534:65534 "$work/home"
    run=(setpriv --reuid=65534 --regid=65534 --clear-groups)
  else
    echo "note: running as root without setpriv, bin stays writable" >&2
  fi
fi
HOME=$work/home XDG_CONFIG_HOME=$work/home/config XDG_RUNTIME_DIR=$work/home/run TMPDIR=$work/home/run \
  QT_QPA_PLATFORM=offscreen "${run[@]}" "$prefix/$bindir/pelorin" "$work/home/two.bmp" >"$work/run.log" 2>&1 &
pid=$!
settings=$work/home/config/Pelorin/Pelorin.up
for _ in $(seq 100); do
  [ -f "$settings" ] && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
# Settings are written before the window shows; give it the time to show.
sleep 1
kill -0 "$pid" 2>/dev/null || {
  cat "$work/run.log" >&2
  fail "the installed program ended on its own"
}
kill "$pid"
wait "$pid" 2>/dev/null || true
pid=
if [ ${#run[@]} -gt 0 ] || [ "$(id -u)" != 0 ]; then
  [ -f "$settings" ] || fail "no settings file in the config folder"
  [ ! -e "$prefix/$bindir/Pelorin.up" ] || fail "settings written into bin"
  echo "settings: in the config folder"
fi
echo "started: the installed program ran offscreen"
