#!/usr/bin/env bash
# Times check_folder against fdupes, jdupes, rmlint and rdfind on the three benchmark
# corpora, side by side in one hyperfine run per corpus (warm cache), next to the read
# limit: listing the tree plus reading every byte of the files that share their size on
# two threads. Also checks that check_folder reports fdupes' sets and measures its peak
# memory. A benchmark, not a test: CI never runs it.
#   usage: bench/run_bench.sh [CORPUS_DIR]
#   CORPUS_DIR   holds A-many-small, B-large-same-size, C-photo-library and their
#                manifests (default: ../corpora beside the repository); generated there
#                when missing, which needs about 11 GiB
#   BENCH_TOOLS  the folder with make_corpora.sh, readall.c, verify_corpus.py and
#                check_outputs.py (default: ../shared/bench beside the repository)
#   RUNS         timed runs per command (default 5)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
corpora="$(realpath -m "${1:-$root/../corpora}")"
tools="$(realpath -m "${BENCH_TOOLS:-$root/../shared/bench}")"
runs="${RUNS:-5}"
build="$root/build/bench"
work="$build/work"

for tool in hyperfine fdupes jdupes rmlint rdfind python3 cc; do
    if ! command -v "$tool" >/dev/null; then
        echo "missing $tool (Debian: apt-get install hyperfine fdupes jdupes rmlint rdfind)" >&2
        exit 1
    fi
done
[ -x /usr/bin/time ] || { echo "missing /usr/bin/time (Debian: apt-get install time)" >&2; exit 1; }
for f in make_corpora.sh readall.c verify_corpus.py check_outputs.py; do
    [ -f "$tools/$f" ] || { echo "no $f in $tools (set BENCH_TOOLS)" >&2; exit 1; }
done

names=(A-many-small B-large-same-size C-photo-library)
for name in "${names[@]}"; do
    if [ ! -d "$corpora/$name" ] || [ ! -f "$corpora/$name.manifest.json" ]; then
        echo "== generating the corpora in $corpora =="
        bash "$tools/make_corpora.sh" "$corpora"
        break
    fi
done

echo "== building check_folder (release) and readall =="
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DTESSARIN_GUI=OFF >/dev/null
cmake --build "$build" --target check_folder >/dev/null
mkdir -p "$work"
cc -O2 -pthread -o "$work/readall" "$tools/readall.c"
checker="$build/bench/check_folder"

table="$work/table.md"
{
    echo "| corpus | files | fdupes -r | jdupes -r | rmlint | rdfind | check_folder | list tree | read shared bytes (2 threads) | check_folder / jdupes | check_folder / fastest peer | check_folder / limit | peak memory |"
    echo "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
} >"$table"

for name in "${names[@]}"; do
    dir="$corpora/$name"
    echo "== $name =="
    # The files that share their size: what the read limit reads.
    shared="$work/$name.shared"
    [ -s "$shared" ] || python3 "$tools/verify_corpus.py" "$dir" --list-shared "$shared" >/dev/null

    # Same sets as fdupes, and as the manifest.
    "$checker" "$dir" >"$work/$name.check_folder.txt" 2>/dev/null
    fdupes -r "$dir" >"$work/$name.fdupes.txt" 2>/dev/null
    python3 "$tools/check_outputs.py" "$dir" "$corpora/$name.manifest.json" \
        "fdupes:$work/$name.fdupes.txt" "fdupes:$work/$name.check_folder.txt"

    peak_kib=$(/usr/bin/time -f '%M' "$checker" "$dir" 2>&1 >/dev/null | tail -n 1)

    rm -rf "$work/rmlint" "$work/rdfind"
    mkdir -p "$work/rmlint" "$work/rdfind"
    hyperfine --warmup 1 --runs "$runs" --export-json "$work/$name.json" \
        -n fdupes "fdupes -r '$dir' >/dev/null" \
        -n jdupes "jdupes -r '$dir' >/dev/null" \
        -n rmlint "cd '$work/rmlint' && rmlint -o fdupes:'$work/rmlint/fdupes.txt' '$dir' >/dev/null" \
        -n rdfind "rdfind -outputname '$work/rdfind/results.txt' '$dir' >/dev/null" \
        -n check_folder "'$checker' '$dir' >/dev/null 2>&1" \
        -n list "find '$dir' -printf '%s\n' >/dev/null" \
        -n read "'$work/readall' '$shared' 2 131072 2>/dev/null"

    python3 - "$work/$name.json" "$name" "$(wc -l <"$work/$name.fdupes.txt" | tr -d ' ')" "$peak_kib" \
        "$(find "$dir" -type f | wc -l)" >>"$table" <<'EOF'
import json, sys
path, name, _, peak_kib, files = sys.argv[1:]
t = {r["command"]: r["median"] for r in json.load(open(path))["results"]}
limit = t["list"] + t["read"]
fastest = min(t[p] for p in ("fdupes", "jdupes", "rmlint", "rdfind"))
c = t["check_folder"]
cells = [name[0], files] + ["%.3f s" % t[k] for k in ("fdupes", "jdupes", "rmlint", "rdfind", "check_folder", "list", "read")]
cells += ["%.2f" % (c / t["jdupes"]), "%.2f" % (c / fastest), "%.2f" % (c / limit), "%.1f MiB" % (int(peak_kib) / 1024)]
print("| " + " | ".join(cells) + " |")
EOF
done

echo
echo "== medians of $runs warm runs; limit = list tree + read shared bytes =="
cat "$table"
