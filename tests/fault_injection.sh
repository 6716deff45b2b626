#!/usr/bin/env bash
# Plants one fault at a time in a scratch copy of the tree and runs the
# tests that should catch it; prints "caught" or "MISSED" for each. A check
# of the suite's catching power, to run when tests are cut or merged.
# usage: tests/fault_injection.sh [FAULT_NUMBER...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
(cd "$root" && git ls-files -z | xargs -0 cp --parents -t "$scratch")
cmake -S "$scratch" -B "$scratch/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

# Each fault: FILE|sed expression|tests (a ctest regex)|what a user would see
faults=(
  'src/pop3/mail_count.cpp|149s/.*/  sckClient.write("QUIT\\r\\n"); sckClient.waitForBytesWritten(500); sckClient.abort();/|mail_count|QUIT sent after a good poll'
  'src/pop3/mail_count.cpp|s/kReplyWait = 2000ms/kReplyWait = 1000ms/|mail_count_test|a slow server given up on too soon'
  'src/pop3/mail_count.cpp|s/kStatWait = 500ms/kStatWait = 900ms/|hostile_server|a late status reply taken'
  'src/pop3/mail_count.cpp|s/kEnoughBytes = 3;/kEnoughBytes = 2;/|hostile_server|three bytes taken for a reply'
  'src/pop3/mail_count.cpp|s/return reason ? stage .*/return stage;/|mail_count_test|the server'"'"'s reason not shown'
  'src/notifier/mail_watch.cpp|21s/.*/  if (!count) { lastMailCount_ = 0; return Outcome::NoNewMail; }/|mail_watch|a failed poll taken for an empty mailbox: a false alarm next'
  'src/notifier/mail_watch.cpp|s/\*count > \*lastMailCount_/*count >= *lastMailCount_/|mail_watch|an announcement without new mail'
  'src/settings/profile.cpp|s/? 3 : 0;/? 0 : 0;/|profile_test|a byte-order mark hides the settings'
  'src/settings/replace_file.cpp|74s/.*//|ini_test|a read-only config.ini replaced'
  'src/settings/replace_file.cpp|s/KeepAttributes(fd, old) : 0;/KeepAttributes(fd, old) : ::fchmod(fd, 0644);/|profile_test|the password file readable by all'
  'src/notifier/frm_main.cpp|126s/.*//|frm_main_test|a poll while the close'"'"'s error box is open'
  'src/speech/speech.cpp|s/SPD_MESSAGE/SPD_TEXT/g|speech_test|a later announcement cuts the earlier off'
  'src/tray/systray.cpp|s/return watcher.isValid() \&\& .*/return watcher.isValid();/|tray_test|a single click restores on an XEmbed tray while a panel starts'
  'src/notifier/frm_main.cpp|94s/.*/    {}/|program_test|a minimise leaves the window on the taskbar'
)

missed=0
for i in "${!faults[@]}"; do
  (($# == 0)) || [[ " $* " == *" $((i + 1)) "* ]] || continue
  IFS='|' read -r file expression tests what <<<"${faults[i]}"
  cp "$root/$file" "$scratch/$file"
  sed -i "$expression" "$scratch/$file"
  if cmp -s "$root/$file" "$scratch/$file"; then
    echo "$((i + 1)) NOT PLANTED ($file changed nowhere): $what"
    missed=1
  elif ! cmake --build "$scratch/build" -j"$(nproc)" >"$scratch/build.log" 2>&1; then
    echo "$((i + 1)) DOES NOT BUILD: $what"
    missed=1
  elif (cd "$scratch/build" && ctest -R "$tests" >/dev/null 2>&1); then
    echo "$((i + 1)) MISSED: $what"
    missed=1
  else
    echo "$((i + 1)) caught by $tests: $what"
  fi
  cp "$root/$file" "$scratch/$file"
done
exit $missed
