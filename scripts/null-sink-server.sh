# Sourced: an audio server of the caller's own, in user space, with one float32
# null sink (no hardware) and nothing from the user's configuration.
#   start_null_sink DIR RATE CHANNELS   starts it; exports PULSE_SERVER and
#                                       friends, so the clients started after
#                                       it play to its null sink
#   stop_null_sink                      stops it and waits until it is gone
# After start: $sound_pid is the server, $sound_sink the sink's name,
# $sound_monitor its monitor.

start_null_sink() {
  local dir=$1 rate=$2 channels=$3
  mkdir -p "$dir/runtime" "$dir/state" "$dir/config"
  export PULSE_RUNTIME_PATH=$dir/runtime PULSE_STATE_PATH=$dir/state
  export XDG_CONFIG_HOME=$dir/config PULSE_SERVER=unix:$dir/runtime/native
  unset PULSE_SINK PULSE_SOURCE
  sound_sink=fulgora_null sound_monitor=fulgora_null.monitor
  pulseaudio --daemonize=no --system=no -n --use-pid-file=no --exit-idle-time=-1 \
    --realtime=no --high-priority=no --disable-shm=yes --log-target=file:"$dir/server.log" \
    --load="module-native-protocol-unix socket=$dir/runtime/native auth-anonymous=1" \
    --load="module-null-sink sink_name=$sound_sink format=float32le rate=$rate channels=$channels" \
    >/dev/null 2>&1 &
  sound_pid=$!
  for _ in $(seq 100); do
    pactl info >/dev/null 2>&1 && return 0
    kill -0 "$sound_pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "the audio server did not start:" >&2
  tail -n 5 "$dir/server.log" >&2
  stop_null_sink
  return 1
}

stop_null_sink() {
  [ -n "${sound_pid:-}" ] || return 0
  kill "$sound_pid" 2>/dev/null || true
  for _ in $(seq 100); do kill -0 "$sound_pid" 2>/dev/null || break; sleep 0.05; done
  kill -9 "$sound_pid" 2>/dev/null || true
  wait "$sound_pid" 2>/dev/null || true
  sound_pid=
}
