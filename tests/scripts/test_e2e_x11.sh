#!/usr/bin/env bash
# test_e2e_x11: uses the built program in a private X server with mouse and keyboard:
# adds a generated folder through the folder chooser, runs the duplicate check, moves the
# surplus copies of the first group to the trash through the delete dialog, turns the
# copy of the other into a hard link of its kept file through the bulk clean, undoes that
# through 整理を元に戻す, quits through the confirmation box, and checks the files on
# disk, in the trash and in the clean's journal after each step.
# usage: test_e2e_x11.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
build=$(cd "$1" && pwd)
source_dir=$2
exe=$build/app/tessarin
if [ ! -x "$exe" ]; then
    echo "SKIP: $exe not built (TESSARIN_GUI off)"
    exit 0
fi

X11_TIMEOUT=10
limit=60
sanitized=0
# Under AddressSanitizer the program starts and draws several times slower.
if grep -q '^TESSARIN_SANITIZE:BOOL=ON' "$build/CMakeCache.txt" 2>/dev/null; then
    X11_TIMEOUT=40
    limit=180
    sanitized=1
fi
X11_DEADLINE=$((SECONDS + limit))
source "$source_dir/tests/scripts/x11_session.sh"

work=$(mktemp -d)
if [ "$sanitized" = 1 ]; then
    # The desktop bus library keeps a buffer until exit; leaks of the program's own code count.
    printf 'leak:libdbus-1.so\n' >"$work/lsan.supp"
    export LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$work/lsan.supp"
fi
failure_shot=$build/test_e2e_x11-failure.png
cleanup()
{
    x11_stop
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
rm -f "$failure_shot"

fail()
{
    echo "FAIL: $*" >&2
    if [ -n "${DISPLAY:-}" ] && x11_shot "$failure_shot" 2>/dev/null; then
        echo "screen saved as $failure_shot" >&2
    fi
    if [ -s "$work/app.log" ]; then
        echo "--- program output ---" >&2
        cat "$work/app.log" >&2
    fi
    exit 1
}

# ---- the folder: two sets of identical files, each with exactly one member directly in
# the chosen folder (that one comes first in the list, so it is the one that must stay),
# and files that must not count as copies: same size with one byte changed, empty, unique.
pics=$work/pics
mkdir -p "$pics/sub1" "$pics/sub2/deeper"
head -c 65536 /dev/urandom >"$pics/photo.jpg"
cp "$pics/photo.jpg" "$pics/sub1/photo copy.jpg"
cp "$pics/photo.jpg" "$pics/sub2/deeper/photo (2).jpg"
# Bits other than the umask's and times of their own, which undo must give the copies back.
chmod 640 "$pics/photo.jpg" "$pics/sub1/photo copy.jpg" "$pics/sub2/deeper/photo (2).jpg"
touch -d '2021-03-04 05:06:07.123456789' "$pics/sub1/photo copy.jpg"
touch -d '2022-11-12 13:14:15.987654321' "$pics/sub2/deeper/photo (2).jpg"
{ head -c 65535 "$pics/photo.jpg"; printf 'x'; } >"$pics/写真 1.jpg"
if cmp -s "$pics/photo.jpg" "$pics/写真 1.jpg"; then
    { head -c 65535 "$pics/photo.jpg"; printf 'y'; } >"$pics/写真 1.jpg"
fi
printf 'meeting at ten\n' >"$pics/note.txt"
cp "$pics/note.txt" "$pics/sub2/deeper/ノート.txt"
printf 'meeting at two\n' >"$pics/sub1/note2.txt"
: >"$pics/empty.dat"
head -c 4096 /dev/urandom >"$pics/sub1/other.bin"
# The groups come in list order: the notes first (the delete dialog), the photos next.
trashed=("sub2/deeper/ノート.txt")
linked=("$pics/sub1/photo copy.jpg" "$pics/sub2/deeper/photo (2).jpg")
kept=$pics/photo.jpg

checksums() { (cd "$pics" && find . -type f -print0 | sort -z | xargs -0 sha256sum); }
checksums >"$work/before"
stat -c '%h %a %y' "${linked[@]}" >"$work/linked-before"

# ---- start the program in its own X server, with its own settings and runtime folders
x11_start || fail "no X server"
mkdir -m 700 "$work/runtime" "$work/config" "$work/data" "$work/state"
(cd "$work" && exec env QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work/runtime" XDG_CONFIG_HOME="$work/config" \
    XDG_DATA_HOME="$work/data" XDG_STATE_HOME="$work/state" LC_ALL=C.UTF-8 "$exe") >"$work/app.log" 2>&1 &
X11_APP_PID=$!
main=$(x11_window Tessarin) || fail "the main window did not appear"
x11_focus "$main" || fail "the main window does not take the focus"
x11_page_origin "$main" || fail "the candidate list is not where the layout puts it"
page_x=$PAGE_X
page_y=$PAGE_Y

# ---- add the folder: button フォルダ指定, then type the path into the chooser
x11_click $((page_x + 130 + 60)) $((page_y + 5 + 12))
chooser=$(x11_window 画像のフォルダを指定) || fail "the folder chooser did not open"
x11_focus "$chooser" || fail "the folder chooser does not take the focus"
xdotool type --delay 5 "$pics"
xdotool key Return
x11_gone "$chooser" || fail "the folder chooser did not close"
# The first line of the list now holds a path (text is drawn in it).
row=$(x11_strip $((page_x + 8)) $((page_y + 37)) 300 10 | sort -u | wc -l)
[ "$row" -gt 1 ] || fail "the chosen folder's files are not listed"

# ---- the check: button 重複ファイルチェック; at its end the results page is shown, whose
# tree is white where the first page shows its plain background.
x11_click $((page_x + 550 + 72)) $((page_y + 285 + 15))
x11_wait_pixel $((page_x + 470)) $((page_y + 300)) FFFFFF || fail "the results page was not shown"

# Select the first group and measure the tree's row height from its highlight.
tree_x=$((page_x + 1))
x11_tree_rows || fail "the result tree's rows were not found"
tree_y=$TREE_Y
x11_click $((tree_x + 50)) $((tree_y + 5))
x11_until x11_pixel_isnt $((tree_x + 20)) $((tree_y + 2)) FFFFFF || fail "clicking the first group did not select it"
row_height=$(x11_strip $((tree_x + 20)) "$tree_y" 1 60 | grep -n -m 1 '^FFFFFF$' | cut -d: -f1)
row_height=$((row_height - 1))
[ "$row_height" -ge 10 ] && [ "$row_height" -le 40 ] \
    || fail "no highlighted group in the tree (measured row height $row_height)"
row_y() { echo $((tree_y + $1 * row_height + row_height / 2)); }
# Two groups, not three: the third line is empty.
[ "$(x11_strip "$tree_x" "$(row_y 1)" 200 1 | sort -u | wc -l)" -gt 1 ] || fail "the second group is missing"
[ "$(x11_strip "$tree_x" "$(row_y 2)" 400 1 | sort -u)" = FFFFFF ] || fail "the tree holds more than two groups"

# ---- the first group: select it, double-click it, confirm the delete dialog with Enter
# (every member but the first is checked; the trash is on by default)
x11_click $((tree_x + 50)) "$(row_y 0)"
x11_click $((tree_x + 50)) "$(row_y 0)" 2
dialog=$(x11_window ファイルの削除) || fail "no delete dialog for the first group"
x11_focus "$dialog" || fail "the delete dialog does not take the focus"
xdotool key Return
x11_gone "$dialog" || fail "the delete dialog did not close on Enter"

# ---- the rest: 検索(&S) > 重複ファイルの一括整理(&B)... on its default rules (names that
# look like copies go); 処理 from the keyboard: Shift+Tab from the rules, the first
# control, past ｷｬﾝｾﾙ and OK to the combo box, Down twice from ゴミ箱に移動 to
# ハードリンクに置き換える; OK with Enter, then the summary box with Enter
x11_focus "$main" || fail "the main window does not take the focus back"
xdotool key alt+s b
clean=$(x11_window 重複ファイルの一括整理) || fail "the bulk clean dialog did not open"
x11_focus "$clean" || fail "the bulk clean dialog does not take the focus"
xdotool key shift+Tab shift+Tab shift+Tab Down Down Return
x11_gone "$clean" || fail "the bulk clean dialog did not close on Enter"
summary_box() { xdotool search --onlyvisible --name '^Tessarin$' 2>/dev/null | grep -vx "$main" | tail -n 1; }
# Asked again on every try: the box may come up a moment after the dialog has gone.
summary_shown() { [ -n "$(summary_box)" ]; }
close_summary()
{
    local box
    x11_until summary_shown || fail "no summary box after $1"
    box=$(summary_box)
    x11_focus "$box" || fail "the summary box after $1 does not take the focus"
    xdotool key Return
    x11_gone "$box" || fail "the summary box after $1 did not close on Enter"
}
close_summary "the bulk clean"
# The copies' names lead to the kept file now: one inode, three names, the same bytes.
kept_inode=$(stat -c %i "$kept")
for path in "${linked[@]}"; do
    read -r inode links < <(stat -c '%i %h' "$path")
    [ "$inode" = "$kept_inode" ] && [ "$links" = 3 ] \
        || fail "not a hard link of the kept file: $path (inode $inode, $links links; kept $kept_inode)"
    cmp -s "$path" "$kept" || fail "the linked copy does not read the kept file's bytes: $path"
done
journals=("$work"/state/tessarin/*.jsonl)
[ "${#journals[@]}" = 1 ] && grep -q '"action":"hardlink"' "${journals[0]}" \
    || fail "no journal of the hard-link clean under XDG_STATE_HOME"

# ---- undo: 検索(&S) > 整理を元に戻す(&U)..., the newest clean comes chosen: OK with
# Enter, then the summary box with Enter
x11_focus "$main" || fail "the main window does not take the focus back"
xdotool key alt+s u
undo=$(x11_window 整理を元に戻す) || fail "the undo dialog did not open"
x11_focus "$undo" || fail "the undo dialog does not take the focus"
xdotool key Return
x11_gone "$undo" || fail "the undo dialog did not close on Enter"
close_summary "the undo"
# Files of their own again (the bytes are compared at the end), each with the permission
# bits and time it had.
for path in "${linked[@]}"; do
    [ "$(stat -c %i "$path")" != "$kept_inode" ] || fail "still a name of the kept file after undo: $path"
done
[ "$(stat -c %h "$kept")" = 1 ] || fail "the kept file still has other names after undo"
if ! stat -c '%h %a %y' "${linked[@]}" | diff "$work/linked-before" - >&2; then
    fail "undo did not give the copies back their links, permission bits and times"
fi

# ---- quit: menu ファイル(&F) > 終了(&X), answer はい(&Y) (the default) with Enter
x11_focus "$main" || fail "the main window does not take the focus back"
xdotool key alt+f x
confirm=$(x11_window 確認) || fail "closing did not ask 本当に終了しますか？"
x11_focus "$confirm" || fail "the confirmation box does not take the focus"
xdotool key Return
deadline=$((SECONDS + $(x11_budget)))
while kill -0 "$X11_APP_PID" 2>/dev/null; do
    [ $SECONDS -lt $deadline ] || fail "the program did not end after the confirmation"
    sleep 0.1
done
wait "$X11_APP_PID"
status=$?
X11_APP_PID=""
[ "$status" -eq 0 ] || fail "the program ended with status $status"

# ---- the files: the trashed copies are gone, everything else is byte for byte as before
for path in "${trashed[@]}"; do
    [ ! -e "$pics/$path" ] || fail "trashed copy left on disk: $path"
done
checksums >"$work/after"
expected=$(grep -v -F -f <(printf './%s\n' "${trashed[@]}") "$work/before")
if [ "$expected" != "$(cat "$work/after")" ]; then
    diff <(echo "$expected") "$work/after" >&2
    fail "the files kept on disk differ from the ones expected"
fi
# ---- the trash: every trashed copy is there as it was, with its original path noted
for path in "${trashed[@]}"; do
    name=$(basename "$path")
    want=$(grep -F "  ./$path" "$work/before" | cut -d' ' -f1)
    got=$(sha256sum <"$work/data/Trash/files/$name" 2>/dev/null | cut -d' ' -f1)
    [ -n "$want" ] && [ "$want" = "$got" ] || fail "not in the trash as it was: $path"
    grep -q '^Path=/' "$work/data/Trash/info/$name.trashinfo" 2>/dev/null || fail "no trash info for $path"
done
echo "PASS: $(wc -l <"$work/after") files on disk, ${#trashed[@]} copy in the trash, ${#linked[@]} linked and undone in $SECONDS s"
