#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when any is missing.
# usage: scripts/deps.sh build|package|test
set -euo pipefail
packages=(cmake ninja-build g++ pkg-config libglib2.0-dev qt6-base-dev qt6-svg-dev qt6-translations-l10n libgl-dev
          fonts-noto-cjk)
# cpack's Debian package: dpkg-shlibdeps, and file to find the binaries.
if [ "${1:-build}" = package ] || [ "${1:-build}" = test ]; then
    packages+=(dpkg-dev file)
fi
if [ "${1:-build}" = test ]; then
    packages+=(libgtest-dev xvfb xdotool x11-utils imagemagick util-linux xfsprogs clang clang-tidy
              libclang-rt-14-dev lintian appstream desktop-file-utils man-db)
fi
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi
echo "Installing missing packages: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
