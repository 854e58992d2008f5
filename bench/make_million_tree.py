#!/usr/bin/env python3
"""Makes the million-file tree of the benchmark: a whole disk's worth of small files.

usage: make_million_tree.py DIR [--files N] [--seed S]

DIR gets 25 folders of 40 subfolders each (two levels, 1,000 subfolders) and
N files (default 1,000,000) spread evenly over the subfolders. Each file's size is
drawn from 0 to 8 KiB (both included); 15 % of the files are copies of one of 20,000
contents (sizes drawn the same way), every other file holds random bytes of its own.
The same seed gives the same tree byte for byte. Beside DIR it writes the true
duplicate sets (DIR.manifest.json, relative paths, in the shared corpora's format,
with the empty files listed apart), from the contents as written. An existing DIR is
left as it is; a half-made one (DIR.partial) is made again.
"""
import hashlib
import json
import os
import random
import shutil
import sys

TOP_FOLDERS = 25
SUBFOLDERS = 40
MAX_SIZE = 8 * 1024
COPY_FRACTION = 0.15
CONTENTS = 20000


def main():
    args = sys.argv[1:]
    files, seed = 1000000, 31
    if "--files" in args:
        i = args.index("--files")
        files = int(args[i + 1])
        del args[i:i + 2]
    if "--seed" in args:
        i = args.index("--seed")
        seed = int(args[i + 1])
        del args[i:i + 2]
    if len(args) != 1:
        sys.exit(__doc__)
    out = os.path.abspath(args[0])
    manifest = out + ".manifest.json"
    if os.path.isdir(out) and os.path.isfile(manifest):
        return
    if os.path.exists(out):
        sys.exit("%s exists without its manifest: remove it first" % out)
    partial = out + ".partial"
    shutil.rmtree(partial, ignore_errors=True)

    rng = random.Random(seed)
    pool = []
    for _ in range(CONTENTS):
        pool.append(rng.randbytes(rng.randint(0, MAX_SIZE)))
    copies = set(rng.sample(range(files), round(files * COPY_FRACTION)))

    folders = TOP_FOLDERS * SUBFOLDERS
    by_content = {}
    empty = []
    n = 0
    for top in range(TOP_FOLDERS):
        for sub in range(SUBFOLDERS):
            rel_folder = "d%02d/s%02d" % (top, sub)
            os.makedirs(os.path.join(partial, rel_folder))
            folder_index = top * SUBFOLDERS + sub
            in_folder = files // folders + (1 if folder_index < files % folders else 0)
            for _ in range(in_folder):
                if n in copies:
                    data = pool[rng.randrange(CONTENTS)]
                else:
                    data = rng.randbytes(rng.randint(0, MAX_SIZE))
                rel = "%s/f%07d.dat" % (rel_folder, n)
                fd = os.open(os.path.join(partial, rel), os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644)
                try:
                    os.write(fd, data)
                finally:
                    os.close(fd)
                if data:
                    # Tiny random files can come out equal by chance: the truth is the bytes.
                    key = hashlib.blake2b(data, digest_size=16).digest() + len(data).to_bytes(2, "little")
                    by_content.setdefault(key, []).append(rel)
                else:
                    empty.append(rel)
                n += 1
    sets = sorted(paths for paths in by_content.values() if len(paths) > 1)
    with open(manifest + ".partial", "w") as f:
        json.dump({"dup_sets": sets, "empty_files": empty}, f)
    os.replace(partial, out)
    os.replace(manifest + ".partial", manifest)
    print("%s: %d files, %d duplicate sets holding %d files, %d empty" % (
        out, n, len(sets), sum(len(s) for s in sets), len(empty)))


if __name__ == "__main__":
    main()
