#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds, and starts the program; arguments go to the program.
# Without "/ADDR:" the demo instrument (simulator) is started on 127.0.0.1:3490 and the
# program connects to it.
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
scripts/build.sh --target tervaxis tervaxis-sim

args=("$@")
sim_pid=""
if ! printf '%s\n' "${args[@]+"${args[@]}"}" | grep -qi '/addr:'; then
    build/sim/tervaxis-sim --port 3490 >/dev/null &
    sim_pid=$!
    trap 'kill "$sim_pid" 2>/dev/null || true' EXIT
    # Wait until the simulator listens before the program tries to connect.
    for _ in $(seq 1 50); do
        if (exec 3<>/dev/tcp/127.0.0.1/3490) 2>/dev/null; then
            break
        fi
        sleep 0.1
    done
    args=("/ADDR:127.0.0.1" "/PORT:3490" "/CONNECT" "${args[@]+"${args[@]}"}")
fi
build/src/tervaxis "${args[@]}"
