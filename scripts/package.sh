#!/usr/bin/env bash
# Builds Tessarin in release mode and makes its Debian package,
# build/release/package/tessarin_VERSION_ARCH.deb, to install with
# `sudo apt install ./build/release/package/tessarin_*.deb`.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/deps.sh" package
cmake -S "$root" -B "$root/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$root/build/release"
rm -f "$root"/build/release/package/tessarin_*.deb
(cd "$root/build/release" && cpack -G DEB -B "$root/build/release/package")
