#!/usr/bin/env bash
# Measures how soon the desktop hears of a new title: over MPRIS (PropertiesChanged, as dbus-monitor
# receives it) against the sound at the sound server (a private PulseAudio null sink's monitor, read as
# it arrives). Two cases:
#   an album of three tones (440, 550, 660 Hz, 3 s each) in one FLAC split by a cue sheet: from each
#   join as it sounds (the tone's pitch changing in the monitor) to the metadata naming the next track;
#   a station (the tests' radio server): from the server's title update to the metadata carrying it.
# Targets: within 100 ms of the join as it sounds; within 2 s of the station's update.
# Usage: scripts/bench-titles.sh [path/to/zalvo]   ROUNDS (3) station updates.
set -euo pipefail
. "$(dirname "$0")/window-helpers.sh"

zalvo=$(realpath "${1:-build/ui/zalvo}")
fault_server=$(realpath "$(dirname "$0")/../tests/support/fault_server.py")
if [ ! -x "$zalvo" ]; then
    echo "usage: $0 [path/to/zalvo]" >&2
    exit 2
fi
require_tools bench-titles "scripts/install-deps.sh --test" pulseaudio parec ffmpeg python3 dbus-run-session \
    dbus-monitor

work=$(mktemp -d "${TMPDIR:-/tmp}/zalvo-titles.XXXXXX")
server_pid=""
cleanup() {
    if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; fi
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

start_private_pulse "$work" || { echo "bench-titles: the private PulseAudio did not start" >&2; exit 1; }

ffmpeg -v error -f lavfi -i "sine=frequency=440:duration=3:sample_rate=44100" \
    -f lavfi -i "sine=frequency=550:duration=3:sample_rate=44100" \
    -f lavfi -i "sine=frequency=660:duration=3:sample_rate=44100" \
    -filter_complex "[0][1][2]concat=n=3:v=0:a=1,pan=stereo|c0=c0|c1=c0" "$work/album.flac"
cat >"$work/album.cue" <<'EOF'
TITLE "Trois"
FILE "album.flac" WAVE
  TRACK 01 AUDIO
    TITLE "Un"
    INDEX 01 00:00:00
  TRACK 02 AUDIO
    TITLE "Deux"
    INDEX 01 00:03:00
  TRACK 03 AUDIO
    TITLE "Trois"
    INDEX 01 00:06:00
EOF

export ZALVO_BENCH_PLAYER=$zalvo ZALVO_BENCH_WORK=$work ZALVO_BENCH_FAULT_SERVER=$fault_server
export ZALVO_BENCH_ROUNDS=${ROUNDS:-3}
dbus-run-session -- python3 - 2>&1 <<'EOF' | grep -v '^dbus-daemon'
import array, os, subprocess, sys, threading, time

player, work = os.environ["ZALVO_BENCH_PLAYER"], os.environ["ZALVO_BENCH_WORK"]
rounds = int(os.environ["ZALVO_BENCH_ROUNDS"])
env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_CONFIG_HOME=os.path.join(work, "config"))
RATE = 44100


def titles_seen(log):
    """Each Metadata change's time and the xesam:title it carries, from dbus-monitor's lines."""
    monitor = subprocess.Popen(["dbus-monitor", "--session",
                                "type='signal',interface='org.freedesktop.DBus.Properties'"],
                               stdout=subprocess.PIPE, text=True, bufsize=1)
    def read():
        title_next = False
        for line in monitor.stdout:
            now = time.monotonic()
            if 'string "xesam:title"' in line:
                title_next = True
            elif title_next and 'string "' in line:
                log.append((now, line.split('string "', 1)[1].rstrip().rstrip('"')))
                title_next = False
    threading.Thread(target=read, daemon=True).start()
    return monitor


def sound_heard(pitches, stop):
    """The pitch of every 20 ms of the sink's monitor, by zero crossings, with when it sounded."""
    recorder = subprocess.Popen(["parec", "-d", "nullsink.monitor", "--raw", "--format=s16le", "--rate=44100",
                                 "--channels=1", "--latency-msec=5"], stdout=subprocess.PIPE, bufsize=0)
    def read():
        window = RATE // 50
        pending = array.array("h")
        while not stop.is_set():
            chunk = recorder.stdout.read(2048)
            arrived = time.monotonic()
            pending.frombytes(chunk[: len(chunk) // 2 * 2])
            while len(pending) >= window:
                block, pending = pending[:window], pending[window:]
                crossings = sum(1 for a, b in zip(block, block[1:]) if (a < 0) != (b < 0))
                loud = max(abs(s) for s in block) > 64
                # The block ended this many samples before what is still pending arrived.
                sounded = arrived - len(pending) / RATE
                pitches.append((sounded, crossings * 50 / 2 if loud else 0))
    threading.Thread(target=read, daemon=True).start()
    return recorder


def launch(target):
    return subprocess.Popen([player, target], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


# The album: each join as it sounds against the title that names the track after it.
titles, pitches, stop = [], [], threading.Event()
monitor = titles_seen(titles)
recorder = sound_heard(pitches, stop)
time.sleep(0.5)
zalvo = launch(os.path.join(work, "album.cue"))
time.sleep(10)
zalvo.kill(); zalvo.wait(); stop.set(); recorder.kill(); monitor.kill()
for low, high, title in ((440, 550, "Deux"), (550, 660, "Trois")):
    middle = (low + high) / 2
    joins = [t for (t, f), (_, g) in zip(pitches, pitches[1:]) if low * 0.9 < f < middle and g > middle]
    named = [t for t, name in titles if name == title]
    if not joins or not named:
        print(f"album join to {title}: not measured (joins {len(joins)}, titles {len(named)})")
        continue
    print(f"album join to {title}: metadata {1000 * (named[0] - joins[0]):+.0f} ms after the join sounded")

# The station: the server's update against the title that carries it.
server = subprocess.Popen(["python3", os.environ["ZALVO_BENCH_FAULT_SERVER"]], stdin=subprocess.PIPE,
                          stdout=subprocess.PIPE, text=True, bufsize=1)
port = server.stdout.readline().strip()
titles = []
monitor = titles_seen(titles)
zalvo = launch(f"http://127.0.0.1:{port}/radio.mp3")
time.sleep(3)
delays = []
for round in range(rounds):
    title = f"Round {round}"
    sent = time.monotonic()
    server.stdin.write(f"title Artist - {title}\n")
    deadline = sent + 5
    while time.monotonic() < deadline and not any(name == title for _, name in titles):
        time.sleep(0.01)
    seen = [t for t, name in titles if name == title]
    delays.append(f"{1000 * (seen[0] - sent):.0f}" if seen else "never")
    time.sleep(1.3)
zalvo.kill(); zalvo.wait(); monitor.kill(); server.kill()
print("station update to metadata, ms: " + " ".join(delays))
EOF
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
