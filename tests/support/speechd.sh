# A private speech-dispatcher with no audio device, logging every message it
# queues to DIR/log/speech-dispatcher.log and listening on DIR/sock.
# Sourced by the desktop scenario and the benchmark (start_speechd, after
# desktop.sh: sets SPEECHD_ADDRESS for the program and SPEECHD_LOG for the
# test); run by the speech test as: speechd.sh serve DIR
# shellcheck shell=bash

# speechd_serve DIR: runs the server in the foreground until it is killed.
speechd_serve() {
  local d=$1
  mkdir -p "$d/conf" "$d/log" "$d/home"
  echo "default_driver=null" >"$d/home/.libao"
  cat >"$d/conf/speechd.conf" <<CONF
LogDir "$d/log"
LogLevel 5
AudioOutputMethod "libao"
AddModule "espeak-ng" "sd_espeak-ng" "/etc/speech-dispatcher/modules/espeak-ng.conf"
DefaultModule espeak-ng
CONF
  HOME=$d/home exec speech-dispatcher -s -t 0 -C "$d/conf" -c unix_socket -S "$d/sock" \
    -P "$d/pid" -L "$d/log"
}

start_speechd() {
  local d=$WORK/speechd
  (speechd_serve "$d") >/dev/null 2>&1 &
  PIDS+=($!)
  wait_for 10 test -S "$d/sock" || fail "speech-dispatcher did not start"
  export SPEECHD_ADDRESS=unix_socket:$d/sock
  SPEECHD_LOG=$d/log/speech-dispatcher.log
}

if [[ ${BASH_SOURCE[0]} == "$0" && ${1:-} == serve ]]; then
  speechd_serve "$2"
fi
