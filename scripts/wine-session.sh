#!/usr/bin/env bash
# Runs COMMAND inside the project's Wine session: the shared prefix
# build/wineprefix (created on first use, ~10 s), a virtual display of its
# own, Wine's debug output off. Exports WINEPREFIX, DISPLAY and QW_WINE (the
# 64-bit loader; 32-bit programs cannot start on this kernel).
#   scripts/wine-session.sh COMMAND [ARG...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix}
export WINEDEBUG=-all
# No Mono or Gecko installer dialogs in a fresh prefix.
export WINEDLLOVERRIDES="mscoree,mshtml="
export QW_WINE=${QW_WINE:-/usr/lib/wine/wine64}

# Xvfb picks a free display itself and writes its number to the file.
display_file=$(mktemp)
Xvfb -displayfd 7 -screen 0 1024x768x24 -nolisten tcp 7>"$display_file" >/dev/null 2>&1 &
xvfb_pid=$!
# Wine's own helper processes go before their display does, so none of them
# complains about a lost X connection.
stop_session() {
  timeout 20 wineserver -w 2>/dev/null || true
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
  echo "wine-session: creating the prefix $WINEPREFIX" >&2
  mkdir -p "$(dirname "$WINEPREFIX")"
  "$QW_WINE" wineboot --init >/dev/null 2>&1
fi

"$@"
