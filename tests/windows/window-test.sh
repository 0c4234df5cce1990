#!/bin/sh
# The Windows program's window under wine and Xvfb, in a wine prefix and an X server of its own:
#   1. the show opens its window and shows its frames: the program, asked for a checksum line
#      per frame shown (--checksums), is stopped while a screenshot is taken; the screenshot
#      equals, pixel for pixel, the headless frame at the music position of one of the last
#      frames it reported, enlarged and centred as the window shows it. Escape ends it, status 0;
#   2. with no sound device (wine's audio drivers left out) the "No Init" and "Can`t play file"
#      boxes appear one after the other, owned by the show's window; the test answers them
#      through X and the show then runs on the silent clock until Escape ends it with status 0.
#   sh tests/windows/window-test.sh [TREE]     TREE holds the cross-built programs
#                                              (build/windows-cmake)
set -eu
cd "$(dirname "$0")/../.."
root=$(pwd)
tree=$root/${1:-build/windows-cmake}
for tool in wine Xvfb xdotool xprop ffmpeg; do
    command -v "$tool" >/dev/null || {
        echo "window-test: $tool is not installed; the window checks are skipped" >&2
        exit 0
    }
done

prefix=$(mktemp -d)
work=$(mktemp -d)
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset SDL_VIDEODRIVER SDL_AUDIODRIVER WAYLAND_DISPLAY
show=""
xserver=""
cleanup() {
    [ -n "$show" ] && kill -KILL "$show" 2>/dev/null
    wineserver -k 2>/dev/null
    [ -n "$xserver" ] && kill "$xserver" 2>/dev/null
    rm -rf "$prefix" "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# wait_for SECONDS COMMAND...: true once the command succeeds, false when the time is up.
wait_for() {
    tries=$(($1 * 5))
    shift
    until "$@"; do
        tries=$((tries - 1))
        [ "$tries" -gt 0 ] || return 1
        sleep 0.2
    done
}
running() {
    state=$(cut -d ' ' -f 3 "/proc/$show/stat" 2>/dev/null) || return 1
    [ "$state" != Z ]
}
# A frame line at or after $1 seconds of show in the program's output.
shown_from() {
    [ -f "$work/live" ] && tr -d '\r' <"$work/live" |
        awk -v t="$1" '$1 == "frame" && $4 + 0 >= t { found = 1 } END { exit !found }'
}
window_named() {
    xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1
}
window_up() {
    [ -n "$(window_named "$1")" ]
}
window_gone() {
    ! xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | grep -qx "$2"
}
# start_show [VARIABLE=VALUE...]: the windowed program in the background, a line per frame shown.
start_show() {
    (cd "$work" && exec env "$@" wine "$tree/brindlehop.exe" --window --checksums \
        >"$work/live" 2>"$work/err") &
    show=$!
}
# Escape, again until the show has ended (a key pressed while the window is being mapped can
# be lost); fails unless it ends within a minute with status 0.
escape_ends_show() {
    tries=0
    while running && [ "$tries" -lt 120 ]; do
        xdotool search --onlyvisible --name '^Brindlehop$' windowfocus --sync key Escape \
            >/dev/null 2>&1 || true
        sleep 0.5
        tries=$((tries + 1))
    done
    running && kill -KILL "$show"
    status=0
    wait "$show" || status=$?
    show=""
    [ "$status" -eq 0 ] && echo "ok: $1: Escape ends the show with status 0" ||
        { fail "$1: Escape gave exit status $status"; sed 's/^/    /' "$work/err" >&2; }
}

started=$(date +%s)
wineboot -i >/dev/null 2>&1
wineserver -w
# -noreset: a client connecting while the last one leaves would be refused during the reset.
Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1280x1024x24 3>"$work/display" 2>/dev/null &
xserver=$!
wait_for 30 grep -qs . "$work/display" || { echo "window-test: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n 1 "$work/display")"
echo "== the window under wine and Xvfb (prefix ready in $(($(date +%s) - started)) s)"

# 1. A frame on the screen. Past the fade-in, the show's own pictures.
start_show SDL_AUDIODRIVER=dummy
if wait_for 240 shown_from 4.5; then
    window=$(window_named Brindlehop)
    X=0 Y=0 WIDTH=0 HEIGHT=0
    [ -n "$window" ] && eval "$(xdotool getwindowgeometry --shell "$window")"
    # The frame enlarged by the largest whole factor that fits, centred.
    factor=$((WIDTH / 512 < HEIGHT / 384 ? WIDTH / 512 : HEIGHT / 384))
    [ "$factor" -ge 1 ] || factor=1
    left=$((X + (WIDTH - 512 * factor) / 2))
    top=$((Y + (HEIGHT - 384 * factor) / 2))
    # Stopped, the program presents nothing more while the screen is read; the frame on it is
    # one of the last it reported (presenting lags the report by a frame or so).
    kill -STOP "$show"
    sleep 1
    tr -d '\r' <"$work/live" | grep '^frame' | tail -n 3 >"$work/last"
    ffmpeg -nostdin -y -loglevel error -f x11grab \
        -video_size "$((512 * factor))x$((384 * factor))" -i "$DISPLAY+$left,$top" \
        -frames:v 1 -f rawvideo -pix_fmt rgb24 "$work/screen.rgb"
    kill -CONT "$show"
    # The live clock stops at any sample of the music; a headless run at F frames per second
    # shows sample K × 44100 / F at frame K, so the run with the fewest frames that lands on
    # the sample draws that moment.
    matched=""
    for line in 2 3 1; do
        set -- $(sed -n "${line}p" "$work/last")
        [ $# -eq 8 ] || continue
        t=$4 crc=$8
        set -- $(echo "$t" | awk '{
            sample = int($1 * 44100 + 0.5)
            for (fps = 1; fps <= 1000; fps++) {
                frame = int((sample * fps + 44099) / 44100)
                if (int(frame * 44100 / fps) != sample) continue
                printf "%d %d %.9f\n", fps, frame, frame / fps
                exit
            }
        }')
        [ $# -eq 3 ] || continue
        frames="$work/frames-$line"
        mkdir -p "$frames"
        (cd "$work" && wine "$tree/brindlehop.com" --headless --fps "$1" --at "$3" \
            --frames "$(wine winepath -w "$frames" 2>/dev/null | tr -d '\r')" 2>/dev/null) |
            tr -d '\r' >"$work/headless"
        # The show's frame of that moment is the headless one, to the checksum.
        grep -q "^frame $2 t $t scene [0-9] crc32 $crc\$" "$work/headless" ||
            fail "the frame shown at $t s is not the headless frame there: $(cat "$work/headless")"
        ffmpeg -nostdin -y -loglevel error -i "$(printf '%s/frame_%06d.png' "$frames" "$2")" \
            -vf "scale=iw*$factor:ih*$factor:flags=neighbor" -f rawvideo -pix_fmt rgb24 \
            "$work/expected.rgb"
        if cmp -s "$work/expected.rgb" "$work/screen.rgb"; then
            matched=$t
            break
        fi
    done
    [ -n "$matched" ] && echo "ok: the window shows the frame of $matched s, every pixel" ||
        fail "the screenshot is none of the frames shown last: $(cat "$work/last")"
else
    fail "the show did not reach 4.5 s in its window: $(tail -n 3 "$work/err")"
fi
escape_ends_show "the show with sound"

# 2. No sound device: each failure box in turn, answered with Return.
start_show "WINEDLLOVERRIDES=$WINEDLLOVERRIDES;winealsa.drv,winepulse.drv,wineoss.drv=d"
for text in "No Init" "Can.t play file"; do
    if ! wait_for 120 window_up Error; then
        fail "no box for \"$text\": $(tail -n 3 "$work/err")"
        break
    fi
    box=$(window_named Error)
    window=$(window_named Brindlehop)
    grep -q "^$text" "$work/err" || fail "the box came without \"$text\" on stderr"
    owner=$(xprop -id "$box" WM_TRANSIENT_FOR | sed -n 's/.*# //p')
    [ -n "$window" ] && [ "$owner" = "$(printf '0x%x' "$window")" ] ||
        fail "the \"$text\" box is not owned by the show's window ($owner)"
    xdotool windowfocus --sync "$box" key Return >/dev/null 2>&1 || true
    wait_for 30 window_gone Error "$box" || fail "Return did not close the \"$text\" box"
done
wait_for 120 shown_from 1 &&
    echo "ok: no sound device: two boxes answered, the silent clock runs" ||
    fail "no sound device: the silent clock did not reach 1 s: $(tail -n 3 "$work/err")"
escape_ends_show "the show without sound"

if [ "$failures" -ne 0 ]; then
    echo "$failures window checks failed" >&2
    exit 1
fi
echo "Window checks passed"
