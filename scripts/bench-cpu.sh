#!/usr/bin/env bash
# Measures what playing costs beside the lightest peer's engine, Audacious with no GUI (`audacious -H`):
# the CPU (in % of one core) and the wake-ups a second (the times a thread went to sleep, over every
# thread; the times one was preempted are shown beside them) of each player while it plays a 3-minute
# FLAC, Ogg Vorbis, MP3 and AAC (M4A) file into a silent sink, Zalvo's window idle. Rounds interleave every case; medians and Zalvo's ratio to the peer are printed, and
# Zalvo's threads one by one. Then it times how soon the player's stream is back after the server
# restarts. Targets: at most 0.5 times the peer's CPU on each format, at most 15 wake-ups a second.
# The server is a private PulseAudio with a null sink; where only PipeWire's server is installed, a null
# sink is loaded into the running server instead (no restart timing then).
# Usage: scripts/bench-cpu.sh [path/to/zalvo [path/to/write_tone_file]]
#   ROUNDS (3) and WINDOW (30 seconds) set the measure; BEFORE=path/to/other/zalvo measures that build in
#   the same rounds, for a before-and-after comparison.
set -euo pipefail
. "$(dirname "$0")/window-helpers.sh"

zalvo=$(realpath "${1:-build/ui/zalvo}")
tone_tool=${2:-$(dirname "$zalvo")/../bench/write_tone_file}
rounds=${ROUNDS:-3}
window=${WINDOW:-30}
before=${BEFORE:+$(realpath "$BEFORE")}
if [ ! -x "$zalvo" ] || [ ! -x "$tone_tool" ]; then
    echo "usage: $0 [path/to/zalvo [path/to/write_tone_file]]" >&2
    exit 2
fi
require_tools bench-cpu "scripts/install-deps.sh --bench" Xvfb xdotool pactl ffmpeg audacious

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

# One line per thread of the process: its id, its CPU nanoseconds, its voluntary and its involuntary
# context switches so far, its name. A voluntary switch is the thread going to sleep, so each is one
# wake-up; an involuntary one is the thread preempted while it ran, which wakes nothing.
thread_counts() {
    local task ns rest switches name
    for task in /proc/"$1"/task/*; do
        read -r ns rest <"$task/schedstat" 2>/dev/null || continue
        switches=$(awk '/^voluntary_ctxt_switches/ { v = $2 } /^nonvoluntary_ctxt_switches/ { n = $2 }
                        END { print v, n }' "$task/status" 2>/dev/null) || continue
        name=$(cat "$task/comm" 2>/dev/null) || continue
        echo "${task##*/} $ns $switches $name"
    done
}

# From two thread_counts files and the seconds between them: "cpu% wakeups/s preemptions/s" over the
# process, then "name cpu% wakeups/s preemptions/s" per thread, the busiest first. Threads that came or
# went meanwhile count from zero.
rates() {
    awk -v wall="$3" '
        NR == FNR { ns[$1] = $2; vo[$1] = $3; nv[$1] = $4; next }
        { dn = $2 - ns[$1]; dv = $3 - vo[$1]; dp = $4 - nv[$1]; total += dn; wakes += dv; preempts += dp
          printf "%s %.2f %.1f %.1f\n", $5, 100 * dn / wall / 1e9, dv / wall, dp / wall >"/dev/stderr" }
        END { printf "%.2f %.1f %.1f\n", 100 * total / wall / 1e9, wakes / wall, preempts / wall }' "$1" "$2" \
        2>"$work/threads"
    sort -k2 -g -r "$work/threads"
}

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }

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
    say "private PulseAudio, null sink"
elif server_answers; then
    loaded_module=$(pactl load-module module-null-sink sink_name=zalvo_bench)
    export PULSE_SINK=zalvo_bench
    say "the running server ($(pactl info | sed -n 's/^Server Name: //p')), null sink loaded into it"
else
    say "no pulseaudio to start and no server answering"
    exit 1
fi

start_xvfb "$work" || { say "Xvfb did not start"; exit 1; }

say "writing 3-minute files"
for format in wav flac ogg mp3; do
    "$tone_tool" "$work/tone.$format" 180
done
ffmpeg -nostdin -v error -i "$work/tone.wav" -c:a aac "$work/tone.m4a"

stream_playing() { [ -n "$(pactl list short sink-inputs 2>/dev/null)" ]; }

# Starts a player on a file and returns once its stream is on the server. Outputs are chosen as on a
# desktop; no session bus, so that no player hands the file to another.
start_player() {
    local who=$1 file=$2
    local run=(env -u ALSOFT_DRIVERS -u ALSOFT_CONF HOME="$work/home" XDG_CONFIG_HOME="$work/config"
        XDG_RUNTIME_DIR="$work/runtime" DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus")
    case $who in
    peer) run+=(audacious -H "$file") ;;
    zalvo) run+=(QT_QPA_PLATFORM=xcb "$zalvo" "$file") ;;
    before) run+=(QT_QPA_PLATFORM=xcb "$before" "$file") ;;
    esac
    "${run[@]}" >"$work/player.log" 2>&1 &
    player_pid=$!
    wait_until 10 stream_playing
}

stop_player() {
    if [ -n "$player_pid" ]; then
        kill "$player_pid" 2>/dev/null || true
        wait "$player_pid" 2>/dev/null || true
        player_pid=""
    fi
    wait_until 5 eval '! stream_playing' || true
}

# One window on the playing process $1: its counts before and after, into $work/rates.
measure() {
    local start end
    sleep 3 # settle: start-up and the first fill are not playing's steady cost
    thread_counts "$1" >"$work/counts0"
    start=$(date +%s%N)
    sleep "$window"
    thread_counts "$1" >"$work/counts1"
    end=$(date +%s%N)
    rates "$work/counts0" "$work/counts1" "$(awk -v n=$((end - start)) 'BEGIN { print n / 1e9 }')" >"$work/rates"
}

declare -A cpu wakeups preemptions threads
cases=()
for format in flac ogg mp3 m4a; do
    cases+=("zalvo $format" "peer $format")
    if [ -n "$before" ]; then cases+=("before $format"); fi
done

for round in $(seq "$rounds"); do
    echo "round $round of $rounds, ${window} s windows"
    for case in "${cases[@]}"; do
        read -r who format <<<"$case"
        start_player "$who" "$work/tone.$format" || { say "$who did not play $format: $(cat "$work/player.log")"; exit 1; }
        measure "$player_pid"
        stop_player
        read -r percent rate preempted <"$work/rates"
        cpu[$case]+="$percent "
        wakeups[$case]+="$rate "
        preemptions[$case]+="$preempted "
        printf '  %-12s %5s %% of a core, %5s wake-ups/s, %5s preemptions/s\n' "$case" "$percent" "$rate" "$preempted"
        if [ "$who" = zalvo ]; then
            threads[$case]=$(tail -n +2 "$work/rates" |
                awk '$2 > 0 || $3 > 0 { printf "%s%s %s %% %s/s (+%s)", sep, $1, $2, $3, $4; sep = ", " }')
        fi
    done
done

echo "medians of $rounds rounds of $window s (load average $(cut -d' ' -f1-3 /proc/loadavg)):"
printf '  %-6s %12s %12s %7s %13s %13s %7s %14s %14s\n' format "Zalvo CPU %" "peer CPU %" ratio "Zalvo wake/s" \
    "peer wake/s" ratio "Zalvo preempt" "peer preempt"
over=0
for format in flac ogg mp3 m4a; do
    # shellcheck disable=SC2086 # one number per word
    {
        zc=$(median ${cpu["zalvo $format"]})
        pc=$(median ${cpu["peer $format"]})
        zw=$(median ${wakeups["zalvo $format"]})
        pw=$(median ${wakeups["peer $format"]})
        zp=$(median ${preemptions["zalvo $format"]})
        pp=$(median ${preemptions["peer $format"]})
    }
    printf '  %-6s %12s %12s %7s %13s %13s %7s %14s %14s\n' "$format" "$zc" "$pc" "$(ratio "$zc" "$pc")" "$zw" "$pw" \
        "$(ratio "$zw" "$pw")" "$zp" "$pp"
    if awk -v z="$zc" -v p="$pc" -v w="$zw" 'BEGIN { exit !(z > 0.5 * p || w > 15) }'; then over=1; fi
    if [ -n "$before" ]; then
        # shellcheck disable=SC2086
        printf '  %-6s before: %s %% of a core, %s wake-ups/s\n' "$format" "$(median ${cpu["before $format"]})" \
            "$(median ${wakeups["before $format"]})"
    fi
done
echo "Zalvo's threads in the last round (CPU, wake-ups a second, and preemptions):"
for format in flac ogg mp3 m4a; do
    echo "  $format: ${threads["zalvo $format"]}"
done
if [ "$over" = 1 ]; then
    echo "  above a target (0.5 times the peer's CPU, 15 wake-ups a second) for at least one format"
else
    echo "  within the targets (0.5 times the peer's CPU, 15 wake-ups a second) for every format"
fi

if [ -n "$server_pid" ]; then
    start_player zalvo "$work/tone.flac" || { say "zalvo did not play"; exit 1; }
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
