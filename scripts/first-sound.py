#!/usr/bin/env python3
"""Prints the seconds from running a command to the first sample above silence at the null sink's monitor.

Usage: first-sound.py COMMAND [ARGUMENT...]. The time is taken by the wall clock as the monitor's samples arrive;
parec asks for 5 ms of latency, the same for every player measured."""
import array
import subprocess
import sys
import time

monitor = subprocess.Popen(["parec", "-d", "nullsink.monitor", "--raw", "--format=s16le", "--rate=44100",
                            "--channels=2", "--latency-msec=5"], stdout=subprocess.PIPE, bufsize=0)
settle = time.monotonic() + 1.0
while time.monotonic() < settle:
    monitor.stdout.read(4096)
player = subprocess.Popen(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
launched = time.monotonic()
heard = None
while heard is None and time.monotonic() < launched + 10:
    chunk = monitor.stdout.read(4096)
    arrived = time.monotonic()
    samples = array.array("h", chunk[: len(chunk) // 2 * 2])
    loud = next((i for i, s in enumerate(samples) if abs(s) > 64), None)
    if loud is not None:
        # The chunk's later samples were played after its loud one.
        heard = arrived - launched - (len(samples) - loud) // 2 / 44100
player.kill()
monitor.kill()
player.wait()
monitor.wait()
print("nan" if heard is None else "%.3f" % max(heard, 0.0))
