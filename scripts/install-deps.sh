#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
set -euo pipefail
packages=(
  cmake ninja-build g++ clang make python3 pkg-config libgtest-dev libbenchmark-dev libcli11-dev nlohmann-json3-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64
  zlib1g-dev liblz4-dev libdeflate-dev libzstd-dev liblzma-dev
  wine64 xvfb xdotool imagemagick fonts-wqy-zenhei locales
  nsis osslsigncode python3-pefile
  zip unzip 7zip time
  dpkg-dev file man-db
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
sudo_cmd=""
[ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
# An index that fails to download (a mirror in the middle of a sync) is
# reported and the old one used; it must not stop the set-up.
apt_update() {
  $sudo_cmd apt-get update -qq || echo "install-deps: apt-get update reported errors; going on with the indexes it has"
}
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  apt_update
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# 32-bit Wine runs the shipped 32-bit launcher in the Wine suite. Where it
# cannot be installed (an i386 index out of step with the amd64 one makes
# apt refuse), the suite says so and runs the 64-bit build alone; nothing
# else depends on it. One attempt per build tree: `make clean` allows another.
wine32_stamp="$(cd "$(dirname "$0")/.." && pwd)/build/.wine32-install-failed"
if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "ok installed" &&
   [ ! -f "$wine32_stamp" ]; then
  echo "installing: wine32:i386 (the 32-bit Wine loader)"
  log=$(mktemp)
  if { dpkg --print-foreign-architectures | grep -qx i386 || $sudo_cmd dpkg --add-architecture i386; } &&
     { $sudo_cmd apt-get update -qq >"$log" 2>&1 || true; } &&
     DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends \
       --no-remove wine32:i386 >>"$log" 2>&1; then
    echo "installed wine32:i386"
  else
    mkdir -p "$(dirname "$wine32_stamp")"
    cp "$log" "$wine32_stamp"
    echo "install-deps: wine32:i386 could not be installed ($(grep '^E:' "$log" | tail -n1 | cut -c1-160)); the 32-bit launcher will not run in the Wine suite. Log: $wine32_stamp"
  fi
  rm -f "$log"
fi

# The Wine tests run the launcher under LC_ALL=zh_CN.UTF-8 for its Chinese
# interface; Wine falls back to English when the locale is not generated.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; then
  echo "generating the zh_CN.UTF-8 locale"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
fi

# qwpack.exe's liblzma is built from Debian's source of the Linux one; where
# it cannot be fetched the script says so in one line and qwpack.exe is
# built without method 2.
"$(dirname "$0")/fetch-xz-source.sh" ||
  echo "install-deps: fetching xz-utils' source failed; qwpack.exe will refuse --method lzma"
