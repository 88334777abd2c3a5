# Helpers for the scripts that drive the player's real window under Xvfb; sourced, not run.

# Runs a command until it succeeds, for at most $1 seconds.
wait_until() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        if [ "$SECONDS" -ge "$deadline" ]; then
            return 1
        fi
        sleep 0.05
    done
}

# Clicks window $1 at client pixel ($2, $3). Without a window manager there is no frame: the window's
# position is its client area's. The pointer comes from a pixel away, since a move to where it already
# stands reaches no window.
click_at() {
    local geometry x y
    geometry=$(xdotool getwindowgeometry --shell "$1")
    x=$(sed -n 's/^X=//p' <<<"$geometry")
    y=$(sed -n 's/^Y=//p' <<<"$geometry")
    xdotool mousemove --sync $((x + $2)) $((y + $3 + 1)) mousemove --sync $((x + $2)) $((y + $3)) click 1
}

# Exits with a message naming the first of the given commands that is missing. $1 is the caller's
# name, $2 the install command that brings them.
require_tools() {
    local caller=$1 installer=$2 tool
    shift 2
    for tool in "$@"; do
        if ! command -v "$tool" >/dev/null; then
            echo "$caller: $tool is missing ($installer installs it)" >&2
            exit 1
        fi
    done
}

# The player named by a script's only argument, as an absolute path; exits with the usage otherwise.
# Usage: zalvo=$(player_argument "$0" "$@")
player_argument() {
    local script=$1
    shift
    if [ $# -ne 1 ] || [ ! -x "$1" ]; then
        echo "usage: $script path/to/zalvo" >&2
        exit 2
    fi
    realpath "$1"
}

# Starts a private X server, logging to $1/xvfb.log, and exports its DISPLAY; its process is left in
# $xvfb_pid. Without -noreset it would restart whenever its last client leaves.
start_xvfb() {
    Xvfb -displayfd 3 -noreset -screen 0 1280x1024x24 -nolisten tcp 3>"$1/display" 2>"$1/xvfb.log" &
    xvfb_pid=$!
    wait_until 20 test -s "$1/display" || return 1
    DISPLAY=":$(head -n 1 "$1/display")"
    export DISPLAY
}

# Writes 16-bit mono WAV sines of $1 seconds at amplitude $2 (of full scale), one per FREQUENCY:PATH.
write_tones() {
    python3 - "$@" <<'PY'
import math, struct, sys, wave

seconds, amplitude = float(sys.argv[1]), float(sys.argv[2])
for tone in sys.argv[3:]:
    frequency, path = tone.split(":", 1)
    with wave.open(path, "wb") as track:
        track.setnchannels(1)
        track.setsampwidth(2)
        track.setframerate(44100)
        track.writeframes(b"".join(
            struct.pack("<h", round(amplitude * 32767 * math.sin(2 * math.pi * float(frequency) * i / 44100)))
            for i in range(int(seconds * 44100))))
PY
}

# Starts a private PulseAudio with a null sink named nullsink, its files under $1, logging to
# $1/server.log, and exports where its clients find it; its process is left in $server_pid.
start_private_pulse() {
    mkdir -p -m 700 "$1/home" "$1/runtime"
    export PULSE_SERVER="unix:$1/runtime/pulse/native" PULSE_COOKIE="$1/home/.config/pulse/cookie"
    HOME="$1/home" XDG_RUNTIME_DIR="$1/runtime" pulseaudio -n --daemonize=no --exit-idle-time=-1 \
        --load="module-null-sink sink_name=nullsink" --load=module-native-protocol-unix 2>"$1/server.log" &
    server_pid=$!
    wait_until 10 pactl info >/dev/null 2>&1
}
