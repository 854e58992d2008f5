#!/usr/bin/env bash
# Times tessarin-cli against fdupes, jdupes, rmlint and rdfind on the benchmark corpora,
# side by side in interleaved rounds per corpus, next to the read limit: listing the tree
# plus reading every byte of the files that share their size (on 2 threads warm, on 16
# threads cold, where the disk needs many requests in flight). Warm runs first; then,
# when run as root, cold runs with the page cache dropped before each run (otherwise it
# says so and skips them). Also checks that tessarin-cli reports the true sets and
# measures its peak memory, jdupes' and the window's. A benchmark, not a test: CI never
# runs it.
#   usage: bench/run_bench.sh [CORPUS_DIR]
#   CORPUS_DIR   holds the corpora and their manifests (default: ../corpora beside the
#                repository); a missing corpus is generated there (A, B and C together
#                need about 11 GiB; D 1 GiB; M 6 GiB; R about 0.8 GiB)
#   CORPORA      corpora to run, any of A-many-small B-large-same-size C-photo-library
#                D-small-20000 M-million-files R-real-tree (default: A, B and C); D is
#                20,000 files of 1-96 KiB made like A, M the million-file tree of
#                make_million_tree.py (timed warm only, against jdupes alone: the other
#                peers take minutes there, and a cold round tens of minutes), R a copy
#                of system folders made by make_real_tree.sh
#   BENCH_TOOLS  the folder with make_corpora.sh, readall.c, verify_corpus.py and
#                check_outputs.py (default: ../shared/bench beside the repository)
#   RUNS         timed runs per command (default 5)
#   COLD         0 skips the cold runs (default 1)
#   BASELINE     another tessarin-cli (say, a release build of main) to time in the same
#                rounds; its sets must be byte for byte the ones of this build's
#   WINDOW       1 also times the main window's whole run (ui_check_run, offscreen:
#                add the folder, check, show the results), which needs the Qt build;
#                the program's start (ui_check_run --start-only) is taken off, since a
#                user's window is open already (default 0)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
corpora="$(realpath -m "${1:-$root/../corpora}")"
tools="$(realpath -m "${BENCH_TOOLS:-$root/../shared/bench}")"
runs="${RUNS:-5}"
cold="${COLD:-1}"
window="${WINDOW:-0}"
baseline="${BASELINE:-}"
[ -z "$baseline" ] || baseline="$(realpath "$baseline")"
read -r -a names <<<"${CORPORA:-A-many-small B-large-same-size C-photo-library}"
build="$root/build/bench"
work="$build/work"

for tool in hyperfine fdupes jdupes python3 cc; do
    if ! command -v "$tool" >/dev/null; then
        echo "missing $tool (Debian: apt-get install hyperfine fdupes jdupes rmlint rdfind)" >&2
        exit 1
    fi
done
# rmlint and rdfind are timed when installed; their columns say "-" otherwise.
peers=()
for tool in rmlint rdfind; do
    command -v "$tool" >/dev/null && peers+=("$tool") || echo "no $tool: its column stays empty" >&2
done
[ -x /usr/bin/time ] || { echo "missing /usr/bin/time (Debian: apt-get install time)" >&2; exit 1; }
for f in make_corpora.sh readall.c verify_corpus.py check_outputs.py; do
    [ -f "$tools/$f" ] || { echo "no $f in $tools (set BENCH_TOOLS)" >&2; exit 1; }
done
if [ "$cold" = 1 ] && [ "$(id -u)" != 0 ]; then
    echo "not root: the page cache cannot be dropped, so the cold runs are skipped" >&2
    cold=0
fi
drop="sync; echo 3 > /proc/sys/vm/drop_caches"

for name in "${names[@]}"; do
    if [ "$name" = R-real-tree ]; then
        bash "$root/bench/make_real_tree.sh" "$corpora/$name"
    elif [ "$name" = M-million-files ]; then
        python3 "$root/bench/make_million_tree.py" "$corpora/$name"
    elif [ "$name" = D-small-20000 ]; then
        [ -f "$corpora/$name.manifest.json" ] || python3 "$tools/gen_corpus.py" "$corpora/$name" --force \
            --hidden-dir-frac 0 --seed 404 --files 20000 --sizes uniform:1:96KiB --dup-frac 0.25 \
            --samesize-frac 0.20 --ss-group 2:4 --max-copies 5 --diff-mix first4k=0.4,last=0.3,middle=0.3 \
            --attach-prob 0.3 --empty-frac 0.005 --depth 3 --fanout 8 --name-stem f --ext .bin >/dev/null
    elif [ ! -d "$corpora/$name" ] || [ ! -f "$corpora/$name.manifest.json" ]; then
        echo "== generating the corpora in $corpora =="
        bash "$tools/make_corpora.sh" "$corpora"
    fi
done

echo "== building tessarin-cli (release) and readall =="
gui=OFF
targets=(tessarin-cli)
if [ "$window" = 1 ]; then
    gui=ON
    targets+=(ui_check_run)
fi
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DTESSARIN_GUI=$gui >/dev/null
cmake --build "$build" --target "${targets[@]}" >/dev/null
mkdir -p "$work"
cc -O2 -pthread -o "$work/readall" "$tools/readall.c"
checker="$build/cli/tessarin-cli"
export QT_QPA_PLATFORM=offscreen

warm_table="$work/table.md"
cold_table="$work/table-cold.md"
{
    echo "| corpus | files | fdupes -r | jdupes -r -q | rmlint | rdfind | tessarin-cli | baseline | window run | list tree | read shared bytes (2 threads) | read (16 threads) | tessarin-cli / jdupes | tessarin-cli / fastest peer | tessarin-cli / limit | tessarin-cli / baseline | window run / tessarin-cli | peak memory | baseline peak memory | jdupes peak memory | window peak memory |"
    echo "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
} >"$warm_table"
{
    echo "| corpus | jdupes -r -q | tessarin-cli | baseline | window run | list tree | read shared bytes (16 threads) | tessarin-cli / jdupes | tessarin-cli / limit | tessarin-cli / baseline | window run / tessarin-cli |"
    echo "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
} >"$cold_table"

# Times the commands (hyperfine's -n NAME COMMAND pairs) in rounds of one run each, so
# that a slow spell of the machine (page cache trimmed in the background, a busy
# neighbour) falls on every command alike rather than on the one timed then. Extra
# hyperfine options come before "--"; with --warm, an untimed round comes first. Writes
# one export per round: PREFIX.round-1.json ...
rounds() {
    local prefix=$1
    shift
    local options=() warm=0
    while [ "$1" != -- ]; do
        if [ "$1" = --warm ]; then warm=1; else options+=("$1"); fi
        shift
    done
    shift
    rm -f "$prefix".round-*.json
    [ "$warm" = 0 ] || hyperfine --runs 1 "${options[@]}" "$@" >/dev/null
    for r in $(seq 1 "$runs"); do
        hyperfine --runs 1 "${options[@]}" --export-json "$prefix.round-$r.json" "$@" >/dev/null
    done
}

# Prints a table row from the rounds' exports (the median of each command): warm or
# cold columns.
row() {
    python3 - "$@" <<'PY'
import glob, json, statistics, sys
kind, prefix, name, files, peak_kib, baseline_kib, jdupes_kib, window_kib = sys.argv[1:]
times = {}
for path in glob.glob(prefix + ".round-*.json"):
    for r in json.load(open(path))["results"]:
        times.setdefault(r["command"], []).append(r["mean"])
t = {command: statistics.median(runs) for command, runs in times.items()}
c = t["tessarin-cli"]
if "window" in t:
    t["window run"] = t["window"] - t["window_start"]
secs = lambda k: "%.3f s" % t[k] if k in t else "-"
ratio = lambda a, b: "%.2f" % (a / b)
window = ratio(t["window run"], c) if "window" in t else "-"
base = ratio(c, t["baseline"]) if "baseline" in t else "-"
if kind == "warm":
    limit = t["list"] + t["read"]
    fastest = min(t[p] for p in ("fdupes", "jdupes", "rmlint", "rdfind") if p in t)
    cells = [name[0], files] + [secs(k) for k in ("fdupes", "jdupes", "rmlint", "rdfind", "tessarin-cli", "baseline", "window run", "list", "read", "read16")]
    mib = lambda kib: "%.1f MiB" % (int(kib) / 1024) if kib != "-" else "-"
    cells += [ratio(c, t["jdupes"]), ratio(c, fastest), ratio(c, limit), base, window, mib(peak_kib), mib(baseline_kib), mib(jdupes_kib), mib(window_kib)]
else:
    limit = t["list"] + t["read16"]
    cells = [name[0]] + [secs(k) for k in ("jdupes", "tessarin-cli", "baseline", "window run", "list", "read16")]
    cells += [ratio(c, t["jdupes"]), ratio(c, limit), base, window]
print("| " + " | ".join(cells) + " |")
PY
}

for name in "${names[@]}"; do
    dir="$corpora/$name"
    echo "== $name =="
    # The million-file tree is timed against jdupes alone, warm.
    million=0
    [ "$name" = M-million-files ] && million=1
    # The files that share their size: what the read limit reads (in the million-file
    # tree, every file that is not empty).
    shared="$work/$name.shared"
    if [ ! -s "$shared" ]; then
        if [ "$million" = 1 ]; then
            find "$dir" -type f -size +0 -print0 | sort -z >"$shared"
        else
            python3 "$tools/verify_corpus.py" "$dir" --list-shared "$shared" >/dev/null
        fi
    fi

    # Same sets as fdupes (jdupes in the million-file tree), and as the manifest; the
    # window finds what tessarin-cli finds.
    "$checker" "$dir" >"$work/$name.tessarin-cli.txt" 2>/dev/null
    reference=fdupes
    if [ "$million" = 1 ]; then
        reference=jdupes
        jdupes -r -q "$dir" >"$work/$name.jdupes.txt" 2>/dev/null
    else
        fdupes -r "$dir" >"$work/$name.fdupes.txt" 2>/dev/null
    fi
    python3 "$tools/check_outputs.py" "$dir" "$corpora/$name.manifest.json" \
        "fdupes:$work/$name.$reference.txt" "fdupes:$work/$name.tessarin-cli.txt"
    based=()
    baseline_kib=-
    if [ -n "$baseline" ]; then
        "$baseline" "$dir" >"$work/$name.baseline.txt" 2>/dev/null
        cmp "$work/$name.tessarin-cli.txt" "$work/$name.baseline.txt"
        echo "baseline: the same sets, byte for byte"
        based=(-n baseline "'$baseline' '$dir' >/dev/null 2>&1")
        baseline_kib=$(/usr/bin/time -f '%M' "$baseline" "$dir" 2>&1 >/dev/null | tail -n 1)
    fi
    windowed=()
    if [ "$window" = 1 ]; then
        "$build/bench/ui_check_run" "$dir" >"$work/$name.window.txt" 2>/dev/null
        cmp "$work/$name.tessarin-cli.txt" "$work/$name.window.txt"
        windowed=(-n window "'$build/bench/ui_check_run' '$dir' >/dev/null 2>&1"
            -n window_start "'$build/bench/ui_check_run' --start-only '$dir' >/dev/null 2>&1")
    fi

    peak_kib=$(/usr/bin/time -f '%M' "$checker" "$dir" 2>&1 >/dev/null | tail -n 1)
    jdupes_kib=$(/usr/bin/time -f '%M' jdupes -r -q "$dir" 2>&1 >/dev/null | tail -n 1)
    window_kib=-
    [ "$window" = 1 ] && window_kib=$(/usr/bin/time -f '%M' "$build/bench/ui_check_run" "$dir" 2>&1 >/dev/null | tail -n 1)
    files=$(find "$dir" -type f | wc -l)

    rm -rf "$work/rmlint" "$work/rdfind"
    mkdir -p "$work/rmlint" "$work/rdfind"
    others=()
    if [ "$million" = 0 ]; then
        others+=(-n fdupes "fdupes -r '$dir' >/dev/null")
        for peer in "${peers[@]}"; do
            case $peer in
            rmlint) others+=(-n rmlint "cd '$work/rmlint' && rmlint -o fdupes:'$work/rmlint/fdupes.txt' '$dir' >/dev/null") ;;
            rdfind) others+=(-n rdfind "rdfind -outputname '$work/rdfind/results.txt' '$dir' >/dev/null") ;;
            esac
        done
    fi
    rounds "$work/$name" --warm -- \
        -n jdupes "jdupes -r -q '$dir' >/dev/null" \
        "${others[@]}" \
        -n tessarin-cli "'$checker' '$dir' >/dev/null 2>&1" \
        "${based[@]}" \
        "${windowed[@]}" \
        -n list "find '$dir' -printf '%s\n' >/dev/null" \
        -n read "'$work/readall' '$shared' 2 131072 2>/dev/null" \
        -n read16 "'$work/readall' '$shared' 16 131072 2>/dev/null"
    row warm "$work/$name" "$name" "$files" "$peak_kib" "$baseline_kib" "$jdupes_kib" "$window_kib" >>"$warm_table"

    [ "$cold" = 1 ] && [ "$million" = 0 ] || continue
    # Cold: nothing of the tree in memory; the slow peers are left out.
    rounds "$work/$name.cold" --prepare "$drop" -- \
        -n jdupes "jdupes -r -q '$dir' >/dev/null" \
        -n tessarin-cli "'$checker' '$dir' >/dev/null 2>&1" \
        "${based[@]}" \
        "${windowed[@]}" \
        -n list "find '$dir' -printf '%s\n' >/dev/null" \
        -n read16 "'$work/readall' '$shared' 16 131072 2>/dev/null"
    row cold "$work/$name.cold" "$name" "$files" "$peak_kib" "$baseline_kib" "$jdupes_kib" "$window_kib" >>"$cold_table"
done

echo
echo "== medians of $runs interleaved warm rounds; limit = list tree + read shared bytes (2 threads) =="
cat "$warm_table"
if [ "$cold" = 1 ]; then
    echo
    echo "== medians of $runs interleaved cold rounds (page cache dropped before each run); limit = list tree + read shared bytes (16 threads) =="
    cat "$cold_table"
fi
