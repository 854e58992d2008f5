#!/usr/bin/env bash
# Builds every target with warnings as errors and runs the whole test suite twice:
# once as built for users, once under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/deps.sh" test
jobs=$(nproc)

# The core must never include Qt: it builds and runs without a window system.
if grep -rnE '#include\s*[<"]Q' "$root/scan" "$root/check"; then
    echo "scan/ or check/ includes Qt" >&2
    exit 1
fi

run_suite() {
    local dir=$1; shift
    cmake -S "$root" -B "$dir" -G Ninja -DTESSARIN_WERROR=ON "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
    (cd "$dir" && ctest --output-on-failure -j "$jobs" --timeout 900)
}

echo "== release build =="
run_suite "$root/build/test" -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "== sanitizer build (address, undefined) =="
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
run_suite "$root/build/asan" -DCMAKE_BUILD_TYPE=Debug -DTESSARIN_SANITIZE=ON
