#!/usr/bin/env bash
# Renders the README's pictures of the real windows in a private X server into docs/:
# the search page with a filled list, the results page with its groups expanded, the
# delete dialog, the bulk clean dialog, the rename settings dialog, the About box, the
# tooltip of a long path and the progress bar of a running check.
# usage: scripts/screenshots.sh [BUILD_DIR]   (default build/release, built when missing)
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build=$(realpath -m "${1:-$root/build/release}")
if [ ! -x "$build/app/tessarin" ]; then
    bash "$root/scripts/deps.sh" test
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
    cmake --build "$build" --target tessarin || exit 1
fi
X11_TIMEOUT=20
X11_DEADLINE=$((SECONDS + 300))
source "$root/tests/scripts/x11_session.sh"

work=$(mktemp -d)
out=$root/docs
trap 'x11_stop; rm -rf "$work"' EXIT
fail()
{
    echo "screenshots: $*" >&2
    x11_shot "$work/failed.png" 2>/dev/null && cp "$work/failed.png" "$build/screenshots-failed.png" \
        && echo "screen saved as $build/screenshots-failed.png" >&2
    exit 1
}

# Saves window ID as docs/NAME.png once it has finished drawing; 8-bit palette keeps the
# files small, and antialiased text stays readable with 256 undithered colours.
shot()
{
    x11_steady "$2" || fail "$1: the window does not settle"
    x11_shot "$work/$1.png" "$2" || fail "$1: no picture"
    convert "$work/$1.png" -strip -dither None -colors 256 "PNG8:$out/$1.png" || fail "$1: cannot convert"
    echo "docs/$1.png"
}

# Saves as docs/NAME.png the screen rectangle that holds every shown window of the
# program: a window and the tooltip beside it.
shot_around()
{
    local id X Y WIDTH HEIGHT SCREEN WINDOW left=100000 top=100000 right=0 bottom=0
    for id in $(xdotool search --onlyvisible --pid "$X11_APP_PID" 2>/dev/null); do
        eval "$(xdotool getwindowgeometry --shell "$id")"
        [ "$X" -lt "$left" ] && left=$X
        [ "$Y" -lt "$top" ] && top=$Y
        [ $((X + WIDTH)) -gt "$right" ] && right=$((X + WIDTH))
        [ $((Y + HEIGHT)) -gt "$bottom" ] && bottom=$((Y + HEIGHT))
    done
    [ "$right" -gt "$left" ] || fail "$1: no window"
    x11_shot "$work/$1-screen.png" || fail "$1: no picture"
    convert "$work/$1-screen.png" -crop "$((right - left))x$((bottom - top))+$left+$top" +repage -strip \
        -dither None -colors 256 "PNG8:$out/$1.png" || fail "$1: cannot convert"
    echo "docs/$1.png"
}

# Starts the program, with the environment assignments given, and waits for its main
# window: sets main, PAGE_X and PAGE_Y.
start_app()
{
    (cd "$work" && exec env QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work/runtime" \
        XDG_CONFIG_HOME="$work/config" LC_ALL=C.UTF-8 "$@" "$build/app/tessarin") >>"$work/app.log" 2>&1 &
    X11_APP_PID=$!
    main=$(x11_window Tessarin) || fail "no main window"
    x11_focus "$main" || fail "main window without focus"
    x11_page_origin "$main" || fail "main window layout not found"
}

# Adds the folder FOLDER with its subfolders, typing its path into the chooser.
add_folder()
{
    local chooser
    x11_click $((PAGE_X + 190)) $((PAGE_Y + 17))
    chooser=$(x11_window 画像のフォルダを指定) || fail "no folder chooser"
    x11_focus "$chooser" || fail "folder chooser without focus"
    xdotool type --delay 5 "$1"
    xdotool key Return
    x11_gone "$chooser" || fail "folder chooser stays open"
    x11_focus "$main" || fail "main window without focus"
}

# A small photo folder with copies in two subfolders; its own name is typed into the
# chooser, so it stays ASCII (xdotool drops characters it has to map onto spare keys).
pics=$work/photos
mkdir -p "$pics/旅行" "$pics/バックアップ"
# Pictures the preview can show.
convert -size 1200x800 gradient:skyblue-navy -fill white -draw "circle 600,300 600,180" \
    -quality 85 "$pics/IMG_0001.jpg" || fail "cannot draw a picture"
convert -size 800x1200 gradient:orange-darkred -quality 85 "$pics/IMG_0002.jpg" || fail "cannot draw a picture"
convert -size 1200x800 gradient:palegreen-darkgreen -fill khaki -draw "rectangle 0,560 1200,800" \
    -quality 85 "$pics/IMG_0003.jpg" || fail "cannot draw a picture"
cp "$pics/IMG_0001.jpg" "$pics/旅行/IMG_0001.jpg"
cp "$pics/IMG_0001.jpg" "$pics/旅行/IMG_0001 のコピー.jpg"
head -c 90000 /dev/urandom >"$pics/旅行/海.jpg"
cp "$pics/IMG_0002.jpg" "$pics/バックアップ/IMG_0002.jpg"
cp "$pics/IMG_0003.jpg" "$pics/バックアップ/IMG_0003 (2).jpg"
printf '旅行の写真\n' >"$pics/バックアップ/メモ.txt"

x11_start || fail "no X server"
mkdir -m 700 "$work/runtime" "$work/config"
start_app

# Search page: add the folder with its subfolders, select two entries.
add_folder "$pics"
# The list's row height, from the highlight of the first line once it is clicked.
list_y=$((PAGE_Y + 35 + 1))
x11_click $((PAGE_X + 100)) $((list_y + 5))
x11_until x11_pixel_isnt $((PAGE_X + 400)) $((list_y + 3)) FFFFFF || fail "no highlighted line in the list"
row_height=$(x11_strip $((PAGE_X + 400)) "$list_y" 1 60 | grep -n -m 1 '^FFFFFF$' | cut -d: -f1)
row_height=$((row_height - 1))
row_y() { echo $((list_y + $1 * row_height + row_height / 2)); }
x11_click $((PAGE_X + 100)) "$(row_y 3)"
xdotool keydown ctrl
x11_click $((PAGE_X + 100)) "$(row_y 5)"
xdotool keyup ctrl
xdotool mousemove $((PAGE_X + 600)) $((PAGE_Y + 250))
shot search "$main"

# Rename settings dialog for the selected entries, with a prefix typed in.
x11_click $((PAGE_X + 505 + 60)) $((PAGE_Y + 5 + 12))
rename=$(x11_window リネーム設定) || fail "no rename dialog"
x11_focus "$rename" || fail "rename dialog without focus"
xdotool type --delay 20 "trip_"
shot rename "$rename"
xdotool key Escape
x11_gone "$rename" || fail "rename dialog stays open"

# Results page with its three groups expanded, the last one first so that the ones
# above stay where they are.
x11_focus "$main" || fail "main window without focus"
x11_click $((PAGE_X + 550 + 72)) $((PAGE_Y + 285 + 15))
x11_wait_pixel $((PAGE_X + 470)) $((PAGE_Y + 300)) FFFFFF || fail "results page not shown"
tree_x=$((PAGE_X + 1))
x11_tree_rows || fail "no rows in the result tree"
tree_y=$TREE_Y
x11_click $((tree_x + 50)) $((tree_y + 5))
# Enlarged, the first file of the last group selected: the preview shows it.
xdotool key End Right Up Right Up Right End Up
xdotool windowsize "$main" 1000 620
sleep 2
shot results "$main"

# Delete dialog of the first group.
xdotool key Home Return
delete=$(x11_window ファイルの削除) || fail "no delete dialog"
xdotool windowsize "$delete" 760 300
sleep 1
shot delete "$delete"
x11_focus "$delete" || fail "delete dialog without focus"
xdotool key Escape
x11_gone "$delete" || fail "delete dialog stays open"

# Bulk clean dialog from the menu 検索, its first group opened.
x11_focus "$main" || fail "main window without focus"
xdotool key alt+s b
clean=$(x11_window 重複ファイルの一括整理) || fail "no bulk clean dialog"
x11_focus "$clean" || fail "bulk clean dialog without focus"
xdotool key Tab Tab Tab Tab Tab Tab Home Right
xdotool windowsize "$clean" 820 500
sleep 1
shot clean "$clean"
xdotool key Escape
x11_gone "$clean" || fail "bulk clean dialog stays open"

# About box from the menu ?.
x11_focus "$main" || fail "main window without focus"
xdotool key alt+question a
about=$(x11_window バージョン情報) || fail "no About box"
shot about "$about"
x11_focus "$about" || fail "About box without focus"
xdotool key Return
x11_gone "$about" || fail "About box stays open"

# A second session, on a slow disk: every read of the check waits a little, as over a
# network drive, so that the run lasts long enough to show its time left.
kill "$X11_APP_PID" 2>/dev/null && wait "$X11_APP_PID" 2>/dev/null
X11_APP_PID=""
cat >"$work/slowread.c" <<'SOURCE'
#define _GNU_SOURCE
#include <dlfcn.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>
ssize_t pread64(int fd, void* buffer, size_t n, off_t offset)
{
    static ssize_t (*real)(int, void*, size_t, off_t);
    const struct timespec pause = { 0, 30 * 1000 * 1000 };
    if (!real)
        real = (ssize_t(*)(int, void*, size_t, off_t))dlsym(RTLD_NEXT, "pread64");
    nanosleep(&pause, NULL);
    return real(fd, buffer, n, offset);
}
ssize_t pread(int fd, void* buffer, size_t n, off_t offset) { return pread64(fd, buffer, n, offset); }
SOURCE
cc -shared -fPIC -O2 -o "$work/slowread.so" "$work/slowread.c" -ldl || fail "cannot build the slow reads"

# Photos and videos deep in folders with long Japanese names; the chosen folder's own
# name is ASCII, to be typed.
album=$work/Pictures
deep="$album/2023年夏の北海道旅行/ニセコ・小樽・札幌で撮った写真/カメラから取り込んだままの未整理のバックアップ"
mkdir -p "$deep"
for k in $(seq 1 12); do
    head -c $((60000 + k * 1733)) /dev/urandom >"$deep/IMG_$((2040 + k)).jpg"
done
head -c 24M /dev/urandom >"$deep/VID_0001.mp4"
cp "$deep/VID_0001.mp4" "$deep/VID_0001 のコピー.mp4"
cp "$deep/VID_0001.mp4" "$deep/VID_0001 (2).mp4"

start_app LD_PRELOAD="$work/slowread.so"
add_folder "$album"

# The pointer resting on the first entry, whose path the list cuts off.
xdotool mousemove --sync $((PAGE_X + 200)) $((PAGE_Y + 35 + 7))
sleep 2
shot_around tooltip

# The check, caught once it has run for a few seconds.
x11_click $((PAGE_X + 550 + 72)) $((PAGE_Y + 285 + 15))
sleep 3.5
x11_shot "$work/progress.png" "$main" || fail "progress: no picture"
convert "$work/progress.png" -strip -dither None -colors 256 "PNG8:$out/progress.png" \
    || fail "progress: cannot convert"
echo "docs/progress.png"
