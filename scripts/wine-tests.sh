#!/usr/bin/env bash
# The launcher's Wine tests (tests/wine/run_wine_tests.py) for both builds:
# the 64-bit launcher under wine64, then the shipped 32-bit one under the
# 32-bit loader in a 32-bit prefix of its own. Where 32-bit Wine cannot run
# (not installed, or a kernel that starts no 32-bit programs), its cases are
# counted as skipped and the summary says why. Arguments go to the runner
# (-k NAME). Needs the win64 and win32 builds and build/host/qwpack.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export PYTHONDONTWRITEBYTECODE=1
runner=("python3" "$root/tests/wine/run_wine_tests.py")
rm -rf "$root/build/wine-tests"

run_build() {
  local arch=$1
  shift
  QW_ARCH=$arch "$root/scripts/wine-session.sh" "${runner[@]}" --arch "$arch" "$@"
}

status=0
run_build win64 "$@" || status=1
reason=$("${runner[@]}" --arch win32 --why-not)
if [ -z "$reason" ]; then
  run_build win32 "$@" || status=1
else
  "${runner[@]}" --arch win32 --not-run "$reason" "$@"
fi
"${runner[@]}" --summary "$@" || status=1
exit $status
