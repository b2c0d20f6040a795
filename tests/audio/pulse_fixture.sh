#!/bin/sh
# Starts or stops a private PulseAudio server without hardware for the
# pulse-labelled tests and benchmarks. Its runtime folder (socket, pid) is
# STATE_DIR/run, so a user's own server is never touched (clients find it
# with XDG_RUNTIME_DIR=STATE_DIR/run). Two null sinks at 48000 Hz: tw_null,
# shown as "TestOut" (the program's output; its monitor is what a test
# records), and tw_src, shown as "TestIn" (what a test plays there reaches the
# program through "Monitor of TestIn"). HOME=STATE_DIR also gives alsa-lib
# the private .asoundrc written here: ALSA's "default" device goes through
# this server's default sink and source, as on a desktop: tw_null and
# TestIn's monitor. Runs as root too (the server warns, then
# works).
# Usage: pulse_fixture.sh start|stop STATE_DIR
set -u
action=$1 state=$2
run="$state/run"
stop() {
  [ -d "$run" ] || return 0
  pidfile="$run/pulse/pid"
  pid=$(cat "$pidfile" 2>/dev/null || true)
  XDG_RUNTIME_DIR="$run" HOME="$state" timeout 5 pactl exit >/dev/null 2>&1 || true
  if [ -n "$pid" ]; then
    i=0
    while kill -0 "$pid" 2>/dev/null && [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done
    kill -0 "$pid" 2>/dev/null && kill -9 "$pid"
  fi
  rm -rf "$run"
}
case "$action" in
  start)
    stop
    mkdir -p "$run" && chmod 700 "$run"
    printf 'pcm.!default { type pulse }\nctl.!default { type pulse }\n' >"$state/.asoundrc"
    XDG_RUNTIME_DIR="$run" HOME="$state" timeout 15 pulseaudio -n --daemonize=yes --exit-idle-time=-1 \
      --use-pid-file=yes --log-target=file:"$state/pulse.log" \
      -L module-native-protocol-unix \
      -L "module-null-sink sink_name=tw_null rate=48000 sink_properties=device.description=TestOut" \
      -L "module-null-sink sink_name=tw_src rate=48000 sink_properties=device.description=TestIn" || { cat "$state/pulse.log" 2>/dev/null; stop; exit 1; }
    i=0
    until XDG_RUNTIME_DIR="$run" HOME="$state" timeout 2 pactl info >/dev/null 2>&1; do
      i=$((i + 1))
      [ $i -lt 50 ] || { cat "$state/pulse.log" 2>/dev/null; stop; exit 1; }
      sleep 0.1
    done
    XDG_RUNTIME_DIR="$run" HOME="$state" timeout 5 pactl set-default-sink tw_null &&
      XDG_RUNTIME_DIR="$run" HOME="$state" timeout 5 pactl set-default-source tw_src.monitor ||
      { stop; exit 1; }
    ;;
  stop) stop ;;
  *) echo "usage: $0 start|stop STATE_DIR" >&2; exit 2 ;;
esac
