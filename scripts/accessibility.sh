#!/usr/bin/env bash
# Reads the player's main window as a screen reader does, through the desktop's accessibility bus
# (AT-SPI), on a private X server and a private session bus: the ring's twelve buttons by name, in order
# and in place; "Suivant" pressed through AT-SPI moves to the next track, as MPRIS tells; the "Répéter"
# toggle follows a click on the ring; presses while the add-track dialog is open open no other window.
# Prints the tree it read.
# Usage: scripts/accessibility.sh path/to/zalvo
set -euo pipefail
. "$(dirname "$0")/window-helpers.sh"

zalvo=$(player_argument "$0" "$@")
launcher=/usr/libexec/at-spi-bus-launcher
if [ -z "${ZALVO_A11Y_BUS:-}" ] && command -v dbus-run-session >/dev/null; then
    exec env ZALVO_A11Y_BUS=1 dbus-run-session -- "$0" "$@"
fi
require_tools accessibility "scripts/install-deps.sh --test" Xvfb xdotool dbus-run-session playerctl "$launcher"
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null ||
    { echo "accessibility: pyatspi is missing (scripts/install-deps.sh --test installs it)" >&2 && exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/zalvo-a11y.XXXXXX")
pids=()
cleanup() {
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "accessibility: FAILED: $*" >&2
    [ -s "$work/player.log" ] && sed 's/^/accessibility: player: /' "$work/player.log" >&2
    exit 1
}

start_xvfb "$work" || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
pids+=("$xvfb_pid")

# The accessibility bus, which a desktop session starts for its screen reader.
"$launcher" --launch-immediately >"$work/launcher.log" 2>&1 &
pids+=($!)

write_tones 30 0.25 "440:$work/first.wav" "440:$work/second.wav"

mkdir -m 700 "$work/runtime"
ALSOFT_DRIVERS=null QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 XDG_RUNTIME_DIR="$work/runtime" \
    "$zalvo" "$work/first.wav" "$work/second.wav" >"$work/player.log" 2>&1 &
pids+=($!)
wait_until 30 sh -c 'xdotool search --onlyvisible --name "^Zalvo\$" >/dev/null' || fail "the window \"Zalvo\" did not show"

/usr/bin/python3 - <<'PY' || fail "see above"
import subprocess, sys, time
import pyatspi

# The ring clockwise from 12 o'clock, each icon's rectangle in the window: left, top, width, height.
RING = [("Volume +", 210, 40, 80, 70), ("Enregistrer la liste", 300, 65, 65, 75), ("Gérer la liste", 365, 130, 70, 75),
        ("Suivant", 390, 210, 70, 80), ("Répéter", 365, 305, 65, 65), ("Lecture / Pause", 300, 355, 70, 80),
        ("Volume -", 210, 390, 80, 70), ("Arrêt", 130, 365, 65, 60), ("Aléatoire", 70, 300, 65, 70),
        ("Précédent", 40, 210, 65, 80), ("Ajouter un morceau", 60, 125, 75, 80),
        ("Charger une liste", 135, 65, 70, 75)]


def fail(message):
    print(f"accessibility: {message}", file=sys.stderr)
    sys.exit(1)


def wait_for(what, check, seconds=10):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = check()
        if value:
            return value
        time.sleep(0.1)
    fail(f"waited {seconds} s for {what}")


def extents(node):
    box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return box.x, box.y, box.width, box.height


def states(node):
    return [pyatspi.stateToString(state) for state in node.getState().getStates()]


def show(node, depth=0):
    print(f"accessibility: {'  ' * depth}{node.getRoleName()} \"{node.name}\" {extents(node)} {' '.join(states(node))}"
          + (f" — description \"{node.description}\"" if node.description else ""))
    for child in node:
        show(child, depth + 1)


def player():
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name == "Zalvo" and app.childCount > 0:
            return app
    return None


def title():
    result = subprocess.run(["playerctl", "-p", "zalvo", "metadata", "title"], capture_output=True, text=True)
    return result.stdout.strip()


dialog = wait_for("the player on the accessibility bus", player)[0]
wait_for("the first track to play", lambda: dialog.description.startswith("Lecture : first.wav"))
show(dialog)
if dialog.getRoleName() != "dialog" or dialog.name != "Zalvo":
    fail(f"the window is a {dialog.getRoleName()} \"{dialog.name}\"")
names = [child.name for child in dialog]
if names != [name for name, *_ in RING] + ["Quitter"]:
    fail(f"the window's children are {names}")
left, top, _, _ = extents(dialog)
for child, (name, x, y, width, height) in zip(dialog, RING):
    action = child.queryAction().getName(0)
    if child.getRoleName() != "push button" or action != ("Toggle" if name in ("Répéter", "Aléatoire") else "Press"):
        fail(f"\"{name}\" is a {child.getRoleName()} whose action is {action}")
    if extents(child) != (left + x, top + y, width, height):
        fail(f"\"{name}\" stands at {extents(child)}, not over its icon")
print("accessibility: twelve named buttons over their icons, then \"Quitter\"")

button = {child.name: child for child in dialog}
wait_for("MPRIS to name the first track", lambda: title() == "first.wav")
button["Suivant"].queryAction().doAction(0)
wait_for("MPRIS to name the second track after \"Suivant\"", lambda: title() == "second.wav")
wait_for("the description to name it", lambda: dialog.description == "Lecture : second.wav, volume 100 %")
print(f"accessibility: \"Suivant\" pressed through AT-SPI: MPRIS plays \"{title()}\", "
      f"the window says \"{dialog.description}\"")

repeat = button["Répéter"]
x, y, width, height = extents(repeat)
for expected in (True, False):
    subprocess.run(["xdotool", "mousemove", "--sync", str(x + width // 2), str(y + height // 2 + 1), "mousemove",
                    "--sync", str(x + width // 2), str(y + height // 2), "click", "1"], check=True)
    wait_for(f"\"Répéter\" to be {'checked' if expected else 'unchecked'} after a click on the ring",
             lambda: ("checked" in states(repeat)) == expected)
    print(f"accessibility: a click on the ring's repeat icon: \"Répéter\" {'checked' if expected else 'unchecked'}")


def windows():
    result = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "."], capture_output=True, text=True)
    return len(result.stdout.split())


before = windows()
button["Ajouter un morceau"].queryAction().doAction(0)
wait_for("the add-track dialog", lambda: windows() > before)
opened = windows()
for name in ["Ajouter un morceau"] * 5 + ["Charger une liste", "Gérer la liste", "Enregistrer la liste"]:
    button[name].queryAction().doAction(0)
# An answer over MPRIS comes from the loop that runs the queued presses, after them.
title()
if windows() != opened:
    fail(f"presses while the add-track dialog is open opened {windows() - opened} more windows")
print(f"accessibility: eight presses while the add-track dialog is open: no other window opens")
PY
echo "accessibility: passed"
