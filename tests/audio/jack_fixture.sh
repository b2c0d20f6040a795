#!/bin/sh
# Starts or stops the private JACK server (dummy driver) of the jack-labelled
# tests. Usage: jack_fixture.sh start|stop NAME STATE_DIR [PERIOD]
set -u
action=$1 name=$2 state=$3 period=${4:-256}
pidfile="$state/jackd-$name.pid"
mkdir -p "$state"
stop() {
  if [ -f "$pidfile" ]; then
    pid=$(cat "$pidfile")
    if kill -0 "$pid" 2>/dev/null; then
      kill "$pid"
      i=0
      while kill -0 "$pid" 2>/dev/null && [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done
      kill -0 "$pid" 2>/dev/null && kill -9 "$pid"
    fi
    rm -f "$pidfile"
  fi
}
case "$action" in
  start)
    stop
    jackd -n "$name" --no-realtime -d dummy -r 48000 -p "$period" >"$state/jackd-$name.log" 2>&1 &
    echo $! >"$pidfile"
    JACK_DEFAULT_SERVER="$name" jack_wait -w -t 10 >/dev/null 2>&1 || { cat "$state/jackd-$name.log"; stop; exit 1; }
    ;;
  stop) stop ;;
  *) echo "usage: $0 start|stop NAME STATE_DIR [PERIOD]" >&2; exit 2 ;;
esac
