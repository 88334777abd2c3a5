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
