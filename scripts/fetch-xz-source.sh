#!/usr/bin/env bash
# Fetches Debian's xz-utils source package, the very version of the
# liblzma-dev the Linux qwpack links, and unpacks it into
# build/third-party/xz-utils-<version>/, where the win64 build makes the
# static liblzma of qwpack.exe's method-2 encoder from it
# (cmake/build/liblzma_mingw.cmake). apt checks the source package against
# the archive's signed index, as it does binaries.
#
# It never stops the set-up: where the source cannot be fetched it says why
# in one line and leaves build/third-party/xz-utils-<version>.failed, and
# qwpack.exe is built without method 2. One attempt per version and build
# tree: removing that file (or `make clean`) allows another.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
third_party=$root/build/third-party
version=$(dpkg-query -W -f='${Version}' liblzma-dev 2>/dev/null) || {
  echo "fetch-xz-source: liblzma-dev is not installed; run scripts/install-deps.sh"
  exit 0
}
source_dir=$third_party/xz-utils-$version
failed=$source_dir.failed
[ -f "$source_dir/debian/copyright" ] || [ -f "$failed" ] && exit 0

sudo_cmd=""
[ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
apt_options=()
# As root apt would first try to download as its own unprivileged user, who
# cannot write into the build tree, and warn.
[ "$(id -u)" -eq 0 ] && apt_options+=(-o APT::Sandbox::User=root)

# Debian's source indexes, beside the binary ones the machine already has:
# the security archive too, where a fix such as 5.4.1-1+deb12u2 comes from.
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
list=/etc/apt/sources.list.d/qwlauncher-deb-src.sources
add_source_indexes() {
  [ -f "$list" ] && return 0
  $sudo_cmd tee "$list" >/dev/null <<EOF
# Added by qwlauncher's scripts/fetch-xz-source.sh: Debian's source packages.
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: $codename $codename-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: $codename-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
}

mkdir -p "$third_party"
work=$(mktemp -d "$third_party/.xz-utils-fetch.XXXXXX")
log=$work/log
trap 'rm -rf "$work"' EXIT
fetch() {
  (cd "$work" && apt-get source -qq "${apt_options[@]}" --only-source "xz-utils=$version") >>"$log" 2>&1
}
echo "fetching Debian's xz-utils $version source (the liblzma of qwpack.exe)"
# The source indexes are read only when the first attempt finds no package.
if ! { add_source_indexes && fetch; } &&
   ! { $sudo_cmd apt-get update -qq >>"$log" 2>&1 && fetch; }; then
  cp "$log" "$failed"
  reason=$(grep -E '^(E|W):' "$log" | head -n1 | cut -c1-160)
  echo "fetch-xz-source: xz-utils $version could not be fetched (${reason:-see the log}); qwpack.exe will refuse --method lzma. Log: $failed"
  exit 0
fi
unpacked=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'xz-utils-*')
mv "$unpacked" "$source_dir"
echo "fetched xz-utils $version into $source_dir"
