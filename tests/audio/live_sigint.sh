#!/bin/sh
# tonewarp-live stops cleanly on SIGINT and SIGTERM: STOP, close, "Stopped.", exit 0.
# Usage: live_sigint.sh TONEWARP_LIVE
set -u
exe=$1
out=$(mktemp)
trap 'rm -f "$out"' EXIT
for sig in INT TERM; do
  # A background job of a script starts with SIGINT ignored, and the tool
  # rightly keeps a signal it was started ignoring: start it as a terminal would.
  env --default-signal=INT "$exe" --no-system >"$out" 2>&1 &
  pid=$!
  sleep 1.5
  kill -s "$sig" "$pid"
  wait "$pid"
  rc=$?
  if [ "$rc" -ne 0 ]; then echo "SIG$sig: exit $rc"; cat "$out"; exit 1; fi
  grep -q "latency" "$out" || { echo "SIG$sig: no status line"; cat "$out"; exit 1; }
  tail -n 1 "$out" | grep -qx "Stopped." || { echo "SIG$sig: not stopped cleanly"; cat "$out"; exit 1; }
done
echo ok
