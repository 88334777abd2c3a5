#!/usr/bin/env bash
# Measures what playing costs: the player's CPU and the sound server's, in % of one core, while the
# player plays a 3-minute FLAC, Ogg Vorbis, MP3 and AAC (M4A, through the FFmpeg module) file into a
# silent sink with its window idle, beside
# pacat playing the same PCM, and beside the same player made to go through OpenAL Soft (its fallback
# when no server answers, and its only output before). Rounds interleave every case; medians are
# printed. Then it times how soon the player's stream is back after the server restarts. Target: the
# player at most 0.4 % per format.
# The server is a private PulseAudio with a null sink; where only PipeWire's server is installed, a null
# sink is loaded into the running server instead (no restart timing then).
# Usage: scripts/bench-cpu.sh [path/to/zalvo [path/to/write_tone_file]]
#   ROUNDS (5) and WINDOW (30 seconds) set the measure; BEFORE=path/to/other/zalvo measures that build in
#   the same rounds, for a before-and-after comparison.
set -euo pipefail
. "$(dirname "$0")/window-helpers.sh"

zalvo=$(realpath "${1:-build/ui/zalvo}")
tone_tool=${2:-$(dirname "$zalvo")/../bench/write_tone_file}
rounds=${ROUNDS:-5}
window=${WINDOW:-30}
before=${BEFORE:+$(realpath "$BEFORE")}
if [ ! -x "$zalvo" ] || [ ! -x "$tone_tool" ]; then
    echo "usage: $0 [path/to/zalvo [path/to/write_tone_file]]" >&2
    exit 2
fi
require_tools bench-cpu "scripts/install-deps.sh --test" Xvfb xdotool pactl pacat ffmpeg

work=$(mktemp -d "${TMPDIR:-/tmp}/zalvo-cpu.XXXXXX")
server_pid=""
xvfb_pid=""
player_pid=""
loaded_module=""

cleanup() {
    for pid in "$player_pid" "$server_pid" "$xvfb_pid"; do
        if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; fi
    done
    if [ -n "$loaded_module" ]; then pactl unload-module "$loaded_module" 2>/dev/null || true; fi
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

say() { echo "bench-cpu: $*" >&2; }

# Nanoseconds on a CPU so far, over every thread of the given processes.
cpu_ns() {
    local total=0 pid task ns rest
    for pid in "$@"; do
        for task in /proc/"$pid"/task/*/schedstat; do
            if read -r ns rest <"$task" 2>/dev/null; then total=$((total + ns)); fi
        done
    done
    echo "$total"
}

percent() { awk -v used="$1" -v wall="$2" 'BEGIN { printf "%.2f", 100 * used / wall }'; }

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# The sound server.
mkdir -m 700 "$work/home" "$work/runtime"
server_answers() { pactl info >/dev/null 2>&1; }
start_server() {
    HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" pulseaudio -n --daemonize=no --exit-idle-time=-1 \
        --load="module-null-sink sink_name=nullsink" --load=module-native-protocol-unix 2>"$work/server.log" &
    server_pid=$!
    wait_until 10 server_answers
}
if command -v pulseaudio >/dev/null; then
    export PULSE_SERVER="unix:$work/runtime/pulse/native" PULSE_COOKIE="$work/home/.config/pulse/cookie"
    start_server || { say "the private PulseAudio did not start: $(cat "$work/server.log")"; exit 1; }
    server_pids() { echo "$server_pid"; }
    say "private PulseAudio, null sink"
elif server_answers; then
    loaded_module=$(pactl load-module module-null-sink sink_name=zalvo_bench)
    export PULSE_SINK=zalvo_bench
    server_pids() { pgrep -x -d ' ' 'pipewire|pipewire-pulse|wireplumber' || true; }
    say "the running server ($(pactl info | sed -n 's/^Server Name: //p')), null sink loaded into it"
else
    say "no pulseaudio to start and no server answering"
    exit 1
fi

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" 2>/dev/null &
xvfb_pid=$!
wait_until 20 test -s "$work/display" || { say "Xvfb did not start"; exit 1; }
DISPLAY=":$(head -n 1 "$work/display")"
export DISPLAY

say "writing 3-minute files"
for format in wav flac ogg mp3; do
    "$tone_tool" "$work/tone.$format" 180
done
ffmpeg -nostdin -v error -i "$work/tone.wav" -c:a aac "$work/tone.m4a"

stream_playing() { [ -n "$(pactl list short sink-inputs 2>/dev/null)" ]; }
player_window() { xdotool search --onlyvisible --pid "$player_pid" --name '^Zalvo$' 2>/dev/null | head -n 1; }
other_window() { xdotool search --onlyvisible --pid "$player_pid" 2>/dev/null | grep -vx "$1" | head -n 1; }
window_shown() { [ -n "$(player_window)" ]; }
dialog_open() { [ -n "$(other_window "$1")" ]; }
dialog_closed() { [ -z "$(other_window "$1")" ]; }
# Without a command line to take the file, the file is added through the window, as a person would.
add_and_play() {
    local main dialog
    wait_until 10 window_shown || return 1
    main=$(player_window)
    sleep 0.5
    click_at "$main" 97 165
    wait_until 5 dialog_open "$main" || return 1
    sleep 0.2
    dialog=$(other_window "$main")
    xdotool windowfocus --sync "$dialog" 2>/dev/null || true
    xdotool key ctrl+a
    xdotool type --delay 10 "$1"
    xdotool key Return
    wait_until 5 dialog_closed "$main" || return 1
    click_at "$main" 335 395
}

# Starts a player on a file and returns once its stream is on the server. Outputs are chosen as on a
# desktop, unless $3 names an OpenAL Soft driver to force. No session bus, so that no other player takes
# the file.
declare -A takes_file
start_player() {
    local binary=$1 file=$2 openal=${3:-}
    local run=(env -u ALSOFT_DRIVERS -u ALSOFT_CONF ${openal:+ALSOFT_DRIVERS=$openal} HOME="$work/home"
        XDG_RUNTIME_DIR="$work/runtime" DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus" QT_QPA_PLATFORM=xcb
        "$binary")
    if [ "${takes_file[$binary]:-yes}" = yes ]; then
        "${run[@]}" "$file" >"$work/player.log" 2>&1 &
        player_pid=$!
        if wait_until 5 stream_playing; then
            takes_file[$binary]=yes
            return 0
        fi
        stop_player
        takes_file[$binary]=no
    fi
    "${run[@]}" >"$work/player.log" 2>&1 &
    player_pid=$!
    add_and_play "$file" && wait_until 5 stream_playing
}

stop_player() {
    if [ -n "$player_pid" ]; then
        kill "$player_pid" 2>/dev/null || true
        wait "$player_pid" 2>/dev/null || true
        player_pid=""
    fi
    wait_until 5 eval '! stream_playing' || true
}

# Runs one window on the playing process $1; prints "player% server%".
measure() {
    local pid=$1 player0 server0 start player1 server1 end servers
    sleep 3 # settle: start-up and the first fill are not playing's steady cost
    player0=$(cpu_ns "$pid")
    read -r -a servers <<<"$(server_pids)"
    server0=$(cpu_ns "${servers[@]}")
    start=$(date +%s%N)
    sleep "$window"
    player1=$(cpu_ns "$pid")
    server1=$(cpu_ns "${servers[@]}")
    end=$(date +%s%N)
    echo "$(percent $((player1 - player0)) $((end - start))) $(percent $((server1 - server0)) $((end - start)))"
}

declare -A player_cpu server_cpu
record() {
    local key=$1 figures
    read -r -a figures <<<"$2"
    player_cpu[$key]+="${figures[0]} "
    server_cpu[$key]+="${figures[1]} "
    printf '  %-18s player %5s %%   server %5s %%\n' "$key" "${figures[0]}" "${figures[1]}"
}

cases=()
for format in flac ogg mp3 m4a; do
    cases+=("zalvo $format" "openal $format")
    if [ -n "$before" ]; then cases+=("before $format"); fi
done
cases+=("pacat wav")

for round in $(seq "$rounds"); do
    echo "round $round of $rounds, ${window} s windows"
    for case in "${cases[@]}"; do
        read -r who format <<<"$case"
        case $who in
        pacat)
            pacat --file-format=wav "$work/tone.wav" &
            player_pid=$!
            wait_until 5 stream_playing || { say "pacat did not play"; exit 1; }
            ;;
        zalvo) start_player "$zalvo" "$work/tone.$format" || { say "zalvo did not play $format"; exit 1; } ;;
        openal) start_player "$zalvo" "$work/tone.$format" pulse || { say "zalvo did not play $format"; exit 1; } ;;
        before) start_player "$before" "$work/tone.$format" || { say "$before did not play $format"; exit 1; } ;;
        esac
        record "$case" "$(measure "$player_pid")"
        stop_player
    done
done

echo "median of $rounds rounds of $window s, % of one core (pacat plays the same PCM from a WAV file):"
printf '  %-18s %8s %8s %9s\n' "" player server together
over=0
for case in "${cases[@]}"; do
    read -r -a player <<<"${player_cpu[$case]}"
    read -r -a server <<<"${server_cpu[$case]}"
    p=$(median "${player[@]}")
    s=$(median "${server[@]}")
    printf '  %-18s %8s %8s %9s\n' "$case" "$p" "$s" "$(awk -v p="$p" -v s="$s" 'BEGIN { printf "%.2f", p + s }')"
    if [[ $case == zalvo* ]] && awk -v p="$p" 'BEGIN { exit !(p > 0.4) }'; then over=1; fi
done
if [ "$over" = 1 ]; then
    echo "  the player is above the 0.4 % target for at least one format"
else
    echo "  the player is within the 0.4 % target for every format"
fi

if [ -n "$server_pid" ]; then
    start_player "$zalvo" "$work/tone.flac" || { say "zalvo did not play"; exit 1; }
    sleep 2
    kill -9 "$server_pid"
    wait "$server_pid" 2>/dev/null || true
    sleep 2
    start_server || { say "the server did not come back"; exit 1; }
    back=$(date +%s%N)
    if wait_until 10 stream_playing; then
        echo "server restart: the player's stream is back $((($(date +%s%N) - back) / 1000000)) ms after the server answers"
    else
        echo "server restart: the player's stream did not come back within 10 s"
    fi
    stop_player
fi
