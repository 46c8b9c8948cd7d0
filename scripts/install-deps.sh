#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
set -euo pipefail
packages=(
  cmake g++ clang make python3 pkg-config libgtest-dev libbenchmark-dev libcli11-dev nlohmann-json3-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64
  zlib1g-dev liblz4-dev libdeflate-dev libzstd-dev
  wine64 xvfb xdotool imagemagick fonts-wqy-zenhei locales
  nsis osslsigncode
  zip unzip 7zip time
  dpkg-dev file man-db
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The Wine tests run the launcher under LC_ALL=zh_CN.UTF-8 for its Chinese
# interface; Wine falls back to English when the locale is not generated.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; then
  echo "generating the zh_CN.UTF-8 locale"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
fi
