#!/usr/bin/env python3
"""Runs tessarin-cli and `fdupes -r` (with and without -H) on each tree and compares
their sets by file identity (device, inode) rather than by path.

tessarin-cli lists every file under one name, fdupes may list several names of one file
(with -H) or drop some of them (without it): mapped to identities, a set of names becomes
a set of files, and a "set" holding one file only (its hard links) is no duplicate.
fdupes also descends into hidden folders, which the folder scan leaves out, so its sets
are first cut down to the files the scan collects. Empty files count as duplicates on
both sides. Exits with 1 when any tree differs or tessarin-cli fails.

    usage: bench/compare_by_identity.py TESSARIN_CLI TREE...
"""
import os
import subprocess
import sys


def scanned_files(tree):
    """Paths of the regular files the folder scan collects: hidden files included,
    hidden folders and symbolic links left out."""
    found = set()
    pending = [tree]
    while pending:
        folder = pending.pop()
        try:
            entries = list(os.scandir(folder))
        except OSError:
            continue
        for entry in entries:
            if entry.is_symlink():
                continue
            if entry.is_dir(follow_symlinks=False):
                if not entry.name.startswith(b"."):
                    pending.append(entry.path)
            elif entry.is_file(follow_symlinks=False):
                found.add(entry.path)
    return found


def groups_of(output):
    """Splits fdupes-format output into lists of paths (bytes)."""
    groups = []
    for block in output.split(b"\n\n"):
        paths = [line for line in block.split(b"\n") if line]
        if paths:
            groups.append(paths)
    return groups


def by_identity(groups, keep):
    """The sets of files (device, inode) of groups, limited to the paths in keep; sets
    of fewer than two files dropped."""
    sets = set()
    for paths in groups:
        files = set()
        for path in paths:
            if path in keep:
                st = os.stat(path)
                files.add((st.st_dev, st.st_ino))
        if len(files) > 1:
            sets.add(frozenset(files))
    return sets


def compare(checker, tree):
    tree_bytes = os.fsencode(tree.rstrip("/") or "/")
    universe = scanned_files(tree_bytes)
    run = subprocess.run([checker, tree], capture_output=True)
    summary = run.stderr.decode(errors="replace").strip().splitlines()
    print(f"{tree}: tessarin-cli status {run.returncode}, {summary[-1] if summary else ''}")
    ours_groups = groups_of(run.stdout)
    outside = [p for g in ours_groups for p in g if p not in universe]
    ours = by_identity(ours_groups, universe)
    ok = run.returncode == 0 and not outside and len(ours) == len(ours_groups)
    if outside:
        print(f"  tessarin-cli listed {len(outside)} paths the scan should not collect, e.g. {outside[0]!r}")
    if len(ours) != len(ours_groups):
        print("  tessarin-cli listed a file under two names, or a set of one file")
    for flags in (["-r"], ["-r", "-H"]):
        fd = subprocess.run(["fdupes", "-q", *flags, tree], capture_output=True, check=True)
        fd_groups = groups_of(fd.stdout)
        skipped = sum(1 for g in fd_groups for p in g if p not in universe)
        theirs = by_identity(fd_groups, universe)
        same = theirs == ours
        ok = ok and same
        print(f"  fdupes {' '.join(flags)}: {len(fd_groups)} sets, {skipped} paths outside the scan; "
              f"by identity {len(theirs)} sets, tessarin-cli {len(ours)}: {'equal' if same else 'DIFFERENT'}")
        if not same:
            for files in sorted(theirs - ours, key=sorted)[:5]:
                print(f"    only fdupes: {sorted(files)}")
            for files in sorted(ours - theirs, key=sorted)[:5]:
                print(f"    only tessarin-cli: {sorted(files)}")
    return ok


def main():
    if len(sys.argv) < 3:
        print(__doc__.strip().splitlines()[-1].strip(), file=sys.stderr)
        return 2
    checker = sys.argv[1]
    results = [compare(checker, tree) for tree in sys.argv[2:]]
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main())
