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
# Journals go to a folder of this test.
export XDG_STATE_HOME=$work/state

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
    "--protect t/missing" "--protect t/keep/s1" "--keep" "--link bogus" "--link hard --delete" \
    "--trash --move-to aside" "--undo" "--journals"; do
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

# A journal that cannot be written (here: a file there already) stops the clean before
# anything is done.
make_tree
echo taken >journal.jsonl
expect 1 "" --move-to aside --journal journal.jsonl "${folders[@]}"
grep -q "^tessarin-cli: cannot write the journal journal.jsonl: " "$work/stderr" && [ ! -e aside ] \
    && [ "$(cat journal.jsonl)" = taken ] || fail "--journal over a file: $(cat "$work/stderr")"

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
# The clean's journal, in the state folder, brings them back from the trash.
journal=$(sed -n 's/^journal: //p' "$work/stderr")
[ "$(dirname "$journal")" = "$work/state/tessarin" ] && [ "$(grep -c '"action": *"trash"' "$journal")" = 4 ] \
    || fail "--trash journal: $(cat "$work/stderr")"
got=$("$exe" --undo 2>/dev/null | LC_ALL=C sort)
[ "$got" = "+ $work/t/a/p.jpg (restored)
+ $work/t/b/p - コピー.jpg (restored)
+ $work/t/b/q.jpg (restored)
+ $work/t/b/r.jpg (restored)" ] || fail "--undo after --trash printed: $got"
[ "$(cat t/b/q.jpg)" = qq ] && [ -z "$(ls data/Trash/files)" ] || fail "--undo left the trash: $(ls data/Trash/files)"
rm t/a/p.jpg "t/b/p - コピー.jpg" t/b/q.jpg t/b/r.jpg

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
    # Nor can it share blocks; a copy whose permissions differ stays as a hard link.
    chmod 600 "$shm/y"
    for link in reflink hard; do
        got=$("$exe" --link "$link" --keep shortest --format csv "$shm" 2>/dev/null | tr -d '\r' | cut -d, -f6-)
        code=${PIPESTATUS[0]}
        reason=$([ "$link" = hard ] && echo "attributes differ" || echo "not supported")
        [ "$code" = 1 ] && [ "$got" = "action,reason
keep,
stayed,$reason" ] || fail "--link $link on tmpfs exited $code and printed: $got"
    done
    [ "$(stat -c %h "$shm/x")" = 1 ] && [ "$(cat "$shm/y")" = same ] || fail "--link on tmpfs changed a file"
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
# Winning space without deleting, on an XFS image that shares blocks (as root, in a mount
# namespace of its own): --dry-run shows the actions, hard links and shared blocks free
# the space, a move keeps the file's inode, and --undo gives every path back its bytes,
# permissions and times (its inode too, but for a link, which becomes a copy of its own),
# twice without harm, never over a file that is there now.
on_xfs()
{
    # Without access times: the check reads every file.
    mount -o loop,noatime xfs.img xfs || {
        echo SKIP
        return 0
    }
    local m=$work/xfs
    mkdir -p "$m/keep" "$m/h" "$m/r" "$m/m"
    head -c 3000000 /dev/urandom >"$m/keep/h"
    head -c 5000000 /dev/urandom >"$m/keep/r"
    echo moved >"$m/keep/m"
    # Copies of their own: cp would share the blocks at once.
    cp --reflink=never "$m/keep/h" "$m/h/1"
    cp --reflink=never "$m/keep/h" "$m/h/2"
    cp --reflink=never "$m/keep/r" "$m/r/1"
    cp --reflink=never "$m/keep/m" "$m/m/1"
    touch -d '2021-02-03 04:05:06.789' "$m"/h/* "$m"/r/* "$m"/m/*
    touch -a -d '2020-01-01 00:00:00.5' "$m"/h/* "$m"/r/* "$m"/m/*
    local state
    state()
    {
        find "$m/h" "$m/r" "$m/m" -type f -exec stat -c "%n %h %a %U %y %x %s $1" {} + | sort
    }
    local before inodes
    before=$(state) && inodes=$(state %i) && sums=$(cd "$m" && md5sum h/* r/* m/* keep/*)
    local rules=(--keep protected --protect "$m/keep")
    got=$("$exe" "${rules[@]}" --link hard --dry-run "$m/keep" "$m/h" 2>/dev/null | grep -c "^= $m/h/")
    [ "$got" = 2 ] || fail "--link hard --dry-run: $got"
    got=$("$exe" "${rules[@]}" --move-to "$m/aside" --dry-run "$m/keep" "$m/m" 2>/dev/null)
    [ "$got" = "+ $m/keep/m
> $m/m/1" ] || fail "--move-to --dry-run: $got"
    [ ! -e "$m/aside" ] && [ "$(ls "$work/state/tessarin" | wc -l)" = "$journals" ] \
        || fail "a dry run acted or wrote a journal"

    local free
    sync && free=$(stat -f -c %f "$m")
    "$exe" "${rules[@]}" --link hard "$m/keep" "$m/h" >/dev/null 2>"$work/stderr" \
        && grep -q "^2 linked, 0 stayed, 6000000 bytes freed$" "$work/stderr" || fail "--link hard: $(cat "$work/stderr")"
    "$exe" "${rules[@]}" --link reflink "$m/keep" "$m/r" >/dev/null 2>"$work/stderr" \
        && grep -q "^1 shared, 0 stayed, 5000000 bytes freed$" "$work/stderr" \
        || fail "--link reflink: $(cat "$work/stderr")"
    # Shared already: nothing more to free.
    "$exe" "${rules[@]}" --link reflink "$m/keep" "$m/r" >/dev/null 2>"$work/stderr" \
        && grep -q "^1 shared, 0 stayed, 0 bytes freed$" "$work/stderr" \
        || fail "--link reflink again: $(cat "$work/stderr")"
    "$exe" "${rules[@]}" --move-to "$m/aside" "$m/keep" "$m/m" >/dev/null 2>"$work/stderr" \
        && grep -q "^1 moved, 0 stayed, 6 bytes moved$" "$work/stderr" || fail "--move-to: $(cat "$work/stderr")"
    # Unlinked blocks are freed in the background: mounting again waits for that.
    umount xfs && mount -o loop,noatime xfs.img xfs || fail "cannot mount the image again"
    local gained=$((($(stat -f -c %f "$m") - free) * $(stat -f -c %S "$m")))
    [ "$gained" -gt 10500000 ] || fail "the links and shared blocks freed only $gained bytes"
    [ "$(stat -c %i "$m/h/1")" = "$(stat -c %i "$m/keep/h")" ] && [ "$(stat -c %h "$m/keep/h")" = 3 ] \
        || fail "--link hard made no links"
    [ ! -e "$m/m/1" ] && [ "$(cat "$m/aside$m/m/1")" = moved ] || fail "--move-to did not move $m/m/1"
    [ "$(cd "$m" && md5sum h/* r/* keep/*)" = "$(printf '%s\n' "$sums" | grep -v "m/1$")" ] \
        || fail "a path reads other bytes"

    # Newest first, each clean once.
    "$exe" --journals >"$work/journals" || fail "--journals exited $?"
    [ "$(head -4 "$work/journals" | cut -f2,3 | tr '\t\n' ' |')" = "move 1|reflink 1|reflink 1|hardlink 2|" ] \
        || fail "--journals: $(cat "$work/journals")"
    for round in 1 2 3 4; do
        "$exe" --undo "$(sed -n "${round}p" "$work/journals" | cut -f4)" >"$work/undo" 2>"$work/stderr" \
            || fail "--undo $round exited $?: $(cat "$work/stderr")"
    done
    [ "$(state)" = "$before" ] || fail "undo did not give the files back as they were:
$(state)
instead of
$before"
    [ "$(state %i | grep -v "^$m/h/")" = "$(printf '%s\n' "$inodes" | grep -v "^$m/h/")" ] \
        || fail "the shared or moved file changed its inode"
    [ "$(cd "$m" && md5sum h/* r/* m/* keep/*)" = "$sums" ] || fail "undo gave other bytes back"
    "$exe" --undo "$(sed -n 4p "$work/journals" | cut -f4)" >"$work/undo" 2>"$work/stderr" \
        && [ "$(sort "$work/undo")" = "+ $m/h/1 (already back)
+ $m/h/2 (already back)" ] || fail "a second undo: $(cat "$work/undo" "$work/stderr")"

    # A file at the path now stays; the moved one stays aside.
    "$exe" "${rules[@]}" --move-to "$m/aside" "$m/keep" "$m/m" >/dev/null 2>&1 || fail "--move-to again"
    echo newer >"$m/m/1"
    "$exe" --undo >"$work/undo" 2>/dev/null
    code=$?
    [ "$code" = 1 ] && [ "$(cat "$work/undo")" = "! $m/m/1 (a file is there)" ] && [ "$(cat "$m/m/1")" = newer ] \
        && [ "$(cat "$m/aside$m/m/1")" = moved ] || fail "undo over a file exited $code: $(cat "$work/undo")"
    echo PASS-XFS
}
if [ "$(id -u)" = 0 ] && command -v mkfs.xfs >/dev/null && unshare -m --propagation private true 2>/dev/null \
    && truncate -s 300M xfs.img && mkfs.xfs -q -m reflink=1 xfs.img && mkdir xfs; then
    journals=$(ls "$work/state/tessarin" 2>/dev/null | wc -l)
    got=$(exe=$exe work=$work journals=$journals unshare -m --propagation private \
        bash -c "$(declare -f fail on_xfs); cd '$work' && on_xfs")
    case $got in
    PASS-XFS) ;;
    SKIP) echo "the XFS image cannot be mounted here: its part skipped" ;;
    *) fail "the part on XFS ended: $got" ;;
    esac
fi
echo "PASS"
