#!/usr/bin/env bash
# Uses the player as a person would, on a private X server and a private session bus with its sound
# captured to a file: adds two tracks through the real file dialog, plays, skips to the next track, turns
# the volume down, saves the playlist from the manager, then pauses, resumes and reads the track through
# playerctl, hands a third track over by launching the player again with it, skips to it through playerctl
# and quits. Then checks the saved playlist and what came out of the speakers.
# Usage: scripts/smoke.sh path/to/zalvo      (SMOKE_KEEP=1 keeps the work directory to look at afterwards)
set -euo pipefail
. "$(dirname "$0")/window-helpers.sh"

zalvo=$(player_argument "$0" "$@")
# Media keys and the desktop's media controls reach the player over the session bus: give it one of its own.
if [ -z "${ZALVO_SMOKE_BUS:-}" ] && command -v dbus-run-session >/dev/null; then
    exec env ZALVO_SMOKE_BUS=1 dbus-run-session -- "$0" "$@"
fi
require_tools smoke "scripts/install-deps.sh --test" Xvfb xdotool python3 dbus-run-session playerctl

work=$(mktemp -d "${TMPDIR:-/tmp}/zalvo-smoke.XXXXXX")
xvfb_pid=""
player_pid=""

cleanup() {
    if [ -n "$player_pid" ]; then kill "$player_pid" 2>/dev/null || true; fi
    if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
    wait 2>/dev/null || true
    if [ "${SMOKE_KEEP:-0}" = 1 ]; then
        echo "smoke: kept $work"
    else
        rm -rf "$work"
    fi
}
trap cleanup EXIT

step() { echo "smoke: $*"; }

fail() {
    echo "smoke: FAILED: $*" >&2
    if [ -n "$xvfb_pid" ] && command -v import >/dev/null; then
        import -window root "$work/failure.png" 2>/dev/null &&
            echo "smoke: the screen at that moment is $work/failure.png (run with SMOKE_KEEP=1 to keep it)" >&2
    fi
    if [ -s "$work/player.log" ]; then
        sed 's/^/smoke: player: /' "$work/player.log" >&2
    fi
    exit 1
}

# The player is this script's child: once it ends it stays a zombie until waited for.
player_gone() {
    local state
    state=$(ps -o stat= -p "$player_pid" 2>/dev/null) || return 0
    [[ $state == Z* ]]
}

visible_windows() { xdotool search --onlyvisible --pid "$player_pid" 2>/dev/null || true; }

window_named() { xdotool search --all --onlyvisible --pid "$player_pid" --name "^$1\$" 2>/dev/null | head -n 1; }

window_shown() { [ -n "$(window_named "$1")" ]; }

window_gone() { ! visible_windows | grep -qx "$1"; }

# Prints the id of a visible window of the player that is not a known one: a dialog, or a popup such as
# the file name completer, which takes every click while it is open.
KNOWN_WINDOWS=()
other_window() {
    local window
    for window in $(visible_windows); do
        case " ${KNOWN_WINDOWS[*]} " in
        *" $window "*) ;;
        *)
            echo "$window"
            return 0
            ;;
        esac
    done
    return 1
}

only_known_windows() { ! other_window >/dev/null; }

# The centres of the ring's action rectangles, and of the buttons, in client pixels.
click_action() {
    case $1 in
    PLAY_PAUSE) click_at "$main" 335 395 ;;
    NEXT) click_at "$main" 425 250 ;;
    VOLUME_DOWN) click_at "$main" 250 425 ;;
    ADD_MUSIC) click_at "$main" 97 165 ;;
    MANAGE_PLAYLIST) click_at "$main" 400 167 ;;
    QUIT) click_at "$main" 37 486 ;;
    esac
}

# Clicks (runs "$@") until a window of the player other than the known ones shows, and prints its id. A
# second try covers a click lost while a window was still settling.
open_window() {
    local attempt window
    for attempt in 1 2 3; do
        "$@"
        if wait_until 5 other_window >/dev/null; then
            sleep 0.2 # settle: the window maps before it has drawn and taken the keyboard focus
            window=$(other_window) && echo "$window" && return 0
        fi
        echo "smoke: nothing opened after \"$*\" (try $attempt)" >&2
    done
    return 1
}

# Types a full path into a file dialog and confirms it. There is no window manager to hand the dialog
# the keyboard, so it is given the focus first, again on each new try.
answer_file_dialog() {
    local dialog=$1 path=$2 attempt
    for attempt in 1 2 3; do
        xdotool windowfocus --sync "$dialog" 2>/dev/null || true
        xdotool key ctrl+a
        xdotool type --delay 10 "$path"
        xdotool key Return
        if wait_until 5 window_gone "$dialog"; then
            wait_until 5 only_known_windows || fail "a window of the player stayed open after its file dialog"
            return 0
        fi
        step "the file dialog is still open after typing (try $attempt), typing again"
    done
    fail "the file dialog did not take $path"
}

step "starting a private X server"
start_xvfb "$work" || fail "Xvfb did not start: $(cat "$work/xvfb.log")"

step "making three tracks: 440 Hz, then 880 Hz twice"
first="$work/first 440.wav"
second="$work/second 880.wav"
third="$work/third 880.wav"
write_tones 10 0.8 "440:$first" "880:$second" "880:$third"

# The wave backend writes the mixed output to a file, in real time, instead of a sound card.
cat >"$work/openal.conf" <<EOF
[general]
drivers=wave
[wave]
file=$work/out.wav
EOF
mkdir -m 700 "$work/runtime"

step "starting the player on $DISPLAY"
env -u ALSOFT_DRIVERS ALSOFT_CONF="$work/openal.conf" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work/runtime" \
    "$zalvo" >"$work/player.log" 2>&1 &
player_pid=$!
wait_until 30 window_shown Zalvo || fail "the window \"Zalvo\" did not show"
main=$(window_named Zalvo)
KNOWN_WINDOWS=("$main")
sleep 0.5 # settle: let the new window finish mapping and drawing before the first click

# Each is loaded when first needed: decoding, the sound server, tags, rate conversion, OpenAL Soft, covers.
for library in libsndfile libpulse.so libtag libsoxr libopenal /imageformats/; do
    if grep -q "$library" "/proc/$player_pid/maps"; then fail "a start that plays nothing maps $library"; fi
done

step "adding both tracks through the file dialog"
for track in "$first" "$second"; do
    dialog=$(open_window click_action ADD_MUSIC) || fail "no file dialog opened to add a track"
    answer_file_dialog "$dialog" "$track"
done

step "playing, next, volume down three times"
click_action PLAY_PAUSE
sleep 1 # listening to the first track
click_action NEXT
sleep 1 # the second track at full volume
for _ in 1 2 3; do
    click_action VOLUME_DOWN
done
sleep 1 # the second track, quieter

step "saving the playlist from the manager"
manager=$(open_window click_action MANAGE_PLAYLIST) || fail "the playlist manager did not open"
[ "$(xdotool getwindowname "$manager")" = "Liste de lecture - Zalvo" ] ||
    fail "expected the playlist manager, \"$(xdotool getwindowname "$manager")\" opened"
KNOWN_WINDOWS+=("$manager")
# The manager's buttons are 75 by 23 pixels: "Sauvegarder" at (447, 205), "OK" at (447, 289).
dialog=$(open_window click_at "$manager" 484 216) || fail "\"Sauvegarder\" opened no file dialog"
playlist="$work/saved playlist"
answer_file_dialog "$dialog" "$playlist"
click_at "$manager" 484 300
wait_until 10 window_gone "$manager" || fail "the playlist manager did not close"

mpris() { playerctl -p zalvo "$@" 2>&1; }
expect_mpris() {
    local expected=$1 got
    shift
    got=$(mpris "$@") || true
    [ "$got" = "$expected" ] || fail "playerctl $* answered \"$got\", expected \"$expected\""
    step "playerctl $*: $got"
}

step "driving the player through MPRIS"
expect_mpris Playing status
expect_mpris "second 880.wav" metadata title
mpris play-pause >/dev/null
expect_mpris Paused status
sleep 0.3 # a pause the sound check must not mind
mpris play-pause >/dev/null
expect_mpris Playing status

step "launching the player again with the third track"
env -u ALSOFT_DRIVERS ALSOFT_CONF="$work/openal.conf" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work/runtime" \
    timeout 10 "$zalvo" "$third" >>"$work/player.log" 2>&1 || fail "the second launch did not end at once with status 0"
[ "$(visible_windows | wc -l)" -eq 1 ] || fail "the second launch left a window"
sleep 1 # the running player adds the handed-over track
mpris next >/dev/null
expect_mpris "third 880.wav" metadata title
expect_mpris "file://${third// /%20}" metadata xesam:url
sleep 1 # the third track, at the lowered volume

step "quitting"
click_action QUIT
wait_until 30 player_gone || fail "the player did not quit"
status=0
wait "$player_pid" || status=$?
player_pid=""
[ "$status" -eq 0 ] || fail "the player ended with status $status"

step "checking the saved playlist and the sound"
python3 - "$playlist" "$work/out.wav" "$first" "$second" <<'EOF' || fail "see above"
import math, statistics, struct, sys

playlist_path, sound_path, *tracks = sys.argv[1:]


def fail(message):
    print(f"smoke: {message}", file=sys.stderr)
    sys.exit(1)


def read_playlist(path):
    try:
        data = open(path, "rb").read()
    except OSError as error:
        fail(f"no saved playlist: {error}")
    count, pos, paths = struct.unpack_from("<I", data)[0], 4, []
    for _ in range(count):
        if data[pos:pos + 3] != b"\xff\xfe\xff":
            fail(f"playlist entry at byte {pos} is not a wide string")
        pos += 3
        length = data[pos]
        pos += 1
        if length == 0xFF:
            length = struct.unpack_from("<H", data, pos)[0]
            pos += 2
        paths.append(data[pos:pos + 2 * length].decode("utf-16-le"))
        pos += 2 * length
    if pos != len(data):
        fail(f"playlist has {len(data) - pos} bytes after its {count} entries")
    return paths


def read_sound(path):
    data = open(path, "rb").read()
    if data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        fail(f"{path} is not a WAVE file")
    pos, fmt = 12, None
    while pos + 8 <= len(data):
        kind, size = data[pos:pos + 4], struct.unpack_from("<I", data, pos + 4)[0]
        body = pos + 8
        if kind == b"fmt ":
            tag, channels, rate = struct.unpack_from("<HHI", data, body)
            bits = struct.unpack_from("<H", data, body + 14)[0]
            if tag == 0xFFFE:
                tag = struct.unpack_from("<H", data, body + 24)[0]
            fmt = (tag, channels, rate, bits)
        elif kind == b"data":
            # The sizes are filled in only when the device closes: a zero means "up to the end".
            end = len(data) if size == 0 or body + size > len(data) else body + size
            if fmt is None or fmt[0] != 3 or fmt[3] != 32:
                fail(f"unexpected sound format {fmt}")
            channels = fmt[1]
            count = (end - body) // (4 * channels) * channels
            values = struct.unpack_from(f"<{count}f", data, body)
            mono = [sum(values[i:i + channels]) / channels for i in range(0, count, channels)]
            return mono, fmt[2]
        pos = body + size + (size & 1)
    fail(f"{path} holds no sound")


def amplitude(window, frequency, rate):
    coefficient = 2 * math.cos(2 * math.pi * frequency / rate)
    s1 = s2 = 0.0
    for sample in window:
        s1, s2 = sample + coefficient * s1 - s2, s1
    return 2 * math.sqrt(max(s1 * s1 + s2 * s2 - coefficient * s1 * s2, 0.0)) / len(window)


saved = read_playlist(playlist_path)
if saved != tracks:
    fail(f"the saved playlist holds {saved}, expected {tracks}")
print(f"smoke: the saved playlist holds both tracks in order: {saved}")

sound, rate = read_sound(sound_path)
size = rate // 20  # 50 ms: a whole number of periods of both tones
windows = []
for start in range(0, len(sound) - size + 1, size):
    window = sound[start:start + size]
    peak = max(map(abs, window))
    low = high = 0.0
    if peak > 0.02:
        low, high = amplitude(window, 440, rate), amplitude(window, 880, rate)
    tone = 440 if low > 0.05 and low > 4 * high else 880 if high > 0.05 and high > 4 * low else None
    windows.append((tone, max(low, high), peak))

runs = []
for index, (tone, _, _) in enumerate(windows):
    if runs and runs[-1][0] == tone:
        runs[-1][2] = index + 1
    else:
        runs.append([tone, index, index + 1])
# Tones only, at least 150 ms long: the switch between tracks leaves a mixed window or two.
heard = [run for run in runs if run[0] is not None and run[2] - run[1] >= 3]
merged = []
for run in heard:
    if merged and merged[-1][0] == run[0]:
        merged[-1][2] = run[2]
    else:
        merged.append(run)
if [run[0] for run in merged] != [440, 880]:
    fail(f"expected to hear 440 Hz then 880 Hz, heard {[(r[0], round((r[2] - r[1]) / 20, 2)) for r in merged]}")

(_, low_start, low_end), (_, high_start, high_end) = merged
low_peak = max(peak for _, _, peak in windows[low_start + 1:low_end - 1])
high = windows[high_start + 1:high_end - 1]
before, after = high[:4], high[-4:]
level_before = statistics.median(level for _, level, _ in before)
level_after = statistics.median(level for _, level, _ in after)
peak_before = max(peak for _, _, peak in before)
peak_after = max(peak for _, _, peak in after)
print(f"smoke: heard 440 Hz for {(low_end - low_start) / 20:.2f} s at peak {low_peak:.2f}, "
      f"then 880 Hz for {(high_end - high_start) / 20:.2f} s at peak {peak_before:.2f}, "
      f"{peak_after:.2f} after volume down (level x{level_after / level_before:.2f})")
if not level_after < 0.85 * level_before:
    fail("the second track did not get quieter after volume down")
EOF

step "passed"
