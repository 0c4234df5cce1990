#!/bin/sh
# The Windows build, cross-built with mingw-w64 and tested under wine:
#   1. the unit test programs, through ctest (wine is the cross build's emulator);
#   2. the program itself: its console answers and exit statuses, its data folder beside it in a
#      folder with spaces and Latin-1 letters, or given with --data in a folder named in Greek
#      and Japanese, output paths with a drive letter, frames written twice into one folder, the
#      capture path with stand-in encoders, Ctrl+C during both, the show without a display and
#      without a sound device, and every frame at 60 and 24 fps against the native reference
#      (tests/reference.sh);
#   3. the show's window under Xvfb (tests/windows/window-test.sh).
#   sh tests/windows/run.sh            everything
#   sh tests/windows/run.sh --quick    without the two whole-show checksum runs
set -eu
cd "$(dirname "$0")/../.."
root=$(pwd)
quick=no
[ "${1:-}" = --quick ] && quick=yes
jobs=$(nproc 2>/dev/null || echo 2)

# Not piped: a failed library build must stop here.
prefix=$(sh deps/build.sh windows-x64)
prefix=$(printf '%s\n' "$prefix" | tail -n 1)
tree=build/windows-cmake
cmake -S . -B "$tree" -DCMAKE_TOOLCHAIN_FILE=cmake/windows-x64.cmake \
    -DBRINDLEHOP_DEPS_PREFIX="$prefix" >/dev/null
cmake --build "$tree" -j "$jobs"

echo "== Windows build: unit tests under wine =="
(cd "$tree" && ctest -j "$jobs" --output-on-failure)

echo "== Windows build: the program under wine =="
# A prefix of its own, made by the ctest run above; no dialog may wait for an answer.
export WINEPREFIX="$root/$tree/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
export SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
winpath() {
    wine winepath -w "$1" 2>/dev/null | tr -d '\r'
}
# expect STATUS NAME COMMAND...: runs the command, its output in $work/out and $work/err.
expect() {
    want=$1 name=$2
    shift 2
    status=0
    "$@" >"$work/out" 2>"$work/err" || status=$?
    if [ "$status" -ne "$want" ]; then
        fail "$name: exit status $status, expected $want"
        sed 's/^/    /' "$work/err" >&2
    else
        echo "ok: $name"
    fi
}
contains() {
    grep -q "$2" "$work/$1" || fail "'$2' not in the $1 of the last run"
}

sh tests/reference.sh
reference=build/reference

# The installed layout: the program with data/ beside it, in a folder with a space and non-ASCII
# letters, started from another folder.
home="$work/Brindlehop på Windows é"
mkdir -p "$home" "$work/elsewhere"
cp "$root/$tree/brindlehop.exe" "$root/$tree/brindlehop.com" "$home/"
cp -r "$root/data" "$home/data"
com="$home/brindlehop.com"
cd "$work/elsewhere"

expect 0 "--version" wine "$com" --version
contains out "^brindlehop [0-9]"
expect 0 "--help" wine "$com" --help
contains out "^Usage: brindlehop"
expect 2 "an unknown option" wine "$com" --no-such-option
contains err "unknown option --no-such-option"
expect 0 "the windowed program answers a console too" wine "$home/brindlehop.exe" --version
contains out "^brindlehop [0-9]"

# The data beside the program, its title cards spelt in UTF-8.
expect 0 "data beside the program (UTF-8 names)" wine "$com" --headless --checksums --until 2
first_frames() {
    grep '^frame' "$root/$reference/checksums-60.txt" | head -n 120 >"$work/expected"
    grep '^frame' "$work/out" | cmp -s "$work/expected" - || fail "$1"
}
first_frames "the first two seconds differ from the reference"

# A data folder named with letters beyond Latin-1 (no Windows code page but UTF-8 holds both
# scripts), given with --data: the wide-character calls reach it where the code page could not.
wide="$work/Ωμέγα データ"
mkdir -p "$wide"
cp -r "$root/data" "$wide/data"
expect 0 "a data folder named beyond Latin-1 (--data)" wine "$com" --data "$(winpath "$wide")" \
    --headless --checksums --until 2
first_frames "the first two seconds from the folder named beyond Latin-1 differ from the reference"

# A broken data folder: the same message and status as on Linux.
broken="$work/broken"
mkdir -p "$broken"
cp -r "$root/data" "$broken/data"
rm "$broken/data/tex.jpg"
expect 2 "a broken data folder" wine "$com" --data "$(winpath "$broken")" --headless --until 1
contains err "data is not usable"

# Frames into a folder named with a drive letter, twice: the second run replaces the pictures.
frames="$work/frames å"
for run in first second; do
    expect 0 "--frames with a drive letter ($run run)" wine "$com" --headless \
        --frames "$(winpath "$frames")" --until 0.1
done
[ -f "$frames/frame_000005.png" ] || fail "no frame_000005.png in $frames"
ls "$frames" | grep -q partial && fail "a .partial file was left in $frames"

# Capture with stand-in encoders found on the PATH.
fakes="$work/fake encoders"
mkdir -p "$fakes"
cp "$root/$tree/fake_encoder.exe" "$fakes/ffmpeg.exe"
export WINEPATH="$(winpath "$fakes")"
video="$work/show.mkv"
BRINDLEHOP_FAKE_ENCODER=read expect 0 "capture into an encoder that reads" \
    wine "$com" --capture "$(winpath "$video")" --until 1
grep -q "^47185920 bytes" "$video" 2>/dev/null ||
    fail "the encoder did not get 60 whole frames: $(cat "$video" 2>/dev/null)"
echo "the old video" >"$video"
BRINDLEHOP_FAKE_ENCODER=die expect 4 "capture into an encoder that dies" \
    wine "$com" --capture "$(winpath "$video")" --until 1
contains err "ffmpeg stopped taking frames"
grep -q "^the old video" "$video" || fail "a failed capture changed the video already there"
BRINDLEHOP_FAKE_ENCODER=stall expect 4 "capture into an encoder that stops reading" \
    wine "$com" --capture "$(winpath "$video")" --until 1
contains err "took no frame data"
unset WINEPATH
expect 5 "capture without an encoder" wine "$com" --capture "$(winpath "$video")" --until 1
contains err "ffmpeg.exe"
grep -q "apt-get" "$work/err" && fail "the missing encoder's hint names apt-get on Windows"

# Ctrl+C during a run: wine turns the SIGINT of a terminal's Ctrl+C into the console's Ctrl+C
# event, which reaches the program's control handler. The run ends after a whole frame with
# the status and message of Linux, and leaves no partial file.
# interrupt_when TEST COMMAND...: starts the command, sends SIGINT once TEST succeeds.
interrupt_when() {
    until_test=$1
    shift
    "$@" >"$work/out" 2>"$work/err" &
    running=$!
    tries=0
    until sh -c "$until_test" || [ "$tries" -ge 600 ]; do
        sleep 0.1
        tries=$((tries + 1))
    done
    kill -INT "$running" 2>/dev/null || true
    # Whatever does not end within a minute is ended (and its status is then 137).
    tries=0
    while [ "$(cut -d ' ' -f 3 "/proc/$running/stat" 2>/dev/null)" != Z ] &&
        [ "$tries" -lt 600 ]; do
        [ -e "/proc/$running" ] || break
        sleep 0.1
        tries=$((tries + 1))
    done
    kill -KILL "$running" 2>/dev/null || true
    status=0
    wait "$running" || status=$?
}
stopped="$work/stopped"
mkdir -p "$stopped"
interrupt_when "[ -f '$stopped/frame_000010.png' ]" \
    wine "$com" --headless --frames "$(winpath "$stopped")"
[ "$status" -eq 130 ] && echo "ok: Ctrl+C during --frames" ||
    fail "Ctrl+C during --frames: exit status $status, expected 130"
contains err "stopped by signal 2 after"
[ "$(ls "$stopped" | grep -c '^frame_[0-9]*\.png$')" -eq "$(grep -c '^frame' "$work/out")" ] ||
    fail "Ctrl+C during --frames: the pictures and the checksum lines disagree"
ls "$stopped" | grep -qv '^frame_[0-9]*\.png$' &&
    fail "Ctrl+C during --frames left $(ls "$stopped")"
export WINEPATH="$(winpath "$fakes")"
rm -f "$video"
# The progress line, written every few seconds, says frames are flowing.
BRINDLEHOP_FAKE_ENCODER=read interrupt_when "grep -q '^capture [1-9]' '$work/err'" \
    wine "$com" --capture "$(winpath "$video")"
unset WINEPATH
[ "$status" -eq 130 ] && echo "ok: Ctrl+C during --capture" ||
    fail "Ctrl+C during --capture: exit status $status, expected 130"
contains err "stopped by signal 2 after [1-9]"
contains err "removed the unfinished video"
ls "$work" | grep -q '^show\.mkv' && fail "Ctrl+C during --capture left $(ls "$work" | grep show)"

# Without a screen the show says so, with the status of Linux; with a screen that no person can
# see (SDL's dummy video) and no sound device (wine's audio drivers left out), the sound's
# messages go to stderr alone, no box waits for an answer, and the show runs on the silent
# clock (stopped here by Ctrl+C, which the show on the screen leaves to the system).
expect 3 "the show without a display" env -u SDL_VIDEODRIVER wine "$com" --window
contains err "cannot open the display"
no_sound_device="winealsa.drv,winepulse.drv,wineoss.drv=d"
interrupt_when "tr -d '\r' <'$work/out' | grep -q '^frame [0-9]* t [1-9]'" \
    env -u SDL_AUDIODRIVER WINEDLLOVERRIDES="$WINEDLLOVERRIDES;$no_sound_device" \
    wine "$com" --window --checksums
contains err "No Init"
contains err "Can.t play file"
grep -q "^frame [0-9]* t [1-9]" "$work/out" && echo "ok: no sound device: the silent clock runs" ||
    fail "no sound device: the show did not reach 1 s of its silent clock (exit status $status)"

if [ "$quick" = no ]; then
    for fps in 60 24; do
        expect 0 "every frame at $fps fps" wine "$com" --headless --checksums --fps "$fps"
        cmp -s "$root/$reference/checksums-$fps.txt" "$work/out" || {
            fail "the checksums at $fps fps differ from the reference:"
            diff "$root/$reference/checksums-$fps.txt" "$work/out" | head -n 5 >&2
        }
    done
fi

cd "$root"
sh tests/windows/window-test.sh "$tree" || fail "the show's window under Xvfb"
if [ "$failures" -ne 0 ]; then
    echo "$failures Windows program checks failed" >&2
    exit 1
fi
echo "Windows program checks passed"
