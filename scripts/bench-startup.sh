#!/usr/bin/env bash
# Measures how fast the player's window comes up and how much memory it holds once idle, on an X
# server of its own unless DISPLAY names one. Targets: shown within 200 ms, under 40 MB resident.
# Runs without a session bus and, interleaved, with MPRIS on a private session bus (at most 10 % more
# either way); BASELINE=path/to/other/zalvo adds another build, without a bus, to the same runs.
# Usage: scripts/bench-startup.sh [path/to/zalvo]      (RUNS=n sets the number of runs, 7 by default)
set -euo pipefail

zalvo=${1:-build/ui/zalvo}
runs=${RUNS:-7}
if [ ! -x "$zalvo" ]; then
    echo "usage: $0 [path/to/zalvo]" >&2
    exit 2
fi
for tool in Xvfb xdotool; do
    if ! command -v "$tool" >/dev/null; then
        echo "bench-startup: $tool is missing (scripts/install-deps.sh installs it)" >&2
        exit 1
    fi
done

xvfb_pid=""
player_pid=""
bus_pid=""
work=$(mktemp -d "${TMPDIR:-/tmp}/zalvo-bench.XXXXXX")

cleanup() {
    if [ -n "$player_pid" ]; then kill "$player_pid" 2>/dev/null || true; fi
    if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
    if [ -n "$bus_pid" ]; then kill "$bus_pid" 2>/dev/null || true; fi
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

if [ -z "${DISPLAY:-}" ]; then
    # Xvfb picks a free display itself and writes its number once it accepts connections; without
    # -noreset it restarts whenever its last client leaves, refusing the next run meanwhile.
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" 2>/dev/null &
    xvfb_pid=$!
    for _ in $(seq 100); do
        [ -s "$work/display" ] && break
        sleep 0.05
    done
    [ -s "$work/display" ] || { echo "bench-startup: Xvfb did not start" >&2; exit 1; }
    export DISPLAY=":$(cat "$work/display")"
fi

now_ns() { date +%s%N; }
megabytes() { awk -v kb="$1" 'BEGIN { printf "%.1f", kb / 1024 }'; }

# No session bus: neither the address nor a runtime directory holding one.
mkdir -m 700 "$work/runtime"
no_bus=(env -u DBUS_SESSION_BUS_ADDRESS XDG_RUNTIME_DIR="$work/runtime")
configs=("no bus")
commands=("${no_bus[*]} $zalvo")
if command -v dbus-daemon >/dev/null; then
    dbus-daemon --session --nofork --nopidfile --print-address=1 >"$work/bus" 2>/dev/null &
    bus_pid=$!
    for _ in $(seq 100); do
        [ -s "$work/bus" ] && break
        sleep 0.05
    done
    configs+=("MPRIS on")
    commands+=("env DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$work/bus") $zalvo")
fi
if [ -n "${BASELINE:-}" ]; then
    configs+=("baseline")
    commands+=("${no_bus[*]} $BASELINE")
fi

# Sets `shown`, the milliseconds until the window shows, and `rss`, the resident kilobytes once idle.
measure() {
    local start
    start=$(now_ns)
    # shellcheck disable=SC2086 # the command is words by design
    $1 2>"$work/player.log" &
    player_pid=$!
    until [ -n "$(xdotool search --onlyvisible --pid "$player_pid" --name '^Zalvo$' 2>/dev/null)" ]; do
        if ! kill -0 "$player_pid" 2>/dev/null; then
            echo "bench-startup: the player ended before its window came up:" >&2
            cat "$work/player.log" >&2
            exit 1
        fi
        if [ $(($(now_ns) - start)) -gt 10000000000 ]; then
            echo "bench-startup: no window after 10 s" >&2
            exit 1
        fi
    done
    shown=$((($(now_ns) - start) / 1000000))
    sleep 1
    rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$player_pid/status")
    kill "$player_pid"
    wait "$player_pid" 2>/dev/null || true
    player_pid=""
}

declare -A shown_ms rss_kb
for run in $(seq "$runs"); do
    for index in "${!configs[@]}"; do
        measure "${commands[$index]}"
        printf 'run %d, %s: window shown after %d ms, %s MB resident when idle\n' "$run" "${configs[$index]}" \
            "$shown" "$(megabytes "$rss")"
        shown_ms[$index]+="$shown "
        rss_kb[$index]+="$rss "
    done
done

median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
for index in "${!configs[@]}"; do
    # shellcheck disable=SC2086 # one number per word
    printf 'median of %d runs, %s: shown after %d ms (target 200), %s MB resident (target 40)\n' "$runs" \
        "${configs[$index]}" "$(median ${shown_ms[$index]})" "$(megabytes "$(median ${rss_kb[$index]})")"
done
