#!/usr/bin/env bash
# Two measurements of the windowed app on the offscreen platform:
#  1. start-up: from launching the process to the first frame of the tab
#     screen, the median of 5 runs;
#  2. main-thread load while recording at 100 samples a second: the CPU time
#     the main thread uses over 10 seconds of a running recording, as a share
#     of one core.
# Usage: bench/startup_and_cpu.sh [path/to/hopster]
set -euo pipefail
hopster=${1:-build/default/src/app/hopster}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/config/hopster" "$scratch/runtime"
chmod 700 "$scratch/runtime"
echo '{"hasSeenOnboarding": true}' > "$scratch/config/hopster/settings.json"
# No session bus: a Hopster the user has open would otherwise answer for the
# window measured here (one window per session).
export QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$scratch/config" XDG_DATA_HOME="$scratch/data" \
       XDG_RUNTIME_DIR="$scratch/runtime" DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/session_bus_socket

times=()
for _ in 1 2 3 4 5; do
  start=$(date +%s%N)
  while IFS= read -r line; do
    if [[ $line == "First frame"* ]]; then
      times+=($(( ($(date +%s%N) - start) / 1000000 )))
    fi
  done < <("$hopster" --smoke-test 2>/dev/null)
done
sorted=($(printf '%s\n' "${times[@]}" | sort -n))
echo "start-up to first frame (ms), 5 runs: ${times[*]}; median ${sorted[2]}"

"$hopster" --start --rate 100 >/dev/null 2>&1 &
pid=$!
sleep 8  # the countdown, then a few seconds of recording
ticks() { awk '{print $14 + $15}' "/proc/$pid/task/$pid/stat"; }
before=$(ticks)
sleep 10
after=$(ticks)
kill "$pid"
wait "$pid" 2>/dev/null || true
hz=$(getconf CLK_TCK)
echo "main thread while recording at 100 samples/s: $(( (after - before) * 100 / (10 * hz) ))% of one core"
