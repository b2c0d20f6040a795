#!/usr/bin/env bash
# Side-by-side throughput: the same 60 s of 48 kHz stereo (the demo guitar,
# looped) through tonewarp-render with the sixteen-slot chain of
# bench/heavy_chain.pre (every kind, each in its heaviest setting, the three
# per-sample-transcendental distortions twice), and through sox with a
# sixteen-effect chain of comparable work. Each is run RUNS times; the best
# wall time of each gives its real-time factor. Then process_chain alone on
# the same chain (chain_bench, no file I/O).
#
# usage: bench/render_vs_sox.sh [BUILD] [RUNS]    (defaults: build, 3)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
runs=${2:-3}
bin=$build/bin
for t in tonewarp-render tonewarp-preset chain_bench demo_guitar.wav demo1.wav; do
  if [ ! -e "$bin/$t" ]; then
    echo "$bin/$t is missing: build it first (ninja -C $build tonewarp-render tonewarp-preset chain_bench tw_data)." >&2
    exit 1
  fi
done
command -v sox >/dev/null || { echo "sox is not installed: apt-get install sox." >&2; exit 1; }
[[ "$runs" =~ ^[1-9][0-9]*$ ]] || { echo "RUNS must be a whole number of at least 1, not '$runs'." >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
seconds=60
sox -V1 "$bin/demo_guitar.wav" -r 48000 -c 2 -b 16 "$work/in.wav" repeat 200 trim 0 $seconds

# The stored preset must be what the JSON builds (rebuild it with
# tonewarp-preset build bench/heavy_chain.json bench/heavy_chain.pre).
pre=$here/heavy_chain.pre
"$bin/tonewarp-preset" build "$here/heavy_chain.json" "$work/check.pre" >/dev/null
cmp -s "$work/check.pre" "$pre" || echo "note: bench/heavy_chain.pre differs from what heavy_chain.json builds; using the stored one." >&2

now() { date +%s.%N; }
# best_of CMD...: the shortest wall time of RUNS runs, in seconds.
best_of() {
  local best="" t0 t1 dt
  for _ in $(seq "$runs"); do
    t0=$(now)
    if ! "$@" >"$work/log" 2>&1; then
      echo "failed: $*" >&2; cat "$work/log" >&2; exit 1
    fi
    t1=$(now)
    dt=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f", b - a }')
    if [ -z "$best" ] || awk -v d="$dt" -v b="$best" 'BEGIN { exit !(d < b) }'; then best=$dt; fi
  done
  echo "$best"
}

tw_time=$(best_of "$bin/tonewarp-render" --preset "$pre" "$work/in.wav" "$work/tw.wav")
sox_time=$(best_of sox -V1 "$work/in.wav" -e floating-point -b 32 "$work/sox.wav" \
  compand 0.002,0.1 -90,-90,-70,-90,-60,-60 \
  highpass 60 \
  equalizer 125 1q +3 \
  equalizer 850 1q -2 \
  equalizer 3400 1q +4 \
  compand 0.01,0.1 6:-70,-60,-20 -5 -90 0.05 \
  overdrive 20 20 \
  contrast 75 \
  equalizer 800 2q +6 \
  echo 0.8 0.7 350 0.4 \
  flanger \
  chorus 0.7 0.9 55 0.4 0.25 2 -t \
  reverb 50 \
  gain -3 \
  lowpass 6000 \
  treble +2)

tw_rt=$(awk -v s="$seconds" -v t="$tw_time" 'BEGIN { print s / t }')
sox_rt=$(awk -v s="$seconds" -v t="$sox_time" 'BEGIN { print s / t }')
printf 'input: %d s, 48000 Hz stereo; best of %d runs; load average %s\n' "$seconds" "$runs" "$(cut -d' ' -f1-3 /proc/loadavg)"
printf 'tonewarp-render, 16 slots (%s): %6.3f s  %7.1fx real time\n' "$(basename "$pre")" "$tw_time" "$tw_rt"
printf 'sox, 16 effects:                          %6.3f s  %7.1fx real time\n' "$sox_time" "$sox_rt"
printf 'ratio tonewarp / sox: %.2f\n' "$(awk -v a="$tw_rt" -v b="$sox_rt" 'BEGIN { print a / b }')"
echo "process_chain alone on the same chain (512-frame stereo buffers, no file I/O):"
TW_HEAVY_PRESET=$pre "$bin/chain_bench" --benchmark_filter=Heavy --benchmark_repetitions="$runs" \
  --benchmark_report_aggregates_only=false 2>/dev/null | grep -E 'Heavy' || true
