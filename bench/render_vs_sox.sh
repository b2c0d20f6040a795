#!/usr/bin/env bash
# Side-by-side throughput on the same 60 s of 48 kHz stereo (the demo guitar,
# looped), each pair in one run of this script:
#   1. tonewarp-render with bench/heavy_chain.pre (sixteen slots: every kind,
#      each in its heaviest setting, the three distortions with a per-sample
#      arctangent or power twice) against sox with sixteen effects of the same
#      sorts (gate, equaliser, compressor, overdrive, echo, flanger, chorus,
#      reverb, filters, gain);
#   2. tonewarp-render with bench/distortion_chain.pre (noise gate,
#      Distortion-Compressor, Distortion (Soft/Hard), Gain, four times) against
#      sox with compand, overdrive, equalizer, gain, highpass and lowpass.
# Each program runs RUNS times; the best wall time and the best CPU time (user
# + system) give its real-time factors. Then process_chain alone on each chain
# (chain_bench, no file I/O).
#
# usage: bench/render_vs_sox.sh [BUILD] [RUNS]    (defaults: build, 3)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
runs=${2:-3}
bin=$build/bin
for t in tonewarp-render tonewarp-preset chain_bench demo_guitar.wav demo1.wav; do
  if [ ! -e "$bin/$t" ]; then
    echo "$bin/$t is missing: build it first (ninja -C $build tonewarp-render tonewarp-preset chain_bench tw_data tw_demo_guitar tw_demo_backing)." >&2
    exit 1
  fi
done
command -v sox >/dev/null || { echo "sox is not installed: apt-get install sox." >&2; exit 1; }
[[ "$runs" =~ ^[1-9][0-9]*$ ]] || { echo "RUNS must be a whole number of at least 1, not '$runs'." >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
seconds=60
sox -V1 "$bin/demo_guitar.wav" -r 48000 -c 2 -b 16 "$work/in.wav" repeat 200 trim 0 $seconds

# best_of CMD...: runs CMD RUNS times; prints the shortest wall time and the
# shortest CPU time (user + system), in seconds. On a loaded machine the CPU
# time is the steadier figure; on a quiet one the two agree.
best_of() {
  local best_wall="" best_cpu="" wall user sys cpu
  for _ in $(seq "$runs"); do
    if ! { TIMEFORMAT='%R %U %S'; time "$@" >"$work/log" 2>&1; } 2>"$work/time"; then
      echo "failed: $*" >&2; cat "$work/log" >&2; exit 1
    fi
    read -r wall user sys <"$work/time"
    cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.3f", u + s }')
    if [ -z "$best_wall" ] || awk -v d="$wall" -v b="$best_wall" 'BEGIN { exit !(d < b) }'; then best_wall=$wall; fi
    if [ -z "$best_cpu" ] || awk -v d="$cpu" -v b="$best_cpu" 'BEGIN { exit !(d < b) }'; then best_cpu=$cpu; fi
  done
  echo "$best_wall $best_cpu"
}
rt() { awk -v s="$seconds" -v t="$1" 'BEGIN { printf "%.1f", s / t }'; }
row() { printf '%-46s %8.3f %8s %8.3f %8s\n' "$1" "$2" "$(rt "$2")" "$3" "$(rt "$3")"; }

# compare NAME SOX_EFFECTS...: the chain bench/NAME.pre against sox.
compare() {
  local name=$1 pre=$here/$1.pre tw sox
  shift
  # The stored preset must be what its JSON builds (rebuild it with
  # tonewarp-preset build bench/NAME.json bench/NAME.pre).
  "$bin/tonewarp-preset" build "$here/$name.json" "$work/check.pre" >/dev/null
  cmp -s "$work/check.pre" "$pre" || echo "note: bench/$name.pre differs from what $name.json builds; using the stored one." >&2
  tw=$(best_of "$bin/tonewarp-render" --preset "$pre" "$work/in.wav" "$work/tw.wav")
  sox=$(best_of sox -V1 "$work/in.wav" -e floating-point -b 32 "$work/sox.wav" "$@")
  read -r tw_wall tw_cpu <<<"$tw"
  read -r sox_wall sox_cpu <<<"$sox"
  echo
  printf '%-46s %8s %8s %8s %8s\n' "$name" "wall s" "x real" "CPU s" "x real"
  row "tonewarp-render, 16 slots" "$tw_wall" "$tw_cpu"
  row "sox, 16 effects" "$sox_wall" "$sox_cpu"
  printf 'ratio tonewarp / sox: %s (wall), %s (CPU)\n' \
    "$(awk -v a="$tw_wall" -v b="$sox_wall" 'BEGIN { printf "%.2f", b / a }')" \
    "$(awk -v a="$tw_cpu" -v b="$sox_cpu" 'BEGIN { printf "%.2f", b / a }')"
  printf 'process_chain alone (512-frame stereo buffers, best of %d): ' "$runs"
  TW_HEAVY_PRESET=$pre "$bin/chain_bench" --benchmark_filter=Heavy --benchmark_repetitions="$runs" 2>/dev/null |
    awk '/^BM_Chain16Heavy / { for (i = 1; i <= NF; ++i) if ($i ~ /^realtime_factor=/) { v = substr($i, 17); sub(/\/s$/, "", v);
           if (v ~ /k$/) { sub(/k$/, "", v); v *= 1000 } if (v > best) best = v } }
         END { printf "%.1fx real time (CPU)\n", best }'
}

printf 'input: %d s, 48000 Hz stereo; best of %d runs; load average %s\n' "$seconds" "$runs" "$(cut -d' ' -f1-3 /proc/loadavg)"
compare heavy_chain \
  compand 0.002,0.1 -90,-90,-70,-90,-60,-60 \
  equalizer 125 1q +3 equalizer 850 1q -2 equalizer 3400 1q +4 highpass 60 \
  compand 0.01,0.1 6:-70,-60,-20 -5 -90 0.05 \
  overdrive 20 20 contrast 75 equalizer 800 2q +6 \
  echo 0.8 0.7 350 0.4 flanger chorus 0.7 0.9 55 0.4 0.25 2 -t reverb 50 \
  gain -3 lowpass 6000 treble +2
compare distortion_chain \
  compand 0.002,0.1 -90,-90,-70,-90,-60,-60 overdrive 20 20 equalizer 800 1q +3 gain -3 \
  highpass 80 lowpass 6000 compand 0.01,0.1 6:-70,-60,-20 -5 -90 0.05 overdrive 10 20 \
  equalizer 2400 1q -2 gain -2 highpass 60 lowpass 8000 \
  compand 0.01,0.1 6:-70,-60,-20 -5 -90 0.05 overdrive 10 20 equalizer 400 1q +2 gain -1
