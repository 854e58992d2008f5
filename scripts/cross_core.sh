#!/usr/bin/env bash
# Compiles the core (scan/ and check/, without the POSIX back end) for Windows with
# mingw-w64, to object files only: the neutral code must build for a system that has
# no back end yet. Usage: scripts/cross_core.sh [output folder]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:-$root/build/cross-core}"
# The posix thread model: the win32 one of g++ 12 has no std::thread.
cxx="${CXX_MINGW:-}"
if [[ -z "$cxx" ]]; then
    for candidate in x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-g++; do
        if command -v "$candidate" >/dev/null; then
            cxx="$candidate"
            break
        fi
    done
fi
if [[ -z "$cxx" ]]; then
    echo "no mingw-w64 g++ found" >&2
    exit 1
fi
launcher=()
if command -v ccache >/dev/null; then
    launcher=(ccache)
fi
mkdir -p "$out"
flags=(-std=c++20 -Wall -Wextra -Wpedantic -Wold-style-cast -Wnon-virtual-dtor -Wshadow=local -Werror
    -I "$root" -c)
count=0
for source in "$root"/scan/*.cpp "$root"/check/*.cpp; do
    object="$out/$(basename "$(dirname "$source")")_$(basename "${source%.cpp}").o"
    "${launcher[@]}" "$cxx" "${flags[@]}" "$source" -o "$object"
    count=$((count + 1))
done
echo "compiled $count files of scan/ and check/ with $cxx"
