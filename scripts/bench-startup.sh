#!/usr/bin/env bash
# Measures how fast the player's window comes up, how much memory it holds once idle, and how soon
# `zalvo FILE` is heard, beside the GUI players a Linux user would pick instead (Audacious, and qmmp
# where installed), on an X server and a private PulseAudio of its own. The lightest peer is the one
# holding the least memory when idle; Zalvo's ratios to it are printed. Targets: shown within 200 ms and
# at most 0.65 times the lightest peer's start-up; under 40 MB and at most 0.85 times its memory; first
# sound at most 0.6 times its.
# Zalvo runs without a session bus and, interleaved, with MPRIS on a private session bus (at most 10 %
# more either way); BASELINE=path/to/other/zalvo adds another build, without a bus, to the same runs.
# First sound is the first sample above silence at the null sink's monitor, by the wall clock as the
# monitor's samples arrive.
# Usage: scripts/bench-startup.sh [path/to/zalvo [path/to/window_shown]]   (RUNS=n sets the number of runs,
# 7 by default; window_shown is built beside the benchmarks)
set -euo pipefail
. "$(dirname "$0")/window-helpers.sh"

zalvo=$(realpath "${1:-build/ui/zalvo}")
window_shown=$(realpath "${2:-build/bench/window_shown}")
runs=${RUNS:-7}
if [ ! -x "$zalvo" ] || [ ! -x "$window_shown" ]; then
    echo "usage: $0 [path/to/zalvo [path/to/window_shown]]" >&2
    exit 2
fi
require_tools bench-startup "scripts/install-deps.sh --bench" Xvfb pulseaudio pactl parec ffmpeg python3

xvfb_pid=""
player_pid=""
watcher_pid=""
bus_pid=""
server_pid=""
work=$(mktemp -d "${TMPDIR:-/tmp}/zalvo-bench.XXXXXX")

cleanup() {
    for pid in "$player_pid" "$watcher_pid" "$xvfb_pid" "$bus_pid" "$server_pid"; do
        if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; fi
    done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

if [ -z "${DISPLAY:-}" ]; then
    start_xvfb "$work" || { echo "bench-startup: Xvfb did not start" >&2; exit 1; }
fi

start_private_pulse "$work" || { echo "bench-startup: the private PulseAudio did not start" >&2; exit 1; }
ffmpeg -nostdin -v error -f lavfi -i "sine=frequency=440:duration=60:sample_rate=44100" -ac 2 "$work/tone.flac"

megabytes() { awk -v kb="$1" 'BEGIN { printf "%.1f", kb / 1024 }'; }
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }

# Every player gets the same private home and no session bus (neither the address nor a runtime
# directory holding one), so that none hands its file to another or starts services.
plain=(env HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime"
    DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus")
configs=("Zalvo")
commands=("${plain[*]} $zalvo")
if command -v dbus-daemon >/dev/null; then
    dbus-daemon --session --nofork --nopidfile --print-address=1 >"$work/bus" 2>/dev/null &
    bus_pid=$!
    wait_until 5 test -s "$work/bus"
    configs+=("Zalvo, MPRIS on")
    commands+=("env HOME=$work/home XDG_CONFIG_HOME=$work/config DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$work/bus") $zalvo")
fi
if [ -n "${BASELINE:-}" ]; then
    configs+=("baseline")
    commands+=("${plain[*]} $(realpath "$BASELINE")")
fi
peers=()
for peer in audacious qmmp; do
    if command -v "$peer" >/dev/null; then
        peers+=(${#configs[@]})
        configs+=("$peer")
        commands+=("${plain[*]} $peer")
    fi
done

# Sets `shown`, the milliseconds until the window is mapped, as the X server reports it, and `rss`, the
# resident kilobytes once idle.
measure() {
    # Emptied here: the watcher's own redirection may come after the first look below.
    : >"$work/shown"
    # shellcheck disable=SC2086 # the command is words by design
    "$window_shown" $1 >"$work/shown" 2>"$work/player.log" &
    watcher_pid=$!
    until [ -s "$work/shown" ]; do
        if ! kill -0 "$watcher_pid" 2>/dev/null; then
            echo "bench-startup: no window came up:" >&2
            cat "$work/player.log" >&2
            exit 1
        fi
        sleep 0.05
    done
    read -r shown player_pid <"$work/shown"
    sleep 2
    rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$player_pid/status")
    kill "$player_pid"
    wait "$watcher_pid" 2>/dev/null || true
    player_pid=""
    watcher_pid=""
}

# Seconds from `$@ FILE` to the first sample above silence at the sink's monitor.
first_sound() {
    python3 "$(dirname "$0")/first-sound.py" "$@" "$work/tone.flac"
}

# A first run of each, not counted: the peers write their settings on their first start.
for index in "${!configs[@]}"; do
    measure "${commands[$index]}"
done

declare -A shown_ms rss_kb heard_s
for run in $(seq "$runs"); do
    for index in "${!configs[@]}"; do
        measure "${commands[$index]}"
        # shellcheck disable=SC2086 # the command is words by design
        heard=$(first_sound ${commands[$index]})
        printf 'run %d, %-16s window shown after %4d ms, %5s MB resident when idle, first sound %s s\n' "$run" \
            "${configs[$index]}:" "$shown" "$(megabytes "$rss")" "$heard"
        shown_ms[$index]+="$shown "
        rss_kb[$index]+="$rss "
        heard_s[$index]+="$heard "
    done
done

lightest=""
# shellcheck disable=SC2086 # one number per word
for index in "${!configs[@]}"; do
    shown_ms[$index]=$(median ${shown_ms[$index]})
    rss_kb[$index]=$(median ${rss_kb[$index]})
    heard_s[$index]=$(median ${heard_s[$index]})
    printf 'median of %d runs, %-16s shown after %4d ms, %5s MB resident, first sound %s s\n' "$runs" \
        "${configs[$index]}:" "${shown_ms[$index]}" "$(megabytes "${rss_kb[$index]}")" "${heard_s[$index]}"
done
for index in "${peers[@]}"; do
    if [ -z "$lightest" ] || [ "${rss_kb[$index]}" -lt "${rss_kb[$lightest]}" ]; then lightest=$index; fi
done
echo "Zalvo's targets: shown within 200 ms, under 40 MB resident"
if [ -n "$lightest" ]; then
    echo "beside the lightest peer, ${configs[$lightest]} (load average $(cut -d' ' -f1-3 /proc/loadavg)):"
    echo "  start-up $(ratio "${shown_ms[0]}" "${shown_ms[$lightest]}")x (target 0.65)," \
        "idle memory $(ratio "${rss_kb[0]}" "${rss_kb[$lightest]}")x (target 0.85)," \
        "first sound $(ratio "${heard_s[0]}" "${heard_s[$lightest]}")x (target 0.6)"
fi
