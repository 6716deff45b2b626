#!/usr/bin/env bash
# Weeks of watching in minutes: two installed programs on a real desktop,
# one polling plain POP3 and one pop3s:// with a certificate the system
# trusts, each with its clock run ten times fast, through some thirty ticks
# each while mail comes and goes. Every tick must log in, announce exactly
# when the count is above the remembered one, show the picture that goes
# with it, and leave no descriptor or thread behind, nor more than 1 KiB of
# memory a poll. (A server that stops, a restore and a second minimise are
# the desktop cycle's; what each count means, mail_watch_test's.)
# usage: soak_test.sh BUILD_DIR ARTIFACT_DIR
NAMESPACES="--net --mount"
here=$(dirname "$0")
source "$here/desktop.sh"
source "$here/../../scripts/program_folder.sh"
source "$here/../support/test_ca.sh"
install_program "$1" "$2"

readonly TICKS=28  # ticks of each program after its baseline

start_xvfb
start_wm
start_tray
trust_test_ca

declare -A WATCHED
# start_watched KIND SERVER_FIELD PORT: a mailbox with one message, a speech
# server, and the program watching them, shown.
start_watched() {
  local kind=$1
  mailbox_start "$WORK/mail-$kind" "$3" "$kind" secret || fail "dovecot did not start"
  PIDS+=("$MAILBOX_PID")
  ln -s "$MAILBOX_LOG" "$WORK/dovecot-$kind.log"  # for the artifacts of a failure
  mailbox_deliver first
  start_speechd "speech-$kind"
  ln -s "$SPEECHD_LOG" "$WORK/speech-$kind.log"
  program_folder "$WORK/$kind" "$app" "$2" "$kind" secret
  # Without glibc's per-thread cache of freed blocks, which a TLS poll's
  # many sizes fill over some 250 polls to a fixed ~200 KiB: a bounded
  # growth that would read as a leak over this test's few polls. (The day
  # benchmark runs with it.)
  "${FAST_CLOCK[@]}" GLIBC_TUNABLES=glibc.malloc.tcache_count=0 "$WORK/$kind/tallowin" \
    >"$WORK/$kind.log" 2>&1 &
  PIDS+=("$!")
  WATCHED[$kind]="$! $MAILBOX_MAILDIR $MAILBOX_LOG $SPEECHD_LOG"
}
MAILBOX_TLS_PORT=995 MAILBOX_TLS_CERT=$TEST_CA_CERT MAILBOX_TLS_KEY=$TEST_CA_KEY \
  start_watched tls pop3s://localhost 1110
start_watched plain 127.0.0.1 110

# The cycle of one program, in a subshell of its own.
watch_cycle() {
  local kind=$1 pid
  read -r pid MAILBOX_MAILDIR MAILBOX_LOG SPEECHD_LOG <<<"${WATCHED[$kind]}"
  ARTIFACTS=$ARTIFACTS/$kind
  mkdir -p "$ARTIFACTS"
  # The checks between ticks yield to the programs and their servers, whose
  # replies have a fifth of a second (STAT a twentieth) at ten times.
  renice -n 10 -p "$BASHPID" >/dev/null
  main() { program_window 'w > 64' --all --pid "$pid" --name '^Tallowin$'; }
  tray() { program_window 'w <= 64' --all --onlyvisible --pid "$pid" --class tallowin; }
  shown() { viewable "$(main)"; }
  hidden() { ! shown && [[ -n $(tray) ]]; }
  polled() { (($(polls "$kind") >= $1)); }
  spoken_is() { (($(spoken) == $1)); }
  messages() { find "$MAILBOX_MAILDIR/new" "$MAILBOX_MAILDIR/cur" -type f | wc -l; }
  usage() {
    echo "$(ls "/proc/$pid/fd" | wc -l) $(ls "/proc/$pid/task" | wc -l)" \
      "$(awk '/VmRSS/{print $2}' "/proc/$pid/status")"
  }

  local done=0 remembered announced=0 picture
  # expect_poll WHAT: the next poll has ended; the watch took its count. The
  # first, the baseline, is remembered; a tick's count above the remembered
  # one is announced and shown, any other is remembered.
  expect_poll() {
    done=$((done + 1))
    wait_for $((3 * TICK)) polled $done || fail "$kind: no poll for $1"
    local count
    count=$(messages)
    picture=mail
    if ((done > 1 && count > remembered)); then
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
    elif [[ $(compare -fuzz 5% -metric AE "$ARTIFACTS"/{$picture,now}.png null: 2>&1) != 0 ]]; then
      fail "$kind: the tray does not show $picture after $done polls"
    fi
  }

  wait_for 20 shown || fail "$kind: the window did not show: $(cat "$WORK/$kind.log")"
  # Half a tick apart, so that one program's checks fall between the
  # other's polls.
  [[ $kind == plain ]] && sleep $((TICK / 2))
  xdotool windowminimize "$(main)"
  expect_poll "the baseline"
  wait_for 5 hidden || fail "$kind: the window did not hide"
  local tick
  for ((tick = 1; tick <= TICKS; tick++)); do
    expect_poll "tick $tick"
    # From the first minute on: the polls' count, and the memory held.
    ((tick < 10)) || echo "$done $(usage)" >>"$ARTIFACTS/usage"
    case $tick in
      1 | 8) mailbox_deliver a && mailbox_deliver b ;;
      3 | 6 | 11 | 15 | 25) mailbox_empty ;;
      4 | 14 | 22) mailbox_deliver c ;;
      9) mailbox_empty && mailbox_deliver d ;;
    esac
  done
  # Descriptors and threads at the end against the first minute's, and the
  # growth of RSS per poll: the median of the slopes between every two
  # polls, so a leak of a few KiB a poll shows where a one-off step (a cache
  # filled once, TLS warming up) does not.
  awk 'NR == 1 { fds = $2; threads = $3 } END { exit ($2 > fds || $3 > threads) }' \
    "$ARTIFACTS/usage" || fail "$kind: descriptors or threads grew: $(cat "$ARTIFACTS/usage")"
  local slope
  slope=$(awk '{ x[NR] = $1; y[NR] = $4 }
    END { for (i = 1; i < NR; i++) for (j = i + 1; j <= NR; j++) print (y[j] - y[i]) / (x[j] - x[i]) }' \
    "$ARTIFACTS/usage" | sort -g |
    awk '{ s[NR] = $1 } END { printf "%.2f", NR % 2 ? s[(NR + 1) / 2] : (s[NR / 2] + s[NR / 2 + 1]) / 2 }')
  echo "[$kind] RSS grows by $slope KiB a poll from the first minute on"
  # A picture kept at every change costs some 9 KiB a poll.
  awk -v slope="$slope" 'BEGIN { exit !(slope <= 1) }' ||
    fail "$kind: RSS grows by $slope KiB a poll: $(cat "$ARTIFACTS/usage")"
}

step "both programs watch, plain and over TLS, their clocks ten times fast"
watch_cycle plain &
plain=$!
watch_cycle tls &
tls=$!
status=0
wait "$plain" || status=1
wait "$tls" || status=1
((status == 0)) || fail "a program's watch failed"
echo "PASS: $TICKS ticks of each kind, every one as the first"
