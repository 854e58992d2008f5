#!/usr/bin/env bash
# test_results_export: runs tessarin-cli --format csv and --format json over files whose
# names need care (Japanese, comma, quote, line break, bytes that are no UTF-8), reads the
# output back with Python's csv and json modules, and compares it with the files on disk.
# usage: test_results_export.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
exe=$build/cli/tessarin-cli
if ! command -v python3 >/dev/null; then
    echo "SKIP: python3 not found"
    exit 0
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Unknown formats are usage errors.
for args in "--format xml $work" "--format" "--format CSV $work"; do
    status=0
    # shellcheck disable=SC2086
    "$exe" $args >/dev/null 2>&1 || status=$?
    if [ "$status" != 2 ]; then
        echo "FAIL: tessarin-cli $args gave status $status, not 2" >&2
        exit 1
    fi
done

TZ=JST-9 python3 - "$exe" "$work" <<'EOF'
import base64, codecs, csv, io, json, os, re, subprocess, sys
from datetime import datetime

exe, root = sys.argv[1], os.fsencode(sys.argv[2])

# The path as written: its own text when it is UTF-8 without a backslash that reads as an
# escape ("\x" and two hex digits), else as the window shows it: every byte that is no
# UTF-8, every control character and every such backslash as "\x" and two upper-case
# digits.
ESCAPE = re.compile(rb"\\x[0-9A-Fa-f]{2}")
def utf8(part):
    try:
        return part.decode("utf-8")
    except UnicodeDecodeError:
        return None

def text_of(raw):
    if utf8(raw) is not None and not ESCAPE.search(raw):
        return raw.decode("utf-8")
    out, k = [], 0
    while k < len(raw):
        n = next((n for n in (1, 2, 3, 4) if utf8(raw[k:k + n]) is not None), 0)
        if n and raw[k] >= 0x20 and raw[k] != 0x7F and not ESCAPE.match(raw, k):
            out.append(raw[k:k + n].decode("utf-8"))
            k += n
        else:
            out.append("\\x%02X" % raw[k])
            k += 1
    return "".join(out)

names = {
    "same": ["写真.jpg".encode(), b"a,b.txt", b'say "hi".txt', b"line\nbreak.txt", b"\x82\xa0.txt",
             "サブ/写真 コピー.jpg".encode(), b"\\x82\\xA0.txt", b"back\\x.txt"],
    "other": [b"tab\t.dat", b"sub/,\"\n\xff"],
    "unique": [b"alone.txt"],
}
expected = []
for content, files in names.items():
    paths = []
    for name in files:
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(content.encode() * 100)
        paths.append(path)
    if len(paths) > 1:
        expected.append(frozenset(paths))

def run(fmt):
    out = subprocess.run([exe, "--format", fmt, root], check=True, capture_output=True).stdout
    if fmt == "csv" and not out.startswith(codecs.BOM_UTF8):
        sys.exit("FAIL: the CSV has no byte-order mark")
    return out

def check_file(raw, text, size, modified):
    if text != text_of(raw):
        sys.exit("FAIL: path %r written as %r" % (raw, text))
    st = os.stat(raw)
    if int(size) != st.st_size:
        sys.exit("FAIL: size of %r is %s, not %d" % (raw, size, st.st_size))
    moment = datetime.fromisoformat(modified)
    if moment.utcoffset().total_seconds() != 9 * 3600 or moment.timestamp() != int(st.st_mtime):
        sys.exit("FAIL: modified of %r is %s, not %d" % (raw, modified, int(st.st_mtime)))

all_paths = {text_of(raw): raw for group in expected for raw in group}

# CSV, read the way a script reads it.
rows = list(csv.reader(io.StringIO(run("csv").decode("utf-8-sig"), newline="")))
if rows[0] != ["group", "position", "path", "size", "modified"]:
    sys.exit("FAIL: CSV header %r" % rows[0])
csv_groups = {}
for group, position, text, size, modified in rows[1:]:
    raw = all_paths.get(text)
    if raw is None:
        sys.exit("FAIL: CSV path %r is none of the files" % text)
    check_file(raw, text, size, modified)
    members = csv_groups.setdefault(int(group), [])
    if int(position) != len(members) + 1:
        sys.exit("FAIL: CSV position %s out of order" % position)
    members.append(raw)

# JSON, with the bytes of every path that is no UTF-8.
doc = json.loads(run("json").decode("utf-8"))
json_groups = {}
for group in doc["groups"]:
    members = json_groups.setdefault(group["group"], [])
    for f in group["files"]:
        raw = base64.b64decode(f["path_base64"]) if "path_base64" in f else f["path"].encode()
        check_file(raw, f["path"], f["size"], f["modified"])
        if f["position"] != len(members) + 1:
            sys.exit("FAIL: JSON position %s out of order" % f["position"])
        members.append(raw)

if csv_groups != json_groups:
    sys.exit("FAIL: CSV and JSON differ: %r / %r" % (csv_groups, json_groups))
if sorted(csv_groups) != list(range(1, len(expected) + 1)):
    sys.exit("FAIL: group numbers %r" % sorted(csv_groups))
if sorted(map(sorted, map(frozenset, csv_groups.values()))) != sorted(map(sorted, expected)):
    sys.exit("FAIL: groups %r, expected %r" % (csv_groups, expected))
print("ok: %d groups, %d files" % (len(csv_groups), sum(map(len, csv_groups.values()))))
EOF
