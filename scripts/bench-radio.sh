#!/usr/bin/env bash
# Measures internet radio beside a local file: from launching `zalvo URL` to the first sound at the
# sound server, and the player's CPU while it plays. The station is the tests' own radio server on the
# loopback (an endless 128 kbit/s 44.1 kHz MP3 with ICY titles, two seconds sent at once and then in
# real time, as Icecast serves a new listener); the file is an MP3 of the same rate and bit rate. The
# sound server is a private PulseAudio with a null sink whose monitor is recorded, so that the first
# sound is the first sample heard there, not a log line. Rounds interleave both cases; medians are
# printed. Targets: first sound from the station within 0.7 s; its CPU at most 1.2 times the file's.
# Usage: scripts/bench-radio.sh [path/to/zalvo]
#   ROUNDS (3) and WINDOW (30 seconds) set the CPU measure; FIRST_SOUND_ROUNDS (5) the other.
set -euo pipefail
. "$(dirname "$0")/window-helpers.sh"

zalvo=$(realpath "${1:-build/ui/zalvo}")
fault_server=$(realpath "$(dirname "$0")/../tests/support/fault_server.py")
rounds=${ROUNDS:-3}
window=${WINDOW:-30}
first_rounds=${FIRST_SOUND_ROUNDS:-5}
if [ ! -x "$zalvo" ]; then
    echo "usage: $0 [path/to/zalvo]" >&2
    exit 2
fi
require_tools bench-radio "scripts/install-deps.sh --test" pulseaudio pactl parec ffmpeg python3

work=$(mktemp -d "${TMPDIR:-/tmp}/zalvo-radio.XXXXXX")
server_pid=""
player_pid=""

cleanup() {
    for pid in "$player_pid" "$server_pid" "${FAULT_PID:-}"; do
        if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; fi
    done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

say() { echo "bench-radio: $*" >&2; }
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Nanoseconds on a CPU so far, over every thread of the process.
cpu_ns() {
    local total=0 task ns rest
    for task in /proc/"$1"/task/*/schedstat; do
        if read -r ns rest <"$task" 2>/dev/null; then total=$((total + ns)); fi
    done
    echo "$total"
}

mkdir -m 700 "$work/home" "$work/runtime"
export PULSE_SERVER="unix:$work/runtime/pulse/native" PULSE_COOKIE="$work/home/.config/pulse/cookie"
HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" pulseaudio -n --daemonize=no --exit-idle-time=-1 \
    --load="module-null-sink sink_name=nullsink" --load=module-native-protocol-unix 2>"$work/server.log" &
server_pid=$!
wait_until 10 pactl info >/dev/null 2>&1 || { say "the private PulseAudio did not start"; exit 1; }

coproc FAULT { exec python3 "$fault_server" 2>"$work/fault.log"; }
read -r -t 20 port <&"${FAULT[0]}" || { say "the radio server did not start: $(cat "$work/fault.log")"; exit 1; }
station="http://127.0.0.1:$port/radio.mp3"
file="$work/tone.mp3"
ffmpeg -v error -f lavfi -i "sine=frequency=440:duration=600:sample_rate=44100" -ac 2 -b:a 128k "$file"

# Each run its own player: no session bus, so that none hands its arguments to another; no window
# system, so that drawing costs nothing in either case.
launch() {
    env -u DBUS_SESSION_BUS_ADDRESS QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$work/config" \
        "$zalvo" "$1" >/dev/null 2>&1 &
    player_pid=$!
}
stop_player() {
    kill "$player_pid" 2>/dev/null || true
    wait "$player_pid" 2>/dev/null || true
    player_pid=""
}

# Seconds from launch to the first sample above silence in the sink's monitor (the same for both cases).
first_sound() {
    env -u DBUS_SESSION_BUS_ADDRESS QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$work/config" \
        python3 "$(dirname "$0")/first-sound.py" "$zalvo" "$1"
}

# % of one core over the window, from a few seconds in, once the start is behind it.
cpu_while_playing() {
    local before after
    launch "$1"
    sleep 5
    before=$(cpu_ns "$player_pid")
    sleep "$window"
    after=$(cpu_ns "$player_pid")
    stop_player
    awk -v used=$((after - before)) -v wall="$window" 'BEGIN { printf "%.2f", used / wall / 1e7 }'
}

stream_first=() file_first=() stream_cpu=() file_cpu=()
for ((round = 1; round <= first_rounds; round++)); do
    stream_first+=("$(first_sound "$station")")
    file_first+=("$(first_sound "$file")")
done
for ((round = 1; round <= rounds; round++)); do
    stream_cpu+=("$(cpu_while_playing "$station")")
    file_cpu+=("$(cpu_while_playing "$file")")
    say "round $round: CPU station ${stream_cpu[-1]} %, file ${file_cpu[-1]} %"
done

stream_first_median=$(median "${stream_first[@]}")
file_first_median=$(median "${file_first[@]}")
stream_cpu_median=$(median "${stream_cpu[@]}")
file_cpu_median=$(median "${file_cpu[@]}")
echo "first sound, station: $stream_first_median s (runs: ${stream_first[*]})"
echo "first sound, file:    $file_first_median s (runs: ${file_first[*]})"
echo "CPU, station: $stream_cpu_median % of a core (runs: ${stream_cpu[*]})"
echo "CPU, file:    $file_cpu_median % of a core (runs: ${file_cpu[*]})"
awk -v s="$stream_cpu_median" -v f="$file_cpu_median" 'BEGIN { printf "CPU ratio, station / file: %.2f\n", s / f }'
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
