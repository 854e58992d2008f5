#!/usr/bin/env bash
# test_exclude_cli: tessarin-cli's exclusions against a plain model: on random trees with
# random patterns and size limits its groups equal those of a walk that leaves out
# the same names, paths and sizes; --ignore-list hides a marked group until one of its
# files changes; malformed options and lists end with status 2.
# usage: test_exclude_cli.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
exe=$(cd "$1" && pwd)/cli/tessarin-cli
[ -x "$exe" ] || { echo "FAIL: $exe not built" >&2; exit 1; }
if ! command -v python3 >/dev/null; then
    echo "SKIP: python3 not found"
    exit 0
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

LC_ALL=C.UTF-8 PYTHONUTF8=1 python3 - "$exe" "$work" <<'EOF'
import os, random, re, subprocess, sys

exe, work = sys.argv[1], sys.argv[2]
rng = random.Random(30)
NAMES = ["a", "b.tmp", "写真.jpg", "写真1.jpg", "bad\udcff.jpg", "node_modules", "build", ".git", "x y",
         "README", "c.log", "sub"]
CONTENTS = [b"", b"a", b"bb", b"ccc", b"dddd", b"eeeee"]
PATTERNS = ["node_modules", "*.tmp", "*.jpg", "写真?.jpg", "build/*", "/README", "**/x y", "sub/", "[ab]*",
            "*\udcff*", "c.*", "sub/a", "  *.log", "*/build"]


def fail(message):
    print("FAIL: " + message, file=sys.stderr)
    sys.exit(1)


def make_tree(root, depth):
    os.makedirs(root, exist_ok=True)
    for name in rng.sample(NAMES, rng.randint(2, 7)):
        path = os.path.join(root, name)
        if depth < 3 and rng.random() < 0.35:
            make_tree(path, depth + 1)
        else:
            with open(path, "wb") as out:
                out.write(rng.choice(CONTENTS))


def name_regex(pattern):
    out = ""
    for c in pattern:
        out += {"*": ".*", "?": "."}.get(c, c if c in "[]" else re.escape(c))
    return re.compile(out, re.DOTALL)


def parts_match(parts, names):
    if not parts:
        return not names
    if parts[0] == "**":
        return any(parts_match(parts[1:], names[k:]) for k in range(len(names) + 1))
    return bool(names) and name_regex(parts[0]).fullmatch(names[0]) is not None and parts_match(parts[1:], names[1:])


def excluded(patterns, relative, folder):
    for pattern in patterns:
        pattern = pattern.strip(" \t")
        folders_only = pattern.endswith("/")
        pattern = pattern.rstrip("/")
        anchored = "/" in pattern
        pattern = pattern.lstrip("/")
        if not pattern or (folders_only and not folder):
            continue
        names = relative.split("/")
        if anchored:
            if parts_match([p for p in pattern.split("/") if p], names):
                return True
        elif name_regex(pattern).fullmatch(names[-1]):
            return True
    return False


def model_files(root, relative, patterns, keep_size, out):
    for entry in os.scandir(os.path.join(root, relative) if relative else root):
        rel = relative + "/" + entry.name if relative else entry.name
        if entry.is_symlink():
            continue
        if entry.is_dir():
            if not entry.name.startswith(".") and not excluded(patterns, rel, True):
                model_files(root, rel, patterns, keep_size, out)
        elif entry.is_file() and not excluded(patterns, rel, False):
            if keep_size(entry.stat().st_size):
                out.append(os.path.join(root, rel))


def model_sets(root, patterns, keep_size):
    files = []
    model_files(root, "", patterns, keep_size, files)
    by_content = {}
    for path in files:
        with open(path, "rb") as f:
            by_content.setdefault(f.read(), set()).add(os.fsencode(path))
    return {frozenset(group) for group in by_content.values() if len(group) > 1}


def run(args, status=0):
    result = subprocess.run([exe] + args, capture_output=True)
    if result.returncode != status:
        fail("tessarin-cli %s exited %d: %s" % (args, result.returncode, result.stderr.decode(errors="replace")))
    return {frozenset(block.split(b"\n")) for block in result.stdout.strip(b"\n").split(b"\n\n") if block}


SIZES = {"1": 1, "2": 2, "3": 3, "4": 4, "1K": 1024}
for round_ in range(25):
    root = os.path.join(work, "t%d" % round_)
    make_tree(root, 0)
    patterns = rng.sample(PATTERNS, rng.randint(0, 4))
    low = rng.choice([None, "1", "2", "3"])
    high = rng.choice([None, "2", "4", "1K"])
    skip_empty = rng.random() < 0.3
    args = []
    for pattern in patterns:
        args += ["--exclude", pattern]
    if low:
        args += ["--min-size", low]
    if high:
        args += ["--max-size", high]
    if skip_empty:
        args.append("--skip-empty")

    def keep_size(size):
        return (not low or size >= SIZES[low]) and (not high or size <= SIZES[high]) and not (skip_empty and size == 0)

    got = run([os.fsencode(a) for a in args] + [os.fsencode(root)])
    expected = model_sets(root, patterns, keep_size)
    if got != expected:
        fail("round %d, %s:\ntessarin-cli %s\nmodel %s" % (round_, args, sorted(map(sorted, got)),
                                                          sorted(map(sorted, expected))))


# The list of groups marked as not duplicates, written as its documented format says.
def escaped(path):
    out = ""
    for k, c in enumerate(os.fsdecode(path)):
        if c == "\\":
            out += "\\\\"
        elif 0xDC80 <= ord(c) <= 0xDCFF:
            out += "\\x%02X" % (ord(c) - 0xDC00)
        elif ord(c) < 0x20 or ord(c) == 0x7F or (c == " " and k == len(os.fsdecode(path)) - 1):
            out += "\\x%02X" % ord(c)
        else:
            out += c
    return out


def write_list(paths, name):
    lines = ["# marked by hand", ""]
    for path in paths:
        st = os.stat(path)
        lines.append("%d %d %d %d %d %s" % (st.st_dev, st.st_ino, st.st_size, st.st_mtime_ns // 10**9,
                                            st.st_mtime_ns % 10**9, escaped(path)))
    target = os.path.join(work, name)
    with open(target, "w", encoding="utf-8", errors="surrogateescape") as out:
        out.write("\n".join(lines) + "\n")
    return target


root = os.path.join(work, "marked")
os.makedirs(os.path.join(root, "写真"))
pair = [os.fsencode(os.path.join(root, "写真", "a\\b\udcff ")), os.fsencode(os.path.join(root, "LICENSE"))]
other = [os.fsencode(os.path.join(root, "x")), os.fsencode(os.path.join(root, "y"))]
for path, content in zip(pair + other, [b"same", b"same", b"other", b"other"]):
    with open(path, "wb") as out:
        out.write(content)
listed = write_list(pair, "list")
if run(["--ignore-list", listed, root]) != {frozenset(other)}:
    fail("the marked group is shown")
os.utime(pair[0], ns=(0, 10**18))
if run(["--ignore-list", listed, root]) != {frozenset(pair), frozenset(other)}:
    fail("a group with a changed file stays hidden")

with open(os.path.join(work, "bad"), "w") as out:
    out.write("1 2 3 /x\n")
for args in (["--ignore-list", os.path.join(work, "bad")], ["--ignore-list", os.path.join(work, "none")],
             ["--min-size", "1KB"], ["--max-size", "-1"], ["--exclude"]):
    run(args + [root], status=2)
EOF
