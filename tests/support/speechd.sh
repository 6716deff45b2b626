# A private speech-dispatcher with no audio device, logging every message it
# queues. Sourced after desktop.sh by the desktop scenario and the idle
# benchmark: start_speechd [NAME] sets SPEECHD_ADDRESS for the program,
# SPEECHD_PID, and SPEECHD_LOG for the test; a second call with the same
# name is a restart on the same socket with a fresh log.
# shellcheck shell=bash

start_speechd() {
  local d=$WORK/${1:-speechd}
  rm -rf "$d"
  mkdir -p "$d/conf" "$d/log" "$d/home"
  echo "default_driver=null" >"$d/home/.libao"
  cat >"$d/conf/speechd.conf" <<CONF
LogDir "$d/log"
LogLevel 5
AudioOutputMethod "libao"
AddModule "espeak-ng" "sd_espeak-ng" "/etc/speech-dispatcher/modules/espeak-ng.conf"
DefaultModule espeak-ng
CONF
  HOME=$d/home speech-dispatcher -s -t 0 -C "$d/conf" -c unix_socket -S "$d/sock" \
    -P "$d/pid" -L "$d/log" >/dev/null 2>&1 &
  SPEECHD_PID=$!
  PIDS+=("$SPEECHD_PID")
  SPEECHD_LOG=$d/log/speech-dispatcher.log
  wait_for 10 grep -q "waiting for clients" "$SPEECHD_LOG" || fail "speech-dispatcher did not start"
  export SPEECHD_ADDRESS=unix_socket:$d/sock
}

# How many times "Tallowin" was queued at the priority that waits behind
# earlier texts; whether at least N were.
spoken() { grep -c 'Queueing message |Tallowin| with priority 2' "$SPEECHD_LOG" || true; }
spoken_at_least() { (($(spoken) >= $1)); }
