#!/usr/bin/env bash
# Runs COMMAND inside one of the project's Wine sessions: a shared prefix
# (created on first use, 10 to 20 s), a virtual display of its own, Wine's
# debug output off. QW_ARCH picks the session:
#   win64 (default): the 64-bit loader /usr/lib/wine/wine64, prefix build/wineprefix
#   win32: the 32-bit loader /usr/lib/wine/wine (Debian's wine32:i386), a
#          32-bit prefix build/wineprefix32 (WINEARCH=win32)
# Exports WINEPREFIX, DISPLAY, QW_ARCH and QW_WINE (the loader).
#   [QW_ARCH=win32] scripts/wine-session.sh COMMAND [ARG...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export QW_ARCH=${QW_ARCH:-win64}
case "$QW_ARCH" in
  win64)
    export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix}
    export QW_WINE=${QW_WINE:-/usr/lib/wine/wine64}
    ;;
  win32)
    export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix32}
    export QW_WINE=${QW_WINE:-/usr/lib/wine/wine}
    export WINEARCH=win32
    ;;
  *)
    echo "wine-session: QW_ARCH must be win64 or win32, not $QW_ARCH" >&2
    exit 2
    ;;
esac
if [ ! -x "$QW_WINE" ]; then
  echo "wine-session: no Wine loader at $QW_WINE" >&2
  exit 3
fi
export WINEDEBUG=-all
# No Mono or Gecko installer dialogs in a fresh prefix.
export WINEDLLOVERRIDES="mscoree,mshtml="

# Xvfb picks a free display itself and writes its number to the file.
display_file=$(mktemp)
Xvfb -displayfd 7 -screen 0 1024x768x24 -nolisten tcp 7>"$display_file" >/dev/null 2>&1 &
xvfb_pid=$!
# Wine's own helper processes go before their display does, so none of them
# complains about a lost X connection.
stop_session() {
  timeout 20 /usr/lib/wine/wineserver -w 2>/dev/null || true
  kill "$xvfb_pid" 2>/dev/null || true
  rm -f "$display_file"
}
trap stop_session EXIT
for _ in $(seq 100); do
  [ -s "$display_file" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || { echo "wine-session: Xvfb failed to start" >&2; exit 1; }
  sleep 0.1
done
[ -s "$display_file" ] || { echo "wine-session: Xvfb gave no display" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$display_file")"

# Made with the display in place: Wine's desktop process, started by the
# prefix's creation, keeps the graphics driver it found then.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "wine-session: creating the $QW_ARCH prefix $WINEPREFIX" >&2
  mkdir -p "$(dirname "$WINEPREFIX")"
  "$QW_WINE" wineboot --init >/dev/null 2>&1
fi

"$@"
