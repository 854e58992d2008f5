# x11_session.sh: a private X server and the small helpers that drive the program in it
# the way a person does. Sourced by the X end-to-end test and by scripts/screenshots.sh.
#
# x11_start              starts Xvfb on a free display, exports DISPLAY
# x11_stop               ends the program under test and the server (call from the trap)
# x11_window NAME        waits for a shown window whose whole title is NAME, prints its id
# x11_gone ID            waits until the window ID is no longer shown
# x11_focus ID           gives the window the keyboard focus (there is no window manager)
# x11_strip X Y W H      prints the colours of a screen rectangle as RRGGBB, one per line,
#                        row by row
# x11_until COMMAND...   waits until the command succeeds
# x11_wait_pixel X Y RRGGBB   waits until that screen pixel shows the colour
# x11_origin ID          sets ORIGIN_X/ORIGIN_Y to the window's top-left corner on screen
# x11_click X Y [N]      clicks N times (2: a double-click) at screen coordinates
# x11_shot FILE [ID]     saves the screen, or one window, as PNG
# x11_steady ID          waits until the window's picture stops changing (drawing done)
# x11_page_origin ID     sets PAGE_X/PAGE_Y to the screen position of the main window's
#                        first page, whose controls sit at fixed places inside it
#
# Every wait gives up after X11_TIMEOUT seconds, and none runs past X11_DEADLINE
# (a value of $SECONDS), so a run that goes wrong ends quickly with a message.

X11_TIMEOUT=${X11_TIMEOUT:-10}
X11_DEADLINE=${X11_DEADLINE:-$((SECONDS + 120))}
X11_SERVER_PID=""
X11_APP_PID=""

# Prints the seconds a wait may take: X11_TIMEOUT, but never beyond the deadline.
x11_budget()
{
    local left=$((X11_DEADLINE - SECONDS))
    [ "$left" -gt 0 ] || left=1
    [ "$left" -lt "$X11_TIMEOUT" ] && echo "$left" || echo "$X11_TIMEOUT"
}

x11_start()
{
    local fifo_dir display=""
    command -v Xvfb >/dev/null || { echo "Xvfb is not installed" >&2; return 1; }
    fifo_dir=$(mktemp -d)
    mkfifo "$fifo_dir/display"
    # -displayfd lets the server pick a free display itself: no race with other servers.
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo_dir/display" >/dev/null 2>&1 &
    X11_SERVER_PID=$!
    read -r -t "$(x11_budget)" display <"$fifo_dir/display" || true
    rm -rf "$fifo_dir"
    if [ -z "$display" ]; then
        echo "Xvfb did not start" >&2
        return 1
    fi
    export DISPLAY=":$display"
    local deadline=$((SECONDS + $(x11_budget)))
    until xdpyinfo >/dev/null 2>&1; do
        if [ $SECONDS -ge $deadline ]; then
            echo "X server $DISPLAY does not answer" >&2
            return 1
        fi
        sleep 0.1
    done
}

x11_stop()
{
    if [ -n "$X11_APP_PID" ]; then
        kill "$X11_APP_PID" 2>/dev/null && wait "$X11_APP_PID" 2>/dev/null
        X11_APP_PID=""
    fi
    if [ -n "$X11_SERVER_PID" ]; then
        kill "$X11_SERVER_PID" 2>/dev/null && wait "$X11_SERVER_PID" 2>/dev/null
        X11_SERVER_PID=""
    fi
    return 0
}

x11_window()
{
    local name=$1 seconds id
    seconds=$(x11_budget)
    id=$(timeout "$seconds" xdotool search --sync --onlyvisible --name "^$name\$" 2>/dev/null | tail -n 1)
    if [ -z "$id" ]; then
        echo "no window '$name' within ${seconds}s" >&2
        return 1
    fi
    echo "$id"
}

x11_gone()
{
    local id=$1 deadline=$((SECONDS + $(x11_budget)))
    while xwininfo -id "$id" 2>/dev/null | grep -q 'IsViewable'; do
        if [ $SECONDS -ge $deadline ]; then
            echo "window $id still shown" >&2
            return 1
        fi
        sleep 0.1
    done
}

x11_focus()
{
    # Without a window manager nobody else hands out the focus; wait until it has arrived.
    local deadline=$((SECONDS + $(x11_budget)))
    xdotool windowfocus --sync "$1" 2>/dev/null || true
    until [ "$(xdotool getwindowfocus 2>/dev/null)" = "$1" ]; do
        if [ $SECONDS -ge $deadline ]; then
            echo "window $1 does not take the focus" >&2
            return 1
        fi
        sleep 0.1
        xdotool windowfocus "$1" 2>/dev/null || true
    done
}

x11_strip()
{
    import -window root -crop "$3x$4+$1+$2" -depth 8 txt:- 2>/dev/null \
        | sed -n 's/.*#\([0-9A-Fa-f]\{6\}\).*/\1/p' | tr a-f A-F
}

x11_until()
{
    local deadline=$((SECONDS + $(x11_budget)))
    until "$@"; do
        [ $SECONDS -lt $deadline ] || return 1
        sleep 0.1
    done
}

x11_pixel_is() { [ "$(x11_strip "$1" "$2" 1 1)" = "$3" ]; }
x11_pixel_isnt() { ! x11_pixel_is "$@"; }

x11_wait_pixel()
{
    x11_until x11_pixel_is "$@" && return 0
    echo "pixel $1,$2 is $(x11_strip "$1" "$2" 1 1), not $3" >&2
    return 1
}

x11_origin()
{
    local X Y WIDTH HEIGHT WINDOW SCREEN
    eval "$(xdotool getwindowgeometry --shell "$1")"
    ORIGIN_X=$X
    ORIGIN_Y=$Y
}

x11_click()
{
    local X Y SCREEN WINDOW
    eval "$(xdotool getmouselocation --shell)"
    # mousemove --sync waits for a motion, and there is none when the pointer is already there.
    if [ "$X" != "$1" ] || [ "$Y" != "$2" ]; then
        timeout "$(x11_budget)" xdotool mousemove --sync "$1" "$2"
    fi
    xdotool click --repeat "${3:-1}" --delay 80 1
}

x11_shot()
{
    if [ -n "${2:-}" ]; then
        import -window "$2" "$1"
    else
        import -window root "$1"
    fi
}

x11_steady()
{
    local deadline=$((SECONDS + $(x11_budget))) last="" now
    while :; do
        now=$(import -window "$1" rgb:- 2>/dev/null | md5sum)
        [ "$now" = "$last" ] && return 0
        if [ $SECONDS -ge $deadline ]; then
            echo "window $1 keeps changing" >&2
            return 1
        fi
        last=$now
        sleep 0.2
    done
}

# Sets TREE_Y to the top of the result tree's first row, below the filter and the column
# headers: down the results page, right of the captions, the first white line after a
# run of 10 or more others (the gap, the tree's frame and the headers; the filter's
# frame is thinner). Needs PAGE_X and PAGE_Y (x11_page_origin); clicks into the filter.
x11_tree_rows()
{
    local down
    # The focus goes to the filter first: the tree marks its current row while it has it.
    x11_click $((PAGE_X + 300)) $((PAGE_Y + 8))
    sleep 0.5
    down=$(x11_strip $((PAGE_X + 150)) "$PAGE_Y" 1 200 \
        | awk '$0 == "FFFFFF" { if (run >= 10) { print NR - 1; exit } run = 0; next } { run++ }')
    [ -n "$down" ] || return 1
    TREE_Y=$((PAGE_Y + down))
}

x11_page_origin()
{
    # Menu bar and tab row heights depend on font and style; find the candidate list's
    # frame (page position 5,35), whose inside is the first white along a column clear of
    # the tabs and the buttons, and along a row through the list.
    local ORIGIN_X ORIGIN_Y down across
    x11_origin "$1"
    down=$(x11_strip $((ORIGIN_X + 640)) "$ORIGIN_Y" 1 150 | grep -n -m 1 '^FFFFFF$' | cut -d: -f1)
    [ -n "$down" ] || return 1
    PAGE_Y=$((ORIGIN_Y + down - 1 - 1 - 35))
    across=$(x11_strip "$ORIGIN_X" $((PAGE_Y + 100)) 40 1 | grep -n -m 1 '^FFFFFF$' | cut -d: -f1)
    [ -n "$across" ] || return 1
    PAGE_X=$((ORIGIN_X + across - 1 - 1 - 5))
}
