#!/usr/bin/env bash
# Soak run: the viewer, headless, walks the generated demo building for many
# frames under a random input script (mouse, W S A D, flying, F, TAB) and must
# end normally, with a finite camera position in every frame of its trace and
# no growth of resident memory after the warm-up beyond 1 MB. Resident memory
# goes up and down by several MB from frame to frame with what the GL driver
# holds, so growth is the median of the samples in the last quarter of the run
# after the warm-up against the median in its first quarter: a leak moves the
# middle of the range, a frame's passing peak does not. The highest values
# are printed too.
#
#   bench/soak.sh [FRAMES [WARMUP]]     defaults 100000 and 1000
#
#   QUORVANE_BIN, MAPGEN_BIN  the binaries to use (default: build/release, built
#                             as a Release build when missing)
#   SOAK_SEED                 seed of the random script (default 1)
#   SOAK_KEEP                 a directory to keep the script, trace and samples in
#
# Prints the figures and "soak: passed" or "soak: FAILED (...)"; exit 0 or 1.
set -euo pipefail
cd "$(dirname "$0")/.."

frames=${1:-100000}
warmup=${2:-1000}
seed=${SOAK_SEED:-1}
limitKb=1024

if [ -z "${QUORVANE_BIN:-}" ] || [ -z "${MAPGEN_BIN:-}" ]; then
  build=build/release
  if [ ! -x "$build/quorvane" ] || [ ! -x "$build/mapgen" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANE_TESTS=OFF >/dev/null
    cmake --build "$build" -j2 --target quorvane mapgen >/dev/null
  fi
  QUORVANE_BIN=${QUORVANE_BIN:-$build/quorvane}
  MAPGEN_BIN=${MAPGEN_BIN:-$build/mapgen}
fi

work=$(mktemp -d)
cleanup() {
  if [ -n "${SOAK_KEEP:-}" ]; then mkdir -p "$SOAK_KEEP" && cp "$work"/*.txt "$work"/*.jsonl "$SOAK_KEEP"/ 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

"$MAPGEN_BIN" demo "$work/map" >/dev/null

# Runs of 1 to 40 frames, each with its own mouse movement and keys; a TAB
# release now and then flips the render mode.
awk -v frames="$frames" -v seed="$seed" 'BEGIN {
  srand(seed); left = frames
  while (left > 0) {
    n = 1 + int(rand() * 40); if (n > left) n = left
    dx = int((rand() - 0.5) * 60); dy = int((rand() - 0.5) * 30)
    if (rand() < 0.02) dy = int((rand() - 0.5) * 4000)   # a fling past straight up or down
    keys = ""
    if (rand() < 0.45) keys = keys " W"
    if (rand() < 0.20) keys = keys " S"
    if (rand() < 0.25) keys = keys " A"
    if (rand() < 0.25) keys = keys " D"
    if (rand() < 0.20) keys = keys " F"
    if (rand() < 0.25) keys = keys " L"
    if (rand() < 0.03) keys = keys " TAB"
    printf "%d* %d %d%s\n", n, dx, dy, keys
    left -= n
  }
}' > "$work/script.txt"

"$QUORVANE_BIN" --headless --dir "$work/map" --input "$work/script.txt" --trace "$work/trace.jsonl" \
  --tick-ms 16 >"$work/stdout.txt" 2>"$work/stderr.txt" &
pid=$!

# Resident memory against frames done, twice a second.
: > "$work/samples.txt"
start=$(date +%s)
while kill -0 "$pid" 2>/dev/null; do
  rss=$(sed -n 's/^VmRSS:[[:space:]]*\([0-9]*\) kB/\1/p' "/proc/$pid/status" 2>/dev/null || true)
  done_frames=0
  [ -f "$work/trace.jsonl" ] && done_frames=$(wc -l < "$work/trace.jsonl")
  [ -n "$rss" ] && echo "$done_frames $rss" >> "$work/samples.txt"
  sleep 0.5
done
status=0
wait "$pid" || status=$?
seconds=$(( $(date +%s) - start ))

traced=$(wc -l < "$work/trace.jsonl" || echo 0)
notFinite=$(grep -c -E '"(x|y|z)":null' "$work/trace.jsonl" || true)
quarterOf() {  # FROM TO: median and highest resident memory of the samples with FROM <= frame < TO
  awk -v from="$1" -v to="$2" '$1 >= from && $1 < to { print $2 }' "$work/samples.txt" | sort -n |
    awk '{ v[NR] = $1 } END { if (NR == 0) print 0, 0; else print v[int((NR + 1) / 2)], v[NR] }'
}
quarter=$(( (frames - warmup) / 4 ))
read -r firstRss firstHigh < <(quarterOf "$warmup" $(( warmup + quarter )))
read -r lastRss lastHigh < <(quarterOf $(( frames - quarter )) $(( frames + 1 )))
samples=$(awk -v w="$warmup" '$1 >= w' "$work/samples.txt" | wc -l)
growth=$(( lastRss - firstRss ))

echo "soak: $traced of $frames frames in $seconds s, exit $status"
echo "soak: frames with a position that is not finite: $notFinite"
echo "soak: resident memory after frame $warmup, first quarter: median $firstRss kB (highest $firstHigh kB); last quarter: median $lastRss kB (highest $lastHigh kB); growth $growth kB ($samples samples)"
problems=()
[ "$status" -eq 0 ] || problems+=("exit status $status: $(tail -3 "$work/stderr.txt" | tr '\n' ' ')")
[ "$traced" -eq "$frames" ] || problems+=("$traced frames traced, $frames scripted")
[ "$notFinite" -eq 0 ] || problems+=("positions not finite")
[ "$firstRss" -gt 0 ] && [ "$lastRss" -gt 0 ] || problems+=("too few memory samples after frame $warmup")
[ "$growth" -le "$limitKb" ] || problems+=("resident memory grew by $growth kB")
if [ ${#problems[@]} -eq 0 ]; then
  echo "soak: passed"
else
  echo "soak: FAILED (${problems[*]})"
  exit 1
fi
