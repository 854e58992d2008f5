#!/usr/bin/env bash
# test_e2e_x11: uses the built program in a private X server with mouse and keyboard:
# adds a generated folder through the folder chooser, runs the duplicate check, moves the
# surplus copies of the first group to the trash through the delete dialog and those of
# the rest through the bulk clean, quits through the confirmation box, and then checks
# the files left on disk and those in the trash.
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
{ head -c 65535 "$pics/photo.jpg"; printf 'x'; } >"$pics/写真 1.jpg"
if cmp -s "$pics/photo.jpg" "$pics/写真 1.jpg"; then
    { head -c 65535 "$pics/photo.jpg"; printf 'y'; } >"$pics/写真 1.jpg"
fi
printf 'meeting at ten\n' >"$pics/note.txt"
cp "$pics/note.txt" "$pics/sub2/deeper/ノート.txt"
printf 'meeting at two\n' >"$pics/sub1/note2.txt"
: >"$pics/empty.dat"
head -c 4096 /dev/urandom >"$pics/sub1/other.bin"
surplus=("sub1/photo copy.jpg" "sub2/deeper/photo (2).jpg" "sub2/deeper/ノート.txt")

checksums() { (cd "$pics" && find . -type f -print0 | sort -z | xargs -0 sha256sum); }
checksums >"$work/before"

# ---- start the program in its own X server, with its own settings and runtime folders
x11_start || fail "no X server"
mkdir -m 700 "$work/runtime" "$work/config" "$work/data"
(cd "$work" && exec env QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work/runtime" \
    XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" LC_ALL=C.UTF-8 "$exe") >"$work/app.log" 2>&1 &
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

# ---- the rest: 検索(&S) > 重複ファイルの一括整理(&B)..., OK with Enter on its default
# rules (names that look like copies go), then the summary box with Enter
x11_focus "$main" || fail "the main window does not take the focus back"
xdotool key alt+s b
clean=$(x11_window 重複ファイルの一括整理) || fail "the bulk clean dialog did not open"
x11_focus "$clean" || fail "the bulk clean dialog does not take the focus"
xdotool key Return
x11_gone "$clean" || fail "the bulk clean dialog did not close on Enter"
summary_box() { xdotool search --onlyvisible --name '^Tessarin$' 2>/dev/null | grep -vx "$main" | tail -n 1; }
# Asked again on every try: the box may come up a moment after the dialog has gone.
summary_shown() { [ -n "$(summary_box)" ]; }
x11_until summary_shown || fail "no summary box after the bulk clean"
box=$(summary_box)
x11_focus "$box" || fail "the summary box does not take the focus"
xdotool key Return
x11_gone "$box" || fail "the summary box did not close on Enter"

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

# ---- the files: the surplus copies are gone, everything else is byte for byte as before
for path in "${surplus[@]}"; do
    [ ! -e "$pics/$path" ] || fail "surplus copy left on disk: $path"
done
checksums >"$work/after"
expected=$(grep -v -F -f <(printf './%s\n' "${surplus[@]}") "$work/before")
if [ "$expected" != "$(cat "$work/after")" ]; then
    diff <(echo "$expected") "$work/after" >&2
    fail "the files kept on disk differ from the ones expected"
fi
# ---- the trash: every surplus copy is there as it was, with its original path noted
for path in "${surplus[@]}"; do
    name=$(basename "$path")
    want=$(grep -F "  ./$path" "$work/before" | cut -d' ' -f1)
    got=$(sha256sum <"$work/data/Trash/files/$name" 2>/dev/null | cut -d' ' -f1)
    [ -n "$want" ] && [ "$want" = "$got" ] || fail "not in the trash as it was: $path"
    grep -q '^Path=/' "$work/data/Trash/info/$name.trashinfo" 2>/dev/null || fail "no trash info for $path"
done
echo "PASS: $(wc -l <"$work/after") files kept, ${#surplus[@]} copies moved to the trash in $SECONDS s"
