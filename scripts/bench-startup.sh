#!/usr/bin/env bash
# Measures how fast the player's window comes up and how much memory it holds once idle, on an X
# server of its own unless DISPLAY names one. Targets: shown within 200 ms, under 40 MB resident.
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
work=$(mktemp -d "${TMPDIR:-/tmp}/zalvo-bench.XXXXXX")

cleanup() {
    if [ -n "$player_pid" ]; then kill "$player_pid" 2>/dev/null || true; fi
    if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
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

shown_ms=()
rss_kb=()
for run in $(seq "$runs"); do
    start=$(now_ns)
    "$zalvo" 2>"$work/player.log" &
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
    printf 'run %d: window shown after %d ms, %s MB resident when idle\n' "$run" "$shown" "$(megabytes "$rss")"
    shown_ms+=("$shown")
    rss_kb+=("$rss")
done

median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
printf 'median of %d runs: shown after %d ms (target 200), %s MB resident (target 40)\n' "$runs" \
    "$(median "${shown_ms[@]}")" "$(megabytes "$(median "${rss_kb[@]}")")"
