#!/usr/bin/env bash
# make demo: from a fresh machine to the example product unpacked by the
# launcher under Wine. Installs what is missing, builds the three presets,
# packs examples/payload with its setup program into a launcher with qwpack,
# runs that launcher on a virtual display and tells what happened.
#
# It runs the shipped 32-bit launcher where 32-bit Wine can run, and the
# 64-bit build of the same launcher otherwise, saying why.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=${JOBS:-2}
demo=build/demo

step() { printf '\n== %s\n' "$*"; }
winpath() { local p; p=$(realpath -m "$1"); echo "Z:${p//\//\\}"; }

step "1/5 dependencies"
scripts/install-deps.sh

step "2/5 build: host, win32, win64"
for preset in host win32 win64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs" >"build/demo-build-$preset.log" 2>&1 ||
    { tail -n 30 "build/demo-build-$preset.log"; echo "demo: the $preset build failed" >&2; exit 1; }
  echo "built $preset (log: build/demo-build-$preset.log)"
done

step "3/5 pack examples/payload and QWSetup.exe with qwpack"
rm -rf "$demo"
for arch in win64 win32; do
  mkdir -p "$demo/payload-$arch"
  cp -R examples/payload/. "$demo/payload-$arch/"
  cp "build/$arch/tests/wine/QWSetup.exe" "$demo/payload-$arch/"
  build/host/qwpack pack -o "$demo/Setup-$arch.exe" --stub "build/$arch/launcher.exe" \
    "$demo/payload-$arch"
done
echo "launchers: $demo/Setup-win32.exe (the shipped kind), $demo/Setup-win64.exe"

arch=win32
reason=$(python3 tests/wine/run_wine_tests.py --arch win32 --why-not)
if [ -n "$reason" ]; then
  echo "the 32-bit launcher cannot run here: $reason"
  echo "running the 64-bit build of the same launcher instead"
  arch=win64
fi

step "4/5 run Setup-$arch.exe under Wine"
shot="$root/$demo/progress-window.bmp"
# --hold-at stops the worker at the progress notice that would take the bar
# past 60 of 200 (the package is more than half copied out), long enough to
# take the screenshot, then lets the run go on to its end.
QW_ARCH=$arch scripts/wine-session.sh bash -c \
  '"$QW_WINE" "$1" outcome --hold-at 60 --screenshot "$2" "$3"' _ \
  "build/$arch/tests/wine/driver.exe" "$(winpath "$shot")" "$(winpath "$demo/Setup-$arch.exe")" \
  >"$demo/run.log" 2>/dev/null || true
[ -f "$shot" ] && convert "$shot" "${shot%.bmp}.png" && rm -f "$shot"

step "5/5 what happened"
fact() { sed -n "s/^$1=//p" "$demo/run.log" | tail -n1; }
workspace=$(fact workspace)
if [ -z "$workspace" ] || [ "$(fact exit.code)" != 0 ] || [ "$(fact box.seen)" != 0 ]; then
  echo "demo: the run did not end as it should; the driver's report:" >&2
  cat "$demo/run.log" >&2
  exit 1
fi
echo "launcher:        $demo/Setup-$arch.exe ($arch build)"
echo "exit status:     $(fact exit.code)"
echo "unpacked into:   $workspace"
echo "                 (on this side: $(fact workspace.unix))"
echo "package copy:    $( [ "$(fact workspace.package_copy_exists)" = 0 ] && echo deleted || echo LEFT BEHIND)"
echo "files:"
sed -n 's/^setup\.file=/                 /p' "$demo/run.log"
echo "QWSetup.exe received:"
echo "  command line:  $(fact setup.commandLine)"
echo "  arguments:     $(sed -n 's/^setup\.argv[0-9]*=//p' "$demo/run.log" | tr '\n' ' ')"
echo "  own directory: $(fact setup.ownDirectory)"
echo "  show flag:     $(fact setup.showWindow)"
echo "screenshot of the progress window: $root/$demo/progress-window.png"
echo "driver report:   $root/$demo/run.log"
