#!/usr/bin/env bash
# Plants one fault at a time in a scratch copy of the tree and runs the
# tests that could catch it (by label); prints "caught" or "MISSED" for
# each. A check of the suite's catching power, to run when tests are cut or
# merged, against this tree or an earlier commit's (its suite, the same
# faults: they touch the program only).
# usage: bench/fault_injection.sh [-r COMMIT] [FAULT_NUMBER...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
revision=
if [[ ${1:-} == -r ]]; then
  revision=$2
  shift 2
fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
if [[ -n $revision ]]; then
  git -C "$root" archive "$revision" | tar -x -C "$scratch"
else
  (cd "$root" && git ls-files -z | xargs -0 cp --parents -t "$scratch")
fi
cmake -S "$scratch" -B "$scratch/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

# Each fault: FILE#sed expression#labels of the tests to run#what a user would see
fast='unit,server'
faults=(
  "src/pop3/mail_count.cpp#s/^  sckClient.abort();$/  sckClient.write(\"QUIT\\\\r\\\\n\"); sckClient.waitForBytesWritten(500); sckClient.abort();/#$fast#QUIT sent after a good poll"
  "src/pop3/mail_count.cpp#s/kReplyWait = 2000ms/kReplyWait = 1000ms/#$fast#a slow server given up on too soon"
  "src/pop3/mail_count.cpp#s/kStatWait = 500ms/kStatWait = 900ms/#$fast#a late status reply taken"
  "src/pop3/mail_count.cpp#s/kEnoughBytes = 3;/kEnoughBytes = 2;/#$fast#three bytes taken for a reply"
  "src/pop3/mail_count.cpp#s/return reason ? stage .*/return stage;/#$fast#the server's reason not shown"
  "src/pop3/mail_count.cpp#s/^  sckClient.setReadBufferSize(kReadLimit);$//#$fast#a flooding server fills the memory"
  "src/pop3/mail_count.cpp#s/^  if (const auto\\* failure = std::get_if<QString>(&outcome)) host.MsgBox/  sckClient.abort(); if (const auto* failure = std::get_if<QString>(\\&outcome)) host.MsgBox/#$fast#the connection dropped while the error box waits"
  "src/pop3/mail_count.cpp#s/^  if (sckClient.state() != QAbstractSocket::UnconnectedState) sckClient.abort();$//#$fast#a stale connection read as the new one"
  "src/pop3/mail_count.cpp#s/    loop.exec();/    loop.processEvents();/#$fast#a wait that burns a core"
  "src/pop3/mail_count.cpp#s/if (text.contains('\\\\r') || text.contains('\\\\n')) return std::nullopt;//#$fast#a line break in the password smuggles in a command"
  "src/notifier/mail_watch.cpp#s/if (!count) return Outcome::NoNewMail;.*/if (!count) { lastMailCount_ = 0; return Outcome::NoNewMail; }/#$fast#a failed poll taken for an empty mailbox: a false alarm next"
  "src/notifier/mail_watch.cpp#s/\\*count > \\*lastMailCount_/*count >= *lastMailCount_/#$fast#an announcement without new mail"
  "src/notifier/mail_watch.cpp#s/^  lastMailCount_ = PollOnce();/  lastMailCount_ = PollOnce().value_or(0);/#$fast#a failed baseline taken for an empty mailbox"
  "src/notifier/mail_watch.cpp#s/^  if (polling_) return std::nullopt;$//#$fast#a tick polls again while a poll waits"
  "src/settings/profile.cpp#s/? 3 : 0;/? 0 : 0;/#$fast#a byte-order mark hides the settings"
  "src/settings/replace_file.cpp#s/KeepAttributes(fd, old) : 0;/KeepAttributes(fd, old) : ::fchmod(fd, 0644);/#$fast#the password file readable by all"
  "src/settings/replace_file.cpp#s/::access(target.constData(), W_OK) != 0/false/#$fast#a read-only config.ini replaced"
  "src/settings/replace_file.cpp#s/::rename(/::link(/#$fast#the save leaves the old file in place"
  "src/host/host.cpp#s/::access(QFile::encodeName(AppPath()).constData(), W_OK) == 0/true/#$fast#settings lost where the program's folder is not writable"
  "src/host/host.cpp#s/  } while (reader.jumpToNextImage());/  } while (false);/#$fast#a 2x panel draws the small picture grown"
  "src/notifier/frm_main.cpp#s/^  unloading_ = true;$//#$fast#a poll while the close's error box is open"
  "src/notifier/frm_main.cpp#s/^  if (!isMinimized() || unloading_) return;\$/  if (unloading_) return;/#$fast#a poll while the window is shown"
  "src/notifier/frm_main.cpp#s/mode == UnloadMode::FormControlMenu || mode == UnloadMode::FormCode/static_cast<int>(mode) >= 0/#desktop#a kill saves what was half typed"
  "src/notifier/frm_main.cpp#s/Text3->setEchoMode(QLineEdit::Password);//#$fast#the password shown on screen"
  "src/speech/speech.cpp#s/SPD_MESSAGE/SPD_TEXT/g#desktop#a later announcement cuts the earlier off"
  "src/speech/speech.cpp#s/^  Voice->wake.notify_one();$/  Voice->wake.notify_one(); while (!Voice->texts.empty()) std::this_thread::yield();/#desktop#the window waits for a stuck speech server"
  "src/speech/speech.cpp#s/^  if (speaker.connection) spd_close(speaker.connection);$/  return QStringLiteral(\"Error: gone\");/#desktop#speech ends for good when the server restarts"
  "src/speech/speech.cpp#s/^  std::signal(SIGPIPE, SIG_IGN);$//#$fast#the program killed when the speech server goes away"
  "src/tray/tray_tip.cpp#s/return statusNotifierHost ? WM_LBUTTONDBLCLK : WM_LBUTTONUP;/return statusNotifierHost ? WM_LBUTTONUP : WM_LBUTTONUP;/#desktop#the window never comes back on a StatusNotifierItem panel"
  "src/tray/systray.cpp#s/return watcher.isValid() \\&\\& .*/return watcher.isValid();/#desktop#a single click restores on an XEmbed tray while a panel starts"
  "src/notifier/frm_main.cpp#s/^    hide();$/    {}/#desktop#a minimise leaves the window on the taskbar"
  "src/notifier/frm_main.cpp#s/^  if (!SetIcon(\\*outcome)) return;$//#desktop#the tray picture never changes"
  "src/notifier/main.cpp#s/^  host::ChooseWindowSystem(argc, argv);$//#desktop#no window in a Wayland session"
  "src/notifier/main.cpp#s/    form.showMinimized();/    form.show();/#desktop#started at login, the window pops up"
)

missed=0
for i in "${!faults[@]}"; do
  (($# == 0)) || [[ " $* " == *" $((i + 1)) "* ]] || continue
  IFS='#' read -r file expression labels what <<<"${faults[i]}"
  cp "$scratch/$file" "$scratch/$file.orig"
  sed -i "$expression" "$scratch/$file"
  if cmp -s "$scratch/$file.orig" "$scratch/$file"; then
    echo "$((i + 1)) NOT PLANTED ($file changed nowhere): $what"
    missed=1
  elif ! cmake --build "$scratch/build" -j"$(nproc)" >"$scratch/build.log" 2>&1; then
    echo "$((i + 1)) DOES NOT BUILD: $what"
    missed=1
  elif (cd "$scratch/build" && ctest -j"$(nproc)" -L "^(${labels//,/|})$" -E memcheck >/dev/null 2>&1); then
    echo "$((i + 1)) MISSED: $what"
    missed=1
  else
    echo "$((i + 1)) caught ($labels): $what"
  fi
  cp "$scratch/$file.orig" "$scratch/$file"  # a new time, so the build takes it
  rm "$scratch/$file.orig"
done
exit $missed
