# A private speech-dispatcher with no audio device, logging every message it
# queues. Sourced after desktop.sh; sets SPEECHD_ADDRESS for the program and
# SPEECHD_LOG for the test.
# shellcheck shell=bash

start_speechd() {
  local d=$WORK/speechd
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
  PIDS+=($!)
  wait_for 10 test -S "$d/sock" || fail "speech-dispatcher did not start"
  export SPEECHD_ADDRESS=unix_socket:$d/sock
  SPEECHD_LOG=$d/log/speech-dispatcher.log
}
