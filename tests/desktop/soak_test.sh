#!/usr/bin/env bash
# Weeks of watching in minutes: two installed programs on a real desktop,
# one polling plain POP3 and one pop3s://, each with its clock run ten times
# fast, through some thirty ticks each: mail coming and going, the server
# stopped and started again, a restore and a minimise. Every tick must log
# in, announce exactly when the count is above the remembered one, show the
# picture that goes with it, and leave no descriptor, thread or memory
# behind.
# usage: soak_test.sh BUILD_DIR ARTIFACT_DIR
if [[ -z ${TALLOWIN_IN_NETNS:-} ]]; then
  export TALLOWIN_IN_NETNS=1
  exec unshare --net --mount -- bash "$0" "$@"
fi
here=$(dirname "$0")
source "$here/desktop.sh"
source "$here/../../scripts/mailbox.sh"
source "$here/../../scripts/program_folder.sh"
source "$here/../support/speechd.sh"
source "$here/../support/test_ca.sh"
ip link set lo up
install_program "$1" "$2"

readonly FAKETIME_LIB=/usr/lib/x86_64-linux-gnu/faketime/libfaketimeMT.so.1
readonly TICK=6    # real seconds between ticks, the clock at ten times
readonly TICKS=28  # good ticks of each program, outage and restore aside

start_xvfb
start_wm
start_tray
trust_test_ca

declare -A MAILBOX PROGRAM SPEECH_LOG
# start_watched KIND SERVER_FIELD DOVECOT_ARGS...: a mailbox with one
# message, a speech server, and the program watching them, shown.
start_watched() {
  local kind=$1
  mailbox_start "$WORK/mail-$kind" "${@:3}" "$kind" secret || fail "dovecot did not start"
  ln -s "$MAILBOX_LOG" "$WORK/dovecot-$kind.log"  # for the artifacts of a failure
  MAILBOX[$kind]="$MAILBOX_DIR $MAILBOX_MAILDIR $MAILBOX_LOG $MAILBOX_PID $3"
  mailbox_deliver first
  start_speechd "speech-$kind"
  SPEECH_LOG[$kind]=$SPEECHD_LOG
  ln -s "$SPEECHD_LOG" "$WORK/speech-$kind.log"
  program_folder "$WORK/$kind" "$app" "$2" "$kind" secret
  LD_PRELOAD=$FAKETIME_LIB FAKETIME="+0 x10" "$WORK/$kind/tallowin" >"$WORK/$kind.log" 2>&1 &
  PROGRAM[$kind]=$!
  PIDS+=("$!")
}
MAILBOX_TLS_PORT=995 MAILBOX_TLS_CERT=$TEST_CA_CERT MAILBOX_TLS_KEY=$TEST_CA_KEY \
  start_watched tls pop3s://localhost 1110
start_watched plain 127.0.0.1 110

# The cycle of one program, in a subshell of its own.
watch_cycle() {
  local kind=$1 pid=${PROGRAM[$1]}
  local port
  read -r MAILBOX_DIR MAILBOX_MAILDIR MAILBOX_LOG MAILBOX_PID port <<<"${MAILBOX[$kind]}"
  MAILBOX_USER=$kind
  SPEECHD_LOG=${SPEECH_LOG[$kind]}
  ARTIFACTS=$ARTIFACTS/$kind
  mkdir -p "$ARTIFACTS"
  trap mailbox_stop EXIT  # a restarted server is this shell's own
  # The checks between ticks yield to the programs and their servers, whose
  # replies have a fifth of a second (STAT a twentieth) at ten times.
  renice -n 10 -p "$BASHPID" >/dev/null
  say() { echo "[$kind] $*"; }

  main() { program_window 'w > 64' --all --pid "$pid" --name '^Tallowin$'; }
  box() { program_window 'w > 64' --all --onlyvisible --pid "$pid" --name '^Tallowin$'; }
  has_box() { [[ -n $(box) ]]; }
  no_box() { ! has_box; }
  tray() { program_window 'w <= 64' --all --onlyvisible --pid "$pid" --class tallowin; }
  shown() {
    local id
    id=$(main)
    [[ -n $id ]] && xwininfo -id "$id" | grep -q IsViewable
  }
  hidden() { ! shown && [[ -n $(tray) ]]; }
  # Polls are counted when the client has gone: the count is taken by then.
  polls() { grep -c "pop3($kind).*Disconnected" "$MAILBOX_LOG" || true; }
  polled() { (($(polls) >= $1)); }
  spoken_is() { (($(spoken) == $1)); }
  messages() { find "$MAILBOX_MAILDIR/new" "$MAILBOX_MAILDIR/cur" -type f | wc -l; }
  usage() {
    echo "$(ls "/proc/$pid/fd" | wc -l) $(ls "/proc/$pid/task" | wc -l)" \
      "$(awk '/VmRSS/{print $2}' "/proc/$pid/status")"
  }
  restart_server() {
    mailbox_start "$MAILBOX_DIR" "$port" "$kind" secret || fail "dovecot did not start again"
  }
  if [[ $kind == tls ]]; then
    MAILBOX_TLS_PORT=995 MAILBOX_TLS_CERT=$TEST_CA_CERT MAILBOX_TLS_KEY=$TEST_CA_KEY
  fi

  local done=0 remembered announced=0 picture
  # expect_poll baseline|tick WHAT: the next poll has ended; the watch took
  # its count. A baseline is remembered; a tick's count above the
  # remembered one is announced and shown, any other is remembered.
  expect_poll() {
    local baseline=$1
    shift
    done=$((done + 1))
    if ! wait_for $((3 * TICK)) polled $done; then
      has_box && fail "$kind: $1 failed: its box is on screen"
      fail "$kind: no poll for $1"
    fi
    local count
    count=$(messages)
    picture=mail
    if [[ $baseline == tick ]] && ((count > remembered)); then
      announced=$((announced + 1))
      picture=new-mail
    else
      remembered=$count
    fi
    wait_for 2 spoken_is $announced || true
    sleep 0.3
    spoken_is $announced || fail "$kind: $1 with $count messages, $remembered remembered:" \
      "\"Tallowin\" queued $(spoken) times in all, not $announced"
    check_picture
  }
  # The tray shows the picture the last poll called for: the first capture
  # of each is the reference for the later ones.
  check_picture() {
    sleep 0.3
    import -window "$(tray)" "$ARTIFACTS/now.png"
    if [[ ! -e $ARTIFACTS/$picture.png ]]; then
      mv "$ARTIFACTS/now.png" "$ARTIFACTS/$picture.png"
      [[ ! -e $ARTIFACTS/mail.png || ! -e $ARTIFACTS/new-mail.png ]] ||
        [[ $(compare -metric AE "$ARTIFACTS"/{mail,new-mail}.png null: 2>&1) != 0 ]] ||
        fail "$kind: new mail looks like no new mail"
    elif [[ $(compare -fuzz 5% -metric AE "$ARTIFACTS"/{$picture,now}.png null: 2>&1) != 0 ]]; then
      fail "$kind: the tray does not show $picture after $done polls"
    fi
  }

  wait_for 20 shown || fail "$kind: the window did not show: $(cat "$WORK/$kind.log")"
  # Half a tick apart, so that one program's checks fall between the
  # other's polls.
  [[ $kind == plain ]] && sleep $((TICK / 2))
  xdotool windowminimize "$(main)"
  expect_poll baseline "the first baseline"
  wait_for 5 hidden || fail "$kind: the window did not hide"
  local tick first
  for ((tick = 1; tick <= TICKS; tick++)); do
    expect_poll tick "tick $tick"
    ((tick == 10)) && first=$(usage)
    case $tick in
      1 | 8) mailbox_deliver a && mailbox_deliver b ;;
      3 | 6 | 11 | 15 | 25) mailbox_empty ;;
      14 | 22) mailbox_deliver c ;;
      9) mailbox_empty && mailbox_deliver d ;;
      4)
        say "the server stops; its boxes are dismissed as they come"
        mailbox_stop
        local box
        for box in 1 2; do
          wait_for $((3 * TICK)) has_box || fail "$kind: no box $box with the server down"
          if ((box == 1)); then
            sleep 2  # as a user comes back to it
          else
            # Mail came meanwhile; the server is back before the last box
            # goes, so the next tick finds it.
            mailbox_deliver c
            restart_server
          fi
          # The box may be gone before xdotool's key release, which then
          # fails: the key would stay down and repeat into every later box.
          xdotool key --window "$(box)" Return 2>/dev/null || true
          xdotool keyup Return
          wait_for 5 no_box || fail "$kind: Return did not dismiss the box"
        done
        # A failed poll must not have changed what is remembered: the mail
        # that came during the outage is new mail.
        say "the server is back: the count is compared with the one before"
        ;;
      18)
        say "restored from the tray; mail that comes meanwhile is not announced"
        xdotool mousemove --window "$(tray)" 8 8 click --repeat 2 --delay 80 1 mousemove 500 500
        wait_for 5 shown || fail "$kind: the double-click did not restore the window"
        mailbox_deliver e
        sleep $((TICK + 2))
        polled $((done + 1)) && fail "$kind: a tick polled while the window was shown"
        xdotool windowminimize "$(main)"
        expect_poll baseline "the baseline after the restore"
        wait_for 5 hidden || fail "$kind: the window did not hide again"
        ;;
    esac
  done
  local last
  last=$(usage)
  say "descriptors, threads, RSS KiB: $first after the first minute, $last at the end"
  read -r fds threads rss <<<"$first"
  read -r fds2 threads2 rss2 <<<"$last"
  ((fds2 <= fds && threads2 <= threads)) || fail "$kind: descriptors or threads grew"
  ((rss2 - rss < 256)) || fail "$kind: RSS grew by $((rss2 - rss)) KiB"
}

# The servers end by their configurations: a PID of one that a watch
# restarted, or stopped, may be another process's by then.
stop_servers() {
  local kind dir
  for kind in "${!MAILBOX[@]}"; do
    read -r dir _ <<<"${MAILBOX[$kind]}"
    dovecot -c "$dir/dovecot.conf" stop 2>/dev/null || true
  done
  stop_all
}
trap stop_servers EXIT

step "both programs watch, plain and over TLS, their clocks ten times fast"
watch_cycle plain &
plain=$!
watch_cycle tls &
tls=$!
status=0
wait "$plain" || status=1
wait "$tls" || status=1
((status == 0)) || fail "a program's watch failed"
echo "PASS: $TICKS ticks and more of each kind, every one as the first"
