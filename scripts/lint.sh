#!/usr/bin/env bash
# clang-tidy over our own sources (core, ui, desktop, modules), compiled as the build compiles them;
# any finding fails. The checks and the headers they reach are in .clang-tidy.
# Usage: scripts/lint.sh [build-dir]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
if ! command -v clang-tidy >/dev/null; then
    echo "lint: clang-tidy is missing (make lint installs it)" >&2
    exit 1
fi
report=$(mktemp)
trap 'rm -f "$report"' EXIT

status=0
python3 - "$build/compile_commands.json" "$root" <<'PY' | sort -u |
import json, re, sys
ours = re.compile(re.escape(sys.argv[2]) + r"/(core|ui|desktop|modules)/[^/]+(/[^/]+)?\.cpp$")
for entry in json.load(open(sys.argv[1])):
    if ours.match(entry["file"]):
        print(entry["file"])
PY
    xargs -P "$(nproc)" -n 1 clang-tidy -p "$build" --quiet --warnings-as-errors='*' >"$report" 2>&1 || status=$?
# clang-tidy counts what it found in the libraries' headers and left out: only the findings are shown.
grep -v -E '^[0-9]+ (warnings?|errors?)( and [0-9]+ errors?)? generated\.$|^Suppressed [0-9]+ warnings|^Use -header-filter' \
    "$report" || true
exit "$status"
