#!/usr/bin/env bash
# Builds every target with warnings as errors and runs the whole test suite twice:
# once as built for users, once under AddressSanitizer and UndefinedBehaviorSanitizer.
# The users' build also makes the Debian package and checks it.
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

# clang-tidy with the project's .clang-tidy over the core, the start-up, tessarin-cli and
# the bench tools, using the compile commands of dir; any finding fails the run. ui/ and
# tests/ are clean as well, but their Qt and test headers would more than double the
# run's time.
run_tidy() {
    local dir=$1
    local pattern="^$root/(scan|check|app|cli|bench)/"
    local files
    files=$(sed -n 's/^ *"file": "\(.*\)",\{0,1\}$/\1/p' "$dir/compile_commands.json" \
        | grep -E "$pattern" | grep -v '_autogen/' | sort -u)
    echo "$files" | xargs -P "$jobs" -n 4 clang-tidy -p "$dir" --quiet \
        --header-filter="$pattern.*\\.h\$" --extra-arg=-Wno-unknown-warning-option \
        --warnings-as-errors='*'
}

echo "== release build =="
run_suite "$root/build/test" -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "== Debian package =="
bash "$root/tests/scripts/check_package.sh" "$root/build/test" "$root"
echo "== clang-tidy =="
run_tidy "$root/build/test"
echo "== sanitizer build (address, undefined) =="
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
run_suite "$root/build/asan" -DCMAKE_BUILD_TYPE=Debug -DTESSARIN_SANITIZE=ON
