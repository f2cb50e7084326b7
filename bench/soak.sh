#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Soak run (not in CI): the real program measuring automatically against the simulator at
# full rate with saving on, for SOAK_SECONDS (3600). Reports readings served and written,
# resident memory over time, and the longest gap between two readings' time stamps: every
# cycle runs on the window's thread, so a gap above the cycle time is a stall of the window.
#   bench/soak.sh [build-dir]     SOAK_SECONDS=300 bench/soak.sh
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
seconds="${SOAK_SECONDS:-3600}"
work="$(mktemp -d /tmp/tervaxis-soak.XXXXXX)"
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
}
trap cleanup EXIT

exec 3>"$work/display"
Xvfb -noreset -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"

"$build/sim/tervaxis-sim" --port 0 --served "$work/served.txt" >"$work/sim.log" &
pids+=($!)
for _ in $(seq 100); do grep -q listening "$work/sim.log" 2>/dev/null && break; sleep 0.1; done
port="$(sed -n 's/.*listening on 127.0.0.1:\([0-9]*\).*/\1/p' "$work/sim.log")"

QT_QPA_PLATFORM=xcb "$build/src/tervaxis" /CONFIGDIR:"$work/cfg" /DATADIR:"$work/data/" \
    /ADDR:127.0.0.1 /PORT:"$port" /CONNECT /AUTOSAVE /NOLANG &
app=$!
pids+=($app)
# The keys go to the main window: the splash is 360 pixels wide, hints are low.
win=""
for _ in $(seq 300); do
    for w in $(xdotool search --onlyvisible --pid "$app" 2>/dev/null || true); do
        eval "$(xdotool getwindowgeometry --shell "$w")"
        if [ "$WIDTH" -gt 400 ] && [ "$HEIGHT" -gt 300 ]; then win="$w"; break; fi
    done
    [ -n "$win" ] && break
    sleep 0.1
done
[ -n "$win" ] || { echo "soak: the main window did not show" >&2; exit 1; }
xdotool windowfocus --sync "$win"
xdotool key --clearmodifiers alt+a

echo "soak: ${seconds}s, program pid $app, files in $work"
start=$(date +%s)
printf '%8s %10s %12s\n' "seconds" "rss_kB" "served"
while :; do
    now=$(($(date +%s) - start))
    rss="$(awk '/^VmRSS/ {print $2}' "/proc/$app/status")"
    printf '%8d %10s %12s\n' "$now" "$rss" "$(wc -l <"$work/served.txt")"
    [ "$now" -ge "$seconds" ] && break
    sleep $((seconds < 60 ? 5 : 30))
done

kill -TERM "$app"
wait "$app" || true
# Only automatic measuring's readings count: the connect sequence reads one too.
served="$(grep -c $'\tread?;conf?;syst:err?$' "$work/served.txt")"
file="$(ls "$work"/data/Log/Data_*)"
written="$(grep -vc '^#' "$file")"
echo "served $served readings, written $written data lines ($file)"
# Longest gap between consecutive time stamps (field 3 date-time, field 4 milliseconds).
awk -F';' '!/^#/ {
    split($3, d, /[- :]/); t = ((d[4] * 60 + d[5]) * 60 + d[6]) * 1000 + $4
    if (n++ > 0 && t - last > gap) gap = t - last
    if (n > 1 && t - last > 50) slow++
    last = t
} END {
    printf "longest gap between readings: %d ms; gaps over 50 ms: %d of %d\n", gap, slow, n
}' "$file"
