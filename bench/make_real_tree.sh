#!/usr/bin/env bash
# Builds the real-tree corpus: the files of a few system folders copied into one folder
# with links followed (cp -rL), the way a user's tree of documents, icons, fonts and
# sources looks. Entries that cannot be read or lead nowhere are left out. Prints the
# tree's file count, size and number of duplicate groups (fdupes' count, empty files
# left out).
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

files=$(find "$dir" -type f | wc -l)
bytes=$(du -sb "$dir" | cut -f1)
if command -v jdupes >/dev/null; then
    groups=$(jdupes -r -q "$dir" 2>/dev/null | awk 'BEGIN{g=0; inset=0} /^$/{inset=0; next} {if(!inset){g++; inset=1}} END{print g}')
else
    groups="? (no jdupes)"
fi
printf '%s: %s files, %s MiB, %s duplicate groups\n' "$dir" "$files" "$((bytes / 1048576))" "$groups"
