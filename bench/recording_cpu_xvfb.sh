#!/usr/bin/env bash
# CPU load of the whole program (all threads, the GL driver's included) in a
# real X11 window drawn with Mesa's software OpenGL (llvmpipe) under Xvfb:
#  - idle on the jump screen, not recording;
#  - recording at 25 and at 100 samples a second from the simulated motion.
# Each figure is the process's user + system time over a 10-second span, as a
# share of one core.
# Usage: bench/recording_cpu_xvfb.sh [path/to/hopster] [seconds]
# HOPSTER_BENCH_ARGS adds options to the recordings (say "--cadence 0.1" to
# see the chart's share without the count's animation at every jump).
set -euo pipefail
hopster=$(realpath "${1:-build/default/src/app/hopster}")
span=${2:-10}
screen=${HOPSTER_XVFB_SCREEN:-390x844x24}
scratch=$(mktemp -d)
[[ -z ${HOPSTER_KEEP_SCRATCH:-} ]] || echo "scratch: $scratch"
trap '[[ -n ${HOPSTER_KEEP_SCRATCH:-} ]] || rm -rf "$scratch"' EXIT

hz=$(getconf CLK_TCK)
status=0

# One run: a fresh profile, the program in a window, a wait, then the span.
# Arguments: a label, the seconds to wait before measuring, hopster's options.
measure() {
  local label=$1 wait=$2
  shift 2
  local home="$scratch/$label"
  mkdir -p "$home/config/hopster" "$home/data" "$home/runtime"
  chmod 700 "$home/runtime"
  echo '{"hasSeenOnboarding": true}' >"$home/config/hopster/settings.json"
  cat >"$home/run.sh" <<EOF
#!/usr/bin/env bash
export QT_QPA_PLATFORM=xcb LIBGL_ALWAYS_SOFTWARE=1 GALLIUM_DRIVER=llvmpipe
export XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" XDG_RUNTIME_DIR="$home/runtime"
"$hopster" $* >"$home/log" 2>&1 &
pid=\$!
sleep $wait
ticks() { awk '{print \$14 + \$15}' "/proc/\$pid/stat" 2>/dev/null; }
before=\$(ticks)
sleep $span
after=\$(ticks)
if [[ -z \$before || -z \$after ]] || ! kill "\$pid" 2>/dev/null; then
  echo died
  exit 0
fi
wait "\$pid" 2>/dev/null || true
echo \$(( after - before ))
EOF
  chmod +x "$home/run.sh"
  local used
  used=$(xvfb-run -a -s "-screen 0 $screen" "$home/run.sh" | tail -n 1)
  if [[ $used == died ]]; then
    printf '%-28s the program ended early:\n' "$label:"
    tail -n 5 "$home/log"
    status=1
    return
  fi
  # Per mille of one core, printed as a percentage with one decimal.
  local permille=$((used * 1000 / (span * hz)))
  printf '%-28s %d.%d%% of one core\n' "$label:" $((permille / 10)) $((permille % 10))
}

measure idle 6
# The countdown takes four seconds; measure a few seconds into the recording.
extra=${HOPSTER_BENCH_ARGS:-}
measure recording-25-samples-per-s 8 --start --rate 25 $extra
measure recording-100-samples-per-s 8 --start --rate 100 $extra
exit $status
