#!/bin/sh
# Starts or stops a private PipeWire server without hardware for the
# pipewire-labelled tests and benchmarks: its own D-Bus session bus,
# pipewire, wireplumber and pipewire-pulse, all in STATE_DIR/run (the
# runtime folder clients find with XDG_RUNTIME_DIR=STATE_DIR/run), so a
# user's own server is never touched. The graph runs on the Dummy-Driver.
# Three null nodes at 48000 Hz, two channels each:
#   tw_null  "TestOut"     a sink: the program's output; its monitor ports
#                          are what a test records
#   tw_in    "TestSource"  a source: what a test plays into its input ports
#                          comes out of its capture ports, the program's input
#   tw_src   "TestIn"      a sink, as in pulse_fixture.sh: the Pulse path's
#                          input is "Monitor of TestIn"
# tw_null is the default sink, tw_in the default source. HOME=STATE_DIR gives
# alsa-lib the private .asoundrc of pulse_fixture.sh.
# Usage: pipewire_fixture.sh start|stop STATE_DIR
set -u
action=$1 state=$2
run="$state/run"
env_run() { env -u PIPEWIRE_REMOTE XDG_RUNTIME_DIR="$run" PIPEWIRE_RUNTIME_DIR="$run" HOME="$state" \
  DBUS_SESSION_BUS_ADDRESS="unix:path=$run/bus" "$@"; }
# A daemon in the background, its own pid in run/NAME.pid (exec: no shell
# between), its output in NAME.log and nothing of it on our stdout.
daemon() {
  name=$1
  shift
  (exec env -u PIPEWIRE_REMOTE XDG_RUNTIME_DIR="$run" PIPEWIRE_RUNTIME_DIR="$run" HOME="$state" \
    DBUS_SESSION_BUS_ADDRESS="unix:path=$run/bus" "$@" </dev/null >"$state/$name.log" 2>&1) &
  echo $! >"$run/$name.pid"
}
stop() {
  [ -d "$run" ] || return 0
  for name in pipewire-pulse wireplumber pipewire dbus; do
    pid=$(cat "$run/$name.pid" 2>/dev/null || true)
    [ -n "$pid" ] || continue
    kill "$pid" 2>/dev/null
    i=0
    while kill -0 "$pid" 2>/dev/null && [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done
    kill -0 "$pid" 2>/dev/null && kill -9 "$pid"
  done
  rm -rf "$run"
}
fail() {
  echo "pipewire_fixture: $1" >&2
  tail -n 20 "$state"/*.log >&2 2>/dev/null
  stop
  exit 1
}
# Waits up to 10 s for a command to succeed.
wait_for() {
  i=0
  until "$@" >/dev/null 2>&1; do
    i=$((i + 1))
    [ $i -lt 100 ] || return 1
    sleep 0.1
  done
}
has_node() { env_run timeout 3 pw-cli ls Node </dev/null 2>/dev/null | grep -q "node.name = \"$1\""; }
# A linger null node of the adapter factory.
make_node() {
  env_run timeout 5 pw-cli create-node adapter "{ factory.name=support.null-audio-sink node.name=$1 \
    node.description=$2 media.class=$3 object.linger=true audio.rate=48000 audio.position=[FL FR] }" </dev/null >/dev/null 2>&1
  wait_for has_node "$1"
}
case "$action" in
  start)
    stop
    mkdir -p "$run" && chmod 700 "$run"
    printf 'pcm.!default { type pulse }\nctl.!default { type pulse }\n' >"$state/.asoundrc"
    daemon dbus dbus-daemon --session --address="unix:path=$run/bus" --nofork --nopidfile --syslog-only
    wait_for test -S "$run/bus" || fail "the D-Bus session bus did not start"
    daemon pipewire pipewire
    wait_for env_run timeout 2 pw-cli info 0 || fail "pipewire did not answer"
    daemon wireplumber wireplumber
    daemon pipewire-pulse pipewire-pulse
    make_node tw_null TestOut Audio/Sink || fail "the sink tw_null did not appear"
    make_node tw_src TestIn Audio/Sink || fail "the sink tw_src did not appear"
    make_node tw_in TestSource Audio/Source/Virtual || fail "the source tw_in did not appear"
    wait_for env_run timeout 2 pactl info || fail "pipewire-pulse did not answer"
    env_run timeout 5 pw-metadata 0 default.configured.audio.sink '{ "name": "tw_null" }' >/dev/null &&
      env_run timeout 5 pw-metadata 0 default.configured.audio.source '{ "name": "tw_in" }' >/dev/null ||
      fail "the default devices could not be set"
    # The session manager follows the configured defaults.
    wait_for sh -c "env XDG_RUNTIME_DIR='$run' PIPEWIRE_RUNTIME_DIR='$run' timeout 2 pw-metadata 0 default.audio.sink | grep -q tw_null" ||
      fail "wireplumber did not take tw_null as the default sink"
    ;;
  stop) stop ;;
  *) echo "usage: $0 start|stop STATE_DIR" >&2; exit 2 ;;
esac
