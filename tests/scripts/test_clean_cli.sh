#!/usr/bin/env bash
# test_clean_cli: tessarin-cli's keep rules on a small tree: the listing without them,
# the plan with them, what --delete and --trash leave on disk, and the exit codes.
# usage: test_clean_cli.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
exe=$(cd "$1" && pwd)/cli/tessarin-cli
[ -x "$exe" ] || { echo "FAIL: $exe not built" >&2; exit 1; }
work=$(mktemp -d)
shm=""
cleanup()
{
    rm -rf "$work"
    [ -z "$shm" ] || rm -rf "$shm"
}
trap cleanup EXIT
cd "$work" || exit 1

fail()
{
    echo "FAIL: $*" >&2
    exit 1
}

# Writes each group on one line, its lines joined by "|", the groups sorted: the order
# of groups follows the folders' listing order, which the file system chooses.
normalize()
{
    awk 'BEGIN { RS = ""; FS = "\n" } { gsub(/\n/, "|"); print }' | LC_ALL=C sort
}

# Runs tessarin-cli with the arguments after the expected status and output.
expect()
{
    local status=$1 expected=$2 got code
    shift 2
    got=$("$exe" "$@" 2>"$work/stderr" | normalize)
    code=${PIPESTATUS[0]}
    [ "$code" = "$status" ] || fail "tessarin-cli $* exited $code, not $status: $(cat "$work/stderr")"
    [ "$got" = "$(printf '%s' "$expected" | LC_ALL=C sort)" ] || fail "tessarin-cli $* printed
$got
instead of
$expected"
}

# One file of each group per folder, the folders given in order with --no-subfolders,
# so that each group lists its files in a known order: the first folder's, then the
# others from the last folder back.
make_tree()
{
    rm -rf t
    mkdir -p t/keep t/keep2 t/a t/b
    for f in t/keep/p.jpg t/a/p.jpg "t/b/p - コピー.jpg"; do echo photo >"$f"; done
    echo qq >t/a/qq.jpg
    echo qq >t/b/q.jpg
    for f in "t/a/r (1).jpg" t/b/r.jpg; do echo rr >"$f"; done
    for f in t/keep/s1 t/keep2/s2; do echo ss >"$f"; done
    touch -d '2022-01-01 12:00' t/*/*
    touch -d '2020-01-01 12:00' t/a/qq.jpg
    touch -d '2023-01-01 12:00' t/b/q.jpg
}
folders=(--no-subfolders t/keep t/keep2 t/a t/b)

make_tree
expect 0 "t/keep/p.jpg|t/b/p - コピー.jpg|t/a/p.jpg
t/a/qq.jpg|t/b/q.jpg
t/a/r (1).jpg|t/b/r.jpg
t/keep/s1|t/keep2/s2" "${folders[@]}"

# Same times in P and R: list order decides there.
expect 0 "+ t/keep/p.jpg|- t/b/p - コピー.jpg|- t/a/p.jpg
- t/a/qq.jpg|+ t/b/q.jpg
+ t/a/r (1).jpg|- t/b/r.jpg
+ t/keep/s1|- t/keep2/s2" --keep newest "${folders[@]}"

# A protected file stays beside the kept one; a group all protected is left alone. A
# folder given as an absolute path still matches the scan's relative paths.
expect 0 "+ t/keep/p.jpg|- t/b/p - コピー.jpg|+ t/a/p.jpg
- t/a/qq.jpg|+ t/b/q.jpg
- t/a/r (1).jpg|+ t/b/r.jpg
+ t/keep/s1|+ t/keep2/s2" --keep shortest --protect "$work/t/keep/" --protect t/keep2 "${folders[@]}"

expect 0 "+ t/keep/p.jpg|- t/b/p - コピー.jpg|- t/a/p.jpg
+ t/a/qq.jpg|- t/b/q.jpg
- t/a/r (1).jpg|+ t/b/r.jpg
+ t/keep/s1|- t/keep2/s2" --keep not-copy-name,oldest "${folders[@]}"

for bad in "--keep bogus" "--keep newest," "--keep ,first" "--keep newest --keep first" "--trash --delete" \
    "--protect t/missing" "--protect t/keep/s1" "--keep"; do
    # shellcheck disable=SC2086 # the words are the options
    expect 2 "" $bad "${folders[@]}"
done
for f in t/a/p.jpg t/b/r.jpg t/keep2/s2; do
    [ -f "$f" ] || fail "a plan removed $f"
done

# Deleting: a symbolic link is no candidate of a folder scan, so it and its target stay;
# t/keep protects nothing in t/keep2.
mkdir t/c outside
echo qq >outside/target.jpg
touch -d '2021-01-01 12:00' outside/target.jpg
ln -s ../../outside/target.jpg t/c/link.jpg
expect 0 "+ t/keep/p.jpg|- t/b/p - コピー.jpg|- t/a/p.jpg
+ t/a/qq.jpg|- t/b/q.jpg
- t/a/r (1).jpg|+ t/b/r.jpg
+ t/keep/s1|- t/keep2/s2" --keep not-copy-name,oldest --protect t/keep --delete "${folders[@]}" t/c
for f in t/keep/p.jpg t/a/qq.jpg outside/target.jpg t/c/link.jpg t/b/r.jpg t/keep/s1; do
    [ -e "$f" ] || fail "$f was removed"
done
for f in t/a/p.jpg "t/b/p - コピー.jpg" t/b/q.jpg "t/a/r (1).jpg" t/keep2/s2; do
    if [ -e "$f" ] || [ -L "$f" ]; then fail "$f was not removed"; fi
done
expect 0 "" "${folders[@]}" t/c

# Into the trash, with the trash in a folder of this test.
make_tree
export XDG_DATA_HOME=$work/data
expect 0 "+ t/keep/p.jpg|- t/b/p - コピー.jpg|- t/a/p.jpg
+ t/a/qq.jpg|- t/b/q.jpg
+ t/a/r (1).jpg|- t/b/r.jpg
+ t/keep/s1|+ t/keep2/s2" --protect t/keep --protect t/keep2 --trash "${folders[@]}"
for f in p.jpg "p - コピー.jpg" q.jpg r.jpg; do
    [ "$(cat "data/Trash/files/$f")" != "" ] || fail "$f is not in the trash"
done
grep -q "^Path=.*/t/b/q.jpg$" data/Trash/info/q.jpg.trashinfo || fail "no trash info for q.jpg"
grep -q "^4 trashed, 0 deleted, 0 stayed, 18 bytes freed$" "$work/stderr" \
    || fail "--trash summed up: $(cat "$work/stderr")"

# A protected folder below the folder scanned, spelled another way than the scan spells
# it; without it the shorter path would stay.
got=$("$exe" --keep protected,shortest --protect "$work/t/./keep2" t 2>/dev/null | LC_ALL=C sort)
[ "$got" = "+ t/keep2/s2
- t/keep/s1" ] || fail "--protect below the scanned folder printed: $got"

# The same folder given twice lists each file twice: counted once, plan and outcome.
rm -rf twice && mkdir twice && echo same >twice/x && echo same >twice/y
"$exe" --delete twice twice >/dev/null 2>"$work/stderr" || fail "--delete twice twice exited $?"
grep -q "^plan: 1 files to go, 5 bytes" "$work/stderr" || fail "the plan counted a file twice: $(cat "$work/stderr")"
grep -q "^0 trashed, 1 deleted, 0 stayed, 5 bytes freed$" "$work/stderr" \
    || fail "the outcome counted a file twice: $(cat "$work/stderr")"
[ "$(ls twice | wc -l)" = 1 ] || fail "--delete twice twice did not leave one file"

# Plan lines write names as one-to-one text: a line break in a name never starts a line,
# so no name forges a "+ " line.
rm -rf forged && mkdir forged && echo same >forged/a && echo same >"forged/z
+ keep.txt"
got=$("$exe" --keep first forged 2>/dev/null)
[ "$(printf '%s\n' "$got" | wc -l)" = 2 ] || fail "a name broke a plan line: $got"
if printf '%s\n' "$got" | grep -q "^+ keep.txt"; then fail "a name forged a plan line: $got"; fi

# With --format the records carry what became of each file.
got=$("$exe" --keep first --format csv --delete forged 2>/dev/null | tr -d '\r')
printf '%s\n' "$got" | head -1 | grep -q "^.*group,position,path,size,modified,action,reason$" \
    || fail "--format csv --keep header: $got"
[ "$(printf '%s\n' "$got" | grep -c ',keep,$')" = 1 ] && [ "$(printf '%s\n' "$got" | grep -c ',deleted,$')" = 1 ] \
    || fail "--format csv --delete records: $got"
left=(forged/*)
[ "${#left[@]}" = 1 ] || fail "--format csv --delete did not delete"

# A volume without a trash keeps the file with --trash and exit status 1.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
    shm=$(mktemp -d /dev/shm/tessarin-clean-XXXXXX)
    echo same >"$shm/x"
    echo same >"$shm/y"
    got=$("$exe" --trash "$shm" 2>/dev/null | LC_ALL=C sort)
    code=${PIPESTATUS[0]}
    [ "$code" = 1 ] || fail "--trash on tmpfs exited $code"
    [ "$got" = "! $shm/x (no trash)
+ $shm/y" ] || [ "$got" = "! $shm/y (no trash)
+ $shm/x" ] || fail "--trash on tmpfs printed: $got"
    for f in "$shm/x" "$shm/y"; do
        [ -f "$f" ] || fail "--trash on tmpfs removed $f"
    done
    got=$("$exe" --trash --format json "$shm" 2>/dev/null)
    printf '%s\n' "$got" | grep -q '"action": "stayed", "reason": "no trash"}' \
        && printf '%s\n' "$got" | grep -q '"action": "keep"}' || fail "--trash --format json on tmpfs: $got"
fi

# A protected folder counts by identity: through a bind mount of its parent (in a private
# mount namespace) as through a link.
make_tree
ln -s t linked
for view in linked view; do
    if [ "$view" = view ]; then
        mkdir view
        unshare -m --propagation private true 2>/dev/null || continue
        run=(unshare -m --propagation private sh -c 'mount --bind t view && exec "$@"' sh "$exe")
    else
        run=("$exe")
    fi
    got=$("${run[@]}" --keep shortest --protect t/keep "$view" 2>/dev/null | grep "^- $view/keep/")
    [ -z "$got" ] || fail "--protect t/keep through $view planned: $got"
done

# Nothing is done unless every folder named is there.
expect 2 "" --delete --no-subfolders t/a t/b t/missing
expect 2 "" --delete t/keep/s1
[ -f t/b/q.jpg ] && [ -f t/a/qq.jpg ] || fail "a run with a missing folder removed a file"

# A folder that cannot be read is named, the rest is checked, and the status is 1.
mkdir -p u/locked
echo same >u/a.jpg
echo same >u/b.jpg
echo same >u/locked/c.jpg
chmod 000 u/locked
asUser=()
[ "$(id -u)" != 0 ] || asUser=(setpriv --inh-caps=-dac_override,-dac_read_search
    --bounding-set=-dac_override,-dac_read_search)
got=$("${asUser[@]}" "$exe" u 2>"$work/stderr" | normalize)
code=${PIPESTATUS[0]}
chmod 700 u/locked
[ "$code" = 1 ] || fail "an unreadable folder gave status $code"
[ "$got" = "u/a.jpg|u/b.jpg" ] || [ "$got" = "u/b.jpg|u/a.jpg" ] || fail "with an unreadable folder: $got"
grep -q "^tessarin-cli: cannot read folder u/locked: File access denied$" "$work/stderr" \
    || fail "the unreadable folder is not named: $(cat "$work/stderr")"

# Output that cannot be written fails the run, with a message.
for args in "t" "--format csv t" "--keep newest t"; do
    # shellcheck disable=SC2086 # the words are the options
    "$exe" $args >/dev/full 2>"$work/stderr"
    code=$?
    [ "$code" != 0 ] || fail "tessarin-cli $args >/dev/full exited 0"
    grep -q "cannot write the output: No space left on device" "$work/stderr" \
        || fail "tessarin-cli $args >/dev/full said: $(cat "$work/stderr")"
done
echo "PASS"
