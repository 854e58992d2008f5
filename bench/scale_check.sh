#!/usr/bin/env bash
# Shows that the check's cost grows with the work and not with the square of the list:
# times tessarin-cli on 200,000 small files of random sizes and contents (about 200 MB)
# and on 20,000 copies of one file, both made in a temporary folder first.
#   usage: bench/scale_check.sh [WORK_DIR]   (default: a new folder under /tmp)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
work="${1:-$(mktemp -d /tmp/tessarin-scale-XXXXXX)}"
build="$root/build/bench"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DTESSARIN_GUI=OFF >/dev/null
cmake --build "$build" --target tessarin-cli >/dev/null

if [ ! -d "$work/unique" ] || [ ! -d "$work/copies" ]; then
    echo "== making 200,000 small files and 20,000 copies in $work =="
    python3 - "$work" <<'EOF'
import os, random, sys
root = sys.argv[1]
rng = random.Random(5)
data = rng.randbytes(3000)
for d in range(20):
    os.makedirs(f"{root}/copies/d{d}", exist_ok=True)
    for k in range(1000):
        with open(f"{root}/copies/d{d}/c{k}.bin", "wb") as f:
            f.write(data)
for d in range(200):
    os.makedirs(f"{root}/unique/d{d}", exist_ok=True)
    for k in range(1000):
        with open(f"{root}/unique/d{d}/u{k}.bin", "wb") as f:
            f.write(rng.randbytes(rng.randint(1, 2048)))
EOF
fi

for set in unique copies; do
    echo "== $set =="
    for run in 1 2 3; do
        "$build/cli/tessarin-cli" "$work/$set" >/dev/null
    done
done
