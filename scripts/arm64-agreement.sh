#!/usr/bin/env bash
# Counting agrees across architectures: the same seeded session and the same
# replayed recordings, run by the native build (build/default) and by the
# arm64 build (build/arm64) under qemu-aarch64, give the same jumps and the
# same saved traces. The traces are compared byte for byte in every column
# but the first (the wall-clock time stamps, which differ from run to run).
# Run after `make build` and `make arm64`.
set -euo pipefail
cd "$(dirname "$0")/.."

native=$PWD/build/default/src/app/hopster
arm64=$PWD/build/arm64/src/app/hopster
for b in "$native" "$arm64"; do [ -x "$b" ] || { echo "missing $b" >&2; exit 1; }; done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# run NAME PROGRAM... : a headless run in a fresh home; prints the jumps and
# the fingerprint of the saved trace without its time column.
run() {
  local home=$work/$1
  shift
  mkdir -p "$home"
  XDG_DATA_HOME=$home XDG_CONFIG_HOME=$home XDG_CACHE_HOME=$home/cache XDG_RUNTIME_DIR=$home \
    TZ=UTC "$@" >"$home/out.txt" 2>&1
  local record
  record=$(ls "$home"/hopster/Documents/*.json)
  cp "$record" "$home/record.json"
  python3 - "$home/record.json" <<'EOF'
import hashlib, json, sys
record = json.load(open(sys.argv[1]))
rows = [line.split(",", 1)[1] for line in record["csvText"].splitlines()]
print(record["jumps"], len(rows) - 1, hashlib.sha256("\n".join(rows).encode()).hexdigest()[:16])
EOF
}

same() {
  if [ "$2" = "$3" ]; then echo "  same: $2"; else echo "  DIFFERENT: native $2, arm64 $3"; failed=1; fi
}

failed=0
echo "== hopster --headless --fast --seconds 60 --seed 7 (jumps, samples, trace fingerprint)"
a=$(run seed7-native "$native" --headless --fast --seconds 60 --seed 7)
b=$(run seed7-arm64 qemu-aarch64 "$arm64" --headless --fast --seconds 60 --seed 7)
same seed7 "$a" "$b"

# Three recordings made natively, at different cadences and rates, replayed
# and recounted by both.
i=0
for made in "--seed 11 --cadence 1.5 --rate 25 --seconds 90" \
            "--seed 12 --cadence 3 --rate 100 --seconds 60" \
            "--seed 13 --cadence 2.5 --rate 50 --seconds 120"; do
  i=$((i + 1))
  # shellcheck disable=SC2086
  run "made$i" "$native" --headless --fast $made >/dev/null
  file=$work/made$i/record.json
  echo "== recording $i ($made): hopster recount"
  a=$(TZ=UTC "$native" recount "$file")
  b=$(TZ=UTC qemu-aarch64 "$arm64" recount "$file")
  same recount "$a" "$b"
  echo "== recording $i: --headless --fast --motion replay:FILE (jumps, samples, trace fingerprint)"
  a=$(run "replay$i-native" "$native" --headless --fast --motion "replay:$file")
  b=$(run "replay$i-arm64" qemu-aarch64 "$arm64" --headless --fast --motion "replay:$file")
  same replay "$a" "$b"
done
[ $failed -eq 0 ] && echo "== counts and traces agree" || { echo "== they differ"; exit 1; }
