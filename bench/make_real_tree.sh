#!/usr/bin/env bash
# Builds the real-tree corpus: the files of a few system folders copied into one folder
# with links followed (cp -rL), the way a user's tree of documents, icons, fonts and
# sources looks. Entries that cannot be read or lead nowhere are left out. Writes the true
# duplicate sets beside it (DIR.manifest.json, from SHA-256, in the shared corpora's
# format) and prints the tree's file count, size and number of duplicate groups (empty
# files left out).
#   usage: bench/make_real_tree.sh [DIR]   (default /tmp/corpora/R-real-tree)
set -uo pipefail
dir="$(realpath -m "${1:-/tmp/corpora/R-real-tree}")"
sources=(/usr/share/icons /usr/share/doc /usr/share/locale /usr/share/fonts /usr/include /usr/lib/python3)

if [ ! -d "$dir" ]; then
    mkdir -p "$dir.partial"
    for src in "${sources[@]}"; do
        [ -d "$src" ] || continue
        # Dangling links and unreadable files make cp complain and go on; the rest is copied.
        cp -rL "$src" "$dir.partial/$(basename "$src")" 2>/dev/null || true
    done
    # Whatever cp could not copy whole (a link loop, a special file) is not a plain file.
    find "$dir.partial" ! -type f ! -type d -delete 2>/dev/null || true
    mv "$dir.partial" "$dir"
fi

if [ ! -f "$dir.manifest.json" ]; then
    python3 - "$dir" >"$dir.manifest.json.partial" <<'PY' || exit 1
import hashlib, json, os, sys
root = sys.argv[1]
by_size, empty = {}, []
for top, dirs, names in os.walk(root):
    for name in names:
        p = os.path.join(top, name)
        s = os.lstat(p).st_size
        rel = os.path.relpath(p, root)
        if s == 0:
            empty.append(rel)
        else:
            by_size.setdefault(s, []).append(p)
by_hash = {}
for s, ps in by_size.items():
    if len(ps) < 2:
        continue
    for p in ps:
        h = hashlib.sha256()
        with open(p, "rb") as f:
            for block in iter(lambda: f.read(1 << 20), b""):
                h.update(block)
        by_hash.setdefault((s, h.digest()), []).append(os.path.relpath(p, root))
sets = sorted(sorted(v) for v in by_hash.values() if len(v) > 1)
json.dump({"dup_sets": sets, "empty_files": sorted(empty)}, sys.stdout)
PY
    mv "$dir.manifest.json.partial" "$dir.manifest.json"
fi

files=$(find "$dir" -type f | wc -l)
bytes=$(du -sb "$dir" | cut -f1)
groups=$(python3 -c 'import json, sys; print(len(json.load(open(sys.argv[1]))["dup_sets"]))' "$dir.manifest.json")
printf '%s: %s files, %s MiB, %s duplicate groups\n' "$dir" "$files" "$((bytes / 1048576))" "$groups"
